// Program files.
#include "tools/image_file.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "runtime/loader.h"
#include "runtime/run_error.h"

namespace tavrin {

std::vector<uint8_t> readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> bindImage(const std::vector<uint8_t>& engine, const std::vector<uint8_t>& image) {
  std::vector<uint8_t> out = engine;
  if (out.size() >= 4 && std::memcmp(out.data() + out.size() - 4, "\0\0\0\0", 4) == 0) out.resize(out.size() - 4);
  out.insert(out.end(), image.begin(), image.end());
  uint32_t n = uint32_t(image.size());
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(n >> (8 * i)));
  return out;
}

std::vector<uint8_t> imageOfFile(const std::string& path, bool allowBare) {
  std::vector<uint8_t> image;
  try {
    if (readImageTail(path, image) == TailStatus::Image) return image;
    if (!allowBare) throw std::runtime_error(path + " carries no program (its trailer is 0)");
  } catch (const RunError& error) {
    if (!allowBare) throw std::runtime_error(error.message);
  }
  return readWholeFile(path);
}

}  // namespace tavrin
