// Jumps, counted loops, local jumps and selection: the statements that move the code
// position without opening a call level.
// Hazards: the loop stack is global and a byte stream; an entry is pushed field by field
// around the evaluation of its expressions, so whatever a function called there leaves
// on the stack ends up inside the entry, where programs can observe it. Loop
// variables count in their own type (a Byte wraps from 255 to 0).
#include <cstring>

#include "interp/handlers.h"
#include "interp/loop_step.h"
#include "interp/value_ops.h"
#include "interp/value_refs.h"
#include "interp/tables.h"
#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

namespace {

inline void jumpBy(CodeReader& code, int32_t offset) { code.seek(int64_t(code.position()) + offset); }

// --- The loop stack: writes and reads at a stream position, as a memory stream does:
// nothing happens at a negative position, and a write at or past the end extends it.

template <class T>
void loopPush(ControlState& c, T value) {
  if (c.loopPosition < 0) return;
  c.loopStack.write<T>(c.loopPosition, value);
  c.loopPosition += int64_t(sizeof(T));
}

}  // namespace

LoopEntry loopTopSlow(const ControlState& c) {
  LoopEntry entry;
  const int64_t at = c.loopPosition - kLoopEntryBytes;
  if (at < 0) return entry;  // nothing can be read there
  entry.scope = c.loopStack.read<uint8_t>(at);
  entry.type = c.loopStack.read<uint8_t>(at + 1);
  entry.variable = c.loopStack.read<uint16_t>(at + 2);
  entry.limit = c.loopStack.read<double>(at + 4);
  entry.step = c.loopStack.read<double>(at + 12);
  return entry;
}

namespace {

double readLoopVariable(State& s, uint8_t scope, ValueType type, uint16_t n) {
  return scope == kGlobalLoopScope ? valueref::readGlobal(s, type, n) : valueref::readLocal(s, type, n);
}

void storeLoopVariable(State& s, uint8_t scope, ValueType type, uint16_t n, double v) {
  if (scope == kGlobalLoopScope) valueref::storeGlobal(s, type, n, v);
  else valueref::storeLocal(s, type, n, v);
}

constexpr uint8_t kCaseValue = 2, kCaseCondition = 19;

}  // namespace

void execStmtJump(State& s) { jumpBy(s.code, s.code.i32()); }

void execStmtJumpIfZero(State& s) {
  const double v = evaluateNumber(s);
  const int32_t offset = s.code.i32();
  if (v == 0.0) jumpBy(s.code, offset);
}

// --- Counted loops -------------------------------------------------------------------

void execStmtForBegin(State& s) {
  ControlState& c = s.control;
  CodeReader& code = s.code;
  const uint8_t scope = code.u8();
  loopPush<uint8_t>(c, scope);
  const uint8_t type = code.u8();
  const uint16_t variable = code.u16();
  const double start = evaluateNumber(s);
  loopPush<uint8_t>(c, type);
  loopPush<uint16_t>(c, variable);
  // Only the numeric types are counted; a loop over any other type leaves its variable.
  if (isLoopType(type)) storeLoopVariable(s, scope, ValueType(type), variable, start);
  const double limit = evaluateNumber(s);
  loopPush<double>(c, limit);
  const double step = evaluateNumber(s);
  loopPush<double>(c, step);
  const int32_t exit = code.i32();
  if ((step < 0.0 && start < limit) || (step > 0.0 && start > limit)) {
    loopPop(c);
    jumpBy(code, exit);
  }
}

double stepLoopVariable(State& s, const LoopEntry& entry) {
  const ValueType type = ValueType(entry.type);
  const double v = addStep(type, readLoopVariable(s, entry.scope, type, entry.variable), entry.step);
  storeLoopVariable(s, entry.scope, type, entry.variable, v);
  return v;
}

void execStmtForNext(State& s) {
  ControlState& c = s.control;
  const LoopEntry entry = loopTop(c);
  const int32_t back = s.code.i32();
  // A loop over a type that does not count ends at its first StmtForNext.
  if (!isLoopType(entry.type)) {
    loopPop(c);
    return;
  }
  const double v = stepLoopVariable(s, entry);
  if (loopGoesOn(entry, v)) {
    jumpBy(s.code, back);
    return;
  }
  loopPop(c);
}

void execStmtForExit(State& s) {
  jumpBy(s.code, s.code.i32());
  if (s.control.loopPosition > 0) loopPop(s.control);
}

// --- Local jumps -----------------------------------------------------------------------

void execStmtLocalCall(State& s) {
  ControlState& c = s.control;
  const int32_t offset = s.code.i32();
  if (c.localJumpDepth >= kLocalJumpSlots) [[unlikely]]
    raise(ErrorNumber::StackOverflow, "more than 101 local jumps pending");
  c.localJumps[size_t(c.localJumpDepth++)] = s.code.position();
  jumpBy(s.code, offset);
}

void execStmtLocalReturn(State& s) {
  ControlState& c = s.control;
  if (c.localJumpDepth <= 0) [[unlikely]]
    raise(ErrorNumber::RangeCheck, "local return without a pending local jump");
  s.code.seek(c.localJumps[size_t(--c.localJumpDepth)]);
}

// --- Selection -------------------------------------------------------------------------

void badSelectionLevel(uint8_t level) {
  raise(ErrorNumber::RangeCheck, "selection level " + std::to_string(level) + " (at most 10)");
}

void execStmtSelectBegin(State& s) {
  ControlState& c = s.control;
  const uint8_t level = s.code.u8();
  checkSelectionLevel(level);
  c.selectionLevel = level;
  Selector& selector = c.selectors[level];
  if (evaluate(s)) {
    selector.text = s.resultStr;
    selector.isText = true;
  } else {
    selector.number = s.resultNum;
    selector.isText = false;
  }
}

void execStmtCaseTest(State& s) {
  CodeReader& code = s.code;
  const Selector& selector = s.control.selectors[size_t(s.control.selectionLevel)];
  const uint8_t count = code.u8();
  bool matched = false;
  // Items are evaluated into registers of their own, not the result registers, which
  // nested evaluations (subscripts, arguments) overwrite.
  double number = 0.0, upperNumber = 0.0;
  std::string text, upperText;
  for (unsigned read = 0; read < count;) {
    const uint8_t kind = code.u8();
    ++read;
    evaluate(s, number, text);
    if (kind == kCaseValue) {
      if (!matched) matched = selector.isText ? text == selector.text : number == selector.number;
    } else if (kind == kCaseCondition) {
      if (!matched) matched = number != 0.0;
    } else {
      code.u8();  // the byte between the bounds counts as an item
      ++read;
      evaluate(s, upperNumber, upperText);
      if (!matched) {
        matched = selector.isText ? compareText(text, selector.text) <= 0 && compareText(selector.text, upperText) <= 0
                                  : number <= selector.number && selector.number <= upperNumber;
      }
    }
  }
  const int32_t offset = code.i32();
  if (!matched) jumpBy(code, offset);
}

void execStmtSelectEnd(State& s) {
  if (s.control.selectionLevel > 0) --s.control.selectionLevel;
}

}  // namespace tavrin
