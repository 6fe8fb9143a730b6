// Handlers whose services are not built yet. Each raises "not implemented yet" naming
// the statement, operand or function, so that no program passes by skipping it. A
// subsystem that builds a handler removes its line here.
#include "interp/handlers.h"
#include "runtime/run_error.h"

namespace tavrin {

#define NOT_BUILT_STATEMENT(name) \
  void exec##name(State&) { raiseNotImplemented(#name); }
#define NOT_BUILT_OPERAND(name) \
  void eval##name(State&, EvalStack&) { raiseNotImplemented(#name); }
#define NOT_BUILT_FUNCTION(name) \
  void fn##name(State&, EvalStack&) { raiseNotImplemented("built-in function " #name); }

// Every handler of the tables is built today.

}  // namespace tavrin
