// The guard against runaway recursion: every nested dispatcher activation and every
// nested evaluation costs host stack, so both check the stack pointer against a limit
// computed at start-up from the real stack size. Running past it is run-time error 202.
#pragma once
#include <cstdint>

namespace tavrin {

extern uintptr_t g_hostStackLimit;

// Raises the soft stack limit where the hard limit allows and sets the guard; call once
// near the top of main (the caller's frame is taken as the top of the stack).
void prepareHostStack();
// Bytes of host stack the guard allows.
uintptr_t hostStackBudget();

[[noreturn, gnu::cold]] void hostStackExhausted();

inline void checkHostStack() {
  char probe;
  if (reinterpret_cast<uintptr_t>(&probe) < g_hostStackLimit) [[unlikely]]
    hostStackExhausted();
}

}  // namespace tavrin
