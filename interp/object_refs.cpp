// Object reference parameters before the object layer exists: each raises "not
// implemented yet". The object layer takes these definitions over.
#include "interp/object_refs.h"

#include "runtime/run_error.h"

namespace tavrin {

int32_t objectElementNumber(State&, uint8_t, uint16_t) { raiseNotImplemented("object array arguments"); }
void readObjectParameter(State&, EvalStack&, uint8_t, uint16_t, uint8_t) {
  raiseNotImplemented("object reference parameters");
}
void assignObjectParameter(State&, uint8_t, uint16_t) { raiseNotImplemented("object reference parameters"); }

}  // namespace tavrin
