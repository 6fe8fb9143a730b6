// The statement dispatcher: the interpreter's main loop, re-entered for every call,
// continuation block and event handler.
#pragma once
#include <cstdint>

namespace tavrin {

struct State;

// Runs statements from the code position until a return byte, the end of a procedure
// body or the end of the code stream.
void runStatements(State& s);

// The checks that run before each statement when steps are counted, statements traced,
// statements counted for --stats, the sandbox is on or memory is bounded; the code position
// is after the lead byte. `decoded`: the statement runs in its decoded form.
void slowStep(State& s, uint32_t at, uint8_t lead, bool decoded = false);
// Whether statements go through slowStep.
bool slowSteps(const State& s);

// After a call: byte 33 runs a continuation block in a nested activation; any other
// byte is left in place.
void runContinuation(State& s);

// StmtEnd and the like: unwinds to the top level, which ends the process with this code
// without the normal shutdown.
struct ProgramEnd {
  int exitCode = 0;
};

}  // namespace tavrin
