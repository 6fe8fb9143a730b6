// The sandbox for untrusted images: with RunState::sandbox set, anything that reaches outside
// the process (files, processes, libraries, sockets, the printer, sleeping) is refused with
// a run-time error instead of being carried out.
#pragma once
#include <cstdint>
#include <string_view>

namespace tavrin {

[[noreturn, gnu::cold]] void sandboxRefuse(std::string_view what);

}  // namespace tavrin
