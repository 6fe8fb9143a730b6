// The property tables of the object types: for every (type, id, direction) the member's
// name, its operand kind and the operands it reads. One .def per type (ui/props_*.def),
// listed in ui/bindings.def; the frame reads operands from these rows, and the assembler and disassembler take the
// operand layouts from them, so the three can never disagree.
#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavrin {

// Operand kinds of a property row.
enum class PropKind : uint8_t {
  Number,     // one expression, truncated to 32 bits (writes) or rounded (reads)
  Flag,       // one expression, the truncated value's low 8 bits
  Text,       // one expression, its text
  Object,     // one object reference operand
  Handler,    // 4 bytes: a handler position
  Set,        // (byte other than 11, expression) pairs closed by 11: one member each
  None,       // nothing
  Arguments,  // the row's argument words, in order
};

// One operand of a row, as read from the code stream.
enum class Arg : uint8_t {
  Num,      // expression as a 32-bit integer: truncated in statements, rounded in reads
  Real,     // expression as the double itself
  Text,     // expression as text
  Flag,     // expression: truncated, low 8 bits
  Any,      // expression evaluated and ignored
  Obj,      // object reference operand
  Mark,     // one delimiter byte
  Items,    // expressions each followed by a byte, until the byte 11: the member runs per item
  Set,      // (byte, expression) pairs closed by 11: the member runs per member number
  Handler,  // 32-bit handler position
  Pos,      // 32-bit image offset
  Array,    // array reference: marker byte, then type and 16-bit number (marker 12: slot, type)
  Whole,    // record (marker 37, 16-bit record number) or array reference as Array
  Value,    // expression whose kind (text or number) the member sees
};
inline constexpr int kMaxArgs = 7;  // otSocket Send: four delimiter bytes, three expressions

struct ArgList {
  std::array<Arg, kMaxArgs> word{};
  uint8_t count = 0;
};

namespace detail {
constexpr Arg argWord(std::string_view w) {
  if (w == "num") return Arg::Num;
  if (w == "real") return Arg::Real;
  if (w == "text") return Arg::Text;
  if (w == "flag") return Arg::Flag;
  if (w == "any") return Arg::Any;
  if (w == "obj") return Arg::Obj;
  if (w == "mark") return Arg::Mark;
  if (w == "items") return Arg::Items;
  if (w == "pos") return Arg::Pos;
  if (w == "array") return Arg::Array;
  if (w == "whole") return Arg::Whole;
  if (w == "value") return Arg::Value;
  throw "unknown argument word";  // a compile-time error in a constant expression
}
constexpr ArgList argsOf(uint8_t kind, std::string_view words) {
  ArgList a{};
  switch (PropKind(kind)) {
    case PropKind::Number: a.word[a.count++] = Arg::Num; return a;
    case PropKind::Flag: a.word[a.count++] = Arg::Flag; return a;
    case PropKind::Text: a.word[a.count++] = Arg::Text; return a;
    case PropKind::Object: a.word[a.count++] = Arg::Obj; return a;
    case PropKind::Handler: a.word[a.count++] = Arg::Handler; return a;
    case PropKind::Set: a.word[a.count++] = Arg::Set; return a;
    case PropKind::None: return a;
    case PropKind::Arguments: break;
  }
  size_t i = 0;
  while (i < words.size()) {
    size_t j = words.find(' ', i);
    if (j == std::string_view::npos) j = words.size();
    if (j > i) {
      if (a.count == kMaxArgs) throw "too many argument words";
      a.word[a.count++] = argWord(words.substr(i, j - i));
    }
    i = j + 1;
  }
  return a;
}
}  // namespace detail

struct PropertyInfo {
  uint8_t id = 0;
  std::string_view name;
  PropKind kind = PropKind::None;
  bool write = false;
  ArgList args;
};

// The direction column of a row: W statements, R reads.
namespace prop_access {
inline constexpr bool R = false, W = true;
}

// Where the row of (type, id, direction) stands: the type code whose table holds it
// (otFont for the font ids 200..213 of a control) and its number in that table.
struct RowRef {
  uint8_t table = 0;
  uint8_t row = 0;
  bool found = false;
};

// From a constant index built with the tables: no search.
RowRef findRow(uint8_t type, uint8_t id, bool write);
// The rows of a type's own table, in the order of its .def (empty: no table).
std::span<const PropertyInfo> rowsOf(uint8_t type);

// The row of (type, id) in one direction, or nullptr. Font ids 200..213 on a type that
// has a font give the font table's row of id - 200 (its name is prefixed "Font").
const PropertyInfo* findProperty(uint8_t type, uint8_t id, bool write);
// The id of a member named `name` in one direction (font sub-ids as "FontName" ...).
const PropertyInfo* findPropertyByName(uint8_t type, std::string_view name, bool write, uint8_t* id);

// The operand layout of a row in the words of interp/layout.h (expr, u8, u32, exprs,
// objref, items, arrayref, wholeref), for the assembler and the disassembler.
std::string_view propertyLayout(const PropertyInfo& row);

inline constexpr uint8_t kFontIdFirst = 200;
inline constexpr uint8_t kFontIdLast = 213;

}  // namespace tavrin
