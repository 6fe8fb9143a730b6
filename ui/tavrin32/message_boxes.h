// Message boxes and message dialogs as Qt dialogs, and the program's texts on Qt's side.
#pragma once
#include <QString>

#include <cstdint>

#include "ui/visual_host.h"

namespace tavrin::visual {

// A program text (Windows-1252 bytes) as a QString.
QString fromAnsi(const char* text);
// Shows the box modally and returns the pressed button's result; every button carries its
// result in the dynamic property "tavrinResult" (the driver's `answer` looks for it).
int32_t runMessageBox(const TavrinMessageBox& box);

}  // namespace tavrin::visual
