// The otForm binding: the form's model, its geometry from the frame metrics, showing,
// modal loops, closing, the window's own message handling and the members.
#include "ui/types/form.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "interp/state.h"
#include "lib/file_writes.h"
#include "runtime/run_error.h"
#include "ui/events.h"
#include "ui/object_model.h"
#include "ui/types/visual_members.h"

namespace tavrin {

FormObject::FormObject(int32_t instance) : VisualObject(otForm, instance) {}

void FormObject::created(State&) {
  width = kFormWidth, height = kFormHeight;
  tellInt(kAttrBorderStyle, borderStyle);
  tellInt(kAttrBorderIcons, borderIcons);
  tellInt(kAttrColor, color);
  applyGeometry();
}

uint32_t FormObject::handlerOf(EventKind kind) const {
  auto at = [&](int field) { return events[size_t(field)] > 0 ? uint32_t(events[size_t(field)]) : 0u; };
  switch (kind) {
    case EventKind::Click: return at(form_event::Click);
    case EventKind::Resize: return at(form_event::Resize);
    case EventKind::Close: return at(form_event::Close);
    case EventKind::MouseDown: return at(form_event::MouseDown);
    case EventKind::Hook: return at(form_event::Hook);
    case EventKind::KeyPress: return at(form_event::KeyPress);
    case EventKind::Show: return at(form_event::Show);
    case EventKind::KeyDown: return at(form_event::KeyDown);
    case EventKind::KeyUp: return at(form_event::KeyUp);
    case EventKind::Paint: return at(form_event::Paint);
    case EventKind::MouseUp: return at(form_event::MouseUp);
    case EventKind::MouseMove: return at(form_event::MouseMove);
    default: return 0;
  }
}

int32_t FormObject::frame() const {
  switch (borderStyle) {
    case kBsNone: return 0;
    case kBsSingle:
    case kBsDialog:
    case kBsToolWindow: return kFixedFrame;
    default: return kSizeFrame;  // sizeable, sizeable tool window
  }
}

int32_t FormObject::captionHeight() const {
  if (!captionBar || borderStyle == kBsNone) return 0;
  return borderStyle == kBsToolWindow || borderStyle == kBsSizeToolWin ? kToolCaptionHeight : kCaptionHeight;
}

void FormObject::applyGeometry() {
  if (!peer) return;
  const int32_t f = frame();
  layer->setGeometry(peer, left + f, top + f + captionHeight(), std::max(clientWidth(), 0),
                     std::max(clientHeight(), 0));
}

void FormObject::show(State& s) {
  const bool was = visible;
  visible = true;
  tellInt(kAttrVisible, 1);
  if (!was) fireNotify(s, *this, EventKind::Show);
}

void FormObject::hide() {
  visible = false;
  tellInt(kAttrVisible, 0);
  if (modalDepth > 0 && peer) layer->endModal(peer);  // a hidden form's modal loop ends
}

void FormObject::close(State& s) {
  if (modalDepth > 0) {
    // The modal loop closes the form when it ends (with the close logic).
    setModalResult(s, 2);
    return;
  }
  const int32_t action = fireClose(s, *this, kCloseHide);
  if (action == kCloseNone) return;
  if (action == kCloseMinimize) {
    windowState = 1;
    tellInt(kAttrWindowState, 1);
    return;
  }
  hide();  // action 2 too: the object stays, hidden, for later statements
}

void FormObject::setModalResult(State&, int32_t result) {
  modalResult = result;
  if (result != 0 && modalDepth > 0 && peer) layer->endModal(peer);
}

int32_t FormObject::showModal(State& s) {
  if (visible) raise(ErrorNumber::Unhandled, "Cannot make a visible window modal");
  if (!peer) raiseNotImplemented("ShowModal without the windowed layer");
  VisualState& v = visualState(s);
  modalResult = 0;
  ++modalDepth;
  v.modal.push_back(this);
  show(s);
  for (;;) {
    if (visible && modalResult == 0) flushFileWrites();  // a modal loop waits for the user
    if (visible && modalResult == 0 && layer->runModal(peer) != kVisualOk) {
      modalResult = 2;  // the layer could not run the loop: the form does not stay up
      hide();
      break;
    }
    if (modalDepth == 0) break;  // the run is ending
    if (!visible) {
      if (modalResult == 0) modalResult = 2;
      break;
    }
    if (modalResult == 0) continue;  // woken without a result: the loop goes on
    // The modal result closes the form, unless its close handler keeps it open.
    const int32_t action = fireClose(s, *this, kCloseHide);
    if (action == kCloseNone) {
      modalResult = 0;
      continue;
    }
    hide();
    break;
  }
  if (modalDepth > 0) --modalDepth;
  VisualState& after = visualState(s);
  if (!after.modal.empty() && after.modal.back() == this) after.modal.pop_back();
  return modalResult;
}

void FormObject::resized(State& s) {
  applyGeometry();
  fireFormResize(s, *this);
}

int32_t FormObject::defaultMessage(State& s, uint32_t message, int32_t wParam, int32_t) {
  if (message == wm::Close) {
    close(s);
  } else if (message == wm::SysCommand) {
    switch (wParam & 0xFFF0) {
      case wm::ScClose: close(s); break;
      case wm::ScMinimize: windowState = 1, tellInt(kAttrWindowState, 1); break;
      case wm::ScMaximize: windowState = 2, tellInt(kAttrWindowState, 2); break;
      case wm::ScRestore: windowState = 0, tellInt(kAttrWindowState, 0); break;
      default: break;
    }
  }
  return 0;
}

int32_t FormObject::windowMessage(State& s, uint32_t message, int32_t wParam, int32_t lParam) {
  hookSees(s, *this, message, wParam, lParam);
  return defaultMessage(s, message, wParam, lParam);
}

template <>
FormObject& subject<FormObject>(MemberCall& c) {
  return static_cast<FormObject&>(c.object());  // checked to be of this type
}

namespace {

FormObject& formOf(MemberCall& c) { return subject<FormObject>(c); }

void formSetCaption(MemberCall& c, const std::string& v) { visualSetCaption(c, v); }
void formSetLeft(MemberCall& c, int32_t v) { visualSetLeft(c, v); }
void formSetTop(MemberCall& c, int32_t v) { visualSetTop(c, v); }
void formSetWidth(MemberCall& c, int32_t v) { visualSetWidth(c, v); }
void formSetHeight(MemberCall& c, int32_t v) { visualSetHeight(c, v); }
void formSetClientWidth(MemberCall& c, int32_t v) { visualSetWidth(c, formOf(c).outerWidth(v)); }
void formSetClientHeight(MemberCall& c, int32_t v) { visualSetHeight(c, formOf(c).outerHeight(v)); }
int32_t formClientWidth(MemberCall& c) { return formOf(c).clientWidth(); }
int32_t formClientHeight(MemberCall& c) { return formOf(c).clientHeight(); }
void formSetColor(MemberCall& c, int32_t v) { visualSetColor(c, v); }

void formShow(MemberCall& c) { formOf(c).show(c.s); }

void formSetVisible(MemberCall& c, int32_t v) {
  if (v) formOf(c).show(c.s);
  else formOf(c).hide();
}

// The statement keeps its place in the code around the modal loop (handlers run inside it).
void formShowModalStatement(MemberCall& c, Mark) {
  const uint32_t back = c.s.code.position();
  FormObject& f = formOf(c);
  f.showModal(c.s);
  c.s.code.seek(back);
}
int32_t formShowModalRead(MemberCall& c) {
  const uint32_t back = c.s.code.position();
  const int32_t result = formOf(c).showModal(c.s);
  c.s.code.seek(back);
  return result;
}

void formCloseStatement(MemberCall& c) { formOf(c).close(c.s); }

void formCenter(MemberCall& c) {
  FormObject& f = formOf(c);
  f.setBounds((kScreenWidthModel - f.width) / 2, (kScreenHeightModel - f.height) / 2, f.width, f.height);
  f.tellInt(kAttrCenter, 1);
}

void formSetBorderStyle(MemberCall& c, int32_t v) {
  FormObject& f = formOf(c);
  // The client area keeps its size: the outer size follows the new frame.
  const int32_t cw = f.clientWidth(), ch = f.clientHeight();
  f.borderStyle = v;
  f.tellInt(kAttrBorderStyle, v);
  f.width = f.outerWidth(cw), f.height = f.outerHeight(ch);
  f.applyGeometry();
}

void formSetFormStyle(MemberCall& c, int32_t v) {
  if (v == 2 || v == 3) raiseNotImplemented("MDI forms (FormStyle " + std::to_string(v) + ")");
  formOf(c).formStyle = v;
}

// No form can be an MDI parent yet (FormStyle refuses it), so the commands do nothing.
void formMdiCommand(MemberCall&, Mark) {}
int32_t formMdiChildCount(MemberCall&) { return 0; }

void formSetWindowState(MemberCall& c, int32_t v) {
  FormObject& f = formOf(c);
  f.windowState = v;
  f.tellInt(kAttrWindowState, v);
}

template <int Field>
void formBind(MemberCall& c, HandlerPos at) {
  formOf(c).events[size_t(Field)] = int32_t(at.at);
}

// Binding the hook again, on this form or another, changes only the handler position and
// which form is hooked: the window's own handling is never replaced by the hook itself.
void formBindHook(MemberCall& c, HandlerPos at) {
  FormObject& f = formOf(c);
  f.events[form_event::Hook] = int32_t(at.at);
  visualState(c.s).hooked = &f;
}

void formBindHint(MemberCall& c, HandlerPos at) { formOf(c).hintHandler = at.at; }

void formSetOwner(MemberCall& c, const ObjectRef& owner) {
  FormObject& f = formOf(c);
  if (owner.type != otForm) return;
  auto& o = static_cast<VisualObject&>(ObjectAt(c.s, owner.type, owner.instance));
  if (&o == &f) return;
  f.owner = &o;
  if (f.peer) f.layer->setOwner(f.peer, o.peer);
}

void formSetPopupMenu(MemberCall& c, const ObjectRef& menu) { formOf(c).popupMenu = menu; }

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A text loads the icon from that file (error 217 naming it when it is no picture), a
// number gives the application's icon back.
void formSetIcon(MemberCall& c, ExprValue v) {
  FormObject& f = formOf(c);
  if (!v.isText) {
    f.iconHandle = 0;
    if (f.peer) f.layer->setPicture(f.peer, kPictureIcon, nullptr, 0);
    return;
  }
  const std::string bytes = readFile(v.text);
  if (bytes.empty()) raiseIo(ErrorNumber::Unhandled, "Cannot open icon file " + v.text);
  if (f.peer && f.layer->setPicture(f.peer, kPictureIcon, reinterpret_cast<const uint8_t*>(bytes.data()),
                                    bytes.size()) != kVisualOk)
    raise(ErrorNumber::Unhandled, "Invalid icon file " + v.text);
  f.iconHandle = int32_t(newWindowHandle(c.s));
}

// A resource number without a record loads nothing: the icon stays as it was.
void formIconResource(MemberCall& c, Mark number) {
  State& s = c.s;
  if (number.byte >= s.resourceCount) return;
  const uint32_t back = s.code.position();
  s.code.seek(s.resources[number.byte]);
  const uint32_t length = s.code.u32();
  const uint8_t* body = s.code.bytes(length);
  s.code.seek(back);
  FormObject& f = formOf(c);
  if (f.peer && f.layer->setPicture(f.peer, kPictureIcon, body, length) != kVisualOk)
    raise(ErrorNumber::Unhandled, "Invalid icon in resource " + std::to_string(number.byte));
  f.iconHandle = int32_t(newWindowHandle(s));
}

// 44 takes the caption bar off, 45 puts it back; the client area keeps its size.
void setCaptionBar(MemberCall& c, bool on) {
  FormObject& f = formOf(c);
  if (f.captionBar == on) return;
  const int32_t before = f.captionHeight();
  f.captionBar = on;
  f.tellInt(kAttrCaptionBar, on);
  f.height += f.captionHeight() - before;
  f.applyGeometry();
}
void formCaptionOff(MemberCall& c) { setCaptionBar(c, false); }
void formCaptionOn(MemberCall& c) { setCaptionBar(c, true); }

void formAddBorderIcon(MemberCall& c, const Item& item) {
  FormObject& f = formOf(c);
  if (item.value < 0 || item.value > 3) return;
  f.borderIcons |= 1 << item.value;
  f.tellInt(kAttrBorderIcons, f.borderIcons);
}
void formRemoveBorderIcon(MemberCall& c, const Item& item) {
  FormObject& f = formOf(c);
  if (item.value < 0 || item.value > 3) return;
  f.borderIcons &= ~(1 << item.value);
  f.tellInt(kAttrBorderIcons, f.borderIcons);
}

// Id 49 repaints the form (Invalidate) and clears closingFlag.
void formInvalidate(MemberCall& c) {
  visualState(c.s).closingFlag = false;
  FormObject& f = formOf(c);
  f.tellInt(kAttrColor, f.color);
}

#define PROP TAVRIN_MEMBER_ROW
constexpr MemberEntry kMembers[] = {
#include "ui/props_form.def"
};
#undef PROP

}  // namespace

TAVRIN_BINDING(form){kMembers, &makeVisual<FormObject>};

}  // namespace tavrin
