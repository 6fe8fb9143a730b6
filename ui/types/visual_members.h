// Members that forms and controls share: the model's simple properties (caption, place,
// size, flags, hint, cursor, colour, font, handle) and the rows of operations that are
// not built yet, which read their operands and stop with "not implemented yet".
#pragma once
#include <cstdint>
#include <string>

#include "interp/tables.h"
#include "runtime/run_error.h"
#include "ui/binding.h"
#include "ui/visual_object.h"

namespace tavrin {

VisualObject& visualOf(MemberCall& c);

void visualSetCaption(MemberCall& c, const std::string& v);
std::string visualCaption(MemberCall& c);
void visualSetLeft(MemberCall& c, int32_t v);
void visualSetTop(MemberCall& c, int32_t v);
// A size change raises the object's resize event (forms: the resize logic).
void visualSetWidth(MemberCall& c, int32_t v);
void visualSetHeight(MemberCall& c, int32_t v);
int32_t visualLeft(MemberCall& c);
int32_t visualTop(MemberCall& c);
int32_t visualWidth(MemberCall& c);
int32_t visualHeight(MemberCall& c);
void visualSetEnabled(MemberCall& c, int32_t v);
int32_t visualEnabled(MemberCall& c);
void visualSetVisible(MemberCall& c, int32_t v);
int32_t visualVisible(MemberCall& c);
void visualSetShowHint(MemberCall& c, int32_t v);
int32_t visualShowHint(MemberCall& c);
void visualSetHint(MemberCall& c, const std::string& v);
std::string visualHint(MemberCall& c);
void visualSetCursor(MemberCall& c, int32_t v);
int32_t visualCursor(MemberCall& c);
void visualSetColor(MemberCall& c, int32_t v);
int32_t visualColor(MemberCall& c);
void visualAssignFont(MemberCall& c, const ObjectRef& font);
int32_t visualHandle(MemberCall& c);

template <class... P>
void notBuiltCanvasRow(MemberCall& c, P...) {
  raiseNotImplemented(std::string(c.row->name) + " on " + std::string(kObjectTypes[c.type].name) +
                      " (canvas operations)");
}
template <class... P>
int32_t notBuiltCanvasReadRow(MemberCall& c, P...) {
  raiseNotImplemented(std::string(c.row->name) + " on " + std::string(kObjectTypes[c.type].name) +
                      " (canvas operations)");
}
inline constexpr auto notBuiltCanvas1 = &notBuiltCanvasRow<Ignored>;
inline constexpr auto notBuiltCanvas3 = &notBuiltCanvasRow<Ignored, Ignored, Ignored>;
inline constexpr auto notBuiltCanvas4 = &notBuiltCanvasRow<Ignored, Ignored, Ignored, Ignored>;
inline constexpr auto notBuiltCanvas5 = &notBuiltCanvasRow<Ignored, Ignored, Ignored, Ignored, Ignored>;
inline constexpr auto notBuiltCanvas6 = &notBuiltCanvasRow<Ignored, Ignored, Ignored, Ignored, Ignored, Ignored>;
inline constexpr auto notBuiltCanvas7 =
    &notBuiltCanvasRow<Ignored, Ignored, Ignored, Ignored, Ignored, Ignored, Ignored>;
inline constexpr auto notBuiltCanvasObjects3 = &notBuiltCanvasRow<const ObjectRef&, const ObjectRef&, const ObjectRef&>;
inline constexpr auto notBuiltCanvasObjectAny = &notBuiltCanvasRow<const ObjectRef&, Ignored>;
inline constexpr auto notBuiltCanvasObject5 =
    &notBuiltCanvasRow<const ObjectRef&, Ignored, Ignored, Ignored, Ignored, Ignored>;
inline constexpr auto notBuiltCanvasRead0 = &notBuiltCanvasReadRow<>;
inline constexpr auto notBuiltCanvasRead1 = &notBuiltCanvasReadRow<Ignored>;
inline constexpr auto notBuiltCanvasRead2 = &notBuiltCanvasReadRow<Ignored, Ignored>;

}  // namespace tavrin
