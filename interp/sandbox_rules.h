// Which statements the sandbox refuses (runtime/sandbox.h refuses them).
#pragma once
#include <cstdint>

namespace tavrin {

// Whether a statement with this lead byte (and, for lead 0, sub-opcode; for object
// statements, type code) is refused in the sandbox.
bool sandboxRefusesStatement(uint8_t lead, uint8_t next);

}  // namespace tavrin
