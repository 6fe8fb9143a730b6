// Parameters inside a running procedure: the parameter operand of the evaluator, the
// parameter assignment, the function result (StmtSetResult, FunctionResult) and the
// built-in functions over the parameter slots and the variable argument tables.
// Hazards: value parameters read back rounded and narrowed, but are assigned truncated;
// reference entries hold only a kind and a 16-bit number, which the callee's own kind
// byte interprets (the kind in the entry is not consulted).
#include <string>

#include "interp/calls.h"
#include "interp/handlers.h"
#include "interp/object_refs.h"
#include "interp/value_ops.h"
#include "interp/value_refs.h"
#include "interp/tables.h"
#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

namespace {

constexpr uint8_t kVariantKind = 9;
constexpr uint8_t kFirstArrayKind = 13, kLastArrayKind = 22;
constexpr uint8_t kRecordKind = 29;
constexpr uint8_t kFirstObjectKind = 30;

// Array kinds 13..22 name the element types String .. Variant in order.
inline ValueType arrayKindType(uint8_t kind) { return ValueType(kind - kFirstArrayKind); }

}  // namespace

int32_t referenceElementNumber(State& s, uint8_t kind, uint16_t number) {
  if (kind == kVariantKind) return valueref::variantElementNumber(s, number);
  if (kind == kRecordKind) return valueref::recordElementNumber(s, number);
  return objectElementNumber(s, kind, number);
}

void evalOpParameter(State& s, EvalStack& e) {
  CodeReader& code = s.code;
  const uint8_t kind = code.u8();
  const uint8_t slot = code.u8();
  if (kind == uint8_t(ValueType::String)) {
    e.pushText(textParameter(s, slot));
    return;
  }
  if (kind <= uint8_t(ValueType::Double)) {
    e.pushNumber(readValueParameter(kind, numberParameter(s.calls, slot)));
    return;
  }
  const uint16_t index = referenceIndex(s.calls, slot);
  if (kind == kVariantKind) return valueref::readVariant(s, e, index);
  // FixedString arrays (21) are not read through a parameter: kind 21 falls to the objects.
  if (kind >= kFirstArrayKind && kind <= kLastArrayKind && kind != 21)
    return valueref::readElement(s, e, arrayKindType(kind), index);
  if (kind == kRecordKind) return valueref::readRecordField(s, e, index);
  // Objects, and every kind not named above: a property byte and the object layer.
  const uint8_t property = code.u8();
  readObjectParameter(s, e, kind, index, property);
}

void execStmtAssignParam(State& s) {
  CodeReader& code = s.code;
  const uint8_t kind = code.u8();
  const uint8_t slot = code.u8();
  if (kind >= kFirstObjectKind) return assignObjectParameter(s, kind, referenceIndex(s.calls, slot));
  if (kind == uint8_t(ValueType::String)) {
    evaluate(s);
    textParameter(s, slot) = s.resultStr;
    return;
  }
  if (kind <= uint8_t(ValueType::Double)) {
    assignValueParameter(s.calls, kind, slot, evaluateNumber(s));
    return;
  }
  const uint16_t index = referenceIndex(s.calls, slot);
  if (kind == kVariantKind) {
    const bool text = evaluate(s);
    valueref::storeVariant(s, index, text, s.resultNum, s.resultStr);
    return;
  }
  if (kind >= kFirstArrayKind && kind <= kLastArrayKind) {
    const ValueType type = arrayKindType(kind);
    const int64_t at = valueref::elementPosition(s, type, index);
    const bool text = evaluate(s);
    valueref::storeElement(s, type, index, at, text, s.resultNum, s.resultStr);
    return;
  }
  if (kind == kRecordKind) return valueref::storeRecordField(s, index);
  // Kinds that name nothing (8, 10..12, 23..28): the value is evaluated and dropped.
  evaluate(s);
}

void execStmtSetResult(State& s) {
  CallState& c = s.calls;
  c.functionIsText = evaluate(s);
  if (c.functionIsText) c.functionText = s.resultStr;
  else c.functionNumber = s.resultNum;
}

// --- Built-in functions -----------------------------------------------------------------

void fnNumberArgumentCount(State& s, EvalStack& e) { e.pushNumber(s.calls.numberArgumentCount); }
void fnTextArgumentCount(State& s, EvalStack& e) { e.pushNumber(s.calls.textArgumentCount); }

void fnNumberArgument(State& s, EvalStack& e) {
  const uint8_t i = uint8_t(roundToInt(evaluateNumber(s)));
  e.pushNumber(s.calls.numberArguments[i]);
}

void fnTextArgument(State& s, EvalStack& e) {
  const uint8_t i = uint8_t(roundToInt(evaluateNumber(s)));
  e.pushText(s.calls.textArguments[i]);
}

void fnNumberParameter(State& s, EvalStack& e) { e.pushNumber(numberParameter(s.calls, roundToInt(evaluateNumber(s)))); }
void fnTextParameter(State& s, EvalStack& e) {
  const int32_t slot = roundToInt(evaluateNumber(s));
  e.pushText(textParameter(s, slot));
}

void fnFunctionResult(State& s, EvalStack& e) {
  if (s.code.u8() != 0) e.pushNumber(s.calls.functionNumber);
  else e.pushText(s.calls.functionText);
}

}  // namespace tavrin
