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
#include "ui/property_tables.h"

namespace tavrin {

struct State;
struct EvalStack;
class StringList;
class Font;
class Stream;

inline constexpr int kObjectTypeCodes = 87;  // codes 0..86; 30..86 are object types
inline constexpr int kObjectArrays = 51;     // array numbers 0..50 per type
inline constexpr int kPlainObjects = 51;     // instances 0..50 precede every object array

inline constexpr uint8_t otFont = 34;
inline constexpr uint8_t otFileStream = 46;
inline constexpr uint8_t otMemoryStream = 47;
inline constexpr uint8_t otSocket = 52;
inline constexpr uint8_t otStringList = 74;

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

struct ObjectRef {
  uint8_t type = 0;
  int32_t instance = 0;
};

// A variable named by a stream's array or whole-variable transfer.
struct VariableRef {
  bool record = false;
  ValueType type = ValueType::String;  // arrays: the element type
  uint16_t number = 0;                 // array or record number
};

struct ObjectList {
  std::vector<Object*> items;                  // by instance number
  std::vector<std::unique_ptr<Object>> owned;  // every object created, once
  std::array<std::unique_ptr<ArrayDescriptor>, kObjectArrays> arrays;
};

struct ObjectState {
  ObjectState();
  ~ObjectState();
  std::array<ObjectList, kObjectTypeCodes> lists;
  // otFileStream: the open stream of each instance number, or nothing.
  std::vector<std::unique_ptr<Stream>> fileStreams;
  // Installed screen font names, read once on first use.
  bool screenFontsRead = false;
  std::vector<std::string> screenFonts;
};

ObjectState& objectState(State& s);

// The arguments of one member call, as its table row reads them from the code.
struct MemberCall {
  State& s;
  uint8_t type;
  int32_t instance;
  bool write;
  EvalStack* e = nullptr;  // reads: where the value goes
  const PropertyInfo* row = nullptr;
  // By argument position: expressions leave their value in `real` and `text`; Num and
  // Flag arguments are also converted into `num`.
  std::array<double, kMaxArgs> real{};
  std::array<int32_t, kMaxArgs> num{};
  std::array<std::string, kMaxArgs> text{};
  std::array<ObjectRef, kMaxArgs> obj{};
  std::array<VariableRef, kMaxArgs> var{};
  std::array<uint32_t, kMaxArgs> word{};  // handler positions, image offsets, mark bytes
  int32_t item = 0;  // Items and Set: the 0-based number of the item being applied
  int itemArg = 0;   // the argument position of the item's value

  // The object named by the call, checked to be in its type's list.
  Object& object() const;
  // The item's value as an integer: truncated in statements, rounded in reads.
  int32_t itemInt() const;
  void pushNumber(double v) const;
  void pushText(std::string_view v) const;
};

using Member = void (*)(MemberCall&);

// A member that reads its operands and does nothing else.
void ignoreMember(MemberCall& c);

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

// The dispatchers: the member id follows in the code, then its operands.
void WriteProperty(State& s, uint8_t type, int32_t instance);
void ReadProperty(State& s, EvalStack& e, uint8_t type, int32_t instance);
// The same with the id already read.
void WriteProperty(State& s, uint8_t type, int32_t instance, uint8_t id);
void ReadProperty(State& s, EvalStack& e, uint8_t type, int32_t instance, uint8_t id);

}  // namespace tavrin
