// Program files: binding an image to a copy of the engine, and finding the image a file
// carries.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

// Reads a whole file; throws std::runtime_error with a message naming it.
std::vector<uint8_t> readWholeFile(const std::string& path);

// A copy of the engine (without its zero trailer), the image and its 32-bit length.
std::vector<uint8_t> bindImage(const std::vector<uint8_t>& engine, const std::vector<uint8_t>& image);

// The image at the tail of `file` when its trailer fits; otherwise, with allowBare, the
// whole file taken as a bare image. Throws std::runtime_error otherwise.
std::vector<uint8_t> imageOfFile(const std::string& path, bool allowBare);

}  // namespace tavrin
