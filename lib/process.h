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

// Function 70's process handles (the children's ids). A child that ends is reaped at the
// next look at the table (another start, a wait, a message pump) and its exit status kept
// until its handle is closed.
enum class ProcessWait { Ended, TimedOut, NoSuchHandle };
// Waits up to `ms` milliseconds (0xFFFFFFFF: without end) for the child to end.
ProcessWait waitForProgram(int32_t handle, uint32_t ms);
// The exit status, 259 (still active) while it runs; false for an unknown handle.
bool programExitCode(int32_t handle, uint32_t& code);
// Ends the child at once; its exit status becomes `code`. False for an unknown handle or
// one that has ended.
bool terminateProgram(int32_t handle, uint32_t code);
// Forgets the handle (a running child is still reaped when it ends); false when unknown.
bool closeProgramHandle(int32_t handle);
bool isProgramHandle(int32_t handle);

}  // namespace tavrin
