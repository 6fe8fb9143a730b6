// Reading a program image from the tail of a file and walking its leading records.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

struct RunState;

enum class TailStatus { Image, NoImage };

// Reads the image at the tail of `path` (image bytes, then a 32-bit little-endian length).
// Returns NoImage for a zero trailer; raises an input/output or byte-code RunError for a
// file that cannot be read or whose trailer does not fit.
TailStatus readImageTail(const std::string& path, std::vector<uint8_t>& image);

// Copies the image into the code stream and walks the procedure, resource and data
// records; leaves the code stream at the main program. Returns whether the main program
// is to be run (more than four bytes of it follow). Malformed records raise a RunError.
bool loadImage(RunState& s, std::vector<uint8_t> image);

}  // namespace tavrin
