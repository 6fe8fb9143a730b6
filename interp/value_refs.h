// What calls and loops need of the value stores: loop variables, and the variables,
// array elements and record fields that reference parameters name. One seam between the
// call machinery and the stores, so that each side can change on its own.
#pragma once
#include <cstdint>
#include <string>

#include "interp/tables.h"

namespace tavrin {

struct State;
struct EvalStack;

namespace valueref {

// Global scalars and locals of the current call level, numeric types Byte .. Double:
// widened on read, narrowed (truncated) on store.
double readGlobal(State& s, ValueType type, uint16_t n);
void storeGlobal(State& s, ValueType type, uint16_t n, double v);
double readLocal(State& s, ValueType type, uint16_t n);
void storeLocal(State& s, ValueType type, uint16_t n, double v);

// A VariantCell by index: read as the evaluator's mode asks, stored from a result.
void readVariant(State& s, EvalStack& e, int32_t cell);
void storeVariant(State& s, int32_t cell, bool isText, double number, const std::string& text);

// An element of array `array` of `type`, the subscripts following in the code.
void readElement(State& s, EvalStack& e, ValueType type, uint16_t array);
// The element's position (the subscripts following in the code), then the store there.
int64_t elementPosition(State& s, ValueType type, uint16_t array);
void storeElement(State& s, ValueType type, uint16_t array, int64_t position, bool isText, double number,
                  const std::string& text);

// The element number of an element of a variant array or a record array, from the
// untruncated subscripts that follow in the code.
int32_t variantElementNumber(State& s, uint16_t array);
int32_t recordElementNumber(State& s, uint16_t array);

// A field of record `record`: the field operand follows in the code (marker 37, field
// type and number; or marker 38 and the record-array form). Store: the value expression
// follows the field operand.
void readRecordField(State& s, EvalStack& e, uint16_t record);
void storeRecordField(State& s, uint16_t record);

}  // namespace valueref
}  // namespace tavrin
