// Record variables and record arrays: field reads and stores by the size table, record
// sizes and addresses (evaluator tags 37..41), the field statements (lead bytes 37, 38)
// and whole-record copies (lead bytes 40, 41).
// Hazards: field offsets are the sum of the sizes before the field, walked on every
// access; an array field holds only an array number, its elements live in the ordinary
// array stores; record-array elements are selected by the rounded double element number.
// A nested evaluation may add records, so no TStructs reference is kept across one.
#include <cstring>
#include <string>

#include "interp/handlers.h"
#include "interp/stores.h"
#include "interp/value_ops.h"
#include "interp/state.h"

namespace tavrin {

namespace {

constexpr uint8_t kFirstArrayField = 14, kLastArrayField = 21;
constexpr uint8_t kRecordMarker = 37, kRecordArrayMarker = 38;
constexpr uint8_t kSetField = 63, kDeclareRecord = 0;

inline bool isArrayField(uint8_t t) { return t >= kFirstArrayField && t <= kLastArrayField; }
// Array fields 14..21 keep their elements in the stores of Byte .. FixedString.
inline ValueType arrayFieldType(uint8_t t) { return ValueType(t - 13); }

int64_t fieldOffset(const TStructs& r, uint16_t field) {
  int64_t offset = 0;
  const size_t n = field < r.fieldSizes.size() ? field : r.fieldSizes.size();
  for (size_t k = 0; k < n; ++k) offset += r.fieldSizes[k];
  return offset;
}

template <class T>
T tableEntry(const std::vector<T>& table, uint16_t field) {
  return field < table.size() ? table[field] : T{};
}

// The text of a fixed-length text field: exactly the field's bytes that exist.
void readFieldText(const TStructs& r, int64_t offset, int32_t size, std::string& out) {
  out.clear();
  const int64_t end = int64_t(r.bytes.size());
  if (offset < 0 || size <= 0 || offset >= end) return;
  const int64_t n = offset + size <= end ? size : end - offset;
  out.assign(reinterpret_cast<const char*>(r.bytes.data()) + offset, size_t(n));
}

// A fixed-length text field receives the first `size` characters, padded with blanks.
void storeFieldText(TStructs& r, int64_t offset, int32_t size, const std::string& v) {
  if (offset < 0 || size <= 0) return;
  r.bytes.ensure(size_t(offset + size));
  uint8_t* p = r.bytes.data() + offset;
  const size_t n = v.size() < size_t(size) ? v.size() : size_t(size);
  std::memcpy(p, v.data(), n);
  std::memset(p + n, ' ', size_t(size) - n);
}

inline int32_t recordArrayElement(State& s, uint16_t array) {
  return roundToInt(elementNumberFromCode(s, recordArrayDescriptor(s, array)));
}

// The source of a record copy: marker 37 and a record number, or marker 38, a record
// array number and subscripts.
int64_t copySource(State& s) {
  const uint8_t marker = s.code.u8();
  if (marker == kRecordMarker) return s.code.u16();
  if (marker == kRecordArrayMarker) return recordArrayElement(s, s.code.u16());
  raiseByteCode("record copy source marker " + std::to_string(marker) + " (37 or 38)");
}

// The destination's bytes take the source's, as many as both records have.
void copyRecord(State& s, int64_t destination, int64_t source) {
  const TStructs& from = recordAt(s, source);
  TStructs& to = recordAt(s, destination);
  if (&from == &to) return;
  const size_t n = from.bytes.size() < to.bytes.size() ? from.bytes.size() : to.bytes.size();
  if (n) std::memmove(to.bytes.data(), from.bytes.data(), n);
}

}  // namespace

TStructs& recordAt(State& s, int64_t record) {
  auto& list = s.stores.records;
  if (record < 0 || record >= int64_t(list.size())) [[unlikely]]
    listIndexError(record);
  return list[size_t(record)];
}

void readRecordField(State& s, EvalStack& e, uint32_t record) {
  const uint8_t type = s.code.u8();
  const uint16_t field = s.code.u16();
  const TStructs& r = recordAt(s, record);
  if (isArrayField(type)) {
    const uint16_t array = tableEntry(r.arrayNumbers, field);
    readArrayElement(s, e, arrayFieldType(type), array);
    return;
  }
  if (type >= 1 && type <= 7) {
    e.pushNumber(readNumeric(r.bytes, ValueType(type), fieldOffset(r, field)));
  } else if (type == uint8_t(ValueType::FixedString)) {
    readFieldText(r, fieldOffset(r, field), tableEntry(r.fieldSizes, field), e.pushTextSlot());
  }
  // Field type 0 and the unused types push nothing.
}

namespace {

// `fixedGuarded`: a FixedString element that does not exist is not stored, and no error
// is raised (StmtRecordField guarded that store).
void storeRecordField(State& s, uint32_t record, bool fixedGuarded) {
  const uint8_t type = s.code.u8();
  const uint16_t field = s.code.u16();
  if (isArrayField(type)) {
    const uint16_t array = tableEntry(recordAt(s, record).arrayNumbers, field);
    const ValueType element = arrayFieldType(type);
    const int64_t at = elementPosition(s, element, array);
    const bool text = evaluate(s);
    if (fixedGuarded && element == ValueType::FixedString && (at < 0 || at >= int64_t(s.stores.arrayFixed.size())))
      return;
    storeElementAt(s, element, at, text, s.resultNum, s.resultStr);
    return;
  }
  evaluate(s);
  TStructs& r = recordAt(s, record);
  if (type >= 1 && type <= 7) {
    writeNumeric(r.bytes, ValueType(type), fieldOffset(r, field), s.resultNum);
  } else if (type == uint8_t(ValueType::FixedString)) {
    storeFieldText(r, fieldOffset(r, field), tableEntry(r.fieldSizes, field), s.resultStr);
  }
}

}  // namespace

void assignRecordField(State& s, uint32_t record) { storeRecordField(s, record, false); }

// --- Operands ---------------------------------------------------------------------------

void evalOpRecordField(State& s, EvalStack& e) {
  const uint16_t record = s.code.u16();
  s.code.u8();  // marker byte (1), carries nothing
  readRecordField(s, e, record);
}

void evalOpRecordArrayField(State& s, EvalStack& e) {
  const uint16_t array = s.code.u16();
  const int32_t record = recordArrayElement(s, array);
  readRecordField(s, e, uint32_t(record));
}

void evalOpRecordSize(State& s, EvalStack& e) {
  const uint8_t form = s.code.u8();
  const uint16_t number = s.code.u16();
  const int64_t record = form == kRecordMarker ? int64_t(number) : int64_t(recordArrayElement(s, number));
  e.pushNumber(recordAt(s, record).size);
}

void evalOpRecordAddress(State& s, EvalStack& e) {
  const uint16_t record = s.code.u16();
  e.pushNumber(double(reinterpret_cast<uintptr_t>(recordAt(s, record).bytes.data())));
}

void evalOpRecordArrayAddress(State& s, EvalStack& e) {
  const uint16_t array = s.code.u16();
  const int32_t record = recordArrayElement(s, array);
  e.pushNumber(double(reinterpret_cast<uintptr_t>(recordAt(s, record).bytes.data())));
}

// --- Statements -------------------------------------------------------------------------

void execStmtRecordField(State& s) {
  const uint8_t sub = s.code.u8();
  if (sub == kSetField) {
    const uint16_t record = s.code.u16();
    s.code.u8();  // marker byte, carries nothing
    storeRecordField(s, record, true);
  } else if (sub == kDeclareRecord) {
    const uint16_t record = s.code.u16();
    declareRecord(s, record);
  }
}

void execStmtRecordArrayField(State& s) {
  if (s.code.u8() != kSetField) return;
  const uint16_t array = s.code.u16();
  const int32_t record = recordArrayElement(s, array);
  assignRecordField(s, uint32_t(record));
}

void execStmtCopyRecord(State& s) {
  const uint16_t destination = s.code.u16();
  copyRecord(s, destination, copySource(s));
}

void execStmtCopyRecordArrayElement(State& s) {
  const int32_t destination = recordArrayElement(s, s.code.u16());
  copyRecord(s, destination, copySource(s));
}

}  // namespace tavrin
