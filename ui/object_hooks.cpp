// The object layer's side of the declarations (interp/object_hooks.h): plain object
// declarations and object arrays go to the object model.
#include "interp/object_hooks.h"

#include "ui/object_model.h"

namespace tavrin {

void declareObjects(State& s, uint8_t type, uint16_t highest) { CreateObjects(s, type, highest); }

void declareObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims) {
  DeclareObjectArray(s, type, array, dims);
}

// Objects are never destroyed by a resize and the kept ones are the same objects under
// new numbers, so the keep flag changes nothing for object arrays.
void redimensionObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims, bool) {
  RedimObjectArray(s, type, array, dims);
}

uint32_t objectArgumentAddress(State& s, uint8_t type, int64_t instance) { return ObjectAddress(s, type, instance); }

}  // namespace tavrin
