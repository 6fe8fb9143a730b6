// Procedure and function calls: passing arguments into the parameter slots of the next
// call level, raising and lowering the call level, the four call statements, the four
// call operands of the evaluator, and StmtExitProc.
// Hazards: arguments are written as they are evaluated, so a function called inside an
// argument list overwrites the slots of the call being prepared (programs see this);
// the parameter stores grow only at a call, by one batch, and may lag behind after
// calls that do not grow them (StmtCallProcArgs); only one of the two function result
// registers is restored after a function call.
#include "interp/calls.h"

#include <string>

#include "interp/call_entry.h"
#include "interp/dispatcher.h"
#include "interp/handlers.h"
#include "interp/stores.h"
#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

namespace {

constexpr int64_t kLevelNumberBytes = kSlotsPerLevel * 8;
constexpr int64_t kLevelReferenceBytes = kSlotsPerLevel * kReferenceEntryBytes;
constexpr uint8_t kListEnd = 11;
constexpr uint16_t kForwardIndex = 0xFFFF;  // -1: pass on a reference parameter of the caller

// Reference kinds whose number may select an element of an array by subscripts.
constexpr bool hasSelector(uint8_t kind) { return kind == 9 || kind >= 29; }
constexpr bool isSubscriptSelector(uint8_t b) { return b == 3 || b == 29 || b == 38; }
constexpr uint8_t kLastObjectKind = 86;

[[noreturn, gnu::cold]] void textSlotOutside(int64_t item) {
  raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(item) + ")");
}

inline std::string& textSlotAt(CallState& c, int64_t item) {
  if (item < 0 || item >= int64_t(c.textSlots.size())) [[unlikely]]
    textSlotOutside(item);
  return c.textSlots[size_t(item)];
}

// The byte offsets and item of slot `slot` of call level `level`.
inline int64_t referenceOffset(int64_t level, int64_t slot) {
  return (level - 1) * kLevelReferenceBytes + slot * kReferenceEntryBytes;
}
inline int64_t textItem(int64_t level, int64_t slot) { return (level - 1) * kSlotsPerLevel + slot; }

[[noreturn, gnu::cold]] void tooManyArguments(const char* kind) {
  raise(ErrorNumber::RangeCheck, std::string("more than 255 ") + kind + " arguments in one variable argument list");
}

// Result type bytes of the call operands: 0 text, 2..9 number (9 Variant). Any other byte
// makes the operand read nothing more and push nothing.
constexpr bool isResultType(uint8_t t) { return t == 0 || (t >= 2 && t <= 9); }

// The caller's text result is kept here while a function runs; released on every way
// out, so an error caught around an event leaves the save stack balanced. Held by index:
// nested calls may grow the save stack and move its strings.
struct SavedResult {
  CallState& c;
  size_t index;
  double number;
  explicit SavedResult(CallState& calls) : c(calls), index(calls.savedDepth++), number(calls.functionNumber) {
    if (index == c.savedTexts.size()) c.savedTexts.emplace_back();
    c.savedTexts[index].assign(c.functionText);
  }
  ~SavedResult() { --c.savedDepth; }
  std::string& text() { return c.savedTexts[index]; }
};

// Runs a function body for a call operand once its arguments are in place, then pushes
// the function's result and applies the continuation rule.
void callFunction(State& s, EvalStack& e, uint8_t resultType, int64_t target) {
  CallState& c = s.calls;
  {
    SavedResult saved(c);
    try {
      enterCall(s, target, s.code.position(), true, [&] { runStatements(s); });
    } catch (...) {
      c.functionText.swap(saved.text());  // the caller's text again
      throw;
    }
    if (resultType == 0 || (resultType == 9 && c.functionIsText)) {
      std::string& slot = e.pushTextSlot();
      slot.swap(c.functionText);
      c.functionText.swap(saved.text());  // the caller's text again; no copy
    } else {
      e.pushNumber(c.functionNumber);
      c.functionNumber = saved.number;
    }
  }
  runContinuation(s);
}

}  // namespace

// The numeric branch of callFunction without the evaluator's stack: the caller's text
// result is not touched by a numeric call, so it needs no saving.
double callNumberFunction(State& s, int64_t target, uint32_t back) {
  CallState& c = s.calls;
  const double saved = c.functionNumber;
  enterCall(s, target, back, true, [&] { runStatements(s); });
  const double v = c.functionNumber;
  c.functionNumber = saved;
  return v;
}

namespace {

[[gnu::noinline]] void appendZeros(ByteStore& store, size_t n) { store.ensure(store.size() + n); }

}  // namespace

CallState::CallState() {
  numberSlots.resize(kInitialSlots * 8);
  textSlots.resize(kInitialSlots);
  referenceSlots.resize(kInitialSlots * kReferenceEntryBytes);
}

void leaveCallLevel(State& s) {
  --s.calls.level;
  if (!s.calls.returnStack.empty()) s.calls.returnStack.pop_back();
}

void growParameterStoresSlow(CallState& c) {
  const int64_t level = c.level;
  if (int64_t(c.numberSlots.size()) - kLevelNumberBytes < level * kLevelNumberBytes) {
    appendZeros(c.numberSlots, kSlotBatch * 8);
    appendZeros(c.referenceSlots, kSlotBatch * kReferenceEntryBytes);
  }
  if (int64_t(c.textSlots.size()) < (level + 1) * kSlotsPerLevel) c.textSlots.resize(c.textSlots.size() + kSlotBatch);
}

void passArguments(State& s, uint32_t count) {
  CallState& c = s.calls;
  CodeReader& code = s.code;
  const int64_t caller = c.level;
  for (uint32_t j = 0; j < count; ++j) {
    const uint8_t kind = code.u8();
    if (isValueKind(kind)) {
      if (evaluate(s)) textSlotAt(c, textItem(caller + 1, j)) = s.resultStr;
      else setNextNumberParameter(c, j, s.resultNum);
      continue;
    }
    if (kind > kLastObjectKind) [[unlikely]]
      raiseByteCode("argument kind " + std::to_string(kind));
    uint16_t index = code.u16();
    if (index == kForwardIndex) {
      const uint8_t q = code.u8();
      index = c.referenceSlots.read<uint16_t>(referenceOffset(caller, q) + 1);
    } else if (hasSelector(kind) && isSubscriptSelector(code.u8())) {
      index = uint16_t(referenceElementNumber(s, kind, index));
    }
    const int64_t at = referenceOffset(caller + 1, j);
    c.referenceSlots.write<uint8_t>(at, kind);
    c.referenceSlots.write<uint16_t>(at + 1, index);
  }
}

void readVariableArguments(State& s) {
  CallState& c = s.calls;
  c.numberArgumentCount = 0;
  c.textArgumentCount = 0;
  while (s.code.u8() != kListEnd) {
    if (evaluate(s)) {
      if (c.textArgumentCount >= kVariableArguments) [[unlikely]]
        tooManyArguments("text");
      c.textArguments[size_t(++c.textArgumentCount)] = s.resultStr;
    } else {
      if (c.numberArgumentCount >= kVariableArguments) [[unlikely]]
        tooManyArguments("numeric");
      c.numberArguments[size_t(++c.numberArgumentCount)] = s.resultNum;
    }
  }
}

void enterCallLevel(State& s, int64_t target) {
  enterCall(s, target, s.code.position(), true, [&] { runStatements(s); });
}

void setNextNumberParameter(State& s, int slot, double value) { setNextNumberParameter(s.calls, slot, value); }
void setNextTextParameter(State& s, int slot, const std::string& value) {
  textSlotAt(s.calls, textItem(int64_t(s.calls.level) + 1, slot)) = value;
}
void setNextReferenceParameter(State& s, int slot, uint8_t kind, uint16_t index) {
  const int64_t at = referenceOffset(int64_t(s.calls.level) + 1, slot);
  s.calls.referenceSlots.write<uint8_t>(at, kind);
  s.calls.referenceSlots.write<uint16_t>(at + 1, index);
}

std::string& textParameter(State& s, int64_t slot) { return textSlotAt(s.calls, textItem(s.calls.level, slot)); }

// --- Call statements --------------------------------------------------------------


void execStmtCallProc(State& s) {
  const uint8_t count = s.code.u8();
  const uint32_t target = s.code.u32();
  passArguments(s, count);
  enterCallLevel(s, int64_t(target));
  runContinuation(s);
}

void execStmtCallProcIndirect(State& s) {
  const uint8_t count = s.code.u8();
  const int32_t target = evaluateInt(s);
  passArguments(s, count);
  enterCallLevel(s, int64_t(target));
}

// The variable-argument call statement does not grow the parameter stores.
void execStmtCallProcArgs(State& s) {
  s.code.u8();  // carries nothing
  const uint32_t target = s.code.u32();
  readVariableArguments(s);
  enterCall(s, int64_t(target), s.code.position(), false, [&] { runStatements(s); });
}

void execStmtCallProcArgsIndirect(State& s) {
  s.code.u8();  // carries nothing
  const int32_t target = evaluateInt(s);
  readVariableArguments(s);
  enterCallLevel(s, target);
}

// The dispatcher ends the activation after this statement.
void execStmtExitProc(State& s) {
  CallState& c = s.calls;
  --c.level;
  if (c.level >= 0 && size_t(c.level) < c.returnStack.size()) s.code.seek(c.returnStack[size_t(c.level)]);
  if (!c.returnStack.empty()) c.returnStack.pop_back();
}

// --- Call operands of the evaluator ----------------------------------------------------

void evalOpCall(State& s, EvalStack& e) {
  const uint8_t t = s.code.u8();
  if (!isResultType(t)) return;
  const uint8_t count = s.code.u8();
  const uint32_t target = s.code.u32();
  passArguments(s, count);
  callFunction(s, e, t, target);
}

void evalOpCallIndirect(State& s, EvalStack& e) {
  const uint8_t t = s.code.u8();
  if (!isResultType(t)) return;
  const uint8_t count = s.code.u8();
  const int32_t target = roundToInt(evaluateNumber(s));
  passArguments(s, count);
  callFunction(s, e, t, target);
}

void evalOpCallArgs(State& s, EvalStack& e) {
  const uint8_t t = s.code.u8();
  if (!isResultType(t)) return;
  s.code.u8();  // carries nothing
  const uint32_t target = s.code.u32();
  readVariableArguments(s);
  callFunction(s, e, t, target);
}

void evalOpCallArgsIndirect(State& s, EvalStack& e) {
  const uint8_t t = s.code.u8();
  if (!isResultType(t)) return;
  s.code.u8();  // carries nothing
  const int32_t target = roundToInt(evaluateNumber(s));
  readVariableArguments(s);
  callFunction(s, e, t, target);
}

}  // namespace tavrin
