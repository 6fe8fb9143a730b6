// The sandbox for untrusted images: with State::sandbox set, anything that reaches outside
// the process (files, processes, libraries, sockets, the printer, sleeping) is refused with
// a run-time error instead of being carried out.
#pragma once
#include <cstdint>
#include <string_view>

namespace tavrin {

struct State;

[[noreturn, gnu::cold]] void sandboxRefuse(std::string_view what);

// Whether a statement with this lead byte (and, for lead 0, sub-opcode; for object
// statements, type code) is refused in the sandbox.
bool sandboxRefusesStatement(uint8_t lead, uint8_t next);

}  // namespace tavrin
