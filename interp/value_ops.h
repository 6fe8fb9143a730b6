// Fixed-width reads and narrowing stores of the numeric value types, shared by the scalar,
// array, record and sort code. Reads widen exactly; stores truncate toward zero to 32 bits
// (run-time error 207 outside) and keep the low bits, Single rounds to nearest.
#pragma once
#include <cmath>
#include <cstdint>
#include <string>

#include "interp/byte_store.h"
#include "interp/evaluator.h"
#include "interp/stores.h"
#include "interp/tables.h"
#include "runtime/run_error.h"

namespace tavrin {

inline constexpr bool isNumericType(ValueType t) { return t >= ValueType::Byte && t <= ValueType::Double; }

// Bytes per element of a numeric type; 0 for the others.
inline constexpr int widthOf(ValueType t) {
  switch (t) {
    case ValueType::Byte: return 1;
    case ValueType::Short:
    case ValueType::Word: return 2;
    case ValueType::Long:
    case ValueType::DWord:
    case ValueType::Single: return 4;
    case ValueType::Double: return 8;
    default: return 0;
  }
}

inline double readNumeric(const ByteStore& b, ValueType t, int64_t at) {
  switch (t) {
    case ValueType::Byte: return b.read<uint8_t>(at);
    case ValueType::Short: return b.read<int16_t>(at);
    case ValueType::Word: return b.read<uint16_t>(at);
    case ValueType::Long:
    case ValueType::DWord: return b.read<int32_t>(at);
    case ValueType::Single: return b.read<float>(at);
    case ValueType::Double: return b.read<double>(at);
    default: return 0.0;
  }
}

[[noreturn, gnu::cold]] inline void singleOverflow() { raise(ErrorNumber::FloatOverflow); }

inline float toSingle(double v) {
  float f = float(v);
  if (std::isinf(f) && !std::isinf(v)) [[unlikely]]
    singleOverflow();
  return f;
}

inline void writeNumeric(ByteStore& b, ValueType t, int64_t at, double v) {
  switch (t) {
    case ValueType::Byte: b.write<uint8_t>(at, uint8_t(truncateToInt(v))); return;
    case ValueType::Short:
    case ValueType::Word: b.write<uint16_t>(at, uint16_t(truncateToInt(v))); return;
    case ValueType::Long:
    case ValueType::DWord: b.write<int32_t>(at, truncateToInt(v)); return;
    case ValueType::Single: b.write<float>(at, toSingle(v)); return;
    case ValueType::Double: b.write<double>(at, v); return;
    default: return;
  }
}

// A value parameter read back: rounded to nearest (ties to even), then narrowed as the
// type's store would narrow it; Single and Double are the slot's double unchanged.
inline double readValueParameter(uint8_t kind, double v) {
  if (kind == uint8_t(ValueType::Single) || kind == uint8_t(ValueType::Double)) return v;
  const int32_t r = roundToInt(v);
  switch (ValueType(kind)) {
    case ValueType::Byte: return double(uint8_t(r));
    case ValueType::Short: return double(int16_t(r));
    case ValueType::Word: return double(uint16_t(r));
    default: return double(r);  // Long, DWord
  }
}

// A fixed string reads padded with blanks to its declared length.
inline void readFixed(const TFixString& f, std::string& out) {
  out = f.text;
  if (f.length > 0 && out.size() < size_t(f.length)) out.append(size_t(f.length) - out.size(), ' ');
}
inline void storeFixed(TFixString& f, const std::string& v) {
  f.text.assign(v, 0, f.length > 0 ? size_t(f.length) : 0);
}

// A list item that does not exist is the list's index error.
[[noreturn, gnu::cold]] void listIndexError(int64_t index);

// Growth bounds of the lists (strings, fixed strings, cells, records): past them a
// program gets the heap error instead of exhausting the host.
inline constexpr int64_t kMaxListItems = int64_t(1) << 22;
inline constexpr int64_t kMaxRecords = int64_t(1) << 20;
[[noreturn, gnu::cold]] void listLimit(int64_t items);

}  // namespace tavrin
