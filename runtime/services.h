// The complete types of the lazily started service states, for the state's destructor.
// Each service adds its header here.
#pragma once
#include "interp/compiled.h"
#include "interp/text_address.h"
#include "lib/console.h"
#include "lib/sockets.h"
#include "ui/object_model.h"

namespace tavrin {
// What external calls keep between statements: the pinned texts whose addresses a program
// can hand to foreign functions.
struct ExternalState {
  TextPins textPins;
};
}  // namespace tavrin
