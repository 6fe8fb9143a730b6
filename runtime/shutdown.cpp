// Shutdown steps.
#include "runtime/shutdown.h"

#include <cstdio>

#include "lib/printer.h"
#include "runtime/state.h"

namespace tavrin {

void endServices(State&) { std::fflush(stdout); }

void shutdownState(State& s) {
  printerClose(s);  // an open printer document ends with the run
  endServices(s);
}

}  // namespace tavrin
