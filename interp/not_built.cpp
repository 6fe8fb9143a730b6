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

NOT_BUILT_STATEMENT(StmtObjectMember)
NOT_BUILT_STATEMENT(StmtObjectMemberIndirect)
NOT_BUILT_STATEMENT(StmtConsoleColour)
NOT_BUILT_STATEMENT(StmtConsoleLocate)
NOT_BUILT_STATEMENT(StmtConsoleClear)
NOT_BUILT_STATEMENT(StmtCallExternal)
NOT_BUILT_STATEMENT(StmtCallExternalSub)
NOT_BUILT_STATEMENT(StmtConsoleTitle)
NOT_BUILT_STATEMENT(StmtScreenPage)
NOT_BUILT_STATEMENT(StmtPokeScreen)
NOT_BUILT_STATEMENT(StmtPrintPage)
NOT_BUILT_STATEMENT(StmtPokePage)
NOT_BUILT_STATEMENT(StmtPortOutWord)
NOT_BUILT_STATEMENT(StmtCreateObject)
NOT_BUILT_STATEMENT(StmtPortOutByte)
NOT_BUILT_STATEMENT(StmtModifierFlag)
NOT_BUILT_STATEMENT(StmtTone)
NOT_BUILT_STATEMENT(StmtDropExternal)

NOT_BUILT_OPERAND(OpProperty)
NOT_BUILT_OPERAND(OpExternalCall)
NOT_BUILT_OPERAND(OpPropertyElement)

NOT_BUILT_FUNCTION(ReadKeyText)
NOT_BUILT_FUNCTION(EventCoordinate1)
NOT_BUILT_FUNCTION(EventCoordinate2)
NOT_BUILT_FUNCTION(ConsoleLine)
NOT_BUILT_FUNCTION(CursorColumnOf)
NOT_BUILT_FUNCTION(CursorRowOf)
NOT_BUILT_FUNCTION(PeekScreenAt)
NOT_BUILT_FUNCTION(StdInputHandle)
NOT_BUILT_FUNCTION(PeekPageAt)
NOT_BUILT_FUNCTION(StdOutputHandle)
NOT_BUILT_FUNCTION(PortWord)
NOT_BUILT_FUNCTION(PortByte)
NOT_BUILT_FUNCTION(CallbackAddress)
NOT_BUILT_FUNCTION(ScreenCellAt)

}  // namespace tavrin
