// The object layer's side of the declarations (interp/object_hooks.h): plain object
// declarations and object arrays go to the object model. A visual object (a form, a
// button, a timer) is a windowed program's first visual need: declaring one starts the
// windowed layer, so the objects get their peers.
#include "interp/object_hooks.h"

#include "ui/object_model.h"
#include "ui/visual_layer.h"

namespace tavrin {
namespace {

void startVisualLayerFor(State& s, uint8_t type) {
  if (type < kObjectTypeCodes && kTypeTraits[type].creation == Creation::Visual) visualLayer(s);
}

}  // namespace

void declareObjects(State& s, uint8_t type, uint16_t highest) {
  startVisualLayerFor(s, type);
  CreateObjects(s, type, highest);
}

void declareObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims) {
  startVisualLayerFor(s, type);
  DeclareObjectArray(s, type, array, dims);
}

// Objects are never destroyed by a resize and the kept ones are the same objects under
// new numbers, so the keep flag changes nothing for object arrays.
void redimensionObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims, bool) {
  startVisualLayerFor(s, type);
  RedimObjectArray(s, type, array, dims);
}

uint32_t objectArgumentAddress(State& s, uint8_t type, int64_t instance) { return ObjectAddress(s, type, instance); }

}  // namespace tavrin
