// Destruction of the object layer's state, which the interpreter state holds by pointer.
#include "interp/state.h"
#include "ui/object_model.h"

namespace tavrin {

void destroyService(ObjectState* p) { delete p; }

}  // namespace tavrin
