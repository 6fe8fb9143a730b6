// Construction and destruction of the interpreter state; the service states are complete
// types here so that their owners can be destroyed.
#include "runtime/state.h"

#include "runtime/services.h"

namespace tavrin {

State::State() = default;
State::~State() = default;

}  // namespace tavrin
