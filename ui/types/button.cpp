// The otButton binding: a push button with a glyph, a kind that gives it a modal result,
// Default and Cancel, moving by mouse and copying another button.
#include <array>
#include <fstream>
#include <iterator>
#include <string>

#include "interp/state.h"
#include "runtime/run_error.h"
#include "ui/events.h"
#include "ui/object_model.h"
#include "ui/types/form.h"
#include "ui/types/visual_members.h"

namespace tavrin {

namespace button_event {
inline constexpr int Click = 0, StartDrag = 1, EndDrag = 2, MouseDown = 3, MouseMove = 4, MouseUp = 5, KeyDown = 6,
                     KeyPress = 7, KeyUp = 8, Stored = 9, Count = 10;
}

// Button kinds: 0 custom, 1 OK, 2 Cancel, 3 Help, 4 Yes, 5 No, 6 Close, 7 Abort, 8 Retry,
// 9 Ignore, 10 All; the modal result and caption each gives.
inline constexpr int32_t kKindClose = 6;
inline constexpr std::array<int32_t, 11> kKindModalResult = {0, 1, 2, 0, 6, 7, 0, 3, 4, 5, 8};
inline constexpr std::array<const char*, 11> kKindCaption = {"",    "OK",     "Cancel",  "&Help",   "&Yes", "&No",
                                                             "&Close", "Abort", "&Retry", "&Ignore", "&All"};
inline constexpr int32_t kButtonWidth = 75, kButtonHeight = 25;

class ButtonObject final : public VisualObject {
public:
  explicit ButtonObject(int32_t instance) : VisualObject(otButton, instance) {}

  void created(State&) override {
    width = kButtonWidth, height = kButtonHeight;
    visible = true;  // a control shows once it has a parent
    applyGeometry();
  }

  uint32_t handlerOf(EventKind kind) const override {
    using namespace button_event;
    switch (kind) {
      case EventKind::Click: return handlers[Click];
      case EventKind::StartDrag: return handlers[StartDrag];
      case EventKind::EndDrag: return handlers[EndDrag];
      case EventKind::MouseDown: return handlers[MouseDown];
      case EventKind::MouseMove: return handlers[MouseMove];
      case EventKind::MouseUp: return handlers[MouseUp];
      case EventKind::KeyDown: return handlers[KeyDown];
      case EventKind::KeyPress: return handlers[KeyPress];
      case EventKind::KeyUp: return handlers[KeyUp];
      default: return 0;
    }
  }

  // The form gets the button's modal result before the click handler runs; a Close
  // button closes its form instead.
  void clicked(State& s) override {
    auto* f = static_cast<FormObject*>(form());
    if (f && kind == kKindClose) {
      fireNotify(s, *this, EventKind::Click);
      f->close(s);
      return;
    }
    if (f && modalResult != 0) f->setModalResult(s, modalResult);
    fireNotify(s, *this, EventKind::Click);
  }

  // BM_CLICK sent or posted to the button's window clicks it.
  int32_t windowMessage(State& s, uint32_t message, int32_t, int32_t) override {
    if (message == wm::ButtonClick && enabled) clicked(s);
    return 0;
  }

  std::array<uint32_t, button_event::Count> handlers{};
  int32_t field14 = 0, field37 = 0;
  int32_t tabOrder = 0;
  int32_t kind = 0;
  int32_t modalResult = 0;
  int32_t spacing = 4;
  int32_t glyphLayout = 0;
  int32_t numGlyphs = 1;
  int32_t align = 0;
  bool isDefault = false, isCancel = false;
  std::string glyphFile;
  std::string glyph;  // the glyph's picture bytes, for copies
  ObjectRef popupMenu;
};

template <>
ButtonObject& subject<ButtonObject>(MemberCall& c) {
  return static_cast<ButtonObject&>(c.object());  // checked to be of this type
}

namespace {

ButtonObject& buttonOf(MemberCall& c) { return subject<ButtonObject>(c); }

template <int Field>
void buttonBind(MemberCall& c, HandlerPos at) {
  buttonOf(c).handlers[size_t(Field)] = at.at;
}

void buttonSetParent(MemberCall& c, const ObjectRef& parent) {
  ButtonObject& b = buttonOf(c);
  VisualObject* p = nullptr;
  if (Object* o = ResolveContainer(c.s, parent.type, parent.instance);
      o && kTypeTraits[parent.type].creation == Creation::Visual)
    p = static_cast<VisualObject*>(o);
  b.parent = p;
  if (!b.peer) return;
  b.layer->setParent(b.peer, p ? p->peer : nullptr);
  b.applyGeometry();
  b.tellInt(kAttrVisible, b.visible);
}

void buttonMoveByMouse(MemberCall& c) {
  ButtonObject& b = buttonOf(c);
  if (b.peer) b.layer->moveByMouse(b.peer);
}

void buttonSetKind(MemberCall& c, int32_t v) {
  ButtonObject& b = buttonOf(c);
  const bool known = v >= 0 && v < int32_t(kKindModalResult.size());
  const bool defaultCaption = b.caption.empty() || (b.kind >= 0 && b.kind < int32_t(kKindCaption.size()) &&
                                                    b.caption == kKindCaption[size_t(b.kind)]);
  b.kind = v;
  if (!known) return;
  b.modalResult = kKindModalResult[size_t(v)];
  if (defaultCaption) {
    b.caption = kKindCaption[size_t(v)];
    b.tellText(kTextCaption, b.caption);
  }
  // OK and Yes are the form's default buttons, Cancel and No its cancel buttons.
  if (v == 1 || v == 4) b.isDefault = true, b.tellInt(kAttrDefault, 1);
  if (v == 2 || v == 5) b.isCancel = true, b.tellInt(kAttrCancel, 1);
}

void setGlyph(ButtonObject& b, std::string bytes, const std::string& what) {
  if (b.peer && b.layer->setPicture(b.peer, kPictureGlyph, reinterpret_cast<const uint8_t*>(bytes.data()),
                                    bytes.size()) != kVisualOk)
    raise(ErrorNumber::Unhandled, "Invalid picture " + what);
  b.glyph = std::move(bytes);
}

void buttonGlyphFile(MemberCall& c, const std::string& path) {
  ButtonObject& b = buttonOf(c);
  if (path.empty()) {
    b.glyphFile.clear();
    setGlyph(b, {}, "");
    return;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) raiseIo(ErrorNumber::Unhandled, "Cannot open glyph file " + path);
  setGlyph(b, std::string(std::istreambuf_iterator<char>(in), {}), path);
  b.glyphFile = path;
}
std::string buttonGlyphFileName(MemberCall& c) { return buttonOf(c).glyphFile; }

// A resource number without a record loads nothing: the glyph stays as it was.
void buttonGlyphResource(MemberCall& c, Mark number) {
  State& s = c.s;
  if (number.byte >= s.resourceCount) return;
  const uint32_t back = s.code.position();
  s.code.seek(s.resources[number.byte]);
  const uint32_t length = s.code.u32();
  const uint8_t* body = s.code.bytes(length);
  s.code.seek(back);
  setGlyph(buttonOf(c), std::string(reinterpret_cast<const char*>(body), length),
           "in resource " + std::to_string(number.byte));
}

void buttonSetPopupMenu(MemberCall& c, const ObjectRef& menu) { buttonOf(c).popupMenu = menu; }

void buttonSetCancel(MemberCall& c, int32_t v) {
  ButtonObject& b = buttonOf(c);
  b.isCancel = v != 0;
  b.tellInt(kAttrCancel, b.isCancel);
}
void buttonSetDefault(MemberCall& c, int32_t v) {
  ButtonObject& b = buttonOf(c);
  b.isDefault = v != 0;
  b.tellInt(kAttrDefault, b.isDefault);
}
int32_t buttonCancel(MemberCall& c) { return buttonOf(c).isCancel ? 1 : 0; }
int32_t buttonDefault(MemberCall& c) { return buttonOf(c).isDefault ? 1 : 0; }

// An element of a button array gives the whole button (not its parent or place), any
// other button only its caption.
void buttonCopy(MemberCall& c, const ObjectRef& from) {
  if (from.type != otButton) return;
  auto& src = static_cast<ButtonObject&>(ObjectAt(c.s, from.type, from.instance));
  ButtonObject& b = buttonOf(c);
  if (&src == &b) return;
  b.caption = src.caption;
  b.tellText(kTextCaption, b.caption);
  if (!from.element) return;
  b.glyphFile = src.glyphFile;
  setGlyph(b, src.glyph, "of the copied button");
  b.numGlyphs = src.numGlyphs, b.kind = src.kind, b.modalResult = src.modalResult;
  b.glyphLayout = src.glyphLayout, b.spacing = src.spacing;
  b.fontData = src.fontData;
  b.fontData.changed();
  b.color = src.color, b.tellInt(kAttrColor, b.color);
  b.enabled = src.enabled, b.tellInt(kAttrEnabled, b.enabled);
  b.visible = src.visible, b.tellInt(kAttrVisible, b.visible);
  b.hint = src.hint, b.tellText(kTextHint, b.hint);
  b.showHint = src.showHint, b.tellInt(kAttrShowHint, b.showHint);
  b.cursor = src.cursor, b.tellInt(kAttrCursor, b.cursor);
  b.isDefault = src.isDefault, b.tellInt(kAttrDefault, b.isDefault);
  b.isCancel = src.isCancel, b.tellInt(kAttrCancel, b.isCancel);
  b.handlers = src.handlers;
}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_button.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(button){kMembers, &makeVisual<ButtonObject>};

}  // namespace tavrin
