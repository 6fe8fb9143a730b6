// The per-type property tables expanded into rows, the constant (type, id, direction)
// index over them, the name lookups and the operand layouts the assembler and
// disassembler use.
#include "ui/property_tables.h"

#include <deque>
#include <vector>

#include "interp/tables.h"
#include "ui/object_types.h"

namespace tavrin {

namespace {

using namespace prop_access;

#define PROP(id, name, kind, access, member, args) \
  PropertyInfo{id, #name, PropKind::kind, access, detail::argsOf(uint8_t(PropKind::kind), args)},
#define TABLE_BEGIN(code, type, stem) constexpr PropertyInfo kRows_##stem[] = {
#define TABLE_END(code, type, stem) };
#include "ui/bindings.def"
#undef PROP
#undef TABLE_BEGIN
#undef TABLE_END

struct Table {
  uint8_t type;
  std::string_view name;
  std::span<const PropertyInfo> rows;
};

#define PROP(id, name, kind, access, member, args)
#define TABLE_BEGIN(code, type, stem) Table{code, #type, kRows_##stem},
#define TABLE_END(code, type, stem)
constexpr Table kTables[] = {
#include "ui/bindings.def"
};
#undef PROP
#undef TABLE_BEGIN
#undef TABLE_END

constexpr uint8_t kNoRow = 0xFF;

// kSlot[type] - 1 is the type's table in kTables (0: none); kRowOf[slot][direction][id]
// its row number there. Building it checks the tables: assigned codes named right, each
// code once, each (id, direction) and (name, direction) at most once per table.
struct Index {
  std::array<uint8_t, 256> slot{};
  std::array<std::array<std::array<uint8_t, 256>, 2>, std::size(kTables)> rowOf{};
};

constexpr Index makeIndex() {
  Index x{};
  for (size_t t = 0; t < std::size(kTables); ++t) {
    const Table& table = kTables[t];
    if (kObjectTypes[table.type].name != table.name) throw "a binding's type code and name disagree";
    if (x.slot[table.type]) throw "a type code has two bindings";
    if (table.rows.size() >= kNoRow) throw "a table has too many rows";
    x.slot[table.type] = uint8_t(t + 1);
    for (auto& direction : x.rowOf[t]) direction.fill(kNoRow);
    for (size_t r = 0; r < table.rows.size(); ++r) {
      const PropertyInfo& row = table.rows[r];
      uint8_t& at = x.rowOf[t][row.write][row.id];
      if (at != kNoRow) throw "a table lists an (id, direction) twice";
      at = uint8_t(r);
      for (size_t q = 0; q < r; ++q)
        if (table.rows[q].write == row.write && table.rows[q].name == row.name) throw "a table lists a name twice";
    }
  }
  if (!x.slot[otFont]) throw "the font ids of the controls need the otFont table";
  return x;
}
constexpr Index kIndex = makeIndex();

constexpr bool isFontId(uint8_t type, uint8_t id) {
  return kTypeTraits[type].font && id >= kFontIdFirst && id <= kFontIdLast;
}

// The font rows under the ids 200..213 of a control, with their names prefixed "Font".
struct FontAlias {
  std::string name;
  PropertyInfo row;
};

const std::vector<FontAlias>& fontAliases() {
  static const std::vector<FontAlias> aliases = [] {
    std::vector<FontAlias> v;
    v.reserve(rowsOf(otFont).size());
    for (const PropertyInfo& r : rowsOf(otFont)) v.push_back(FontAlias{"Font" + std::string(r.name), r});
    for (FontAlias& a : v) {
      a.row.name = a.name;
      a.row.id = uint8_t(a.row.id + kFontIdFirst);
    }
    return v;
  }();
  return aliases;
}

}  // namespace

RowRef findRow(uint8_t type, uint8_t id, bool write) {
  if (isFontId(type, id)) {
    type = otFont;
    id = uint8_t(id - kFontIdFirst);
  }
  const uint8_t slot = kIndex.slot[type];
  if (!slot) return {};
  const uint8_t row = kIndex.rowOf[slot - 1][write][id];
  if (row == kNoRow) return {};
  return RowRef{type, row, true};
}

std::span<const PropertyInfo> rowsOf(uint8_t type) {
  const uint8_t slot = kIndex.slot[type];
  return slot ? kTables[slot - 1].rows : std::span<const PropertyInfo>();
}

const PropertyInfo* findProperty(uint8_t type, uint8_t id, bool write) {
  const RowRef r = findRow(type, id, write);
  if (!r.found) return nullptr;
  if (r.table != type) return &fontAliases()[r.row].row;  // the alias list keeps the font table's order
  return &rowsOf(type)[r.row];
}

const PropertyInfo* findPropertyByName(uint8_t type, std::string_view name, bool write, uint8_t* id) {
  for (const PropertyInfo& r : rowsOf(type))
    if (r.write == write && r.name == name) {
      if (id) *id = r.id;
      return &r;
    }
  if (kTypeTraits[type].font)
    for (const FontAlias& a : fontAliases())
      if (a.row.write == write && a.row.name == name) {
        if (id) *id = a.row.id;
        return &a.row;
      }
  return nullptr;
}

std::string_view propertyLayout(const PropertyInfo& row) {
  static const std::string kWords[] = {
      "expr",  // Num
      "expr",  // Real
      "expr",  // Text
      "expr",  // Flag
      "expr",  // Any
      "objref", "u8", "items", "exprs", "u32", "u32", "arrayref", "wholeref",
      "expr",  // Value
  };
  // Layouts are built once per distinct argument list and kept for the run.
  static std::deque<std::pair<ArgList, std::string>> cache;  // a deque keeps the texts in place
  for (auto& [args, text] : cache)
    if (args.count == row.args.count && args.word == row.args.word) return text;
  std::string text;
  for (int i = 0; i < row.args.count; ++i) {
    if (i) text += ' ';
    text += kWords[size_t(row.args.word[size_t(i)])];
  }
  cache.emplace_back(row.args, std::move(text));
  return cache.back().second;
}

}  // namespace tavrin
