// Name lookups of the assembly language over the encoding tables.
#include "tools/asm_syntax.h"

#include "ui/property_tables.h"

namespace tavrin::asmtext {

std::optional<Mnemonic> findStatement(std::string_view name) {
  for (size_t i = 1; i < kLeads.size(); ++i)  // lead 0 is written by its sub-opcodes
    if (!kLeads[i].name.empty() && kLeads[i].name == name)
      return Mnemonic{false, uint8_t(i), kLeads[i].layout};
  for (size_t i = 0; i < kCommands.size(); ++i)
    if (!kCommands[i].name.empty() && kCommands[i].name == name)
      return Mnemonic{true, uint8_t(i), kCommands[i].layout};
  return std::nullopt;
}

std::optional<uint8_t> findExpressionItem(std::string_view asmName) {
  for (size_t i = 0; i < kOperands.size(); ++i)
    if (!kOperands[i].name.empty() && kOperands[i].name == asmName) return uint8_t(i);
  return std::nullopt;
}

std::optional<uint8_t> findBuiltin(std::string_view name) {
  for (size_t i = 0; i < kBuiltins.size(); ++i)
    if (!kBuiltins[i].name.empty() && kBuiltins[i].name == name) return uint8_t(i);
  return std::nullopt;
}

std::optional<uint8_t> findValueType(std::string_view name) {
  for (size_t i = 0; i < kValueTypeNames.size(); ++i)
    if (kValueTypeNames[i] == name) return uint8_t(i);
  return std::nullopt;
}

std::optional<uint8_t> findObjectType(std::string_view name) {
  for (size_t i = 0; i < kObjectTypes.size(); ++i)
    if (!kObjectTypes[i].name.empty() && kObjectTypes[i].name == name) return uint8_t(i);
  return std::nullopt;
}

std::string_view kindName(uint8_t code) {
  if (code < kValueTypeNames.size()) return kValueTypeNames[code];
  return kObjectTypes[code].name;
}

std::optional<std::string_view> memberLayout(uint8_t type, uint8_t id, bool write) {
  const PropertyInfo* row = findProperty(type, id, write);
  if (!row) return std::nullopt;
  return propertyLayout(*row);
}

std::optional<std::string_view> memberName(uint8_t type, uint8_t id, bool write) {
  const PropertyInfo* row = findProperty(type, id, write);
  if (!row) return std::nullopt;
  return row->name;
}

std::optional<uint8_t> memberId(uint8_t type, std::string_view name, bool write) {
  uint8_t id = 0;
  if (!findPropertyByName(type, name, write, &id)) return std::nullopt;
  return id;
}

}  // namespace tavrin::asmtext
