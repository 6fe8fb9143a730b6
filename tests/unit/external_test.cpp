// The library cache and the mapping of library names to files.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "interp/dispatcher.h"
#include "interp/state.h"
#include "lib/external.h"
#include "runtime/loader.h"
#include "runtime/run_error.h"
#include "tools/asm.h"

namespace tavrin {
namespace {

// A loader that counts its loads per name and fails for names starting with "missing".
struct CountingLoader {
  std::map<std::string, int> loads;
  int handles = 0;
  LibraryCache::Loader loader() {
    return [this](std::string_view name) -> void* {
      ++loads[std::string(name)];
      if (name.starts_with("missing")) return nullptr;
      return reinterpret_cast<void*>(uintptr_t(++handles) * 16);
    };
  }
};

TEST(LibraryCache, NamesWithoutCaseShareOneLoadAndFailuresAreKept) {
  CountingLoader count;
  LibraryCache cache(count.loader());
  void* a = cache.handle("KERNEL32");
  EXPECT_NE(a, nullptr);
  EXPECT_EQ(cache.handle("kernel32"), a);
  EXPECT_EQ(cache.handle("Kernel32"), a);
  EXPECT_EQ(count.loads.size(), 1u);
  EXPECT_EQ(count.loads["KERNEL32"], 1);

  EXPECT_EQ(cache.handle("missing.dll"), nullptr);
  EXPECT_EQ(cache.handle("MISSING.DLL"), nullptr);
  EXPECT_EQ(count.loads["missing.dll"], 1);
  EXPECT_EQ(count.loads.count("MISSING.DLL"), 0u);
  EXPECT_EQ(cache.size(), 2u);
  EXPECT_EQ(cache.loaded().size(), 1u);  // only handles that loaded are released at the end
}

TEST(LibraryCache, DropForgetsTheNameSoTheNextCallLoadsAgain) {
  CountingLoader count;
  LibraryCache cache(count.loader());
  void* first = cache.handle("user32");
  EXPECT_FALSE(cache.drop("never"));
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_TRUE(cache.drop("USER32"));
  EXPECT_EQ(cache.size(), 0u);
  void* second = cache.handle("User32");
  EXPECT_NE(second, first);
  EXPECT_EQ(count.loads["user32"] + count.loads["User32"], 2);
  // A dropped handle is not released by the drop but still at the end of the run.
  EXPECT_EQ(cache.loaded().size(), 2u);
}

TEST(LibraryNames, SharedObjectNamesStandAndOthersAreSearchedInOrder) {
  EXPECT_EQ(libraryCandidates("/opt/x/libfoo.so", "/prog", "/a"), std::vector<std::string>{"/opt/x/libfoo.so"});
  EXPECT_EQ(libraryCandidates("libm.so.6", "/prog", ""), std::vector<std::string>{"libm.so.6"});
  const std::vector<std::string> expected = {
      "/prog/libKERNEL32.so", "/prog/KERNEL32.so", "/prog/libkernel32.so", "/prog/kernel32.so",
      "/a/libKERNEL32.so",    "/a/KERNEL32.so",    "/a/libkernel32.so",    "/a/kernel32.so",
      "/b/libKERNEL32.so",    "/b/KERNEL32.so",    "/b/libkernel32.so",    "/b/kernel32.so",
      "libKERNEL32.so",       "KERNEL32.so",       "libkernel32.so",       "kernel32.so"};
  EXPECT_EQ(libraryCandidates("KERNEL32.DLL", "/prog", "/a::/b"), expected);
  EXPECT_EQ(libraryCandidates("KERNEL32", "/prog", "/a::/b"), expected);
  // A Windows directory in the name is not kept; a lower-case name is tried once.
  EXPECT_EQ(libraryCandidates("C:\\APP\\mine.dll", "", ""), (std::vector<std::string>{"libmine.so", "mine.so"}));
  EXPECT_TRUE(libraryCandidates("", "/prog", "/a").empty());
  EXPECT_TRUE(libraryCandidates(".dll", "/prog", "/a").empty());
}

// The sandbox (the fuzzers) reads and evaluates a call operand's arguments, so that a
// malformed one is found, then refuses the call without loading anything.
TEST(ExternalCalls, TheSandboxDecodesTheOperandsButMakesNoCall) {
  const char* src =
      ".proc mark\n"
      "  StmtAssignGlobal Long 0 { const Long 7 }\n"
      "  StmtSetResult { const Long 1 }\n"
      "  StmtEndBody\n"
      ".end\n"
      ".main\n"
      "  StmtDeclare 0 var Long 0\n"
      "  StmtDeclare 0 var Long 1\n"
      "  StmtAssignGlobal Long 1 { ext Long \"libc.so.6\" \"abs\" Long ( Long { call Long @mark ( ) } ) }\n"
      "  StmtEnd\n";
  State s;
  ASSERT_TRUE(loadImage(s, assemble(src, "t.tasm")));
  s.sandbox = true;
  std::string message;
  try {
    runStatements(s);
  } catch (const RunError& e) {
    message = e.message;
  } catch (const ProgramEnd&) {
  }
  EXPECT_NE(message.find("refused in the sandbox"), std::string::npos) << message;
  EXPECT_EQ(s.stores.scalars[3].read<int32_t>(0), 7);  // the argument was evaluated
  EXPECT_EQ(s.externals, nullptr);                     // no library was looked for
}

}  // namespace
}  // namespace tavrin
