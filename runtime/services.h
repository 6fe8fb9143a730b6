// The complete types of the lazily started service states, for the state's destructor.
// Each service adds its header here.
#pragma once
#include "lib/sockets.h"

namespace tavrin {
struct ConsoleState {};
struct ObjectState {};
struct ExternalState {};
}  // namespace tavrin
