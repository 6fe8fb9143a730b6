// The round-trip property: for any image, assembling its disassembly gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tools/asm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> image(data, data + size);
  std::string text = tavrin::disassemble(image);
  std::vector<uint8_t> again;
  try {
    again = tavrin::assemble(text, "roundtrip.tasm");
  } catch (const tavrin::AsmError& e) {
    std::fprintf(stderr, "disassembly does not assemble: line %d: %s\n%s\n", e.line, e.message.c_str(), text.c_str());
    std::abort();
  }
  if (again != image) {
    std::fprintf(stderr, "round trip changed the image\n%s\n", text.c_str());
    std::abort();
  }
  return 0;
}
