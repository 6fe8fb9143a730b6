// Names and defaults shared by the assembler and the disassembler: mnemonic lookups over the
// encoding tables, the default marker bytes of the compound operand forms, and the one hook
// through which object member and property operands will come from the per-type tables.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

#include "interp/tables.h"

namespace tavrin::asmtext {

// Marker and separator bytes the assembler writes when the source does not give one with
// `mark N` / `sep N`. The engine only tells 11 (and a few special values) from the rest.
inline constexpr uint8_t kDefaultSeparator = 2;     // exprs lists
inline constexpr uint8_t kDefaultMarker = 2;        // optexpr, colour, cursor row/size, dims bound
inline constexpr uint8_t kDefaultColumnMarker = 3;  // cursor column after a row (2 means size)
inline constexpr uint8_t kDefaultDimSeparator = 2;  // between dimensions (11 ends the list)
inline constexpr uint8_t kDefaultRangeKind = 9;     // case range item
inline constexpr uint8_t kDefaultRangeMiddle = 9;   // byte between a range's bounds
inline constexpr uint8_t kDefaultScalarSelector = 1;   // by-reference argument, no subscripts
inline constexpr uint8_t kDefaultElementSelector = 3;  // by-reference argument with subscripts
inline constexpr uint8_t kDefaultArrayRefMarker = 3;    // LowerBound/UpperBound array operand
inline constexpr uint8_t kDefaultLocalAddressSel = 42;  // AddressOf of a local variable
inline constexpr uint8_t kDefaultRecordArraySize = 38;  // record size of a record-array element
inline constexpr uint8_t kDefaultFieldMarker = 1;       // StmtRecordField assignment
inline constexpr uint8_t kDefaultObjectRefTag = 8;      // object reference by instance number
inline constexpr uint8_t kWholeRecordMarker = 37;       // a stream's whole-record transfer
inline constexpr uint8_t kDefaultKeep = 1;              // re-dimension keeping the contents

// Declarations and records.
inline constexpr uint8_t kDeclareScalar = 1, kDeclareArray = 3, kRedimension = 4;  // StmtDeclare kinds
inline constexpr uint8_t kRecordElements = 29;   // element type of a record array
inline constexpr uint8_t kRecordSource = 37;     // a record copy's source: a record variable
inline constexpr uint8_t kElementSource = 38;    // ... or a record-array element

inline constexpr uint8_t kEnd = 11;           // ends expressions and operand lists
inline constexpr uint8_t kContinuation = 33;  // a statement block follows a call
inline constexpr uint8_t kReturn = 34;        // closes that block (StmtReturn)

struct Mnemonic {
  bool command = false;  // a sub-opcode of StmtCommand (lead byte 0)
  uint8_t code = 0;
  std::string_view layout;
};

std::optional<Mnemonic> findStatement(std::string_view name);
std::optional<uint8_t> findExpressionItem(std::string_view asmName);  // operand or operator
std::optional<uint8_t> findBuiltin(std::string_view name);
std::optional<uint8_t> findValueType(std::string_view name);
std::optional<uint8_t> findObjectType(std::string_view name);

// The name a type or kind byte prints as: a value type (0..9), an object type, or empty.
std::string_view kindName(uint8_t code);

// The operand layout (words of interp/layout.h) that follows member id `id` of object type
// `type` in a statement (`write`) or an expression. Unknown members have no layout yet:
// their operands are written as explicit raw items after the id.
std::optional<std::string_view> memberLayout(uint8_t type, uint8_t id, bool write);
// A member's name in the property tables, and the id of a name (nullopt: not listed).
std::optional<std::string_view> memberName(uint8_t type, uint8_t id, bool write);
std::optional<uint8_t> memberId(uint8_t type, std::string_view name, bool write);

// Argument kinds of StmtCallProc and call operands.
inline bool isValueKind(uint8_t k) { return k <= 8 || (k >= 10 && k <= 12); }
inline bool isSelectorKind(uint8_t k) { return k == 9 || k == 29 || (k >= 30 && k <= 86); }
inline bool isPlainRefKind(uint8_t k) { return k >= 13 && k <= 28; }
inline bool isSubscriptSelector(uint8_t s) { return s == 3 || s == 29 || s == 38; }
// Record field types 14..21 are arrays: the field reference carries subscripts.
inline bool isArrayField(uint8_t t) { return t >= 14 && t <= 21; }
// An array field's type is 13 + its element type (Byte .. FixedString).
inline constexpr uint8_t kArrayFieldBase = 13;

}  // namespace tavrin::asmtext
