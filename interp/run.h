// One program run from start-up to exit, and the service steps around it. Errors end in one
// line on stderr and the error's number as the exit status; StmtEnd leaves at once with
// status 0 but still ends every service.
#pragma once
#include "runtime/engine.h"
#include "runtime/services.h"

namespace tavrin {

struct State;

// Runs the program with the given services and returns the process exit status: 0 on a
// normal end, the error number after a run-time error, 2 when `tavrin run` is given a file
// without a program.
int runProgramFile(const RunOptions& options, ServiceList services);

// The services' start steps, in list order.
void startServices(State& s);
// The normal end of the main program: every close step, then every end step, in reverse
// list order. A close step that raises leaves the others to endServices.
void shutdownState(State& s);
// The least that every way out does (StmtEnd, a run-time error): the end steps in reverse.
void endServices(State& s);
// The pump steps, in list order (the message queue calls them).
void pumpServices(State& s);

}  // namespace tavrin
