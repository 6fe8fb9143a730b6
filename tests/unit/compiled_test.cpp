// The cache of decoded statements and expressions must be invisible: each program here runs
// twice, once with the cache and once with a cache that may decode nothing (the generic
// path), and everything a program or its user can see must agree: the stores, the error
// and the statement it names, the trace lines and the step budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "interp/compiled.h"
#include "interp/dispatcher.h"
#include "runtime/host_stack.h"
#include "runtime/loader.h"
#include "interp/state.h"
#include "interp/statement_stats.h"
#include "tools/asm.h"

namespace tavrin {
namespace {

struct Outcome {
  int error = 0;  // run-time error number, 0 when none
  uint32_t position = 0;
  std::string message;
  std::vector<uint8_t> doubles, longs, arrays;
  std::vector<std::string> strings;
  std::string trace;
  // What the program can see of calls and results afterwards. (The result registers are
  // not compared: every evaluation starts by clearing them, so no later statement sees
  // what a statement left there.)
  double functionNumber = 0.0;
  int32_t level = 0;
  size_t returns = 0;
  std::vector<uint8_t> parameters;
  bool decoded = false;  // whether the cache decoded any statement
  // Every numeric store: globals, arrays and each call level's locals, by type; the
  // reference entries; the selectors and the loop stack.
  std::vector<std::vector<uint8_t>> numbers;
  std::vector<uint8_t> references;
  std::vector<std::string> selectors;
  std::vector<uint8_t> loops;
};

std::vector<uint8_t> bytesOf(const ByteStore& b) { return std::vector<uint8_t>(b.data(), b.data() + b.size()); }

Outcome run(const std::string& src, bool cache, bool trace = false, uint64_t steps = 0) {
  State s;
  Outcome o;
  EXPECT_TRUE(loadImage(s, assemble(src, "t.tasm")));
  s.compiled = std::make_unique<CompiledCache>(s.code.data(), s.code.size(), cache ? CompiledCache::kByteBound : 0);
  s.trace = trace;
  s.stepLimit = steps;
  if (trace) testing::internal::CaptureStderr();
  try {
    runStatements(s);
  } catch (const RunError& e) {
    o.error = e.number;
    o.position = e.position;
    o.message = e.message;
  } catch (const ProgramEnd&) {
  }
  if (trace) o.trace = testing::internal::GetCapturedStderr();
  o.doubles = bytesOf(s.stores.scalars[7]);
  o.longs = bytesOf(s.stores.scalars[3]);
  o.arrays = bytesOf(s.stores.arrayBytes[7]);
  o.strings = s.stores.strings;
  o.functionNumber = s.calls.functionNumber;
  o.level = s.calls.level;
  o.returns = s.calls.returnStack.size();
  o.parameters = bytesOf(s.calls.numberSlots);
  for (int t = 1; t <= 7; ++t) {
    o.numbers.push_back(bytesOf(s.stores.scalars[size_t(t)]));
    o.numbers.push_back(bytesOf(s.stores.arrayBytes[size_t(t)]));
    for (const auto& frame : s.stores.frames)
      if (frame) o.numbers.push_back(bytesOf(frame->numbers[size_t(t)]));
  }
  o.references = bytesOf(s.calls.referenceSlots);
  for (const Selector& sel : s.control.selectors)
    o.selectors.push_back(std::to_string(sel.number) + (sel.isText ? " text " + sel.text : " number"));
  o.selectors.push_back("level " + std::to_string(s.control.selectionLevel));
  o.loops = bytesOf(s.control.loopStack);
  o.loops.resize(size_t(std::max<int64_t>(0, std::min<int64_t>(s.control.loopPosition, int64_t(o.loops.size())))));
  o.decoded = s.compiled->bytesUsed() > 2 * ((s.code.size() >> CompiledCache::kPageBits) + 1) * sizeof(void*);
  return o;
}

void expectSame(const std::string& src, bool trace = false, uint64_t steps = 0) {
  SCOPED_TRACE(src);
  const Outcome a = run(src, true, trace, steps), b = run(src, false, trace, steps);
  EXPECT_TRUE(a.decoded) << "the cache decoded nothing: the test compares nothing";
  EXPECT_FALSE(b.decoded);
  EXPECT_EQ(a.error, b.error);
  EXPECT_EQ(a.position, b.position);
  EXPECT_EQ(a.message, b.message);
  EXPECT_EQ(a.doubles, b.doubles);
  EXPECT_EQ(a.longs, b.longs);
  EXPECT_EQ(a.arrays, b.arrays);
  EXPECT_EQ(a.strings, b.strings);
  EXPECT_EQ(a.trace, b.trace);
  EXPECT_EQ(a.functionNumber, b.functionNumber);
  EXPECT_EQ(a.level, b.level);
  EXPECT_EQ(a.returns, b.returns);
  EXPECT_EQ(a.parameters, b.parameters);
  EXPECT_EQ(a.numbers, b.numbers);
  EXPECT_EQ(a.references, b.references);
  EXPECT_EQ(a.selectors, b.selectors);
  EXPECT_EQ(a.loops, b.loops);
}

const char* kDeclare =
    ".main\n"
    "  StmtDeclare 0 var Double 0\n"
    "  StmtDeclare 0 var Double 5\n"
    "  StmtDeclare 0 var Long 0\n"
    "  StmtDeclare 0 var Long 3\n"
    "  StmtDeclare 0 var String 0\n"
    "  StmtDeclare 0 var String 2\n"
    "  StmtDeclare 0 array ( { const Long 10 } { const Long 10 } ) Double 0\n";

std::string program(const std::string& body) { return std::string(kDeclare) + body + "  StmtEnd\n"; }

TEST(CompiledCache, LoopsAndArithmeticAgreeWithTheGenericPath) {
  expectSame(program(
      "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 9 } { const Long 1 } @done\n"
      "top:\n"
      "  StmtAssignGlobal Double 0 { var Double 0 var Double 1 const Long 2 times plus const Double 0.25 minus }\n"
      "  StmtAssignGlobal Long 1 { var Double 0 const Long 3 idiv var Double 1 const Long 4 mod plus }\n"
      "  StmtAssignGlobal Double 2 { var Double 1 const Long 5 lt var Double 0 var Double 1 ge and neg }\n"
      "  StmtAssignGlobal Double 3 { fn IntPart { var Double 0 const Long 7 divide } var Long 1 shl }\n"
      "  StmtAssignArrayElement Double 0 [ { var Double 1 } { var Double 1 const Double 1.5 times } ] { var Double 1 not }\n"
      "  StmtAssignGlobal Double 4 { var Double 4 elem Double 0 [ { var Double 1 } { var Double 1 const Double 1.5 times } ] plus }\n"
      "  StmtJumpIfZero { var Double 1 const Long 5 eq } @skip\n"
      "  StmtAssignGlobal Double 5 { var Double 1 const Long 2 power }\n"
      "skip:\n"
      "  StmtForNext @top\n"
      "done:\n"));
}

TEST(CompiledCache, OddOperandCountsAndSkippedBytesAgree) {
  // Operators short of operands, a lone minus, bytes that are no operand, constants of
  // types without a constant, too many slots: the decoder must leave or mirror them.
  expectSame(program(
      "  StmtAssignGlobal Double 0 { const Long 4 minus }\n"
      "  StmtAssignGlobal Double 1 { const Long 4 plus const Long 2 times }\n"
      "  StmtAssignGlobal Double 2 { const Long 3 const Long 4 }\n"
      "  StmtAssignGlobal Double 3 { .byte 99 const Long 7 .byte 2 8 neg charat }\n"
      "  StmtAssignGlobal Double 4 { const Long 1 const Long 2 const Long 3 const Long 4 const Long 5 "
      "const Long 6 const Long 7 const Long 8 plus plus plus plus plus plus plus }\n"
      "  StmtAssignGlobal Double 5 { not neg const Long 1 gt }\n"
      "  StmtAssignGlobal Double 5 { const Long 1 const Long 2 const Long 3 const Long 4 const Long 5 "
      "const Long 6 const Long 7 const Long 8 const Long 9 }\n"));
}

TEST(CompiledCache, RunTimeErrorsNameTheSameStatement) {
  const char* failing[] = {
      "  StmtAssignGlobal Double 0 { const Double 1e308 const Long 10 times }\n",
      "  StmtAssignGlobal Double 0 { const Long 1 const Long 0 divide }\n",
      "  StmtAssignGlobal Long 0 { const Double 3e9 }\n",
      "  StmtAssignArrayElement Double 0 [ { const Double 1e12 } { const Long 1 } ] { const Long 1 }\n",
      "  StmtAssignGlobal Double 0 { elem Double 0 [ { const Long 1 } { const Double -3e10 } ] }\n",
      "  StmtAssignGlobal String 0 { var String 0 const String \"a\" plus var String 90 plus }\n",
      "  StmtAssignGlobal String 90 { var String 90 const String \"a\" plus }\n",
      "  StmtAssignGlobal Double 0 { fn TextLength { var String 95 } }\n",
      "  StmtJump @back\nback:\n  .byte 0 5\n  .dword -100\n",
      "  StmtAssignGlobal Double 0 { const Long 2 const Long 3 mod const Long 0 mod }\n",
  };
  for (const char* body : failing) {
    const std::string src = program("  StmtAssignGlobal Double 5 { const Long 1 }\n" + std::string(body));
    expectSame(src);
    EXPECT_NE(run(src, true).error, 0) << body;
  }
}

TEST(CompiledCache, TextAppendsInPlaceAgree) {
  expectSame(program(
      "  StmtAssignGlobal String 2 { const String \"yz\" }\n"
      "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 12 } { const Long 1 } @done\n"
      "top:\n"
      "  StmtAssignGlobal String 0 { var String 0 const String \"x\" plus var String 2 plus }\n"
      "  StmtAssignGlobal String 1 { var String 1 var String 1 plus const String \"q\" plus }\n"
      "  StmtAssignGlobal String 2 { var String 2 const String \"-\" plus fn TextLength { var String 2 } plus }\n"
      "  StmtAssignGlobal Double 0 { var Double 0 fn TextLength { var String 0 } plus }\n"
      "  StmtForNext @top\n"
      "done:\n"));
}

double decodedShare(const std::string& src, StatementStats* counts = nullptr);

const char* kAppendPieces =
    ".proc grow\n"
    "  StmtDeclare 0 var String 0\n"
    "  StmtAssignLocal String 0 { const String \"<\" param String 0 plus }\n"
    "  StmtAssignGlobal String 0 { var String 0 local String 0 plus param String 0 plus fn NumberToText { param Double 1 } plus }\n"
    "  StmtEndBody\n"
    ".end\n"
    ".main\n"
    "  StmtDeclare 0 var String 3\n"
    "  StmtDeclare 0 var Double 1\n"
    "  StmtAssignGlobal String 2 { const String \"abcdefghij\" }\n"
    "  StmtForBegin 1 Double 1 { const Long -3 } { const Long 40 } { const Double 0.75 } @done\n"
    "top:\n"
    "  StmtAssignGlobal String 1 { var String 1 fn NumberToText { var Double 1 } plus const String \",\" plus }\n"
    "  StmtAssignGlobal String 1 { var String 1 fn NumberToText { var Double 1 const Double 1e8 times } plus }\n"
    "  StmtAssignGlobal String 3 { var String 3 fn MidText { var String 2 } { var Double 1 } { const Long 2 } plus"
    " fn UpperText { fn LeftText { var String 2 } { var Double 1 const Long 4 mod } } plus"
    " fn CharOfCode { var Double 1 const Long 65 plus } plus fn Blanks { const Long 1 } plus }\n"
    "  StmtCallProc @grow ( val String { fn NumberToText { var Double 1 neg } } val Double { var Double 1 const Double 0.5 times } )\n"
    "  StmtForNext @top\n"
    "done:\n"
    "  StmtAssignGlobal Double 0 { fn TextLength { var String 0 } fn TextLength { var String 1 } plus fn TextLength { var String 3 } plus }\n"
    "  StmtEnd\n";

TEST(CompiledCache, AppendsOfAnyPiecesAgree) {
  // Numbers as text (whole, fractional, negative, past nine digits), pieces of another
  // variable, nested text built-ins, a local and a parameter, all appended in place.
  expectSame(kAppendPieces);
  StatementStats counts;
  EXPECT_GT(decodedShare(kAppendPieces, &counts), 0.75);
  EXPECT_EQ(counts.byLead[size_t(Lead::StmtAssignGlobal)], 1u);  // the constant text assigned first
}

TEST(CompiledCache, AppendsThatFailOrReadTheirOwnTextAgree) {
  const char* kFunction = ".proc f\n  StmtAssignGlobal String 0 { const String \"reset\" }\n  StmtSetResult { const Long 7 }\n"
                          "  StmtEndBody\n.end\n";
  for (const char* body : {
           // The second piece fails: the text stays as it was before the statement.
           "  StmtAssignGlobal String 0 { var String 0 fn NumberToText { const Long 1 } plus fn MidText { var String 2 } { const Double 1e10 } { const Long 1 } plus }\n",
           "  StmtAssignGlobal String 0 { var String 0 const String \"a\" plus fn NumberToText { const Long 2 } plus var String 999 plus }\n",
           // A piece that reads the text itself, and one that calls code which assigns it.
           "  StmtAssignGlobal String 0 { var String 0 fn NumberToText { fn TextLength { var String 0 } } plus }\n"
           "  StmtAssignGlobal String 0 { var String 0 fn MidText { var String 0 } { const Long 2 } { const Long 3 } plus }\n"
           "  StmtAssignGlobal String 0 { var String 0 fn NumberToText { call Double @f ( ) } plus }\n"}) {
    const std::string src = std::string(kFunction) + program(
        "  StmtAssignGlobal String 0 { const String \"start\" }\n"
        "  StmtAssignGlobal String 2 { const String \"xyz\" }\n"
        "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 3 } { const Long 1 } @done\n"
        "top:\n" + std::string(body) +
        "  StmtForNext @top\n"
        "done:\n");
    expectSame(src);
  }
}

TEST(CompiledCache, TraceLinesAndTheStepBudgetAgree) {
  const std::string src = program(
      "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 3 } { const Long 1 } @done\n"
      "top:\n"
      "  StmtAssignGlobal Double 0 { var Double 0 var Double 1 plus }\n"
      "  StmtJumpIfZero { var Double 1 const Long 2 eq } @skip\n"
      "  StmtJump @skip\n"
      "skip:\n"
      "  StmtForNext @top\n"
      "done:\n");
  expectSame(src, true);
  const Outcome a = run(src, true, true);
  EXPECT_NE(a.trace.find("StmtForNext"), std::string::npos);
  for (uint64_t steps = 1; steps < 24; steps += 3) expectSame(src, false, steps);
}

TEST(CompiledCache, FunctionCallsInsideExpressionsAgree) {
  const std::string src =
      ".proc twice\n"
      "  StmtSetResult { param Double 0 const Long 2 times }\n"
      "  StmtEndBody\n"
      ".end\n" +
      program(
          "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 4 } { const Long 1 } @done\n"
          "top:\n"
          "  StmtAssignGlobal Double 0 { var Double 0 call Double @twice ( val Double { var Double 1 const Long 1 plus } ) "
          "plus call Double @twice ( val Double { var Double 0 } ) minus }\n"
          "  StmtForNext @top\n"
          "done:\n");
  expectSame(src);
}

TEST(CompiledCache, RecursionArgumentSlotsAndResultsAgree) {
  // fib through a user function; a call inside a later argument overwrites the slot of an
  // argument already passed (the callee sees the inner call's argument); a function whose
  // body ends early or is left to the generic path; results of Long functions and Long
  // parameters (rounded when read).
  const std::string src =
      ".proc fib\n"
      "  StmtJumpIfZero { param Double 0 const Long 2 lt } @recurse\n"
      "  StmtSetResult { param Double 0 }\n"
      "  StmtEndBody\n"
      "recurse:\n"
      "  StmtSetResult { call Double @fib ( val Double { param Double 0 const Long 1 minus } ) "
      "call Double @fib ( val Double { param Double 0 const Long 2 minus } ) plus }\n"
      "  StmtEndBody\n"
      ".end\n"
      ".proc pair\n"
      "  StmtSetResult { param Double 0 const Long 100 times param Double 1 plus }\n"
      "  StmtEndBody\n"
      ".end\n"
      ".proc early\n"
      "  StmtSetResult { param Long 0 const Long 3 times }\n"
      "  StmtJumpIfZero { param Long 0 const Long 4 gt } @late\n"
      "  StmtExitProc\n"
      "late:\n"
      "  StmtPrint { const String \"\" } nobreak\n"
      "  StmtSetResult { const Long 7 }\n"
      "  StmtEndBody\n"
      ".end\n" +
      program(
          "  StmtAssignGlobal Double 0 { call Double @fib ( val Double { const Long 15 } ) }\n"
          "  StmtAssignGlobal Double 1 { call Double @pair ( val Double { const Long 1 } "
          "val Double { call Double @pair ( val Double { const Long 5 } val Double { const Long 6 } ) } ) }\n"
          "  StmtForBegin 1 Double 2 { const Long 1 } { const Long 8 } { const Long 1 } @done\n"
          "top:\n"
          "  StmtAssignGlobal Long 0 { var Long 0 call Long @early ( val Long { var Double 2 const Double 0.5 plus } ) plus }\n"
          "  StmtForNext @top\n"
          "done:\n"
          "  StmtAssignGlobal Double 3 { call Double @fib ( val Double { const Long 3 } ) const Long 1 plus }\n");
  expectSame(src);
  const Outcome a = run(src, true);
  double fib15, pair;
  std::memcpy(&fib15, a.doubles.data(), 8);
  std::memcpy(&pair, a.doubles.data() + 8, 8);
  EXPECT_EQ(fib15, 610.0);
  EXPECT_EQ(pair, 100.0 * 5 + 506.0);  // the inner call's first argument replaced the 1
}

TEST(CompiledCache, ErrorsInsideCalledBodiesNameTheBodysStatement) {
  const char* failing[] = {
      // overflow in the body, two calls deep
      ".proc f\n  StmtSetResult { param Double 0 const Double 1e300 times }\n  StmtEndBody\n.end\n",
      // a Long parameter outside 32 bits when read
      ".proc f\n  StmtSetResult { param Long 0 }\n  StmtEndBody\n.end\n",
  };
  const char* runaway = ".proc f\n  StmtSetResult { call Double @f ( val Double { param Double 0 } ) }\n  StmtEndBody\n.end\n";
  // The recursion guard with 4 MiB of this thread's stack (the engine sets it at start-up).
  char probe;
  const uintptr_t saved = g_hostStackLimit;
  g_hostStackLimit = reinterpret_cast<uintptr_t>(&probe) - (uintptr_t(4) << 20);
  for (const char* proc : failing) {
    const std::string src =
        std::string(proc) + program("  StmtAssignGlobal Double 5 { const Long 1 }\n"
                                    "  StmtAssignGlobal Double 0 { var Double 5 call Double @f ( val Double "
                                    "{ call Double @f ( val Double { const Double 1e10 } ) } ) plus }\n");
    expectSame(src);
    EXPECT_NE(run(src, true).error, 0) << proc;
  }
  // Runaway recursion: the same error at the same statement; the depth it reaches depends
  // on the host stack each level takes, which the decoded path uses less of.
  const std::string src = std::string(runaway) + program("  StmtAssignGlobal Double 0 { call Double @f ( val Double { const Long 1 } ) }\n");
  const Outcome a = run(src, true), b = run(src, false);
  EXPECT_EQ(a.error, 202);
  EXPECT_EQ(a.error, b.error);
  EXPECT_EQ(a.position, b.position);
  EXPECT_EQ(a.message, b.message);
  EXPECT_EQ(a.level, int32_t(a.returns));  // the level and the return stack stay in step
  EXPECT_EQ(b.level, int32_t(b.returns));
  g_hostStackLimit = saved;
}

TEST(CompiledCache, FusedGlobalOperationsAgree) {
  // A global Double worked on at once: with constants, with another global, in
  // comparisons and as a subscript; overflow and subscripts outside 32 bits on the way.
  for (const char* start : {"{ const Long 3 }", "{ const Double 1e308 }", "{ const Double -3e9 }"}) {
    expectSame(program(std::string("  StmtDeclare 0 array ( { const Long 6 } ) Double 1\n"
                                   "  StmtAssignArrayElement Double 1 [ { const Long 3 } ] { const Long 9 }\n"
                                   "  StmtAssignGlobal Double 1 ") + start +
                       "\n"
                       "  StmtAssignGlobal Double 3 { elem Double 1 [ { var Double 1 } ] elem Double 1 [ { var Double 2 } ] "
                       "elem Double 1 [ { var Double 1 const Long 1 minus } ] plus plus }\n"
                       "  StmtAssignGlobal Double 2 { var Double 1 const Long 2 times var Double 1 var Double 1 times "
                       "plus var Double 1 const Double 0.5 minus minus }\n"
                       "  StmtAssignGlobal Double 3 { var Double 1 var Double 2 minus var Double 1 var Double 2 lt "
                       "var Double 1 const Long 3 ge plus plus }\n"
                       "  StmtAssignGlobal Double 4 { var Double 2 var Double 1 plus var Double 1 const Long 1 plus times }\n"
                       "  StmtAssignGlobal Double 5 { var Double 1 const Double 2.5 mod var Double 1 neg const Long -3 mod "
                       "var Double 1 const Long -1 mod var Double 1 const Double 0.4 mod plus plus plus }\n"
                       "  StmtAssignArrayElement Double 0 [ { var Double 1 } { var Double 1 } ] { var Double 3 }\n"
                       "  StmtAssignGlobal Double 0 { elem Double 0 [ { var Double 1 } { var Double 1 } ] var Double 4 "
                       "const Long 1 plus gt }\n"));
  }
}

TEST(CompiledCache, TwoGlobalSubscriptsAgree) {
  // a(g, h) read and written with two global Double subscripts, one read nested in the
  // other's subscript, and a Long array; inside the array, outside it, and with either
  // subscript outside 32 bits (the first one must be the error reported).
  const char* pairs[][2] = {{"{ const Long 2 }", "{ const Long 7 }"},   {"{ const Long 10 }", "{ const Long 10 }"},
                            {"{ const Long 11 }", "{ const Long 0 }"},  {"{ const Double 5e9 }", "{ const Long 1 }"},
                            {"{ const Long 1 }", "{ const Double -5e9 }"}, {"{ const Double 1e300 }", "{ const Double -1e300 }"},
                            {"{ const Long -1 }", "{ const Long 3 }"}};
  for (const auto& pair : pairs) {
    expectSame(program(std::string("  StmtDeclare 0 array ( { const Long 10 } ) Double 1\n"
                                   "  StmtDeclare 0 array ( { const Long 10 } { const Long 10 } ) Long 0\n"
                                   "  StmtAssignArrayElement Double 1 [ { const Long 3 } ] { const Long 4 }\n"
                                   "  StmtAssignGlobal Double 1 ") + pair[0] + "\n  StmtAssignGlobal Double 2 " + pair[1] +
                       "\n"
                       "  StmtAssignArrayElement Double 0 [ { var Double 1 } { var Double 2 } ] { var Double 1 var Double 2 "
                       "const Double 0.5 times plus }\n"
                       "  StmtAssignGlobal Double 3 { var Double 3 elem Double 0 [ { var Double 1 } { var Double 2 } ] plus }\n"
                       "  StmtAssignGlobal Double 4 { elem Double 0 [ { var Double 2 } { var Double 1 } ] const Long 1 plus }\n"
                       "  StmtAssignGlobal Double 5 { elem Double 0 [ { var Double 1 } { elem Double 1 [ { var Double 2 } ] } ] }\n"
                       "  StmtAssignArrayElement Long 0 [ { var Double 2 } { var Double 1 } ] { var Double 3 }\n"
                       "  StmtAssignGlobal Double 0 { elem Long 0 [ { var Double 2 } { var Double 1 } ] }\n"));
  }
}

TEST(CompiledCache, FusedJumpsAndStepsAgree) {
  // Conditional jumps on each kind of comparison an expression can end with, and globals
  // stepped by constants (into themselves and into another global), from starts that
  // overflow on the way.
  for (const char* start : {"{ const Long 0 }", "{ const Long 7 }", "{ const Double 1e308 }", "{ const Double -1e308 }"}) {
    expectSame(program(std::string("  StmtDeclare 0 array ( { const Long 20 } ) Double 1\n"
                                   "  StmtAssignArrayElement Double 1 [ { const Long 4 } ] { const Long 3 }\n"
                                   "  StmtAssignGlobal Double 1 ") + start +
                       "\n"
                       "  StmtAssignGlobal Double 2 { const Long 12 }\n"
                       "loop:\n"
                       "  StmtAssignGlobal Double 3 { var Double 1 const Double 1e308 plus }\n"
                       "  StmtAssignGlobal Double 4 { var Double 2 const Long 3 minus }\n"
                       "  StmtAssignGlobal Double 2 { var Double 2 const Long 1 minus }\n"
                       "  StmtAssignGlobal Double 1 { var Double 1 const Long 1 plus }\n"
                       "  StmtJumpIfZero { var Double 1 const Long 2 times const Long 9 lt } @second\n"
                       "  StmtAssignGlobal Double 5 { var Double 5 const Long 1 plus }\n"
                       "second:\n"
                       "  StmtJumpIfZero { elem Double 1 [ { var Double 1 } ] var Double 1 ne } @third\n"
                       "  StmtAssignGlobal Double 5 { var Double 5 const Long 10 plus }\n"
                       "third:\n"
                       "  StmtJumpIfZero { var Double 1 var Double 2 ge } @loop\n"
                       "  StmtJumpIfZero { var Double 2 const Long 0 le } @loop\n"));
  }
}

TEST(CompiledCache, TextPiecesAndFindsAgree) {
  // Pieces at every kind of position (before the text, past it, negative counts), a piece
  // of the variable itself, finds of empty and missing needles, a call in a number
  // argument (which may change the text) and variables outside the list.
  const std::string src =
      ".proc shrink\n"
      "  StmtAssignGlobal String 0 { const String \"xy\" }\n"
      "  StmtSetResult { const Long 2 }\n"
      "  StmtEndBody\n"
      ".end\n" +
      program(
          "  StmtAssignGlobal String 2 { const String \"cd\" }\n"
          "  StmtForBegin 1 Double 1 { const Long -2 } { const Long 9 } { const Long 1 } @done\n"
          "top:\n"
          "  StmtAssignGlobal String 0 { const String \"abcdefgh\" }\n"
          "  StmtAssignGlobal String 1 { fn MidText { var String 0 } { var Double 1 } { var Double 1 const Long 3 minus } }\n"
          "  StmtAssignGlobal Double 0 { var Double 0 fn TextLength { var String 1 } plus }\n"
          "  StmtAssignGlobal String 1 { fn LeftText { var String 0 } { var Double 1 const Double 0.5 plus } }\n"
          "  StmtAssignGlobal Double 0 { var Double 0 fn TextLength { var String 1 } const Long 10 times plus }\n"
          "  StmtAssignGlobal String 1 { fn RightText { var String 0 } { var Double 1 } }\n"
          "  StmtAssignGlobal Double 0 { var Double 0 fn FindText { var String 0 } { var String 1 } { const Long 0 } plus "
          "fn FindText { var String 0 } { var String 2 } { var Double 1 } const Long 100 times plus }\n"
          "  StmtAssignGlobal String 2 { fn MidText { var String 2 } { const Long 2 } { const Long 5 } }\n"
          "  StmtForNext @top\n"
          "done:\n"
          "  StmtAssignGlobal String 1 { fn MidText { var String 0 } { call Double @shrink ( ) } { const Long 3 } }\n"
          "  StmtAssignGlobal Double 5 { fn FindText { var String 0 } { var String 1 } { call Double @shrink ( ) } }\n");
  expectSame(src);
  for (const char* failing : {"  StmtAssignGlobal String 1 { fn LeftText { var String 95 } { const Long 2 } }\n",
                              "  StmtAssignGlobal String 96 { fn LeftText { var String 0 } { const Long 2 } }\n",
                              "  StmtAssignGlobal String 1 { fn MidText { var String 0 } { const Double 1e10 } { const Long 2 } }\n",
                              "  StmtAssignGlobal Double 0 { fn FindText { var String 0 } { var String 97 } { const Long 1 } }\n"}) {
    expectSame(program(std::string("  StmtAssignGlobal Double 5 { const Long 1 }\n") + failing));
    EXPECT_NE(run(program(failing), true).error, 0) << failing;
  }
}

TEST(CompiledCache, CallsBetweenSubscriptsOrBeforeTheStoreKeepTheGenericOrder) {
  // g declares array 0 again (other bounds, new storage): a call in a later subscript sees
  // the first subscript taken with the old bounds; a call in the value stored comes after
  // the position was taken. A call in the first subscript may stay decoded.
  const std::string g =
      ".proc g\n"
      "  StmtDeclare 0 array ( { const Long 3 } { const Long 6 } ) Double 0\n"
      "  StmtAssignArrayElement Double 0 [ { const Long 1 } { const Long 2 } ] { const Double 12 }\n"
      "  StmtSetResult { const Long 2 }\n"
      "  StmtEndBody\n"
      ".end\n";
  expectSame(g + program(
      "  StmtAssignArrayElement Double 0 [ { const Long 1 } { const Long 1 } ] { const Double 11 }\n"
      "  StmtAssignGlobal Double 0 { elem Double 0 [ { const Long 1 } { call Double @g ( ) } ] }\n"
      "  StmtAssignGlobal Double 1 { elem Double 0 [ { const Long 0 } { elem Double 0 [ { const Long 1 } "
      "{ call Double @g ( ) const Long 1 minus } ] } ] }\n"
      "  StmtAssignArrayElement Double 0 [ { const Long 2 } ] { call Double @g ( ) }\n"
      "  StmtAssignArrayElement Double 0 [ { const Long 1 } { call Double @g ( ) } ] { const Double 5 }\n"
      "  StmtAssignArrayElement Double 0 [ { call Double @g ( ) } { const Long 1 } ] { const Double 6 }\n"
      "  StmtAssignGlobal Double 2 { elem Double 0 [ { call Double @g ( ) } { const Long 1 } ] }\n"));
}

TEST(CompiledCache, JumpsToJumpsAgree) {
  // Links that pass through plain jumps: a chain of two, a jump back into a loop, a jump to
  // a jump to the end of the program; with and without the per-statement checks.
  const std::string src = program(
      "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 6 } { const Long 1 } @done\n"
      "top:\n"
      "  StmtJumpIfZero { var Double 1 const Long 3 gt } @small\n"
      "  StmtAssignGlobal Double 0 { var Double 0 const Long 10 plus }\n"
      "  StmtJump @hop\n"
      "small:\n"
      "  StmtAssignGlobal Double 0 { var Double 0 const Long 1 plus }\n"
      "hop:\n"
      "  StmtJump @next\n"
      "next:\n"
      "  StmtForNext @top\n"
      "done:\n"
      "  StmtJumpIfZero { var Double 0 const Long 33 eq } @last\n"
      "  StmtAssignGlobal Double 5 { const Long 7 }\n"
      "last:\n"
      "  StmtJump @out\n"
      "  StmtAssignGlobal Double 5 { const Long 8 }\n"
      "out:\n");
  expectSame(src);
  expectSame(src, true);
  for (uint64_t steps = 2; steps < 40; steps += 5) expectSame(src, false, steps);
}

TEST(CompiledCache, TruncatedCodeIsLeftToTheGenericPath) {
  // An expression running into the end of the stream, a jump whose offset is cut off.
  for (const char* tail : {"  .byte 1 7 0 0 2 3 1 0 0 0 2 3 2 0 0 0 54\n",
                           "  StmtAssignGlobal Double 0 { const Long 3 }\n  .byte 0 4 2 3 1 0 0 0 0 11 0 0\n"}) {
    const std::string src = std::string(kDeclare) + "  StmtAssignGlobal Double 5 { const Long 1 }\n" + tail;
    SCOPED_TRACE(src);
    const Outcome a = run(src, true), b = run(src, false);
    EXPECT_EQ(a.error, b.error);
    EXPECT_EQ(a.position, b.position);
    EXPECT_EQ(a.message, b.message);
    EXPECT_EQ(a.doubles, b.doubles);
  }
}

// The share of the statements run that ran decoded (counted as --stats counts them).
double decodedShare(const std::string& src, StatementStats* counts) {
  State s;
  EXPECT_TRUE(loadImage(s, assemble(src, "t.tasm")));
  startStatementStats(s);
  try {
    runStatements(s);
  } catch (const RunError&) {
  } catch (const ProgramEnd&) {
  }
  const uint64_t total = s.stats->decoded + s.stats->generic;
  if (counts) *counts = *s.stats;
  return total ? double(s.stats->decoded) / double(total) : 0.0;
}

// Each integer type's wrap and narrowing through locals, value parameters and loop steps.
const char* kIntegerTypes =
    ".proc narrow\n"
    "  StmtDeclare 0 var Byte 0\n  StmtDeclare 0 var Short 0\n  StmtDeclare 0 var Word 0\n"
    "  StmtDeclare 0 var Long 0\n  StmtDeclare 0 var DWord 0\n  StmtDeclare 0 var Single 0\n"
    "  StmtAssignLocal Byte 0 { param Double 0 }\n"
    "  StmtAssignLocal Short 0 { param Double 0 const Long 40000 plus }\n"
    "  StmtAssignLocal Word 0 { param Double 0 neg }\n"
    "  StmtAssignLocal Long 0 { param Double 0 const Long 1000 times }\n"
    "  StmtAssignLocal DWord 0 { param Double 0 const Long 7 minus }\n"
    "  StmtAssignLocal Single 0 { param Double 0 const Double 0.1 plus }\n"
    "  StmtAssignParam Byte 1 { local Byte 0 const Long 300 plus }\n"
    "  StmtAssignParam Short 2 { local Short 0 const Double 2.75 minus }\n"
    "  StmtAssignParam Word 3 { local Word 0 const Double -1.5 plus }\n"
    "  StmtAssignParam Long 4 { param Byte 1 param Short 2 plus param Word 3 plus }\n"
    "  StmtAssignGlobal Double 0 { var Double 0 local Byte 0 plus local Short 0 plus local Word 0 plus local Long 0 plus local DWord 0 plus local Single 0 plus param Long 4 plus }\n"
    "  StmtForBegin 0 Byte 0 { const Long 250 } { const Long 255 } { const Long 3 } @bdone\n"
    "btop:\n"
    "  StmtAssignGlobal Double 1 { var Double 1 local Byte 0 plus }\n"
    "  StmtJumpIfZero { local Byte 0 const Long 5 lt } @bnext\n"
    "  StmtForExit @bdone\n"
    "bnext:\n"
    "  StmtForNext @btop\n"
    "bdone:\n"
    "  StmtForBegin 0 Short 0 { const Long 32760 } { const Long 32767 } { const Long 4 } @sdone\n"
    "stop:\n"
    "  StmtAssignGlobal Double 1 { var Double 1 local Short 0 plus }\n"
    "  StmtJumpIfZero { local Short 0 const Long 0 lt } @snext\n"
    "  StmtForExit @sdone\n"
    "snext:\n"
    "  StmtForNext @stop\n"
    "sdone:\n"
    "  StmtForBegin 0 Word 0 { const Long 3 } { const Long 0 } { const Double -1.5 } @wdone\n"
    "wtop:\n"
    "  StmtAssignGlobal Double 1 { var Double 1 local Word 0 plus }\n"
    "  StmtJumpIfZero { local Word 0 const Long 100 gt } @wnext\n"
    "  StmtForExit @wdone\n"  // below 0 a Word wraps to 65535, which is still at least 0
    "wnext:\n"
    "  StmtForNext @wtop\n"
    "wdone:\n"
    "  StmtForBegin 0 Single 0 { const Long 0 } { const Long 1 } { const Double 0.1 } @fdone\n"
    "ftop:\n"
    "  StmtAssignGlobal Double 2 { var Double 2 local Single 0 plus }\n"
    "  StmtForNext @ftop\n"
    "fdone:\n"
    "  StmtEndBody\n"
    ".end\n"
    ".main\n"
    "  StmtDeclare 0 var Double 2\n"
    "  StmtForBegin 1 DWord 0 { const Long -3 } { const Long 3 } { const Long 1 } @done\n"
    "top:\n"
    "  StmtCallProc @narrow ( val Double { var DWord 0 const Double 97.6 times } )\n"
    "  StmtForNext @top\n"
    "done:\n"
    "  StmtForBegin 1 Long 1 { const Long 2147483640 } { const Long 2147483647 } { const Long 5 } @ldone\n"
    "ltop:\n"
    "  StmtJumpIfZero { var Long 1 const Long 0 lt } @lnext\n"
    "  StmtForExit @ldone\n"
    "lnext:\n"
    "  StmtForNext @ltop\n"
    "ldone:\n"
    "  StmtEnd\n";

TEST(CompiledCache, IntegerTypesWrapAndNarrowAsTheGenericPathDoes) {
  expectSame(kIntegerTypes);
  EXPECT_GT(decodedShare(kIntegerTypes), 0.8);
}

TEST(CompiledCache, ValueOutsideThirtyTwoBitsFailsTheSameWay) {
  // A local Long, a value parameter and a loop step given values beyond 32 bits: the same
  // error at the same statement.
  for (const char* store : {"  StmtAssignLocal Long 0 { param Double 0 const Double 1e10 times }\n",
                            "  StmtAssignParam Short 0 { param Double 0 const Double -1e12 times }\n",
                            "  StmtForBegin 0 Long 0 { const Long 1 } { const Long 9 } { param Double 0 const Double 5e9 times } @x\n"
                            "  StmtForNext @x\n"}) {
    const std::string src = std::string(".proc p\n  StmtDeclare 0 var Long 0\n  StmtAssignLocal Long 0 { const Long 1 }\n") + store +
                            "x:\n  StmtEndBody\n.end\n.main\n  StmtCallProc @p ( val Double { const Long 1 } )\n  StmtEnd\n";
    expectSame(src);
  }
}

const char* kSelection =
    ".proc pick\n"
    "  StmtSelectBegin 1 { param Double 0 }\n"
    "  StmtCaseTest ( eq { const Long 1 } eq { const Double 2.5 } ) @c1\n"
    "  StmtAssignGlobal Double 0 { var Double 0 const Long 1 plus }\n"
    "  StmtJump @end\n"
    "c1:\n"
    "  StmtCaseTest ( range { const Long 3 } { const Long 5 } range { const Long 10 } { const Long 4 } ) @c2\n"
    "  StmtAssignGlobal Double 0 { var Double 0 const Long 10 plus }\n"
    "  StmtJump @end\n"
    "c2:\n"
    "  StmtCaseTest ( cond { param Double 0 const Long 0 lt } eq { param Double 0 } ) @c3\n"
    "  StmtAssignGlobal Double 0 { var Double 0 const Long 100 plus }\n"
    "c3:\n"
    "  StmtSelectBegin 2 { param Double 0 const Long 2 mod }\n"
    "  StmtCaseTest ( eq { const Long 0 } ) @c4\n"
    "  StmtAssignGlobal Double 1 { var Double 1 const Long 1 plus }\n"
    "c4:\n"
    "  StmtSelectEnd\n"
    "  StmtCaseTest ( eq { const Long 6 } range { const Double 6.5 } { const Double 7.5 } ) @end\n"
    "  StmtAssignGlobal Double 1 { var Double 1 const Long 1000 plus }\n"
    "end:\n"
    "  StmtSelectEnd\n"
    "  StmtSelectEnd\n"
    "  StmtSelectEnd\n"
    "  StmtEndBody\n"
    ".end\n"
    ".main\n"
    "  StmtDeclare 0 var Double 1\n"
    "  StmtForBegin 1 Double 2 { const Long -2 } { const Long 9 } { const Double 0.5 } @done\n"
    "top:\n"
    "  StmtCallProc @pick ( val Double { var Double 2 } )\n"
    "  StmtForNext @top\n"
    "done:\n"
    "  StmtSelectBegin 0 { const String \"text\" }\n"
    "  StmtCaseTest ( eq { const Long 0 } ) @t1\n"
    "  StmtAssignGlobal Double 0 { const Long -1 }\n"
    "t1:\n"
    "  StmtCaseTest ( range { const String \"a\" } { const String \"u\" } ) @t2\n"
    "  StmtAssignGlobal Double 1 { const Long -1 }\n"
    "t2:\n"
    "  StmtSelectBegin 11 { call Double @pick ( val Double { const Long 3 } ) }\n"
    "  StmtEnd\n";

TEST(CompiledCache, SelectionAgreesOnItemsRangesConditionsAndLevels) {
  // Values, an empty range, a condition and a second match; a nested level; a text
  // selector met by a decoded case test; level 11 refused before its selector runs.
  expectSame(kSelection);
  EXPECT_GT(decodedShare(kSelection), 0.9);
}

const char* kReferences =
    ".proc swap\n"
    "  StmtAssignParam Long 2 { param 16 0 [ { param Long 3 } ] }\n"
    "  StmtAssignParam 16 0 [ { param Long 3 } ] { param 16 1 [ { param Long 4 } ] }\n"
    "  StmtAssignParam 16 1 [ { param Long 4 } ] { param Long 2 }\n"
    "  StmtAssignParam 20 5 [ { const Long 1 } { param Long 3 } ] { param 20 5 [ { const Long 1 } { param Long 3 } ] param 16 0 [ { param Long 4 } ] plus }\n"
    "  StmtEndBody\n"
    ".end\n"
    ".proc pass\n"
    "  StmtCallProc @swap ( fwd 16 0 fwd 16 0 val Double { const Long 0 } val Double { param Double 1 } val Double { param Double 1 const Long 1 plus } fwd 20 2 )\n"
    "  StmtAssignParam 14 3 [ { param Double 1 } ] { param 14 3 [ { param Double 1 } ] const Long 200 plus }\n"
    "  StmtAssignParam Variant 4 { param Double 1 const Long 3 times }\n"
    "  StmtEndBody\n"
    ".end\n"
    ".proc depth\n"
    "  StmtJumpIfZero { param Double 0 const Long 0 gt } @bottom\n"
    "  StmtAssignParam 20 1 [ { const Long 0 } { param Double 0 } ] { param Double 0 const Long 10 times }\n"
    "  StmtCallProc @depth ( val Double { param Double 0 const Long 1 minus } fwd 20 1 )\n"
    "bottom:\n"
    "  StmtEndBody\n"
    ".end\n"
    ".main\n"
    "  StmtDeclare 0 array ( { const Long 9 } ) Long 0\n"
    "  StmtDeclare 0 array ( { const Long 9 } ) Byte 1\n"
    "  StmtDeclare 0 array ( { const Long 2 } { const Long 9 } ) Double 3\n"
    "  StmtDeclare 0 var Variant 2\n"
    "  StmtForBegin 1 Long 0 { const Long 0 } { const Long 9 } { const Long 1 } @filled\n"
    "fill:\n"
    "  StmtAssignArrayElement Long 0 [ { var Long 0 } ] { var Long 0 const Long 3 times }\n"
    "  StmtAssignArrayElement Byte 1 [ { var Long 0 } ] { var Long 0 const Long 25 times }\n"
    "  StmtForNext @fill\n"
    "filled:\n"
    "  StmtForBegin 1 Long 0 { const Long 0 } { const Long 7 } { const Long 1 } @done\n"
    "top:\n"
    "  StmtCallProc @pass ( ref 16 0 val Double { var Long 0 } ref 20 3 ref 14 1 ref Variant 2 )\n"
    "  StmtForNext @top\n"
    "done:\n"
    "  StmtCallProc @depth ( val Double { const Long 9 } ref 20 3 )\n"
    "  StmtCallProc @pass ( ref 16 0 val Double { const Long 9 } ref 20 3 ref 14 1 ref Variant 2 )\n"
    "  StmtEnd\n";

TEST(CompiledCache, ReferenceParametersAliasRecurseAndFailAsTheGenericPathDoes) {
  // The same array passed twice (an alias), passed on with -1, a two-dimensional array by
  // reference through recursion; the last call reads and writes past the ends of the Byte
  // and Long arrays (the stores' own rule).
  expectSame(kReferences);
  EXPECT_GT(decodedShare(kReferences), 0.9);
  // A reference to an array number that names no array: the same error before the subscript.
  expectSame(".proc p\n  StmtAssignParam 16 0 [ { fn IntPart { const Long 1 const Long 0 divide } } ] { const Long 1 }\n  StmtEndBody\n.end\n"
             ".main\n  StmtDeclare 0 var Double 0\n  StmtAssignGlobal Double 0 { const Long 1 }\n"
             "  StmtCallProc @p ( ref 16 300 )\n  StmtEnd\n");
}

TEST(CompiledCache, CallsWithAContinuationBlockOrTextArgumentsStayCorrect) {
  const std::string src =
      ".proc p\n  StmtAssignGlobal Double 0 { var Double 0 param Double 0 plus }\n  StmtEndBody\n.end\n"
      ".main\n  StmtDeclare 0 var Double 1\n"
      "  StmtForBegin 1 Double 1 { const Long 1 } { const Long 3 } { const Long 1 } @done\n"
      "top:\n"
      "  StmtCallProc @p ( val Double { var Double 1 } )\n"
      "  .byte 33\n"
      "  StmtAssignGlobal Double 0 { var Double 0 const Long 100 plus }\n"
      "  .byte 34\n"
      "  StmtCallProc @p ( val Double { var Double 1 const Long 10 times } val String { const String \"x\" } )\n"
      "  StmtForNext @top\n"
      "done:\n  StmtEnd\n";
  expectSame(src);
}

TEST(CompiledCache, DecodeNothingLeavesEveryStatementToTheGenericPath) {
  State s;
  ASSERT_TRUE(loadImage(s, assemble(program("  StmtAssignGlobal Double 0 { const Long 2 const Long 3 plus }\n"), "t.tasm")));
  decodeNothing(s);
  const size_t empty = s.compiled->bytesUsed();
  EXPECT_THROW(runStatements(s), ProgramEnd);
  EXPECT_EQ(s.compiled->bytesUsed(), empty);
  EXPECT_EQ(s.stores.scalars[7].read<double>(0), 5.0);
}

TEST(CompiledCache, MemoryStaysWithinItsBound) {
  const std::string src = program(
      "  StmtAssignGlobal Double 0 { const Long 1 }\n"
      "  StmtAssignGlobal Double 1 { const Long 2 }\n");
  State s;
  ASSERT_TRUE(loadImage(s, assemble(src, "t.tasm")));
  const size_t tables = 2 * ((s.code.size() >> CompiledCache::kPageBits) + 1) * sizeof(void*);
  CompiledCache cache(s.code.data(), s.code.size(), tables + 100);  // less than one page
  for (uint32_t at = 0; at < s.code.size(); ++at) {
    cache.statement(at);
    cache.expression(at);
  }
  EXPECT_LE(cache.bytesUsed(), tables + 100);
}

}  // namespace
}  // namespace tavrin
