// The per-type property tables expanded into rows, a (type, id, direction) index, the
// name lookups and the operand layouts the assembler and disassembler use.
#include "ui/property_tables.h"

#include <deque>
#include <vector>

#include "interp/tables.h"

namespace tavrin {

namespace {

enum Access : bool { R = false, W = true };

#define PROP(id, name, kind, access, member, args) \
  PropertyInfo{id, #name, PropKind::kind, access, detail::argsOf(uint8_t(PropKind::kind), args)},
constexpr PropertyInfo kFontRows[] = {
#include "ui/props_font.def"
};
constexpr PropertyInfo kFileStreamRows[] = {
#include "ui/props_file_stream.def"
};
constexpr PropertyInfo kMemoryStreamRows[] = {
#include "ui/props_memory_stream.def"
};
constexpr PropertyInfo kStringListRows[] = {
#include "ui/props_string_list.def"
};
constexpr PropertyInfo kSocketRows[] = {
#include "ui/props_socket.def"
};
#undef PROP

// Each (id, direction) at most once per table.
template <size_t N>
constexpr bool uniqueRows(const PropertyInfo (&rows)[N]) {
  for (size_t i = 0; i < N; ++i)
    for (size_t j = i + 1; j < N; ++j) {
      if (rows[i].id == rows[j].id && rows[i].write == rows[j].write) return false;
      if (rows[i].name == rows[j].name && rows[i].write == rows[j].write) return false;
    }
  return true;
}
static_assert(uniqueRows(kFontRows) && uniqueRows(kFileStreamRows) && uniqueRows(kMemoryStreamRows) &&
              uniqueRows(kStringListRows) && uniqueRows(kSocketRows));

// Types whose controls carry a font (their tables list ids 200..213).
constexpr uint8_t kTypesWithFont[] = {30, 31, 32, 33, 35, 39, 40, 41, 42, 43, 48, 50, 51,
                                      53, 56, 63, 64, 66, 69, 80};

constexpr std::array<TypeProperties, 256> makeTypes() {
  std::array<TypeProperties, 256> t{};
  for (uint8_t code : kTypesWithFont) t[code].hasFont = true;
  t[34] = TypeProperties{kFontRows, false, true};
  t[46].rows = kFileStreamRows;
  t[47].rows = kMemoryStreamRows;
  t[74].rows = kStringListRows;
  t[52].rows = kSocketRows;
  return t;
}
constexpr auto kTypes = makeTypes();

constexpr bool typesAssigned() {
  for (size_t i = 0; i < kTypes.size(); ++i)
    if ((!kTypes[i].rows.empty() || kTypes[i].hasFont) && kObjectTypes[i].name.empty()) return false;
  return true;
}
static_assert(typesAssigned(), "a property table names an unassigned type code");

// The font rows under the ids 200..213 of a control, with their names prefixed "Font".
struct FontAlias {
  std::string name;
  PropertyInfo row;
};

const std::vector<FontAlias>& fontAliases() {
  static const std::vector<FontAlias> aliases = [] {
    std::vector<FontAlias> v;
    v.reserve(std::size(kFontRows));
    for (const PropertyInfo& r : kFontRows) v.push_back(FontAlias{"Font" + std::string(r.name), r});
    for (FontAlias& a : v) {
      a.row.name = a.name;
      a.row.id = uint8_t(a.row.id + kFontIdFirst);
    }
    return v;
  }();
  return aliases;
}

const PropertyInfo* findIn(std::span<const PropertyInfo> rows, uint8_t id, bool write) {
  for (const PropertyInfo& r : rows)
    if (r.id == id && r.write == write) return &r;
  return nullptr;
}

}  // namespace

const TypeProperties& typeProperties(uint8_t type) { return kTypes[type]; }

const PropertyInfo* findProperty(uint8_t type, uint8_t id, bool write) {
  const TypeProperties& t = kTypes[type];
  if (t.hasFont && id >= kFontIdFirst && id <= kFontIdLast) {
    for (const FontAlias& a : fontAliases())
      if (a.row.id == id && a.row.write == write) return &a.row;
    return nullptr;
  }
  return findIn(t.rows, id, write);
}

const PropertyInfo* findPropertyByName(uint8_t type, std::string_view name, bool write, uint8_t* id) {
  const TypeProperties& t = kTypes[type];
  for (const PropertyInfo& r : t.rows)
    if (r.write == write && r.name == name) {
      if (id) *id = r.id;
      return &r;
    }
  if (t.hasFont)
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
