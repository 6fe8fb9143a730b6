// The object lists, object creation and arrays, the object reference operand, and the
// write and read dispatchers with their operand reading; the statements and operands
// that reach them (lead bytes 8 and 29, operand tags 8 and 29, StmtCreateObject).
// Hazards: an object pointer must not be held across an operand evaluation (a function
// called there may grow the list); an id without a row reads no operands at all.
#include "ui/object_model.h"

#include <algorithm>
#include <cmath>

#include "interp/calls.h"
#include "interp/evaluator.h"
#include "interp/handlers.h"
#include "interp/object_refs.h"
#include "interp/tables.h"
#include "interp/value_ops.h"
#include "runtime/memory_limit.h"
#include "runtime/run_error.h"
#include "interp/state.h"
#include "ui/events.h"

namespace tavrin {

Object::~Object() = default;
ObjectState::ObjectState() = default;
ObjectState::~ObjectState() = default;

ObjectState& objectState(State& s) {
  if (!s.objects) [[unlikely]]
    s.objects = std::make_unique<ObjectState>();
  return *s.objects;
}

// The binding of each type code that has one: kBinding_<stem> of ui/types/<stem>.cpp.
#define PROP(id, name, kind, access, member, args)
#define TABLE_BEGIN(code, type, stem) extern const TypeBinding kBinding_##stem;
#define TABLE_END(code, type, stem)
#include "ui/bindings.def"
#undef TABLE_BEGIN

namespace {

constexpr uint8_t kEnd = 11;
constexpr uint8_t kTagParameter = 12;
constexpr uint8_t kTagElement = 29;
constexpr uint8_t kMarkRecord = 37;

#define TABLE_BEGIN(code, type, stem) t[code] = &kBinding_##stem;
constexpr std::array<const TypeBinding*, 256> makeBindings() {
  std::array<const TypeBinding*, 256> t{};
#include "ui/bindings.def"
  return t;
}
#undef TABLE_BEGIN
constexpr auto kBindings = makeBindings();

// Checked on the codes, not the addresses (a sanitizer build does not fold those).
#define TABLE_BEGIN(code, type, stem) t[code] = true;
constexpr bool listTypesBound() {
  std::array<bool, 256> t{};
#include "ui/bindings.def"
  for (size_t i = 0; i < t.size(); ++i)
    if ((kTypeTraits[i].creation == Creation::List || kTypeTraits[i].creation == Creation::Visual) && !t[i])
      return false;
  return true;
}
#undef PROP
#undef TABLE_BEGIN
#undef TABLE_END
static_assert(listTypesBound(), "a type whose declaration makes objects has no binding");

std::string typeName(uint8_t type) {
  std::string_view n = kObjectTypes[type].name;
  return n.empty() ? "object type " + std::to_string(type) : std::string(n);
}

[[noreturn, gnu::cold]] void noSuchArray(uint8_t type, int64_t array) {
  raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(array) + "): " +
                                          typeName(type) + " array " + std::to_string(array) +
                                          " is not declared");
}

// An object list holds at most kMaxListItems numbers, so a runaway count or a redimension
// repeated in a loop ends in error 203 before the host runs out of memory.
void checkListRoom(const ObjectList& list, int64_t more) {
  if (more > 0 && int64_t(list.items.size()) + more > kMaxListItems) [[unlikely]]
    listLimit(int64_t(list.items.size()) + more);
}

// Appends one new object to the list (creation defaults are the class's own).
void appendNew(State& s, ObjectList& list, uint8_t type) {
  const TypeBinding* b = kBindings[type];
  const Creation how = kTypeTraits[type].creation;
  if ((how != Creation::List && how != Creation::Visual) || !b || !b->make)
    raiseNotImplemented("creating " + typeName(type) + " objects");
  // A declaration may create millions of objects in one statement; the memory bound is
  // checked every few thousand, not only between statements.
  if ((list.owned.size() & 4095) == 4095) checkMemoryLimit();
  list.owned.push_back(b->make(s, int32_t(list.items.size())));
  list.items.push_back(list.owned.back().get());
}

bool createsObjects(uint8_t type) {
  if (type >= kObjectTypeCodes || kObjectTypes[type].name.empty()) return false;
  const Creation how = kTypeTraits[type].creation;
  if (how == Creation::NotBuilt) raiseNotImplemented("creating " + typeName(type) + " objects");
  return how == Creation::List || how == Creation::Visual;
}

VariableRef readArrayRef(State& s, uint8_t marker) {
  VariableRef r;
  if (marker == kTagParameter) {
    uint8_t slot = s.code.u8();
    r.type = ValueType(s.code.u8());
    r.number = referenceIndex(s.calls, slot);
  } else {
    r.type = ValueType(s.code.u8());
    r.number = s.code.u16();
  }
  if (uint8_t(r.type) > 9) raiseByteCode("array transfer names value type " + std::to_string(int(r.type)));
  return r;
}

VariableRef readWholeRef(State& s) {
  uint8_t marker = s.code.u8();
  if (marker == kMarkRecord) {
    VariableRef r;
    r.record = true;
    r.number = s.code.u16();
    return r;
  }
  return readArrayRef(s, marker);
}

// Reads the row's operands in order and runs the member (per item for Items and Set).
void runRow(MemberCall& c, Member member) {
  State& s = c.s;
  const ArgList& a = c.row->args;
  for (int i = 0; i < a.count; ++i) {
    const size_t k = size_t(i);
    switch (a.word[k]) {
      case Arg::Num:
        evaluate(s, c.real[k], c.text[k]);
        c.num[k] = c.write ? truncateToInt(c.real[k]) : roundToInt(c.real[k]);
        break;
      case Arg::Flag:
        evaluate(s, c.real[k], c.text[k]);
        c.num[k] = truncateToInt(c.real[k]) & 0xFF;
        break;
      case Arg::Real:
      case Arg::Text:
      case Arg::Any: evaluate(s, c.real[k], c.text[k]); break;
      case Arg::Value: c.word[k] = evaluate(s, c.real[k], c.text[k]) ? 1 : 0; break;
      case Arg::Obj: c.obj[k] = ReadObjectReference(s); break;
      case Arg::Mark: c.word[k] = s.code.u8(); break;
      case Arg::Handler:
      case Arg::Pos: c.word[k] = s.code.u32(); break;
      case Arg::Array: c.var[k] = readArrayRef(s, s.code.u8()); break;
      case Arg::Whole: c.var[k] = readWholeRef(s); break;
      case Arg::Items:
        c.itemArg = i;
        for (int32_t n = 0;; ++n) {
          evaluate(s, c.real[k], c.text[k]);
          c.item = n;
          member(c);
          if (s.code.u8() == kEnd) return;
        }
      case Arg::Set:
        c.itemArg = i;
        for (int32_t n = 0; s.code.u8() != kEnd; ++n) {
          evaluate(s, c.real[k], c.text[k]);
          c.item = n;
          member(c);
        }
        return;
    }
  }
  member(c);
}

// The row and member of (type, id) in one direction; font ids of controls go to the
// font table. Returns false when the id has no row.
bool findMember(uint8_t type, uint8_t id, bool write, const PropertyInfo*& row, Member& member) {
  const RowRef r = findRow(type, id, write);
  if (!r.found) [[unlikely]]
    return false;
  row = &rowsOf(r.table)[r.row];
  member = kBindings[r.table]->members[r.row].run;
  return true;
}

}  // namespace

// --- Objects and lists ------------------------------------------------------------------

void NoSuchObject(uint8_t type, int64_t instance) {
  raise(ErrorNumber::IndexOutOfRange,
        "List index out of bounds (" + std::to_string(instance) + "): no " + typeName(type) + " object " +
            std::to_string(instance));
}

Object& MemberCall::object() const { return ObjectAt(s, type, instance); }

int32_t MemberCall::itemInt() const {
  double v = real[size_t(itemArg)];
  return write ? truncateToInt(v) : roundToInt(v);
}

void MemberCall::pushNumber(double v) const { e->pushNumber(v); }
void MemberCall::pushText(std::string_view v) const { e->pushText(v); }
std::string& MemberCall::pushTextSlot() const { return e->pushTextSlot(); }

TypeState::~TypeState() = default;

Object& ObjectAt(State& s, uint8_t type, int64_t instance) {
  ObjectState& os = objectState(s);
  if (type >= kObjectTypeCodes || instance < 0) [[unlikely]]
    NoSuchObject(type, instance);
  ObjectList& list = os.lists[type];
  if (instance >= int64_t(list.items.size())) [[unlikely]]
    NoSuchObject(type, instance);
  Object* o = list.items[size_t(instance)];
  if (o->type() != type) [[unlikely]]
    raiseByteCode(typeName(type) + " object " + std::to_string(instance) + " is of another type");
  return *o;
}

void CreateObjects(State& s, uint8_t type, int64_t instance) {
  if (!createsObjects(type)) return;
  ObjectList& list = objectState(s).lists[type];
  checkListRoom(list, instance + 1 - int64_t(list.items.size()));
  while (int64_t(list.items.size()) <= instance) appendNew(s, list, type);
}

void DeclareObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims) {
  if (type >= kObjectTypeCodes || !kObjectTypes[type].arrays) return;
  if (array >= kObjectArrays) noSuchArray(type, array);
  ObjectList& list = objectState(s).lists[type];
  const bool objects = createsObjects(type);
  auto d = std::make_unique<ArrayDescriptor>(dims.bounds);
  if (objects)
    while (list.items.size() < size_t(kPlainObjects)) appendNew(s, list, type);
  d->base = int32_t(list.items.size());
  if (objects) checkListRoom(list, dims.total + 1);
  if (objects)
    for (int64_t i = 0; i <= dims.total; ++i) appendNew(s, list, type);  // one more than the count
  list.arrays[array] = std::move(d);
}

void RedimObjectArray(State& s, uint8_t type, uint16_t array, const DimensionList& dims) {
  if (type >= kObjectTypeCodes || !kObjectTypes[type].arrays || !kTypeTraits[type].resizable) return;
  if (array >= kObjectArrays) noSuchArray(type, array);
  ObjectList& list = objectState(s).lists[type];
  if (!list.arrays[array]) return DeclareObjectArray(s, type, array, dims);
  ArrayDescriptor& d = *list.arrays[array];
  const bool objects = createsObjects(type);
  const int32_t newBase = int32_t(list.items.size());
  if (objects) {
    // An array declared with a count below 1 holds no elements: neither count may go below 0,
    // or the loops below would create objects for the difference.
    const int64_t oldCount = std::max<int64_t>(d.span[0], 0), newCount = std::max<int64_t>(dims.total, 0);
    const int64_t kept = std::min(oldCount, newCount);
    checkListRoom(list, newCount);
    for (int64_t i = 0; i < kept; ++i) {
      const int64_t from = int64_t(d.base) + i;
      if (from < 0 || from >= int64_t(list.items.size())) NoSuchObject(type, from);
      list.items.push_back(list.items[size_t(from)]);  // the same object, a new number
    }
    for (int64_t i = kept; i < newCount; ++i) appendNew(s, list, type);
  }
  ArrayDescriptor next = dims.bounds;
  next.base = newBase;
  d = next;
}

int32_t objectElementNumber(State& s, uint8_t type, uint16_t array) {
  if (type >= kObjectTypeCodes || array >= kObjectArrays) noSuchArray(type, array);
  const ArrayDescriptor* d = objectState(s).lists[type].arrays[array].get();
  if (!d) noSuchArray(type, array);
  const ArrayDescriptor copy = *d;  // the subscripts may run code that redimensions
  return truncateToInt(elementNumberFromCode(s, copy));
}

ObjectRef ReadObjectReference(State& s) {
  const uint8_t tag = s.code.u8();
  ObjectRef r;
  r.type = s.code.u8();
  if (tag == kTagParameter) {
    r.instance = referenceIndex(s.calls, s.code.u8());
    return r;
  }
  const uint16_t number = s.code.u16();
  r.instance = tag == kTagElement ? objectElementNumber(s, r.type, number) : number;
  r.element = tag == kTagElement;
  return r;
}

Object* ResolveContainer(State& s, uint8_t type, int64_t instance) {
  if (!kTypeTraits[type].container) return nullptr;
  return &ObjectAt(s, type, instance);
}

const TypeBinding* BindingOf(uint8_t type) { return kBindings[type]; }

uint32_t ObjectAddress(State& s, uint8_t type, int64_t instance) {
  const TypeBinding* b = kBindings[type];
  if (!b || !b->address) return 0;
  if (instance < 0 || instance > INT32_MAX) NoSuchObject(type, instance);
  return b->address(s, int32_t(instance));
}

// --- The dispatchers --------------------------------------------------------------------

void WriteProperty(State& s, uint8_t type, int32_t instance, uint8_t id) {
  const PropertyInfo* row;
  Member member;
  if (!findMember(type, id, true, row, member)) return;
  MemberCall c{.s = s, .type = type, .instance = instance, .write = true};
  c.row = row;
  runRow(c, member);
}

void ReadProperty(State& s, EvalStack& e, uint8_t type, int32_t instance, uint8_t id) {
  const PropertyInfo* row;
  Member member;
  if (!findMember(type, id, false, row, member)) {
    const bool fontId = kTypeTraits[type].font && id >= kFontIdFirst && id <= kFontIdLast;
    if (fontId || (kBindings[type] && kBindings[type]->unlistedReadsZero)) e.pushNumber(0.0);
    return;
  }
  MemberCall c{.s = s, .type = type, .instance = instance, .write = false};
  c.e = &e;
  c.row = row;
  runRow(c, member);
}

void WriteProperty(State& s, uint8_t type, int32_t instance) { WriteProperty(s, type, instance, s.code.u8()); }
void ReadProperty(State& s, EvalStack& e, uint8_t type, int32_t instance) {
  ReadProperty(s, e, type, instance, s.code.u8());
}

// --- The statements and operands that reach them -----------------------------------------

namespace {
// An element of an object array: for an unassigned type code the subscripts are still
// read (and evaluated) so that the statement ends where it should.
int32_t elementInstance(State& s, uint8_t type, uint16_t array) {
  if (type < kObjectTypeCodes && !kObjectTypes[type].name.empty()) return objectElementNumber(s, type, array);
  ArrayDescriptor none;
  (void)elementNumberFromCode(s, none);
  return 0;
}
}  // namespace

void execStmtObjectMember(State& s) {
  const uint8_t type = s.code.u8();
  const uint16_t instance = s.code.u16();
  WriteProperty(s, type, instance);
}

void execStmtObjectMemberIndirect(State& s) {
  const uint8_t type = s.code.u8();
  const uint16_t array = s.code.u16();
  const int32_t instance = elementInstance(s, type, array);
  WriteProperty(s, type, instance);
}

void evalOpProperty(State& s, EvalStack& e) {
  const uint8_t type = s.code.u8();
  const uint16_t instance = s.code.u16();
  ReadProperty(s, e, type, instance);
}

void evalOpPropertyElement(State& s, EvalStack& e) {
  const uint8_t type = s.code.u8();
  const uint16_t array = s.code.u16();
  const int32_t instance = elementInstance(s, type, array);
  ReadProperty(s, e, type, instance);
}

// StmtCreateObject: type code and the highest instance number, as a plain declaration.
void execStmtCreateObject(State& s) {
  const uint8_t type = s.code.u8();
  const uint16_t instance = s.code.u16();
  CreateObjects(s, type, instance);
}

// Reference parameters naming objects (lead byte 12 and operand tag 12, kinds 30 and up).
void readObjectParameter(State& s, EvalStack& e, uint8_t type, uint16_t instance, uint8_t property) {
  ReadProperty(s, e, type, instance, property);
}
void assignObjectParameter(State& s, uint8_t type, uint16_t instance) { WriteProperty(s, type, instance); }

}  // namespace tavrin
