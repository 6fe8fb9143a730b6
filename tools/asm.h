// The assembler and disassembler of Tavrin's byte-code assembly language. Both walk the
// encoding tables of interp/, so every form the engine reads has a text form.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

struct AsmError {
  std::string file;
  int line = 0;
  std::string message;  // "file:line: message" when formatted
};

// Assembles source text into a program image (without the trailer). `path` names the
// source for messages and is the directory against which `.resource` files are found.
// Throws AsmError.
std::vector<uint8_t> assemble(std::string_view source, const std::string& path);

// Prints an image as assembly source that assemble() turns back into the same bytes.
// Never fails: what it cannot decode it prints as raw bytes.
std::string disassemble(const std::vector<uint8_t>& image);

}  // namespace tavrin
