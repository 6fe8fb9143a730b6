// The value-store side of interp/value_refs.h: each forwards to the store operation of
// its name in interp/stores.h.
#include "interp/value_refs.h"

#include "interp/evaluator.h"
#include "interp/stores.h"
#include "interp/state.h"

namespace tavrin::valueref {

namespace {

constexpr uint8_t kRecordArrayForm = 38;

// The field operand of a record parameter starts with marker 37 (the record itself) or 38
// (the number names a record array; subscripts select the element, rounded).
uint32_t fieldRecord(State& s, uint16_t record) {
  if (s.code.u8() != kRecordArrayForm) return record;
  return uint32_t(roundToInt(elementNumberFromCode(s, recordArrayDescriptor(s, record))));
}

}  // namespace

double readGlobal(State& s, ValueType type, uint16_t n) { return readNumber(s, true, type, n); }
void storeGlobal(State& s, ValueType type, uint16_t n, double v) { storeNumber(s, true, type, n, v); }
double readLocal(State& s, ValueType type, uint16_t n) { return readNumber(s, false, type, n); }
void storeLocal(State& s, ValueType type, uint16_t n, double v) { storeNumber(s, false, type, n, v); }
void readVariant(State& s, EvalStack& e, int32_t cell) { readVariantCell(s, e, uint32_t(cell)); }
void storeVariant(State& s, int32_t cell, bool isText, double number, const std::string& text) {
  storeVariantCell(s, uint32_t(cell), isText, number, text);
}
void readElement(State& s, EvalStack& e, ValueType type, uint16_t array) { readArrayElement(s, e, type, array); }
int64_t elementPosition(State& s, ValueType type, uint16_t array) { return tavrin::elementPosition(s, type, array); }
void storeElement(State& s, ValueType type, uint16_t, int64_t position, bool isText, double number,
                  const std::string& text) {
  storeElementAt(s, type, position, isText, number, text);
}
int32_t variantElementNumber(State& s, uint16_t array) { return tavrin::variantElementNumber(s, array); }
int32_t recordElementNumber(State& s, uint16_t array) { return tavrin::recordElementNumber(s, array); }
void readRecordField(State& s, EvalStack& e, uint16_t record) {
  tavrin::readRecordField(s, e, fieldRecord(s, record));
}
void storeRecordField(State& s, uint16_t record) { assignRecordField(s, fieldRecord(s, record)); }

}  // namespace tavrin::valueref
