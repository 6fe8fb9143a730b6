// The shared handlers of the event kinds, the suppression flags, the close and resize
// logic, the window message hook and what the windowed layer reports.
// Hazards: a handler may pump, so every event can nest inside another one; an object
// pointer stays valid (objects live for the whole run) but the object list may grow.
#include "ui/events.h"

#include <cstdio>
#include <cstdlib>

#include "interp/call_entry.h"
#include "interp/calls.h"
#include "interp/evaluator.h"
#include "interp/handlers.h"
#include "interp/state.h"
#include "lib/sockets.h"
#include "runtime/run_error.h"
#include "runtime/time_limit.h"
#include "ui/types/form.h"
#include "ui/visual_layer.h"

namespace tavrin {

VisualState& visualState(State& s) {
  ObjectState& os = objectState(s);
  if (!os.visual) [[unlikely]]
    os.visual = std::make_unique<VisualState>();
  return *os.visual;
}

ObjectRef senderOf(const VisualObject& o) { return ObjectRef{o.type(), int32_t(uint16_t(o.tag))}; }

namespace {
// Every way out of the run from an event (tests put their own in VisualState::endRun).
[[noreturn]] void endRunNow(State& s, int status) {
  VisualState& v = visualState(s);
  (v.endRun ? v.endRun : &endRunFromLayer)(s, status);
  std::abort();  // neither comes back: the test's throws
}
}  // namespace

bool runHandler(State& s, uint32_t position, const EventArguments& a, int takeBack, int32_t* result) {
  if (position == 0) return false;
  CallState& c = s.calls;
  growParameterStores(c);
  for (int k = 0; k < a.numbers; ++k) setNextNumberParameter(c, k, a.number[size_t(k)]);
  for (int k = 0; k < a.objects; ++k) {
    const ObjectRef& o = a.object[size_t(k)];
    setNextReferenceParameter(s, a.numbers + k, o.type, uint16_t(o.instance));
  }
  const CallOutcome outcome = callFromOutside(s, position, /*keepResults=*/true);
  switch (outcome.status) {
    case CallStatus::Done: break;
    case CallStatus::Failed: return false;  // its line is on stderr; the event ends here
    case CallStatus::Ended: endRunNow(s, outcome.exitCode);
    case CallStatus::Fatal:
      reportRunError(s, outcome.error);
      endRunNow(s, outcome.exitCode);
  }
  if (takeBack >= 0 && result) {
    // The slot of the level the handler ran at, as it left it.
    const double v = c.numberSlots.read<double>(int64_t(c.level) * kSlotsPerLevel * 8 + int64_t(takeBack) * 8);
    *result = truncateToInt(v);
  }
  return true;
}

void fireNotify(State& s, VisualObject& o, EventKind kind) {
  const uint32_t at = o.handlerOf(kind);
  if (!at) return;
  EventArguments a;
  a.add(senderOf(o));
  runHandler(s, at, a);
}

void fireMouseButton(State& s, VisualObject& o, EventKind kind, int32_t button, int32_t x, int32_t y,
                     int32_t shift) {
  const uint32_t at = o.handlerOf(kind);
  if (!at) return;
  VisualState& v = visualState(s);
  if (kind == EventKind::MouseDown && v.mouseBusyFlag) return;  // mouse-up is never dropped
  if (kind == EventKind::MouseUp) v.lastMouseX = x, v.lastMouseY = y;
  EventArguments a;
  a.add(button), a.add(x), a.add(y), a.add(shift);
  a.add(senderOf(o));
  runHandler(s, at, a);
}

void fireMouseMove(State& s, VisualObject& o, int32_t x, int32_t y, int32_t shift) {
  const uint32_t at = o.handlerOf(EventKind::MouseMove);
  VisualState& v = visualState(s);
  // A form's own mouse-move handler is always installed: its moves are always recorded.
  if (at || o.type() == otForm) v.lastMouseX = x, v.lastMouseY = y;
  if (!at || v.mouseBusyFlag) return;
  EventArguments a;
  a.add(x), a.add(y), a.add(shift);
  a.add(senderOf(o));
  v.mouseBusyFlag = true;
  runHandler(s, at, a);
  visualState(s).mouseBusyFlag = false;  // also after a handler that failed
}

void fireKey(State& s, VisualObject& o, EventKind kind, int32_t key, int32_t shift) {
  const uint32_t at = o.handlerOf(kind);
  if (!at) return;
  EventArguments a;
  a.add(key), a.add(shift);
  a.add(senderOf(o));
  runHandler(s, at, a);
}

void fireKeyPress(State& s, VisualObject& o, int32_t character) {
  const uint32_t at = o.handlerOf(EventKind::KeyPress);
  if (!at) return;
  EventArguments a;
  a.add(character & 0xFF);
  a.add(senderOf(o));
  runHandler(s, at, a);
}

int32_t fireClose(State& s, FormObject& form, int32_t action) {
  const uint32_t at = form.handlerOf(EventKind::Close);
  if (!at) {
    visualState(s).closingFlag = true;
    return action;
  }
  EventArguments a;
  a.add(action);
  a.add(senderOf(form));
  int32_t chosen = action;
  runHandler(s, at, a, 0, &chosen);  // a handler that failed leaves the action as it was
  if (chosen == kCloseFree) visualState(s).closingFlag = true;
  return chosen;
}

void fireFormResize(State& s, FormObject& form) {
  VisualState& v = visualState(s);
  const uint32_t at = form.handlerOf(EventKind::Resize);
  if (!at || v.closingFlag) {
    v.closingFlag = false;
    return;
  }
  EventArguments a;
  a.add(senderOf(form));
  v.mouseBusyFlag = true;
  runHandler(s, at, a);
  VisualState& after = visualState(s);
  after.mouseBusyFlag = false;
  after.closingFlag = false;
}

void hookSees(State& s, FormObject& form, uint32_t message, int32_t wParam, int32_t lParam) {
  VisualState& v = visualState(s);
  // While closingFlag is set the program's handler does not run, but the window's own
  // handling of the message goes on (the caller's part).
  if (v.closingFlag || v.hooked != &form) return;
  const int32_t at = form.events[form_event::Hook];
  if (at <= 0) return;
  EventArguments a;
  a.add(double(form.handle)), a.add(double(message)), a.add(wParam), a.add(lParam);
  runHandler(s, uint32_t(at), a);
}

namespace {

int32_t mouseKeys(int32_t shift, int32_t button) {
  int32_t k = 0;
  if (shift & kShiftShift) k |= 4;
  if (shift & kShiftCtrl) k |= 8;
  if (button == 0) k |= 1;
  if (button == 1) k |= 2;
  if (button == 2) k |= 16;
  return k;
}

int32_t point(int32_t x, int32_t y) { return int32_t((uint32_t(uint16_t(y)) << 16) | uint16_t(x)); }

// What a form's window receives for a framework event, as the hook sees it.
void translateForHook(State& s, FormObject& f, const TavrinEvent& e) {
  const int32_t* p = e.param;
  switch (e.kind) {
    case kEventMouseDown:
    case kEventMouseUp: {
      static constexpr uint32_t down[] = {wm::LButtonDown, wm::RButtonDown, wm::MButtonDown};
      static constexpr uint32_t up[] = {wm::LButtonUp, wm::RButtonUp, wm::MButtonUp};
      const int b = p[0] >= 0 && p[0] <= 2 ? p[0] : 0;
      hookSees(s, f, e.kind == kEventMouseDown ? down[b] : up[b], mouseKeys(p[3], e.kind == kEventMouseDown ? b : -1),
               point(p[1], p[2]));
      break;
    }
    case kEventMouseMove: hookSees(s, f, wm::MouseMove, mouseKeys(p[2], -1), point(p[0], p[1])); break;
    case kEventKeyDown: hookSees(s, f, wm::KeyDown, p[0], 1); break;
    case kEventKeyUp: hookSees(s, f, wm::KeyUp, p[0], int32_t(0xC0000001u)); break;
    case kEventKeyPress: hookSees(s, f, wm::Char, p[0] & 0xFF, 1); break;
    case kEventClose: hookSees(s, f, wm::Close, 0, 0); break;
    case kEventActivate: hookSees(s, f, wm::Activate, p[0] ? 1 : 0, 0); break;
    default: break;
  }
}

// Keys go to the form first when its KeyPreview is set, then to the control.
void keyEvent(State& s, VisualObject& o, const TavrinEvent& e) {
  VisualObject* f = o.form();
  const bool preview = f && f != &o && static_cast<FormObject*>(f)->keyPreview != 0;
  auto deliver = [&](VisualObject& to) {
    if (e.kind == kEventKeyPress) fireKeyPress(s, to, e.param[0]);
    else fireKey(s, to, e.kind == kEventKeyDown ? EventKind::KeyDown : EventKind::KeyUp, e.param[0], e.param[1]);
  };
  if (preview) deliver(*f);
  deliver(o);
}

void runLayerEvent(State& s, TavrinEvent& e) {
  e.result = 0;
  // The run's time is up while it waits in a loop of the layer (no statement runs there).
  if (g_timeUp) [[unlikely]] {
    try {
      raiseTimeLimit();
    } catch (const RunError& error) {
      reportRunError(s, error);
      endRunNow(s, errorExitStatus(error));
    }
  }
  if (e.kind == kEventDeliver) return deliverPending(s);
  if (e.kind == kEventPoll) {
    pumpSocketNotifications(s);
    return deliverPending(s);
  }
  VisualObject& o = visualAt(s, uint8_t(e.type), e.instance);
  FormObject* form = o.type() == otForm ? static_cast<FormObject*>(&o) : nullptr;
  if (form) translateForHook(s, *form, e);
  const int32_t* p = e.param;
  switch (e.kind) {
    case kEventClick: o.clicked(s); break;
    case kEventDoubleClick: fireNotify(s, o, EventKind::DoubleClick); break;
    case kEventMouseDown:
    case kEventMouseUp:
      fireMouseButton(s, o, e.kind == kEventMouseDown ? EventKind::MouseDown : EventKind::MouseUp, p[0], p[1], p[2],
                      p[3]);
      break;
    case kEventMouseMove: fireMouseMove(s, o, p[0], p[1], p[2]); break;
    case kEventKeyDown:
    case kEventKeyUp:
    case kEventKeyPress: keyEvent(s, o, e); break;
    case kEventClose:
      // The window stays as it is; the close logic hides it when the program lets it.
      if (form) form->close(s);
      break;
    case kEventResized:
      if (form) {
        const int32_t w = form->outerWidth(p[0]), h = form->outerHeight(p[1]);
        if (w == form->width && h == form->height) break;  // what the program set
        form->width = w, form->height = h;
        hookSees(s, *form, wm::Size, 0, point(p[0], p[1]));
        form->resized(s);
      }
      break;
    case kEventMoved:
      if (form) {
        const int32_t l = p[0] - form->frame(), t = p[1] - form->frame() - form->captionHeight();
        if (l == form->left && t == form->top) break;
        form->left = l, form->top = t;
        hookSees(s, *form, wm::Move, 0, point(p[0], p[1]));
      } else {
        o.left = p[0], o.top = p[1];  // a control the user moved by mouse
      }
      break;
    case kEventTimer: o.ticked(s); break;
    case kEventPaint: fireNotify(s, o, EventKind::Paint); break;
    default: break;
  }
}

}  // namespace

int32_t dispatchLayerEvent(State& s, TavrinEvent& e) noexcept {
  try {
    runLayerEvent(s, e);
    return kVisualOk;
  } catch (const RunError& error) {
    // Outside a handler (the object does not exist, a property the event changed): the
    // error is reported and the event ends, as it does inside one.
    reportRunError(s, error);
  } catch (...) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: an event could not be delivered\n", s.programName.c_str());
  }
  return kVisualFailed;
}

uint32_t formWindowHandle(State& s, int32_t form) {
  if (!s.objects) return 0;
  const ObjectList& list = s.objects->lists[otForm];
  if (form < 0 || size_t(form) >= list.items.size()) return 0;
  return static_cast<const VisualObject*>(list.items[size_t(form)])->handle;
}

void closeVisualObjects(State& s) {
  if (!s.objects) return;
  for (uint8_t type : {otForm, otButton, otTimer})
    for (const auto& owned : s.objects->lists[type].owned) {
      auto& o = static_cast<VisualObject&>(*owned);
      if (o.type() == otForm) static_cast<FormObject&>(o).modalDepth = 0;
      o.peer = nullptr;  // the layer deletes its widgets as Qt ends
    }
  if (s.objects->visual) s.objects->visual->modal.clear();
}

// EventCoordinate1 and 2: the last mouse position the shared handlers recorded.
void fnEventCoordinate1(State& s, EvalStack& e) { e.pushNumber(s.objects && s.objects->visual ? s.objects->visual->lastMouseX : 0); }
void fnEventCoordinate2(State& s, EvalStack& e) { e.pushNumber(s.objects && s.objects->visual ? s.objects->visual->lastMouseY : 0); }

// MouseX and MouseY: the pointer on the screen, when the windowed layer runs.
namespace {
int32_t pointer(bool y) {
  const TavrinVisualLayer* l = startedVisualLayer();
  int32_t px = 0, py = 0;
  if (l) l->cursorPos(&px, &py);
  return y ? py : px;
}
}  // namespace
void fnMouseX(State&, EvalStack& e) { e.pushNumber(pointer(false)); }
void fnMouseY(State&, EvalStack& e) { e.pushNumber(pointer(true)); }

}  // namespace tavrin
