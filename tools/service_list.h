// The composition root's one list of the engine's services.
#pragma once
#include "runtime/services.h"

namespace tavrin {

ServiceList engineServices();

}  // namespace tavrin
