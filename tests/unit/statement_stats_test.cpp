// `--stats` counts: every statement that runs is counted once, decoded or generic, the same
// total either way; the generic ones by class.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "interp/compiled.h"
#include "interp/dispatcher.h"
#include "interp/state.h"
#include "interp/statement_stats.h"
#include "runtime/loader.h"
#include "tools/asm.h"

namespace tavrin {
namespace {

// Runs the program with counting on; `decode`: with the cache of decoded statements.
StatementStats countsOf(const std::string& src, bool decode) {
  State s;
  EXPECT_TRUE(loadImage(s, assemble(src, "t.tasm")));
  s.compiled = std::make_unique<CompiledCache>(s.code.data(), s.code.size(), decode ? CompiledCache::kByteBound : 0);
  startStatementStats(s);
  try {
    runStatements(s);
  } catch (const ProgramEnd&) {
  }
  return *s.stats;
}

std::string printed(const StatementStats& counts) {
  State s;
  s.stats = std::make_unique<StatementStats>(counts);
  std::FILE* f = std::tmpfile();
  printStatementStats(s, f);
  std::rewind(f);
  std::string text;
  char buffer[512];
  while (size_t n = std::fread(buffer, 1, sizeof buffer, f)) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// A Double loop (decoded) and a Long loop around a statement that is never decoded.
const char* kLoop =
    ".main\n"
    "  StmtDeclare 0 var Double 0\n"
    "  StmtDeclare 0 var Double 1\n"
    "  StmtDeclare 0 var Long 0\n"
    "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 10 } { const Long 1 } @done\n"
    "top:\n"
    "  StmtAssignGlobal Double 0 { var Double 0 var Double 1 plus }\n"
    "  StmtForNext @top\n"
    "done:\n"
    "  StmtForBegin 1 Long 0 { const Long 1 } { const Long 4 } { const Long 1 } @done2\n"
    "top2:\n"
    "  StmtSleep { const Long 0 }\n"
    "  StmtForNext @top2\n"
    "done2:\n"
    "  StmtEnd\n";

TEST(StatementStats, EveryStatementIsCountedOnceEitherWay) {
  const StatementStats decoded = countsOf(kLoop, true), generic = countsOf(kLoop, false);
  // 3 declarations + 2 loop begins + 10 x 2 + 4 x 2 + the end.
  const uint64_t total = 3 + 2 + 20 + 8 + 1;
  EXPECT_EQ(decoded.decoded + decoded.generic, total);
  EXPECT_EQ(generic.decoded, 0u);
  EXPECT_EQ(generic.generic, total);
  EXPECT_EQ(generic.byCommand[size_t(Command::StmtForNext)], 14u);
  EXPECT_EQ(generic.byLead[size_t(Lead::StmtAssignGlobal)], 10u);
  EXPECT_EQ(generic.byCommand[size_t(Command::StmtSleep)], 4u);
  // Decoded: the Double assignments and their loop steps; the generic rest by class.
  EXPECT_EQ(decoded.byLead[size_t(Lead::StmtAssignGlobal)], 0u);
  EXPECT_EQ(decoded.byCommand[size_t(Command::StmtSleep)], 4u);
  EXPECT_EQ(decoded.byCommand[size_t(Command::StmtForBegin)], 2u);
  uint64_t byClass = 0;
  for (uint64_t n : decoded.byLead) byClass += n;
  for (uint64_t n : decoded.byCommand) byClass += n;
  EXPECT_EQ(byClass, decoded.generic);
}

TEST(StatementStats, UnknownLeadBytesAndSubOpcodesHaveRowsOfTheirOwn) {
  StatementStats counts;
  counts.countGeneric(200, -1);  // a lead byte past the table
  counts.countGeneric(0, 100);   // a sub-opcode past the table
  counts.countGeneric(0, -1);    // a command byte at the end of the stream
  counts.countGeneric(uint8_t(Lead::StmtSetResult), -1);
  EXPECT_EQ(counts.generic, 4u);
  EXPECT_EQ(counts.byLead[kLeadCount], 1u);
  EXPECT_EQ(counts.byCommand[kCommandCount], 2u);
  EXPECT_EQ(counts.byLead[size_t(Lead::StmtSetResult)], 1u);
  counts.decoded = 5;
  counts.countHandedOver(0, int(Command::StmtForNext));
  EXPECT_EQ(counts.decoded, 4u);
  EXPECT_EQ(counts.byCommand[size_t(Command::StmtForNext)], 1u);
}

TEST(StatementStats, TheReportGivesTheShareAndTheClassesMostFrequentFirst) {
  StatementStats counts;
  counts.decoded = 75;
  for (int i = 0; i < 5; ++i) counts.countGeneric(0, int(Command::StmtPrint));
  for (int i = 0; i < 20; ++i) counts.countGeneric(uint8_t(Lead::StmtAssignLocal), -1);
  const std::string text = printed(counts);
  EXPECT_NE(text.find("tavrin stats: 100 statements, 75 decoded (75.00 %), 25 generic"), std::string::npos) << text;
  const size_t local = text.find("StmtAssignLocal"), print = text.find("StmtPrint");
  ASSERT_NE(local, std::string::npos) << text;
  ASSERT_NE(print, std::string::npos) << text;
  EXPECT_LT(local, print);
  EXPECT_NE(text.find("20 generic (20.00 %)"), std::string::npos) << text;
  EXPECT_EQ(printed(StatementStats{}).find("0 statements"), 14u);
}

}  // namespace
}  // namespace tavrin
