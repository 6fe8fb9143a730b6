// Failures found by fuzzing that a program test cannot express, because the assembler
// itself is what failed.
#include <gtest/gtest.h>

#include <string>

#include "tools/asm.h"

namespace {

std::string asmError(const std::string& source) {
  try {
    tavrin::assemble(source, "fuzz.tasm");
  } catch (const tavrin::AsmError& e) {
    return e.message;
  }
  return "assembled";
}

// `.resource "/"` threw from the stream read (a directory) and ended the process; a device
// such as /dev/zero would have been read for ever. Only regular files are taken.
TEST(FuzzRegress, ResourceFilesMustBeRegularFiles) {
  EXPECT_EQ(asmError(".resource \"/\"\n.main\n StmtEnd\n"), "cannot read resource file '/' (not a regular file)");
  EXPECT_EQ(asmError(".resource \"/dev/zero\"\n.main\n StmtEnd\n"),
            "cannot read resource file '/dev/zero' (not a regular file)");
}

}  // namespace
