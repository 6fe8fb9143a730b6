// Procedure and function calls: raising and lowering the call level.
#include "interp/calls.h"

#include "runtime/state.h"

namespace tavrin {

void leaveCallLevel(State& s) {
  --s.calls.level;
  if (!s.calls.returnStack.empty()) s.calls.returnStack.pop_back();
}

}  // namespace tavrin
