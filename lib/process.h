// Other programs: a command line runs through /bin/sh -c, waited for or not. Standard
// output is flushed first so the child's output follows the program's own.
#pragma once
#include <cstdint>
#include <string_view>

namespace tavrin {

struct State;

// Statement 32: runs and waits for the end. False when the program could not be started.
bool runProgramAndWait(State& s, std::string_view commandLine);
// Function 70: starts without waiting; the process handle (its id), 0 on failure. The
// child is left for a later wait on its handle.
int32_t startProgram(State& s, std::string_view commandLine);
// StmtExecute: starts without waiting and without a handle; such children are reaped
// whenever another program is started and when messages are processed.
void executeDetached(State& s, std::string_view commandLine);
void reapDetached(State& s);

}  // namespace tavrin
