// The assembler on arbitrary text: an image or an AsmError with a line, nothing else.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/asm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    tavrin::assemble(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.tasm");
  } catch (const tavrin::AsmError&) {
  }
  return 0;
}
