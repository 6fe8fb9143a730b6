// The signals that end a run: SIGINT, SIGTERM and SIGHUP run every registered service's
// signal step (the console gives the terminal back) and end the process with 128 + the
// signal's number. They run on the thread that installed them (the interpreter's): another
// thread that catches one hands it over.
#pragma once
#include "runtime/services.h"

namespace tavrin {

void installExitSignalHandlers();

}  // namespace tavrin
