// What the program wrote to its file streams waits in their buffers (lib/streams.h) until
// the program could see the files another way. The places that let it (naming a file,
// running a process, sleeping, waiting for input or a peer, message boxes, external calls,
// pumps, the end of the run) call flushFileWrites first.
#pragma once

namespace tavrin {

struct State;

// Sends every file stream's waiting bytes to its file; raises error 101 when a file refuses
// them. Cheap when nothing waits.
void flushFileWrites();

// The file streams' service steps: each pump and the normal end send what waits (an error
// ends the run with 101); every other way out sends what it can; a signal sends what it can
// with async-signal-safe calls only.
void fileWritesPump(State& s);
void fileWritesClose(State& s);
void fileWritesEnd(State& s);
void fileWritesFromSignal();

}  // namespace tavrin
