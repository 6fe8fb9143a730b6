// The byte code's encodings as constant tables, expanded from the .def files: names and
// operand layouts by code, for the dispatcher's diagnostics, the assembler and the
// disassembler.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

namespace tavrin {

inline constexpr int kLeadCount = 43;      // lead bytes with a class-table entry
inline constexpr int kCommandCount = 73;   // sub-opcodes of StmtCommand
inline constexpr int kBuiltinCount = 116;  // built-in function codes

enum class ValueType : uint8_t {
  String = 0, Byte = 1, Short = 2, Long = 3, Word = 4,
  DWord = 5, Single = 6, Double = 7, FixedString = 8, Variant = 9,
};
inline constexpr std::array<std::string_view, 10> kValueTypeNames = {
    "String", "Byte", "Short", "Long", "Word", "DWord", "Single", "Double", "FixedString", "Variant"};

enum class Lead : uint8_t {
#define LEAD(byte, cls, name, layout) name = byte,
#include "interp/statements.def"
#undef LEAD
};

enum class Command : uint8_t {
#define COMMAND(sub, name, layout) name = sub,
#define COMMAND_NONE(sub)
#include "interp/commands.def"
#undef COMMAND
#undef COMMAND_NONE
};

enum class Operand : uint8_t {
#define OPERAND(tag, name, asmName, layout) name = tag,
#include "interp/operands.def"
#undef OPERAND
#define OPERATOR(byte, name, asmName) name = byte,
#include "interp/operators.def"
#undef OPERATOR
};

enum class Builtin : uint8_t {
#define BUILTIN(code, name, layout) name = code,
#define BUILTIN_NONE(code)
#include "interp/builtins.def"
#undef BUILTIN
#undef BUILTIN_NONE
};

struct CodeInfo {
  std::string_view name;    // empty: unassigned
  std::string_view layout;  // operand layout words
  uint8_t cls = 0;          // lead bytes: class-table entry
};

struct ObjectTypeInfo {
  std::string_view name;  // empty: unassigned code
  bool arrays = false;
  bool tagIsInstance = false;
};

namespace detail {
constexpr std::array<CodeInfo, kLeadCount> makeLeads() {
  std::array<CodeInfo, kLeadCount> t{};
#define LEAD(byte, c, name, layout) t[byte] = CodeInfo{#name, layout, c};
#include "interp/statements.def"
#undef LEAD
  return t;
}
constexpr std::array<CodeInfo, kCommandCount> makeCommands() {
  std::array<CodeInfo, kCommandCount> t{};
#define COMMAND(sub, name, layout) t[sub] = CodeInfo{#name, layout, 1};
#define COMMAND_NONE(sub)
#include "interp/commands.def"
#undef COMMAND
#undef COMMAND_NONE
  return t;
}
constexpr std::array<CodeInfo, 256> makeOperands() {
  std::array<CodeInfo, 256> t{};
#define OPERAND(tag, name, asmName, layout) t[tag] = CodeInfo{asmName, layout, 1};
#include "interp/operands.def"
#undef OPERAND
#define OPERATOR(byte, name, asmName) t[byte] = CodeInfo{asmName, "", 2};
#include "interp/operators.def"
#undef OPERATOR
  return t;
}
constexpr std::array<CodeInfo, kBuiltinCount> makeBuiltins() {
  std::array<CodeInfo, kBuiltinCount> t{};
#define BUILTIN(code, name, layout) t[code] = CodeInfo{#name, layout, 1};
#define BUILTIN_NONE(code)
#include "interp/builtins.def"
#undef BUILTIN
#undef BUILTIN_NONE
  return t;
}
constexpr std::array<ObjectTypeInfo, 256> makeObjectTypes() {
  std::array<ObjectTypeInfo, 256> t{};
#define OBJECT_TYPE(code, name, arrays, tag, font, container, resizable, creation) t[code] = ObjectTypeInfo{#name, arrays != 0, tag != 0};
#include "interp/object_types.def"
#undef OBJECT_TYPE
  return t;
}
}  // namespace detail

// Lead bytes 0..42 (cls 0: a one-byte statement that does nothing).
inline constexpr auto kLeads = detail::makeLeads();
// Sub-opcodes 0..72 (empty name: does nothing).
inline constexpr auto kCommands = detail::makeCommands();
// Expression bytes: cls 1 operand tag (name is the assembly name), cls 2 operator.
inline constexpr auto kOperands = detail::makeOperands();
// Built-in functions 0..115 (empty name: pushes nothing).
inline constexpr auto kBuiltins = detail::makeBuiltins();
// Object types 30..86 (empty name: unassigned).
inline constexpr auto kObjectTypes = detail::makeObjectTypes();

namespace detail {
constexpr bool checkTables() {
  int leads = 0, commands = 0, builtins = 0;
  for (auto& e : kLeads) leads += !e.name.empty();
  for (auto& e : kCommands) commands += !e.name.empty();
  for (auto& e : kBuiltins) builtins += !e.name.empty();
  return leads == 14 && commands == 69 && builtins == 114;
}
static_assert(checkTables(), "a table lost or duplicated an entry");
}  // namespace detail

}  // namespace tavrin
