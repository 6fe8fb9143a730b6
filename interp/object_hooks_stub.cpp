// The object layer's side of interp/object_hooks.h until it is built: each raises
// "not implemented yet".
#include "interp/object_hooks.h"

#include "runtime/run_error.h"

namespace tavrin {

void declareObjects(State&, uint8_t, uint16_t) { raiseNotImplemented("declaring object instances"); }
void declareObjectArray(State&, uint8_t, uint16_t, const DimensionList&) {
  raiseNotImplemented("object arrays");
}
void redimensionObjectArray(State&, uint8_t, uint16_t, const DimensionList&, bool) {
  raiseNotImplemented("object arrays");
}

}  // namespace tavrin
