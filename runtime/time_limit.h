// The --max-time bound: wall-clock seconds from start-up, sleeps and waits for input
// included. A timer signal (SIGALRM, without SA_RESTART) marks the deadline and breaks any
// wait the program is in; the statement loop and the waits then end the run with error 217.
#pragma once
#include <csignal>

namespace tavrin {

// Starts the timer; seconds <= 0 turns it off.
void setTimeLimit(double seconds);
bool timeLimited();

extern volatile std::sig_atomic_t g_timeUp;
[[noreturn, gnu::cold]] void raiseTimeLimit();
// Raises error 217 once the deadline has passed; cheap enough for every statement.
inline void checkTimeLimit() {
  if (g_timeUp) [[unlikely]]
    raiseTimeLimit();
}

}  // namespace tavrin
