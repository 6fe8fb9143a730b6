// The engine's model of a visual object (a form, a button, a timer): what the program set
// and reads back, its handler positions and its peer in the windowed layer, which only
// shows it. Members change the model first and then tell the peer; reads come from the
// model, so they give the framework's own arithmetic whatever a window manager does.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "lib/font.h"
#include "ui/object_model.h"
#include "ui/visual_host.h"

namespace tavrin {

inline constexpr uint8_t otForm = 30;
inline constexpr uint8_t otButton = 32;
inline constexpr uint8_t otTimer = 49;

// The events a handler can be bound to.
enum class EventKind : uint8_t {
  Click,
  DoubleClick,
  Resize,
  Show,
  Paint,
  Timer,
  StartDrag,
  EndDrag,
  MouseDown,
  MouseUp,
  MouseMove,
  KeyPress,
  KeyDown,
  KeyUp,
  Close,
  Hook,  // the form's window message handler
};

// The framework's colours the program reads back before it sets them.
inline constexpr int32_t kClBtnFace = int32_t(0x8000000Fu);

class VisualObject : public Object {
public:
  VisualObject(uint8_t type, int32_t instance);
  ~VisualObject() override;

  Font* font() override { return &fontData; }
  // The handler position bound to an event of this object; 0: none. Each type keeps its
  // positions in fields of its own.
  virtual uint32_t handlerOf(EventKind kind) const = 0;
  // After creation (the peer is there when the layer runs): creation defaults.
  virtual void created(State&) {}
  // A message sent or posted to the object's window handle; objects without a window
  // (timers) get none.
  virtual bool hasWindow() const { return true; }
  virtual int32_t windowMessage(State& s, uint32_t message, int32_t wParam, int32_t lParam);
  // The user clicked it (a button: its modal result and kind first); a timer ticked.
  virtual void clicked(State& s);
  virtual void ticked(State&) {}
  // The form it is on (itself for a form); nullptr when it has none.
  VisualObject* form();

  // The peer's client rectangle from the model (a control's rectangle in its parent).
  virtual void applyGeometry();
  // Sets the outer rectangle and tells the peer; true when the size changed.
  bool setBounds(int32_t left, int32_t top, int32_t width, int32_t height);

  void tellInt(TavrinAttr attr, int32_t value) const {
    if (peer) layer->setInt(peer, attr, value);
  }
  void tellText(TavrinTextAttr attr, std::string_view text) const {
    if (peer) layer->setText(peer, attr, text.data(), text.size());
  }

  int32_t tag;                                // the instance number it was created under
  TavrinPeer peer = nullptr;                  // null without the windowed layer
  const TavrinVisualLayer* layer = nullptr;   // the layer that made the peer
  uint32_t handle = 0;                        // its window in the engine's message queue
  VisualObject* parent = nullptr;             // the container it is on
  int32_t left = 0, top = 0, width = 0, height = 0;  // outer, in the parent (forms: the screen)
  std::string caption, hint;
  bool visible = false, enabled = true, showHint = false;
  int32_t color = kClBtnFace;
  int32_t cursor = 0;
  Font fontData;
};

// The object behind an instance of a visual type; error 213 outside the list.
VisualObject& visualAt(State& s, uint8_t type, int32_t instance);

// Makes a visual object of class T for an instance: its peer when the layer runs, its
// window handle.
void attachPeer(State& s, VisualObject& o);
template <class T>
std::unique_ptr<Object> makeVisual(State& s, int32_t instance) {
  auto o = std::make_unique<T>(instance);
  attachPeer(s, *o);
  o->created(s);
  return o;
}

}  // namespace tavrin
