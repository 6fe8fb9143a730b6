// Global and local value storage: scalar stores per type, array stores and descriptors,
// fixed strings, variant cells, records and local frames; and the store operations the
// evaluator, the assignments, calls, loops and the object layer use.
//
// The API for other subsystems (all raise RunErrors, never crash on bad numbers):
//   readNumber / storeNumber      numeric scalar (Byte..Double), global or current LocalFrame;
//                                 stores truncate toward zero and narrow (207 outside 32 bits)
//   pushVariable / storeVariable  any scalar type, pushes on an EvalStack / stores a result
//   readVariantCell / storeVariantCell   one VariantCell by index (mode rules on read)
//   readArrayElement / storeArrayElement the subscript list follows in the code
//   elementPosition + readElementAt / storeElementAt   the same in two steps, for callers
//                                 that read the subscripts before evaluating the value
//   arrayDescriptor / variantArrayDescriptor / recordArrayDescriptor   by array number
//   elementOffsetFromCode         truncated subscripts, 32-bit arithmetic (array elements)
//   elementNumberFromCode         untruncated subscripts in double precision (variant,
//                                 record and object array elements); callers truncate or round
//   variantElementNumber / recordElementNumber   truncated element numbers (references)
//   readRecordField / assignRecordField   a field of a record known at run time; the field
//                                 operand (field type, 16-bit field number, subscripts for
//                                 array fields) follows in the code, for the store then the value
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interp/byte_store.h"
#include "interp/tables.h"

namespace tavrin {

struct State;
struct EvalStack;

inline constexpr int kDimensions = 5;
inline constexpr int kArrayNumbers = 101;        // per value type 0..8
inline constexpr int kVariantArrayNumbers = 51;  // and record arrays
inline constexpr int kScalarVariantCells = 101;  // cells 0..100 are scalar variants
inline constexpr int kScalarRecords = 51;        // records 0..50 are record variables

struct ArrayDescriptor {
  int32_t base = 0;  // byte offset (numeric types) or item index (the others)
  std::array<int32_t, kDimensions> bias{};
  std::array<int32_t, kDimensions> span{1, 1, 1, 1, 1};
};

struct TFixString {
  std::string text;
  int32_t length = 0;  // the declared length
};

// A variant keeps an integer, a real or a text. Reals are kept as doubles: every value a
// variant receives comes from a double, so a 10-byte real would add nothing.
enum class VariantKind : uint8_t { Integer = 0, Real = 3, Text = 6 };
struct VariantCell {
  VariantKind kind = VariantKind::Integer;
  int32_t integer = 0;
  double real = 0.0;
  std::string text;
};

// A record variable: its bytes (fields packed, no padding) and its field tables.
// Only the bytes are program-visible (their address can be taken); the field tables are
// plain vectors, read as zero past their end.
struct TStructs {
  ByteStore bytes;
  int32_t size = 0;                    // bytes of all fields; an array field counts 4
  std::vector<int32_t> fieldSizes;     // per field, in declaration order
  std::vector<uint16_t> arrayNumbers;  // per field: the array number of an array field
  std::vector<int32_t> counts;         // per field: element count (1 for a plain field)
};

// The locals of one call level. No local variants. Indexed by ValueType code 1..7.
struct LocalFrame {
  std::array<ByteStore, 8> numbers;
  std::vector<std::string> strings;
  std::vector<TFixString> fixed;
};

struct Stores {
  // Global scalars: numeric stores indexed by ValueType code 1..7.
  std::array<ByteStore, 8> scalars;
  std::vector<std::string> strings;
  std::vector<TFixString> fixed;
  // Shared by scalar variants (cells 0..100) and variant arrays (after them).
  std::vector<VariantCell> cells;

  // Arrays: numeric stores indexed by ValueType code 1..7, then the lists.
  std::array<ByteStore, 8> arrayBytes;
  std::vector<std::string> arrayStrings;
  std::vector<TFixString> arrayFixed;
  std::array<std::array<ArrayDescriptor, kArrayNumbers>, 9> descriptors{};
  std::array<std::optional<ArrayDescriptor>, kVariantArrayNumbers> variantArrays;
  std::array<std::optional<ArrayDescriptor>, kVariantArrayNumbers> recordArrays;

  std::vector<TStructs> records;

  // Indexed by call level - 1; created on first use and kept.
  std::vector<std::unique_ptr<LocalFrame>> frames;

  // The static byte of the declaration being carried out.
  uint8_t declareStatic = 0;
};

// Makes sure a local frame exists for every call level up to `level`.
void createLocalFrames(Stores& st, int64_t level);
inline void prepareLocalFrames(Stores& st, int64_t level) {
  if (level <= int64_t(st.frames.size())) [[likely]]
    return;
  createLocalFrames(st, level);
}

// The LocalFrame of call level `level`; the main program (level 0) has none: an error.
[[noreturn, gnu::cold]] void noLocalFrame();
inline LocalFrame& currentFrame(Stores& st, int32_t level) {
  if (level < 1) [[unlikely]]
    noLocalFrame();
  if (level > int64_t(st.frames.size())) [[unlikely]]
    prepareLocalFrames(st, level);
  return *st.frames[size_t(level) - 1];
}

// --- Scalars ----------------------------------------------------------------------------
double readNumber(State& s, bool global, ValueType type, uint16_t n);
void storeNumber(State& s, bool global, ValueType type, uint16_t n, double v);
void pushVariable(State& s, EvalStack& e, ValueType type, uint16_t n, bool global);
void storeVariable(State& s, ValueType type, uint16_t n, bool global, bool isText, double num,
                   const std::string& text);

// --- Variants ---------------------------------------------------------------------------
void readVariantCell(State& s, EvalStack& e, uint32_t cell);
void storeVariantCell(State& s, uint32_t cell, bool isText, double num, const std::string& text);

// --- Arrays -----------------------------------------------------------------------------
const ArrayDescriptor& arrayDescriptor(State& s, ValueType type, uint16_t array);  // types 0..9
const ArrayDescriptor& variantArrayDescriptor(State& s, uint16_t array);
const ArrayDescriptor& recordArrayDescriptor(State& s, uint16_t array);

// The parts of an element position, shared by the generic path and the decoded forms; the
// arithmetic wraps at 32 bits as the descriptors' own does. A subscript of a dimension
// before the last adds (s + bias[i]) * span[i + 1]; the last adds s + bias[last]; the
// position is base + offset * width (width 1 for the types stored as items).
inline uint32_t subscriptOffset(const ArrayDescriptor& d, unsigned i, int32_t sub) {
  return (uint32_t(sub) + uint32_t(d.bias[i])) * uint32_t(d.span[i + 1]);
}
inline uint32_t lastSubscriptOffset(const ArrayDescriptor& d, unsigned last, int32_t sub) {
  return uint32_t(sub) + uint32_t(d.bias[last]);
}
inline int64_t positionOf(const ArrayDescriptor& d, uint32_t offset, uint32_t width) {
  return int32_t(uint32_t(d.base) + offset * width);
}
// The position from n subscripts already taken (truncated, held as doubles).
inline int64_t elementPositionOf(const ArrayDescriptor& d, const double* sub, unsigned n, uint32_t width) {
  uint32_t offset = 0;
  for (unsigned i = 0; i + 1 < n; ++i) offset += subscriptOffset(d, i, int32_t(sub[i]));
  return positionOf(d, offset + lastSubscriptOffset(d, n - 1, int32_t(sub[n - 1])), width);
}

int64_t elementOffsetFromCode(State& s, const ArrayDescriptor& d);
double elementNumberFromCode(State& s, const ArrayDescriptor& d);
int32_t variantElementNumber(State& s, uint16_t array);
int32_t recordElementNumber(State& s, uint16_t array);

// The element's position in its store: a byte offset for numeric types, an item index
// (a cell index for Variant) for the others.
int64_t elementPosition(State& s, ValueType type, uint16_t array);
void readElementAt(State& s, EvalStack& e, ValueType type, int64_t position);
void storeElementAt(State& s, ValueType type, int64_t position, bool isText, double num,
                    const std::string& text);
void readArrayElement(State& s, EvalStack& e, ValueType type, uint16_t array);
void storeArrayElement(State& s, ValueType type, uint16_t array, bool isText, double num,
                       const std::string& text);

// --- Records ----------------------------------------------------------------------------
TStructs& recordAt(State& s, int64_t record);  // 213 when the record does not exist
void readRecordField(State& s, EvalStack& e, uint32_t record);
void assignRecordField(State& s, uint32_t record);

// --- Declarations (StmtDeclare and the object layer) ------------------------------------
struct DimensionList {
  int count = 0;
  ArrayDescriptor bounds;  // bias and span; base unset
  int64_t total = 0;       // element count; below 1 allocates nothing
};
// Reads a dimension list (expression, marker, optional second expression, separator; 11
// after the last dimension) and computes bias, span and the element total.
DimensionList readDimensionList(State& s);
// StmtDeclare of one scalar variable of type 0..9 with its static byte (a FixedString's
// length follows in the code).
void declareScalarVariable(State& s, uint8_t isStatic, ValueType type, uint16_t n);
// Builds record `record` from the field list that follows in the code (StmtRecordField 0).
void declareRecord(State& s, uint16_t record);

}  // namespace tavrin
