// The image loader on arbitrary bytes: a clean load or a RunError, nothing else.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/loader.h"
#include "interp/state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavrin::State s;
  try {
    tavrin::loadImage(s, std::vector<uint8_t>(data, data + size));
  } catch (const tavrin::RunError&) {
  }
  return 0;
}
