// Declarations: StmtDeclare (scalars, arrays, object instances and Tavrin's
// re-dimension), the dimension list, the storage of a new array, and records built from
// their type's field list (StmtRecordField 0 and record arrays).
// Hazards: storage of an earlier dimensioning is abandoned, never reused; the keeping
// re-dimension takes everything from the old start to the end of the store as the old
// contents, so it picks up the arrays dimensioned after it. New storage is zeroed.
#include <algorithm>
#include <cstring>
#include <string>

#include "interp/handlers.h"
#include "interp/object_hooks.h"
#include "interp/stores.h"
#include "interp/value_ops.h"
#include "runtime/memory_limit.h"
#include "interp/state.h"

namespace tavrin {

namespace {

constexpr uint8_t kEnd = 11;
constexpr uint8_t kSecondBound = 9;
constexpr uint8_t kDeclareScalar = 1, kDeclareArray = 3, kRedimension = 4;
constexpr uint8_t kRecordElements = 29;  // the element type of a record array
constexpr uint8_t kFirstObjectType = 30, kLastObjectType = 86;

inline bool isObjectType(uint8_t t) {
  return t >= kFirstObjectType && t <= kLastObjectType && !kObjectTypes[t].name.empty();
}

// Restores the static byte when the declaration ends, whichever way.
struct StaticScope {
  Stores& st;
  StaticScope(Stores& stores, uint8_t value) : st(stores) { st.declareStatic = value; }
  ~StaticScope() { st.declareStatic = 0; }
};

[[noreturn, gnu::cold]] void badArrayNumber(uint16_t array, int highest) {
  raiseByteCode("array number " + std::to_string(array) + " (0 to " + std::to_string(highest) + ")");
}

template <class T>
void growList(std::vector<T>& list, int64_t size, int64_t limit) {
  if (size <= int64_t(list.size())) return;
  if (size > limit) [[unlikely]]
    listLimit(size);
  checkMemoryFor(size - int64_t(list.size()), int64_t(sizeof(T)));
  list.resize(size_t(size));
}

// The byte size a numeric array store reaches with `extra` more bytes; the stores hold
// 31-bit offsets.
[[noreturn, gnu::cold]] void storeTooLarge(int64_t bytes) {
  raiseLimit(ErrorNumber::HeapOverflow, "Heap overflow: an array store of " + std::to_string(bytes) + " bytes");
}

int64_t grownSize(const ByteStore& b, int64_t extra) {
  const int64_t size = int64_t(b.size()) + extra;
  if (size > INT32_MAX) [[unlikely]]
    storeTooLarge(size);
  return size;
}

// A FixedString length; past the longest text the engine builds it is error 203 (a fuzzed
// declaration of 2^31 blanks took the host's memory, and every read copies the whole text).
int32_t fixedLength(State& s) {
  const int32_t length = std::max(evaluateInt(s), 0);
  if (length > kMaxText) [[unlikely]]
    textTooLong(length);
  return length;
}

TFixString blankFixed(int32_t length) { return TFixString{std::string(size_t(length), ' '), length}; }

// Before `items` new FixedString elements of `length` characters are made: their texts
// together stay within a 31-bit store, as the numeric stores do, and within the memory
// bound (a fuzzed declaration of 65,538 elements of 25,858 characters took 1.7 GB in one
// statement).
void roomForFixed(int64_t items, int32_t length) {
  if (items <= 0) return;
  if (items * int64_t(length) > INT32_MAX) [[unlikely]]
    storeTooLarge(items * int64_t(length));
  const int64_t text = length > 15 ? int64_t(length) + 1 : 0;  // past the inline buffer
  checkMemoryFor(items, int64_t(sizeof(TFixString)) + text);
}

TStructs cloneRecord(const TStructs& r) {
  TStructs c;
  if (r.bytes.size()) c.bytes.append(r.bytes.data(), r.bytes.size());
  c.size = r.size;
  c.fieldSizes = r.fieldSizes;
  c.arrayNumbers = r.arrayNumbers;
  c.counts = r.counts;
  return c;
}

void setDescriptor(std::optional<ArrayDescriptor>& slot, const DimensionList& dims, int64_t base) {
  slot = dims.bounds;
  slot->base = int32_t(base);
}

// Storage for a new array of a plain type (0..9): appended at the end of its store.
void dimensionArray(State& s, ValueType type, uint16_t array, const DimensionList& dims, int32_t length) {
  Stores& st = s.stores;
  const int64_t total = dims.total > 0 ? dims.total : 0;
  ArrayDescriptor d = dims.bounds;
  if (isNumericType(type)) {
    ByteStore& b = st.arrayBytes[size_t(type)];
    d.base = int32_t(b.size());
    b.resize(size_t(grownSize(b, total * widthOf(type))));
  } else if (type == ValueType::String) {
    d.base = int32_t(st.arrayStrings.size());
    growList(st.arrayStrings, d.base + total, kMaxListItems);
  } else if (type == ValueType::FixedString) {
    d.base = int32_t(st.arrayFixed.size());
    if (d.base + total > kMaxListItems) listLimit(d.base + total);
    roomForFixed(total, length);
    st.arrayFixed.resize(size_t(d.base + total), blankFixed(length));
  } else if (type == ValueType::Variant) {
    growList(st.cells, kScalarVariantCells, kMaxListItems);
    const int64_t base = int64_t(st.cells.size());
    growList(st.cells, base + total, kMaxListItems);
    setDescriptor(st.variantArrays[array], dims, base);
    return;
  } else {
    return;
  }
  st.descriptors[size_t(type)][array] = d;
}

// Tavrin's keeping re-dimension of a plain type: the old contents are everything from the
// old start to the end of the store, appended at the end and cut or padded to the new
// total; numeric stores copy at most the new total's bytes.
void redimensionKeeping(State& s, ValueType type, uint16_t array, const DimensionList& dims, int32_t length) {
  Stores& st = s.stores;
  const int64_t total = dims.total > 0 ? dims.total : 0;
  ArrayDescriptor d = dims.bounds;
  if (isNumericType(type)) {
    ByteStore& b = st.arrayBytes[size_t(type)];
    const int64_t old = st.descriptors[size_t(type)][array].base;
    const int64_t end = int64_t(b.size());
    const int64_t bytes = total * widthOf(type);
    const int64_t keep = old >= 0 && old < end ? std::min(end - old, bytes) : 0;
    d.base = int32_t(end);
    b.resize(size_t(grownSize(b, bytes)));
    if (keep) std::memmove(b.data() + end, b.data() + old, size_t(keep));
    st.descriptors[size_t(type)][array] = d;
    return;
  }
  // The lists: all items from the old start on are appended, then new items up to the total.
  auto keepItems = [&](auto& list, int64_t old, auto fresh) {
    const int64_t end = int64_t(list.size());
    const int64_t kept = old >= 0 && old < end ? end - old : 0;
    const int64_t size = end + std::max(kept, total);
    if (size > kMaxListItems) listLimit(size);
    if (type == ValueType::FixedString) roomForFixed(size - end, length);
    else checkMemoryFor(size - end, int64_t(sizeof(fresh)));
    list.reserve(size_t(size));
    for (int64_t k = 0; k < kept; ++k) list.push_back(list[size_t(old + k)]);
    while (int64_t(list.size()) < size) list.push_back(fresh);
    return end;
  };
  if (type == ValueType::String) {
    d.base = int32_t(keepItems(st.arrayStrings, st.descriptors[0][array].base, std::string()));
  } else if (type == ValueType::FixedString) {
    d.base = int32_t(keepItems(st.arrayFixed, st.descriptors[8][array].base, blankFixed(length)));
  } else if (type == ValueType::Variant) {
    growList(st.cells, kScalarVariantCells, kMaxListItems);
    const auto& before = st.variantArrays[array];
    const int64_t old = before ? before->base : int64_t(st.cells.size());
    setDescriptor(st.variantArrays[array], dims, keepItems(st.cells, old, VariantCell{}));
    return;
  } else {
    return;
  }
  st.descriptors[size_t(type)][array] = d;
}

// Reads a record type's field list and builds one record from it: fixed-length text
// fields are blanks (record variables) or zeros (record-array elements); array fields
// dimension their array in the ordinary tables.
TStructs buildRecord(State& s, bool blanks) {
  TStructs r;
  for (;;) {
    const uint8_t type = s.code.u8();
    if (type == kEnd) break;
    int32_t size = 0, count = 1;
    uint16_t array = 0;
    if (type >= 1 && type <= 7) {
      size = widthOf(ValueType(type));
    } else if (type == uint8_t(ValueType::FixedString)) {
      size = fixedLength(s);
    } else if (type >= 14 && type <= 21) {
      const DimensionList dims = readDimensionList(s);
      array = s.code.u16();
      if (array >= kArrayNumbers) badArrayNumber(array, kArrayNumbers - 1);
      const ValueType element = ValueType(type - 13);
      const int32_t length = element == ValueType::FixedString ? fixedLength(s) : 0;
      dimensionArray(s, element, array, dims, length);
      size = 4;
      count = int32_t(dims.total);
    } else if (type != uint8_t(ValueType::String)) {
      raiseByteCode("record field type " + std::to_string(type));
    }
    if (int64_t(r.size) + size > INT32_MAX) [[unlikely]]
      raiseLimit(ErrorNumber::HeapOverflow, "Heap overflow: a record of more than 2 GiB");
    const size_t at = r.bytes.size();
    r.bytes.resize(at + size_t(size));
    if (type == uint8_t(ValueType::FixedString) && blanks && size) std::memset(r.bytes.data() + at, ' ', size_t(size));
    r.size += size;
    r.fieldSizes.push_back(size);
    r.arrayNumbers.push_back(array);
    r.counts.push_back(count);
  }
  return r;
}

void dimensionRecordArray(State& s, uint16_t array, const DimensionList& dims, bool redimension, bool keep) {
  if (array >= kVariantArrayNumbers) badArrayNumber(array, kVariantArrayNumbers - 1);
  const TStructs element = buildRecord(s, false);
  auto& list = s.stores.records;
  const int64_t total = dims.total > 0 ? dims.total : 0;
  if (int64_t(list.size()) < kScalarRecords) list.resize(kScalarRecords);
  const int64_t end = int64_t(list.size());
  int64_t kept = 0, old = end;
  if (redimension && keep && s.stores.recordArrays[array]) old = s.stores.recordArrays[array]->base;
  if (old >= 0 && old < end) kept = end - old;
  const int64_t size = end + std::max(kept, total);
  if (size > kMaxRecords) listLimit(size);
  constexpr int64_t kFieldTableBytes = sizeof(int32_t) + sizeof(uint16_t) + sizeof(int32_t);  // per field
  const int64_t fields = int64_t(element.fieldSizes.size());
  checkMemoryFor(size - end, int64_t(sizeof(TStructs)) + element.size + fields * kFieldTableBytes);
  list.reserve(size_t(size));
  for (int64_t k = 0; k < kept; ++k) list.push_back(cloneRecord(list[size_t(old + k)]));
  while (int64_t(list.size()) < size) list.push_back(cloneRecord(element));
  setDescriptor(s.stores.recordArrays[array], dims, end);
}

// Kind 3 and Tavrin's kind 4: the dimension list, element type and array number, then
// what the element type needs (a length, a field list).
void declareArray(State& s, bool redimension, bool keep) {
  const DimensionList dims = readDimensionList(s);
  const uint8_t type = s.code.u8();
  const uint16_t array = s.code.u16();
  if (type <= uint8_t(ValueType::Variant)) {
    const int highest = type == uint8_t(ValueType::Variant) ? kVariantArrayNumbers - 1 : kArrayNumbers - 1;
    if (array > highest) badArrayNumber(array, highest);
    const int32_t length = type == uint8_t(ValueType::FixedString) ? fixedLength(s) : 0;
    if (redimension && keep) redimensionKeeping(s, ValueType(type), array, dims, length);
    else dimensionArray(s, ValueType(type), array, dims, length);
  } else if (type == kRecordElements) {
    dimensionRecordArray(s, array, dims, redimension, keep);
  } else if (isObjectType(type)) {
    if (redimension) redimensionObjectArray(s, type, array, dims, keep);
    else declareObjectArray(s, type, array, dims);
  }
}

void declareScalar(State& s, ValueType type, uint16_t n) {
  Stores& st = s.stores;
  const bool isStatic = st.declareStatic != 0;
  const int32_t length = type == ValueType::FixedString ? fixedLength(s) : 0;
  if (type == ValueType::Variant) {  // variants are always global cells
    growList(st.cells, int64_t(n) + 1, kMaxListItems);
    if (!isStatic) st.cells[n] = VariantCell{};
    return;
  }
  const bool global = s.calls.level == 0 || isStatic;
  if (!global) prepareLocalFrames(s.stores, s.calls.level);
  LocalFrame* frame = global || s.calls.level < 1 ? nullptr : st.frames[size_t(s.calls.level) - 1].get();
  if (isNumericType(type)) {
    ByteStore& b = frame ? frame->numbers[size_t(type)] : st.scalars[size_t(type)];
    const int64_t at = int64_t(n) * widthOf(type);
    b.ensure(size_t(at + widthOf(type)));
    if (global && !isStatic) writeNumeric(b, type, at, 0.0);
  } else if (type == ValueType::String) {
    auto& list = frame ? frame->strings : st.strings;
    growList(list, int64_t(n) + 1, kMaxListItems);
    if (global && !isStatic) list[n].clear();
  } else {  // FixedString: the declared length follows the number
    auto& list = frame ? frame->fixed : st.fixed;
    growList(list, int64_t(n) + 1, kMaxListItems);
    if (global && !isStatic) list[n].text.clear();
    list[n].length = length;
  }
}

}  // namespace

void declareScalarVariable(State& s, uint8_t isStatic, ValueType type, uint16_t n) {
  StaticScope scope(s.stores, isStatic);
  declareScalar(s, type, n);
}

DimensionList readDimensionList(State& s) {
  DimensionList dims;
  std::array<int32_t, kDimensions> extent{1, 1, 1, 1, 1};
  double total = 1.0;
  for (;;) {
    if (dims.count == kDimensions) raiseByteCode("more than 5 dimensions");
    const int i = dims.count++;
    const double first = evaluateNumber(s);
    if (s.code.u8() == kSecondBound) {
      const double upper = evaluateNumber(s);
      dims.bounds.bias[i] = int32_t(0u - uint32_t(truncateToInt(first)));
      extent[i] = truncateToInt(upper - first + 1.0);
      total *= upper - first + 1.0;
    } else {
      dims.bounds.bias[i] = 0;
      extent[i] = int32_t(uint32_t(truncateToInt(first)) + 1u);
      total *= first + 1.0;
    }
    if (s.code.u8() == kEnd) break;
  }
  // span[i] is the product of the extents i to the last (wrapping in 32 bits).
  dims.bounds.span = extent;
  for (int i = dims.count - 2; i >= 0; --i)
    dims.bounds.span[i] = int32_t(uint32_t(extent[i]) * uint32_t(dims.bounds.span[i + 1]));
  dims.total = truncateToInt(total);
  return dims;
}

void declareRecord(State& s, uint16_t record) {
  TStructs r = buildRecord(s, true);
  auto& list = s.stores.records;
  if (int64_t(list.size()) <= record) list.resize(size_t(record) + 1);
  list[record] = std::move(r);
}

void execStmtDeclare(State& s) {
  const uint8_t isStatic = s.code.u8();
  const uint8_t kind = s.code.u8();
  if (kind == kDeclareScalar && s.code.peek() <= uint8_t(ValueType::Variant)) {
    const uint8_t type = s.code.u8();
    return declareScalarVariable(s, isStatic, ValueType(type), s.code.u16());
  }
  StaticScope scope(s.stores, isStatic);
  if (kind == kDeclareScalar) {
    const uint8_t type = s.code.u8();
    if (isObjectType(type)) {
      const uint16_t n = s.code.u16();
      declareObjects(s, type, n);
    }
  } else if (kind == kDeclareArray) {
    declareArray(s, false, false);
  } else if (kind == kRedimension) {
    const bool keep = s.code.u8() != 0;
    declareArray(s, true, keep);
  }
}

}  // namespace tavrin
