// The dispatcher loop and the class table's dispatch arrays.
// Hazards: the byte just read at the end of the stream is not carried out; the statement
// position is recorded before anything can fail and restored when a nested activation
// returns, so an error always names the innermost statement that failed. Statements the
// cache has decoded (interp/compiled.h) run in their decoded form, with the same steps,
// trace lines and sandbox checks before them.
#include "interp/dispatcher.h"

#include <cstdio>

#include "interp/compiled.h"
#include "interp/handlers.h"
#include "interp/sandbox_rules.h"
#include "interp/tables.h"
#include "runtime/host_stack.h"
#include "runtime/memory_limit.h"
#include "runtime/sandbox.h"
#include "runtime/time_limit.h"
#include "interp/state.h"

namespace tavrin {

using Handler = void (*)(State&);

namespace {

constexpr std::array<Handler, kLeadCount> makeLeadHandlers() {
  std::array<Handler, kLeadCount> t{};
#define LEAD(byte, cls, name, layout) t[byte] = &exec##name;
#include "interp/statements.def"
#undef LEAD
  return t;
}
constexpr std::array<Handler, kCommandCount> makeCommandHandlers() {
  std::array<Handler, kCommandCount> t{};
#define COMMAND(sub, name, layout) t[sub] = &exec##name;
#define COMMAND_NONE(sub)
#include "interp/commands.def"
#undef COMMAND
#undef COMMAND_NONE
  return t;
}

constexpr auto kLeadHandlers = makeLeadHandlers();
constexpr auto kCommandHandlers = makeCommandHandlers();

// Class codes of the class table that the loop handles itself.
constexpr uint8_t kClassNone = 0, kClassCommand = 1, kClassEndBody = 9, kClassReturn = 10;

}  // namespace

bool slowSteps(const State& s) {
  return s.trace || s.stepLimit || s.sandbox || s.stats || memoryLimit() || timeLimited();
}

void slowStep(State& s, uint32_t at, uint8_t lead, bool decoded) {
  if (StatementStats* stats = s.stats.get()) [[unlikely]] {
    if (decoded) ++stats->decoded;
    else stats->countGeneric(lead, s.code.atEnd() ? -1 : s.code.peek());
  }
  if (s.stepLimit && ++s.steps > s.stepLimit)
    raiseLimit(ErrorNumber::Unhandled, "step budget of " + std::to_string(s.stepLimit) + " statements exhausted");
  checkMemoryLimit();
  checkTimeLimit();
  if (s.sandbox && !s.code.atEnd() && sandboxRefusesStatement(lead, s.code.peek())) {
    uint8_t next = s.code.peek();
    sandboxRefuse(lead < kLeadCount && kLeads[lead].cls == kClassCommand && next < kCommandCount
                      ? kCommands[next].name
                      : (lead < kLeadCount ? kLeads[lead].name : std::string_view("statement")));
  }
  if (!s.trace) return;
  std::string_view name = "(nothing)";
  if (lead < kLeadCount && kLeads[lead].cls == kClassCommand) {
    uint8_t sub = s.code.peek();
    name = sub < kCommandCount && !kCommands[sub].name.empty() ? kCommands[sub].name : "(nothing)";
  } else if (lead < kLeadCount && !kLeads[lead].name.empty()) {
    name = kLeads[lead].name;
  }
  std::fprintf(stderr, "0x%04X %.*s\n", at, int(name.size()), name.data());
}

// The loop handles these lead bytes itself; their table entries exist for the names.
void execStmtCommand(State&) {}
void execStmtEndBody(State&) {}
void execStmtReturn(State&) {}

void runStatements(State& s) {
  checkHostStack();
  CodeReader& code = s.code;
  const uint32_t outerStatement = s.statementPosition;
  const bool slow = slowSteps(s);
  prepareLocalFrames(s.stores, s.calls.level);
  CompiledCache& cache = compiledCache(s);
  double slots[kSlots];  // the decoded statements' working slots
  try {
    for (;;) {
      if (code.atEnd()) break;
      const uint32_t at = code.position();
      if (const CompiledStatement* c = cache.statement(at)) {
        if (runDecoded(s, cache, c, slots, slow) == BlockEnd::Activation) break;
        continue;
      }
      const uint8_t lead = code.u8();
      if (code.atEnd()) break;  // the last byte of the stream is not carried out
      s.statementPosition = at;
      if (slow) [[unlikely]]
        slowStep(s, at, lead);
      if (lead >= kLeadCount) continue;
      const uint8_t cls = kLeads[lead].cls;
      if (cls == kClassCommand) {
        const uint8_t sub = code.u8();
        if (sub < kCommandCount) {
          if (Handler h = kCommandHandlers[sub]) h(s);
          if (sub == uint8_t(Command::StmtExitProc)) break;  // the activation returns
        }
        continue;
      }
      if (cls == kClassNone) continue;
      if (cls == kClassReturn) break;
      if (cls == kClassEndBody) {
        leaveCallLevel(s);
        break;
      }
      kLeadHandlers[lead](s);
    }
  } catch (RunError& error) {
    if (error.position == kNoPosition) error.position = s.statementPosition;
    throw;
  }
  s.statementPosition = outerStatement;
}

void runContinuation(State& s) {
  if (s.code.atEnd()) return;
  if (s.code.u8() == 33) runStatements(s);
  else s.code.stepBack();
}

}  // namespace tavrin

namespace tavrin {

// StmtEnd: the process ends at once with status 0; the normal shutdown does not run.
void execStmtEnd(State&) { throw ProgramEnd{0}; }

}  // namespace tavrin
