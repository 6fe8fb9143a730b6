// Shutdown steps.
#include "runtime/shutdown.h"

#include <cstdio>

#include "runtime/state.h"

namespace tavrin {

void endServices(State&) { std::fflush(stdout); }

void shutdownState(State& s) { endServices(s); }

}  // namespace tavrin
