// The object model: one object list per type code, object arrays, creation, the object
// reference operand and the two dispatchers that carry out a member statement or push a
// member's value, reading the operands each property table row states.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interp/stores.h"
#include "ui/binding.h"
#include "ui/object_types.h"

namespace tavrin {

class StringList;
struct VisualState;
class Font;
class Stream;

inline constexpr int kObjectArrays = 51;  // array numbers 0..50 per type
inline constexpr int kPlainObjects = 51;  // instances 0..50 precede every object array

// One object of a list. The same object may stand at several instance numbers after an
// object array has been resized.
class Object {
public:
  explicit Object(uint8_t type) : m_type(type) {}
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  uint8_t type() const { return m_type; }
  // The object's strings, for AddStrings; nullptr when it has none.
  virtual StringList* strings() { return nullptr; }
  // The object's font (ids 200..213 of controls; the font itself for otFont).
  virtual Font* font() { return nullptr; }
  // The object as a stream (memory streams), for copies and string list transfers.
  virtual Stream* stream() { return nullptr; }

private:
  uint8_t m_type;
};

struct ObjectList {
  std::vector<Object*> items;                  // by instance number
  std::vector<std::unique_ptr<Object>> owned;  // every object created, once
  std::array<std::unique_ptr<ArrayDescriptor>, kObjectArrays> arrays;
};

// What a binding keeps for its type beyond the object list (file slots, a fixed table of
// records, a cache), made on first use.
struct TypeState {
  virtual ~TypeState();
};

struct ObjectState {
  ObjectState();
  ~ObjectState();
  std::array<ObjectList, kObjectTypeCodes> lists;
  std::array<std::unique_ptr<TypeState>, kObjectTypeCodes> data;
  std::unique_ptr<VisualState> visual;  // the event flags and the hook (ui/events.h)
};

ObjectState& objectState(State& s);

// The state of type `type`; each type code is used with one T only.
template <class T>
T& typeState(State& s, uint8_t type) {
  std::unique_ptr<TypeState>& p = objectState(s).data[type];
  if (!p) p = std::make_unique<T>();
  return static_cast<T&>(*p);
}

// Run-time error 213 for an instance number outside a type's list or table.
[[noreturn, gnu::cold]] void NoSuchObject(uint8_t type, int64_t instance);
// The object at an instance number of a type's list; run-time error 213 outside it.
Object& ObjectAt(State& s, uint8_t type, int64_t instance);
// Creates the objects of a plain declaration: the list grows to hold `instance`.
void CreateObjects(State& s, uint8_t type, int64_t instance);
// Object arrays: `dims` as the declaration read them (bias, span, element total).
void DeclareObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims);
void RedimObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims);
// The instance number of an object array element: the subscripts follow in the code.
int32_t objectElementNumber(State& s, uint8_t type, uint16_t array);
// Reads an object reference operand (tag, type, then slot, or number and subscripts).
ObjectRef ReadObjectReference(State& s);
// The container object (parent, owner) a reference names, or nullptr.
Object* ResolveContainer(State& s, uint8_t type, int64_t instance);
// The binding of a type code (ui/bindings.def), or nullptr.
const TypeBinding* BindingOf(uint8_t type);
// The program-memory address of an instance's record (otRect): what an external call
// passes for an argument of that type. Run-time error 213 outside the type's table; 0 for
// a type that has no record.
uint32_t ObjectAddress(State& s, uint8_t type, int64_t instance);

// The dispatchers: the member id follows in the code, then its operands.
void WriteProperty(State& s, uint8_t type, int32_t instance);
void ReadProperty(State& s, EvalStack& e, uint8_t type, int32_t instance);
// The same with the id already read.
void WriteProperty(State& s, uint8_t type, int32_t instance, uint8_t id);
void ReadProperty(State& s, EvalStack& e, uint8_t type, int32_t instance, uint8_t id);

}  // namespace tavrin
