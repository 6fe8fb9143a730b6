// The cache of decoded statements and expressions must be invisible: each program here runs
// twice, once with the cache and once with a cache that may decode nothing (the generic
// path), and everything a program or its user can see must agree: the stores, the error
// and the statement it names, the trace lines and the step budget.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "interp/compiled.h"
#include "interp/dispatcher.h"
#include "runtime/host_stack.h"
#include "runtime/loader.h"
#include "interp/state.h"
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
