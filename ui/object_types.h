// What each object type code allows, as the type table (interp/object_types.def) states
// it: the font ids, containers, resizable arrays and what a declaration creates.
#pragma once
#include <array>
#include <cstdint>

#include "interp/tables.h"

namespace tavrin {

// What a declaration of a type makes.
enum class Creation : uint8_t {
  NotBuilt,  // a type whose objects are not built yet: "not implemented yet"
  Nothing,   // no objects (fixed tables, platform objects, file slots)
  List,      // one object per instance number in the type's list, made by its binding
  Visual,    // components of the windowed layer: one object per instance number, with a peer in
             // the layer once it runs
};

struct TypeTraits {
  bool font = false;       // ids 200..213 address the object's font
  bool container = false;  // a parent or owner reference may name it
  bool resizable = false;  // a re-dimension of its arrays takes effect
  Creation creation = Creation::NotBuilt;
};

namespace detail {
constexpr std::array<TypeTraits, 256> makeTypeTraits() {
  std::array<TypeTraits, 256> t{};
#define OBJECT_TYPE(code, name, arrays, tag, font, container, resizable, creation) \
  t[code] = TypeTraits{font != 0, container != 0, resizable != 0, Creation::creation};
#include "interp/object_types.def"
#undef OBJECT_TYPE
  return t;
}
}  // namespace detail

inline constexpr auto kTypeTraits = detail::makeTypeTraits();

inline constexpr int kObjectTypeCodes = 87;  // codes 0..86; 30..86 are object types

inline constexpr uint8_t otFont = 34;
inline constexpr uint8_t otFileStream = 46;
inline constexpr uint8_t otMemoryStream = 47;
inline constexpr uint8_t otSocket = 52;
inline constexpr uint8_t otRect = 68;
inline constexpr uint8_t otStringList = 74;

}  // namespace tavrin
