// Construction and destruction of the interpreter state.
#include "interp/state.h"

#include "interp/compiled.h"

namespace tavrin {

State::State() = default;
State::~State() = default;

void destroyService(CompiledCache* p) { delete p; }

}  // namespace tavrin
