// Control-flow state: the loop stack, the local-jump stack and the selection slots.
#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace tavrin {

struct ControlState {
};

}  // namespace tavrin
