// The one way into a call level: every call statement, function call, decoded call, event
// handler and foreign callback enters a procedure body through enterCall (inside the
// interpreter: errors propagate) or callFromOutside (at a boundary: nothing propagates).
// Invariant: when anything leaves a body by an exception, the entry that catches it finds the
// code position, the statement position, the call level, the return stack, the loop stack,
// the local jumps, the selection level and the caller's function result number as they
// were before its call (an error that nobody catches ends the run, so the calls in between
// need not put anything back).
// On a normal return the body's own statements (StmtEndBody, StmtReturn, StmtExitProc, loops
// left by a jump) have the last word on the depths, as the byte code defines them.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

// Everything a call level entry puts back when an error leaves the body.
struct CallMark {
  uint32_t code = 0;       // where the caller goes on
  uint32_t statement = 0;  // the caller's statement, for error reports
  int32_t level = 0;
  uint32_t returnDepth = 0;
  int32_t localJumpDepth = 0;
  int32_t selectionLevel = 0;
  int64_t loopPosition = 0;
  double functionNumber = 0.0;
};

inline CallMark markCall(const State& s, uint32_t back) {
  return CallMark{back,
                  s.statementPosition,
                  s.calls.level,
                  uint32_t(s.calls.returnStack.size()),
                  s.control.localJumpDepth,
                  s.control.selectionLevel,
                  s.control.loopPosition,
                  s.calls.functionNumber};
}

// Puts back what `mark` saved. Return-stack entries the body popped below the mark cannot
// be recovered: they come back as 0 (only malformed code pops its callers' entries).
[[gnu::cold]] void unwindCall(State& s, const CallMark& mark);

// A call target names a procedure record's length field; one whose body would start at or
// past the end of the image is refused before the level rises (it would run nothing).
[[noreturn, gnu::cold]] void badCallTarget(const State& s, int64_t target);
inline void checkCallTarget(const State& s, int64_t target) {
  if (target < 0 || target + 4 >= int64_t(s.code.size())) [[unlikely]]
    badCallTarget(s, target);
}

// Enters call level L + 1 for the body at `target`: pushes `back` on the return stack, raises
// the level, grows the parameter stores (unless `grow` is false: the variable-argument call
// statement does not), positions the code at target + 4 and runs `body`, which runs the
// statements (the dispatcher, or the decoded loop). Afterwards the code position is `back`
// and the statement position the caller's. An exception leaving `body` gets the failing
// statement's position (when it has none yet) and goes on; the depths are put back by the
// entry that catches it (enterGuardedCall, callFromOutside), so a call inside the
// interpreter saves nothing more than it needs to return.
// enterCheckedCall: the same for a target the caller has already checked.
template <class Body>
[[gnu::always_inline]] inline void enterCheckedCall(State& s, int64_t target, uint32_t back, bool grow, Body&& body) {
  CallState& c = s.calls;
  const uint32_t statement = s.statementPosition;
  c.returnStack.push_back(back);
  ++c.level;
  if (grow) growParameterStores(c);
  s.code.seek(target + 4);
  try {
    body();
  } catch (RunError& error) {
    if (error.position == kNoPosition) error.position = s.statementPosition;
    throw;
  }
  s.code.seek(back);
  s.statementPosition = statement;
}
template <class Body>
[[gnu::always_inline]] inline void enterCall(State& s, int64_t target, uint32_t back, bool grow, Body&& body) {
  checkCallTarget(s, target);
  enterCheckedCall(s, target, back, grow, body);
}

// enterCall for an entry whose caller goes on after an error (the boundary face below, and
// anything that catches an error and carries on): when an exception leaves the body, every
// depth the mark names is put back before it goes on.
template <class Body>
void enterGuardedCall(State& s, int64_t target, uint32_t back, bool grow, Body&& body) {
  const CallMark mark = markCall(s, back);
  try {
    enterCall(s, target, back, grow, body);
  } catch (...) {
    unwindCall(s, mark);
    throw;
  }
}

// --- The boundary face: for callers that are not the interpreter (a Qt event handler, a
// foreign callback). Nothing is thrown to them.

enum class CallStatus : uint8_t {
  Done,    // the body returned
  Failed,  // a run-time error ended the body; its line is on stderr and the program goes on
  Ended,   // the end statement ran: the caller unwinds and the engine exits with exitCode
  Fatal,   // a limit (steps, memory, host stack, sandbox) or the host ran out of memory: the
           // caller unwinds and the engine reports `error` and exits with its number
};

struct CallOutcome {
  CallStatus status = CallStatus::Done;
  int exitCode = 0;  // Ended: the exit status; Fatal: the error's
  RunError error{ErrorKind::Runtime, 0, {}, kNoPosition};  // Failed and Fatal
};

// The process exit status of a run-time error, and its report line on stderr
// ("prog: run-time error 200 at 0x01A4: Division by zero"), as the top level reports it.
int errorExitStatus(const RunError& error);
void reportRunError(const State& s, const RunError& error) noexcept;

// Runs the procedure body at `target` in call level L + 1, with the parameters the caller
// has already put into the next level's slots. `keepResults`: the expression and function
// result registers are put back afterwards too (an event interrupts a statement that may
// be using them). `report` false: a failure's line is not written (a foreign callback hands
// the error to the external call that was running, which raises it). Never throws.
CallOutcome callFromOutside(State& s, int64_t target, bool keepResults = false, bool report = true) noexcept;

}  // namespace tavrin
