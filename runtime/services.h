// The complete types of the lazily started service states, for the state's destructor.
// Each service adds its header here.
#pragma once
#include "interp/compiled.h"
#include "lib/console.h"
#include "lib/sockets.h"
#include "ui/object_model.h"

namespace tavrin {
struct ExternalState {};
}  // namespace tavrin
