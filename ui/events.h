// Running the program's event handlers: the shared handler of each event kind, which
// writes the event's parameters into the next call level's slots, runs the bound
// procedure through the protected entry and takes results back; the suppression flags,
// the last mouse position, the close and resize logic and the form's window message hook.
// No Qt here: the windowed layer reports what happened (dispatchLayerEvent) and these
// functions decide what runs.
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "interp/message_queue.h"
#include "ui/visual_host.h"
#include "ui/visual_object.h"

namespace tavrin {

class FormObject;

// Shift codes of the handlers' parameters.
inline constexpr int32_t kShiftShift = 256, kShiftAlt = 16, kShiftCtrl = 1;

// Close actions: 0 none (the form stays), 1 hide, 2 free (the form is hidden and kept: no
// object is destroyed while the program runs), 3 minimise.
inline constexpr int32_t kCloseNone = 0, kCloseHide = 1, kCloseFree = 2, kCloseMinimize = 3;

// Window messages the forms' windows know.
namespace wm {
inline constexpr uint32_t Move = 3, Size = 5, Activate = 6, Close = 16, KeyDown = 0x100, KeyUp = 0x101,
                          Char = 0x102, SysCommand = 0x112, MouseMove = 0x200, LButtonDown = 0x201,
                          LButtonUp = 0x202, RButtonDown = 0x204, RButtonUp = 0x205, MButtonDown = 0x207,
                          MButtonUp = 0x208, ButtonClick = 0xF5;
inline constexpr int32_t ScMove = 0xF012, ScMinimize = 0xF020, ScMaximize = 0xF030, ScClose = 0xF060,
                         ScRestore = 0xF120;
}  // namespace wm

// The run's event state: the flags of the shared handlers, the last mouse position, the
// hooked form and the forms in modal loops.
struct VisualState {
  bool closingFlag = false;       // a form closed without a handler, or with action 2
  bool mouseBusyFlag = false;     // a form resize or a mouse-move handler is running
  bool comboMeasureFlag = false;  // a combo box measure-item handler is running
  int32_t lastMouseX = 0, lastMouseY = 0;
  FormObject* hooked = nullptr;   // the one form whose window message handler runs
  std::vector<FormObject*> modal;  // forms in modal loops, the innermost last
  // How a handler's end statement or limit error ends the run (tests replace it).
  void (*endRun)(State& s, int status) = nullptr;
};

VisualState& visualState(State& s);

// The parameters of one handler call: numbers in slots 0.., then the objects after them.
struct EventArguments {
  std::array<double, 6> number{};
  int numbers = 0;
  std::array<ObjectRef, 2> object{};
  int objects = 0;
  void add(double v) { number[size_t(numbers++)] = v; }
  void add(const ObjectRef& o) { object[size_t(objects++)] = o; }
};

// The sender as handlers receive it: its type and the low 16 bits of its Tag.
ObjectRef senderOf(const VisualObject& o);

// Runs the handler at `position` (0: nothing) with the arguments. When `takeBack` >= 0 and
// the handler returned, `*result` becomes its number slot `takeBack`, truncated. An error
// in the handler is reported and ends the event (false); the end statement or a limit
// inside it ends the run.
bool runHandler(State& s, uint32_t position, const EventArguments& a, int takeBack = -1, int32_t* result = nullptr);

// The shared handlers. Each finds the handler position the sender has bound for its kind.
void fireNotify(State& s, VisualObject& o, EventKind kind);  // click, show, paint, timer, ...
void fireMouseButton(State& s, VisualObject& o, EventKind kind, int32_t button, int32_t x, int32_t y,
                     int32_t shift);
void fireMouseMove(State& s, VisualObject& o, int32_t x, int32_t y, int32_t shift);
void fireKey(State& s, VisualObject& o, EventKind kind, int32_t key, int32_t shift);
void fireKeyPress(State& s, VisualObject& o, int32_t character);
// A form closes with the framework's default action: the close logic gives the action
// the program chose (the flags change as it says).
int32_t fireClose(State& s, FormObject& form, int32_t action);
// A form's size changed: the resize logic (closingFlag and mouseBusyFlag).
void fireFormResize(State& s, FormObject& form);

// The window message hook: the program's handler of the hooked form sees the message
// unless closingFlag is set (the window's own handling goes on either way).
void hookSees(State& s, FormObject& form, uint32_t message, int32_t wParam, int32_t lParam);

// What the layer reports, for the object it names (TavrinEvent.type, .instance).
int32_t dispatchLayerEvent(State& s, TavrinEvent& e) noexcept;

// The window handle of a form instance (sockets post their notifications to it); 0: none.
uint32_t formWindowHandle(State& s, int32_t form);

// The end of the run: modal loops end and the peers are forgotten before Qt ends.
void closeVisualObjects(State& s);

}  // namespace tavrin
