// The visual objects' common part: the model's geometry, the peer and the window handle.
#include "ui/visual_object.h"

#include <string>

#include "interp/message_queue.h"
#include "interp/state.h"
#include "interp/tables.h"
#include "ui/events.h"
#include "ui/visual_layer.h"

namespace tavrin {

namespace {

int32_t objectWindowProc(State& s, void* context, const WindowMessage& m) {
  return static_cast<VisualObject*>(context)->windowMessage(s, m.message, m.wParam, m.lParam);
}

}  // namespace

VisualObject::VisualObject(uint8_t type, int32_t instance) : Object(type), tag(instance) {}
VisualObject::~VisualObject() = default;

void VisualObject::applyGeometry() {
  if (peer) layer->setGeometry(peer, left, top, width, height);
}

bool VisualObject::setBounds(int32_t l, int32_t t, int32_t w, int32_t h) {
  const bool sized = w != width || h != height;
  if (l == left && t == top && !sized) return false;
  left = l, top = t, width = w, height = h;
  applyGeometry();
  return sized;
}

int32_t VisualObject::windowMessage(State&, uint32_t, int32_t, int32_t) { return 0; }

void VisualObject::clicked(State& s) { fireNotify(s, *this, EventKind::Click); }

VisualObject* VisualObject::form() {
  VisualObject* o = this;
  for (int depth = 0; o && o->type() != otForm && depth < 64; ++depth) o = o->parent;
  return o && o->type() == otForm ? o : nullptr;
}

VisualObject& visualAt(State& s, uint8_t type, int32_t instance) {
  return static_cast<VisualObject&>(ObjectAt(s, type, instance));  // checked to be of the type
}

void attachPeer(State& s, VisualObject& o) {
  if (o.hasWindow()) {
    o.handle = newWindowHandle(s);
    registerWindow(s, o.handle, &objectWindowProc, &o);
  }
  const TavrinVisualLayer* layer = startedVisualLayer();
  if (!layer) return;  // a model without a window (the layer starts at a declaration)
  const std::string name(kObjectTypes[o.type()].name);
  o.layer = layer;
  o.peer = layer->createPeer(o.type(), name.c_str(), o.tag);
}

}  // namespace tavrin
