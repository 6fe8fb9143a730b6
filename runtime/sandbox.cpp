// What the sandbox refuses.
#include "runtime/sandbox.h"

#include <string>

#include "runtime/run_error.h"

namespace tavrin {

void sandboxRefuse(std::string_view what) {
  raiseLimit(ErrorNumber::Unhandled, "refused in the sandbox: " + std::string(what));
}

}  // namespace tavrin
