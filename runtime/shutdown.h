// Shutdown: releasing what the run set up. Services add their steps here.
#pragma once

namespace tavrin {

struct State;

// The normal end of the main program: flushes and releases every service in order.
void shutdownState(State& s);
// The least that every way out does (StmtEnd, a run-time error): flush what the program
// wrote and give the terminal back.
void endServices(State& s);
// SIGINT, SIGTERM and SIGHUP restore the terminal and end the process with 130, 143, 129.
void installExitSignalHandlers();

}  // namespace tavrin
