// The protected call level entry: a body that fails at any depth (level 1, level 3, in a
// loop with a local jump and a selection open, in a function called inside an expression)
// leaves the interpreter as it was before the call, on the generic path and with decoded
// statements, and the next call works; the boundary face turns each way out into a status.
#include <gtest/gtest.h>

#include <string>

#include "interp/call_entry.h"
#include "interp/compiled.h"
#include "interp/dispatcher.h"
#include "runtime/host_stack.h"
#include "runtime/loader.h"
#include "interp/state.h"
#include "tools/asm.h"

namespace tavrin {
namespace {

// Main stores each procedure's target in a Long global (its number in `Proc`) and returns.
const char* const kProgram = R"(
.proc fail1
  StmtPrint { const Long 1 const Long 0 divide } break
  StmtEndBody
.end
.proc deep2
  StmtCallProc @fail1 ( )
  StmtEndBody
.end
.proc deep1
  StmtCallProc @deep2 ( )
  StmtEndBody
.end
.proc inloop
  StmtSelectBegin 2 { const Double 5 }
  StmtLocalCall @loop
  StmtEndBody
loop:
  StmtForBegin 1 Double 3 { const Long 1 } { const Long 10 } { const Long 1 } @done
body:
  StmtJumpIfZero { var Double 3 const Long 3 eq } @next
  StmtPrint { const Long 1 const Long 0 divide } break
next:
  StmtForNext @body
done:
  StmtLocalReturn
.end
.proc badfn
  StmtSetResult { const Double 1 const Double 0 divide }
  StmtEndBody
.end
.proc inexpr
  StmtAssignGlobal Double 1 { const Double 2 call Double @badfn ( ) plus }
  StmtEndBody
.end
.proc good
  StmtAssignGlobal Double 2 { var Double 2 const Double 1 plus }
  StmtSetResult { const Double 42 }
  StmtEndBody
.end
.proc ender
  StmtEnd
.end
.proc forever
again:
  StmtJump @again
.end
.proc down
  StmtCallProc @down ( )
  StmtEndBody
.end
.main
  StmtAssignGlobal Long 0 { .byte 2 3 .dword @fail1 }
  StmtAssignGlobal Long 1 { .byte 2 3 .dword @deep1 }
  StmtAssignGlobal Long 2 { .byte 2 3 .dword @inloop }
  StmtAssignGlobal Long 3 { .byte 2 3 .dword @inexpr }
  StmtAssignGlobal Long 4 { .byte 2 3 .dword @good }
  StmtAssignGlobal Long 5 { .byte 2 3 .dword @ender }
  StmtAssignGlobal Long 6 { .byte 2 3 .dword @forever }
  StmtAssignGlobal Long 7 { .byte 2 3 .dword @down }
  StmtAssignGlobal Long 8 { .byte 2 3 .dword @badfn }
  StmtReturn
)";

enum Proc { kFail1, kDeep1, kInLoop, kInExpr, kGood, kEnder, kForever, kDown, kBadFn };

// A loaded program with its targets read, and a caller's state that is not the start's:
// level 2, two return entries, a loop entry, a local jump and a selection pending.
struct Fixture {
  State s;
  explicit Fixture(bool decode) {
    EXPECT_TRUE(loadImage(s, assemble(kProgram, "t.tasm")));
    s.compiled = std::make_unique<CompiledCache>(s.code.data(), s.code.size(), decode ? CompiledCache::kByteBound : 0);
    s.programName = "prog";
    runStatements(s);
    s.calls.level = 2;
    s.calls.returnStack = {7, 9};
    s.control.loopStack.resize(kLoopEntryBytes);
    s.control.loopPosition = kLoopEntryBytes;
    s.control.localJumpDepth = 1;
    s.control.selectionLevel = 1;
    s.calls.functionNumber = 3.5;
    s.code.seek(s.mainStart);
    s.statementPosition = 0x77;
  }
  int64_t target(Proc p) { return s.stores.scalars[size_t(ValueType::Long)].read<int32_t>(int64_t(p) * 4); }
  double good() { return s.stores.scalars[size_t(ValueType::Double)].read<double>(2 * 8); }
};

void expectAsBefore(const State& s) {
  EXPECT_EQ(s.calls.level, 2);
  EXPECT_EQ(s.calls.returnStack, (std::vector<uint32_t>{7, 9}));
  EXPECT_EQ(s.control.loopPosition, kLoopEntryBytes);
  EXPECT_EQ(s.control.localJumpDepth, 1);
  EXPECT_EQ(s.control.selectionLevel, 1);
  EXPECT_EQ(s.calls.functionNumber, 3.5);
  EXPECT_EQ(s.code.position(), s.mainStart);
  EXPECT_EQ(s.statementPosition, 0x77u);
}

// A guarded entry: the error goes on to the caller, naming the statement in the body that
// failed, and the state is back first, however deep the error was raised.
TEST(CallEntry, AnErrorAtAnyDepthPutsEveryDepthBack) {
  for (const bool decode : {false, true}) {
    for (const Proc p : {kFail1, kDeep1, kInLoop, kInExpr}) {
      SCOPED_TRACE(testing::Message() << "decode " << decode << " procedure " << int(p));
      Fixture f(decode);
      State& s = f.s;
      const int64_t target = f.target(p);
      int number = 0;
      uint32_t position = kNoPosition;
      try {
        enterGuardedCall(s, target, s.mainStart, true, [&] { runStatements(s); });
      } catch (const RunError& e) {
        number = e.number;
        position = e.position;
      }
      EXPECT_EQ(number, int(ErrorNumber::DivisionByZero));
      // The statement that failed, innermost, not the caller's.
      if (p == kInLoop) {
        EXPECT_GT(position, uint32_t(target) + 4);
        EXPECT_LT(position, uint32_t(f.target(kBadFn)));
      } else {
        EXPECT_EQ(position, uint32_t(f.target(p == kInExpr ? kBadFn : kFail1)) + 4);
      }
      expectAsBefore(s);
      // The next call runs and returns normally.
      enterCall(s, f.target(kGood), s.mainStart, true, [&] { runStatements(s); });
      EXPECT_EQ(f.good(), 1.0);
      EXPECT_EQ(s.calls.level, 2);
      EXPECT_EQ(s.calls.returnStack.size(), 2u);
    }
  }
}

TEST(CallEntry, AFunctionCalledInAnExpressionPutsBackTheCallersResult) {
  for (const bool decode : {false, true}) {
    Fixture f(decode);
    State& s = f.s;
    s.calls.functionNumber = 6.0;
    s.calls.functionText = "caller's";
    EXPECT_THROW(enterGuardedCall(s, f.target(kInExpr), s.mainStart, true, [&] { runStatements(s); }), RunError);
    EXPECT_EQ(s.calls.functionNumber, 6.0) << decode;
    EXPECT_EQ(s.calls.functionText, "caller's") << decode;
    EXPECT_EQ(s.calls.savedDepth, 0u) << decode;
  }
}

TEST(CallEntry, ATargetOutsideTheImageIsRefusedBeforeTheLevelRises) {
  Fixture f(true);
  State& s = f.s;
  for (const int64_t target : {int64_t(-1), int64_t(s.code.size()) - 4, int64_t(1) << 40}) {
    EXPECT_THROW(enterCall(s, target, s.mainStart, true, [&] { runStatements(s); }), RunError) << target;
    expectAsBefore(s);
  }
}

// The boundary face: nothing is thrown; each way out is a status.
TEST(CallEntry, TheBoundaryReportsAnErrorAndTheProgramGoesOn) {
  for (const bool decode : {false, true}) {
    Fixture f(decode);
    State& s = f.s;
    for (const Proc p : {kFail1, kDeep1, kInLoop, kInExpr}) {
      testing::internal::CaptureStderr();
      const CallOutcome o = callFromOutside(s, f.target(p));
      const std::string err = testing::internal::GetCapturedStderr();
      EXPECT_EQ(o.status, CallStatus::Failed);
      EXPECT_EQ(o.error.number, int(ErrorNumber::DivisionByZero));
      EXPECT_EQ(o.exitCode, int(ErrorNumber::DivisionByZero));
      EXPECT_EQ(err.rfind("prog: run-time error 200 at 0x", 0), 0u) << err;
      EXPECT_NE(err.find("Division by zero"), std::string::npos) << err;
      expectAsBefore(s);
    }
    testing::internal::CaptureStderr();
    const CallOutcome o = callFromOutside(s, f.target(kGood));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(o.status, CallStatus::Done);
    EXPECT_EQ(f.good(), 1.0);
    EXPECT_EQ(s.calls.functionNumber, 42.0);  // a handler's result is not put back unless asked
  }
}

TEST(CallEntry, TheBoundaryPutsTheResultRegistersBackWhenAsked) {
  Fixture f(true);
  State& s = f.s;
  s.resultNum = 9.0;
  s.resultStr = "interrupted";
  s.calls.functionText = "text result";
  s.calls.functionIsText = true;
  EXPECT_EQ(callFromOutside(s, f.target(kGood), true).status, CallStatus::Done);
  EXPECT_EQ(s.resultNum, 9.0);
  EXPECT_EQ(s.resultStr, "interrupted");
  EXPECT_EQ(s.calls.functionNumber, 3.5);
  EXPECT_EQ(s.calls.functionText, "text result");
  EXPECT_TRUE(s.calls.functionIsText);
  EXPECT_EQ(f.good(), 1.0);
}

TEST(CallEntry, TheBoundaryHandsBackTheEndStatementAndTheFatalLimits) {
  Fixture f(true);
  State& s = f.s;
  CallOutcome o = callFromOutside(s, f.target(kEnder));
  EXPECT_EQ(o.status, CallStatus::Ended);
  EXPECT_EQ(o.exitCode, 0);
  expectAsBefore(s);

  s.stepLimit = 1000;
  o = callFromOutside(s, f.target(kForever));
  EXPECT_EQ(o.status, CallStatus::Fatal);
  EXPECT_EQ(o.error.kind, ErrorKind::Limit);
  EXPECT_NE(o.error.message.find("step budget"), std::string::npos) << o.error.message;
  expectAsBefore(s);
  s.stepLimit = 0;

  // Runaway recursion under a small guard of its own.
  const uintptr_t saved = g_hostStackLimit;
  char here;
  g_hostStackLimit = reinterpret_cast<uintptr_t>(&here) - (uintptr_t(2) << 20);
  o = callFromOutside(s, f.target(kDown));
  g_hostStackLimit = saved;
  EXPECT_EQ(o.status, CallStatus::Fatal);
  EXPECT_EQ(o.error.number, int(ErrorNumber::StackOverflow));
  EXPECT_EQ(o.exitCode, 202);
  expectAsBefore(s);

  o = callFromOutside(s, f.target(kGood));
  EXPECT_EQ(o.status, CallStatus::Done);
  EXPECT_EQ(f.good(), 1.0);
}

}  // namespace
}  // namespace tavrin
