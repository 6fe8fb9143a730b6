// Per-call state: the call level, the return stack, parameter stores, the variable
// argument tables and the function result registers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "interp/byte_store.h"

namespace tavrin {

struct CallState {
  int32_t level = 0;  // 0 in the main program
  // 32-bit code positions, one per active call level.
  std::vector<uint32_t> returnStack;
  // Nested dispatcher activations on the host stack (events, calls, continuations).
  int32_t activations = 0;
};

struct State;
// StmtEndBody: the call level drops by one and the top return-stack entry goes.
void leaveCallLevel(State& s);

}  // namespace tavrin
