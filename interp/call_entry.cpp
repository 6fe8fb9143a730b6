// The cold half of the call level entry: putting the interpreter back after an error, and
// the boundary face that turns whatever leaves a body into a status.
#include "interp/call_entry.h"

#include <cstdio>
#include <new>

#include "interp/dispatcher.h"

namespace tavrin {

void unwindCall(State& s, const CallMark& mark) {
  s.code.seek(mark.code);
  s.statementPosition = mark.statement;
  CallState& c = s.calls;
  c.level = mark.level;
  c.returnStack.resize(mark.returnDepth);  // never grows here: its capacity held the entries
  c.functionNumber = mark.functionNumber;
  ControlState& control = s.control;
  control.localJumpDepth = mark.localJumpDepth;
  control.selectionLevel = mark.selectionLevel;
  control.loopPosition = mark.loopPosition;
}

void badCallTarget(const State& s, int64_t target) {
  raiseByteCode("call target " + std::to_string(target) + " lies outside the image (" + std::to_string(s.code.size()) +
                " bytes)");
}

int errorExitStatus(const RunError& error) { return error.number > 0 && error.number < 256 ? error.number : 217; }

void reportRunError(const State& s, const RunError& error) noexcept {
  std::fflush(stdout);
  try {
    const std::string line = formatError(error);
    std::fprintf(stderr, "%s: %s\n", s.programName.c_str(), line.c_str());
  } catch (...) {
    // No memory for the line: the number alone.
    std::fprintf(stderr, "%s: run-time error %d\n", s.programName.c_str(), error.number);
  }
}

namespace {

// The registers an event interrupts, kept apart from the stores the program sees.
struct SavedRegisters {
  double resultNum, functionNumber;
  std::string resultStr, functionText;
  bool functionIsText;
  explicit SavedRegisters(const State& s)
      : resultNum(s.resultNum),
        functionNumber(s.calls.functionNumber),
        resultStr(s.resultStr),
        functionText(s.calls.functionText),
        functionIsText(s.calls.functionIsText) {}
  void restore(State& s) {
    s.resultNum = resultNum;
    s.resultStr.swap(resultStr);
    s.calls.functionNumber = functionNumber;
    s.calls.functionText.swap(functionText);
    s.calls.functionIsText = functionIsText;
  }
};

CallOutcome fatal(RunError error) {
  CallOutcome o;
  o.status = CallStatus::Fatal;
  o.exitCode = errorExitStatus(error);
  o.error = std::move(error);
  return o;
}

CallOutcome hostOutOfMemory(const State& s) {
  RunError error{ErrorKind::Limit, int(ErrorNumber::HeapOverflow), {}, s.statementPosition};
  try {
    error.message = "Heap overflow: the host is out of memory";
  } catch (...) {
  }
  return fatal(std::move(error));
}

CallOutcome runOutside(State& s, int64_t target, bool report) {
  CallOutcome o;
  try {
    enterGuardedCall(s, target, s.code.position(), true, [&] { runStatements(s); });
  } catch (RunError& error) {
    if (error.kind == ErrorKind::Limit) return fatal(std::move(error));
    if (report) reportRunError(s, error);
    o.status = CallStatus::Failed;
    o.exitCode = errorExitStatus(error);
    o.error = std::move(error);
  } catch (const ProgramEnd& end) {
    o.status = CallStatus::Ended;
    o.exitCode = end.exitCode;
  } catch (const std::bad_alloc&) {
    return hostOutOfMemory(s);
  }
  return o;
}

}  // namespace

CallOutcome callFromOutside(State& s, int64_t target, bool keepResults, bool report) noexcept {
  try {
    if (!keepResults) return runOutside(s, target, report);
    SavedRegisters saved(s);
    CallOutcome o = runOutside(s, target, report);
    saved.restore(s);
    return o;
  } catch (const std::bad_alloc&) {
    return hostOutOfMemory(s);
  } catch (...) {
    // Nothing else is thrown by the interpreter; a host library's exception still must not
    // cross the boundary.
    RunError error{ErrorKind::Limit, 217, {}, s.statementPosition};
    try {
      error.message = "unexpected host exception in a handler";
    } catch (...) {
    }
    return fatal(std::move(error));
  }
}

}  // namespace tavrin
