// How a type's members are bound to its table: the operands of one member call, the
// operand types a member takes, the adapter that checks a member against its row when
// the table is compiled, and the typed adapters for simple properties.
// A member is a function `R f(MemberCall&, P...)` whose parameters are the row's operands
// in order, one per argument word; a read row's member returns its value (a number or a
// text) or pushes it itself and returns void. runMember checks the arity, each
// parameter's type against its word and the direction at compile time.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "interp/tables.h"
#include "ui/property_tables.h"

namespace tavrin {

struct State;
struct EvalStack;
class Object;

struct ObjectRef {
  uint8_t type = 0;
  int32_t instance = 0;
  bool element = false;  // named as an element of an object array (tag 29)
};

// A variable named by a stream's array or whole-variable transfer.
struct VariableRef {
  bool record = false;
  ValueType type = ValueType::String;  // arrays: the element type
  uint16_t number = 0;                 // array or record number
};

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
  // The text slot a read fills in place (no copy of a long text).
  std::string& pushTextSlot() const;
};

using Member = void (*)(MemberCall&);

// --- Operand types, one per argument word -------------------------------------------------
// num, flag: an integer type (bool: non-zero); real: double; text: const std::string& or
// std::string_view; any: Ignored; obj: const ObjectRef&; mark: Mark; items, set: Item;
// handler: HandlerPos; pos: ImagePos; array, whole: const VariableRef&; value: ExprValue.

struct Mark {
  uint8_t byte;
};
struct Ignored {};
struct HandlerPos {
  uint32_t at;
};
struct ImagePos {
  uint32_t at;
};
// A value operand: the expression's number, its text and which of the two it gave.
struct ExprValue {
  double real;
  const std::string& text;
  bool isText;
};
// One item of an Items or Set operand: the member runs once per item.
struct Item {
  int32_t number;  // 0-based
  int32_t value;   // truncated in statements, rounded in reads
  double real;
  const std::string& text;
};

// The object a simple-property adapter works on: each binding that uses `field` or
// `method` on a class T specializes this for T.
template <class T>
T& subject(MemberCall& c);

namespace detail {

template <Arg A, class P>
constexpr bool fits() {
  using T = std::remove_cvref_t<P>;
  switch (A) {
    case Arg::Num:
    case Arg::Flag: return std::is_integral_v<T>;
    case Arg::Real: return std::is_same_v<T, double>;
    case Arg::Text: return std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>;
    case Arg::Any: return std::is_same_v<T, Ignored>;
    case Arg::Obj: return std::is_same_v<T, ObjectRef>;
    case Arg::Mark: return std::is_same_v<T, Mark>;
    case Arg::Items:
    case Arg::Set: return std::is_same_v<T, Item>;
    case Arg::Handler: return std::is_same_v<T, HandlerPos>;
    case Arg::Pos: return std::is_same_v<T, ImagePos>;
    case Arg::Array:
    case Arg::Whole: return std::is_same_v<T, VariableRef>;
    case Arg::Value: return std::is_same_v<T, ExprValue>;
  }
  return false;
}

template <Arg A, class P>
decltype(auto) operand(MemberCall& c, size_t k) {
  using T = std::remove_cvref_t<P>;
  if constexpr (A == Arg::Num || A == Arg::Flag) {
    if constexpr (std::is_same_v<T, bool>) return c.num[k] != 0;
    else return T(c.num[k]);
  } else if constexpr (A == Arg::Real) {
    return c.real[k];
  } else if constexpr (A == Arg::Text) {
    return static_cast<const std::string&>(c.text[k]);
  } else if constexpr (A == Arg::Any) {
    return Ignored{};
  } else if constexpr (A == Arg::Obj) {
    return static_cast<const ObjectRef&>(c.obj[k]);
  } else if constexpr (A == Arg::Mark) {
    return Mark{uint8_t(c.word[k])};
  } else if constexpr (A == Arg::Items || A == Arg::Set) {
    return Item{c.item, c.itemInt(), c.real[k], c.text[k]};
  } else if constexpr (A == Arg::Handler) {
    return HandlerPos{c.word[k]};
  } else if constexpr (A == Arg::Pos) {
    return ImagePos{c.word[k]};
  } else if constexpr (A == Arg::Value) {
    return ExprValue{c.real[k], c.text[k], c.word[k] != 0};
  } else {
    return static_cast<const VariableRef&>(c.var[k]);
  }
}

// What a read pushes: a number or a text (a flag of the platform is a number the member
// chooses, so bool is refused).
template <class R>
void pushResult(MemberCall& c, R&& v) {
  using T = std::remove_cvref_t<R>;
  static_assert(!std::is_same_v<T, bool>, "a read returns a number or a text, not bool");
  if constexpr (std::is_arithmetic_v<T>) c.pushNumber(double(v));
  else c.pushText(std::string_view(v));
}

template <class F>
struct Signature;
template <class R, class... P>
struct Signature<R (*)(MemberCall&, P...)> {
  using Result = R;
  using Params = std::tuple<P...>;
  static constexpr size_t arity = sizeof...(P);
};
template <class R, class C, class... P>
struct Signature<R (C::*)(P...)> {
  using Result = R;
  using Class = C;
  using Params = std::tuple<P...>;
  static constexpr size_t arity = sizeof...(P);
};
template <class R, class C, class... P>
struct Signature<R (C::*)(P...) const> : Signature<R (C::*)(P...)> {};

template <class M>
struct FieldOf;
template <class T, class C>
struct FieldOf<T C::*> {
  using Type = T;
  using Class = C;
};

// The row's operands against a parameter list: count, order, types, the place of a
// per-item word, and the direction against the result.
template <ArgList A, bool W, class S>
constexpr bool checkSignature() {
  static_assert(S::arity == A.count, "a member takes another number of operands than its row reads");
  constexpr bool typesFit = []<size_t... K>(std::index_sequence<K...>) {
    return (fits<A.word[K], std::tuple_element_t<K, typename S::Params>>() && ...);
  }(std::make_index_sequence<A.count>{});
  static_assert(typesFit, "a member's operand types do not match its row's argument words");
  constexpr bool itemsLast = [] {
    for (int k = 0; k + 1 < A.count; ++k)
      if (A.word[size_t(k)] == Arg::Items || A.word[size_t(k)] == Arg::Set) return false;
    return true;
  }();
  static_assert(itemsLast, "a per-item operand must be the row's last");
  static_assert(!W || std::is_void_v<typename S::Result>, "a statement's member returns nothing");
  return true;
}

// Calls f with the row's operands, pushing its result in a read.
template <ArgList A, class S, class Call>
void callWithOperands(MemberCall& c, Call&& call) {
  [&]<size_t... K>(std::index_sequence<K...>) {
    if constexpr (std::is_void_v<typename S::Result>) {
      call(operand<A.word[K], std::tuple_element_t<K, typename S::Params>>(c, K)...);
    } else {
      pushResult(c, call(operand<A.word[K], std::tuple_element_t<K, typename S::Params>>(c, K)...));
    }
  }(std::make_index_sequence<A.count>{});
}

}  // namespace detail

// Adapters are empty class constants, used in a table's member column.
struct AdapterTag {};
struct FieldTag : AdapterTag {};

// A data member of the subject: a statement stores its one operand (converted to the
// member's type), a read pushes it. After, a member function of the subject, runs after
// a store (a font drops its handle).
template <auto M, auto After = nullptr>
struct FieldAdapter : FieldTag {
  template <ArgList A, bool W>
  static void run(MemberCall& c) {
    using F = detail::FieldOf<decltype(M)>;
    auto& target = subject<typename F::Class>(c);
    if constexpr (W) {
      static_assert(A.count == 1 && detail::fits<A.word[0], typename F::Type>(),
                    "a field's statement row reads one operand of the field's kind");
      target.*M = detail::operand<A.word[0], typename F::Type>(c, 0);
      if constexpr (!std::is_same_v<decltype(After), std::nullptr_t>) (target.*After)();
    } else {
      static_assert(A.count == 0, "a field's read row reads no operands");
      detail::pushResult(c, target.*M);
    }
  }
};
template <auto M, auto After = nullptr>
inline constexpr FieldAdapter<M, After> field{};

// A member function of the subject, called with the row's operands; a read pushes its result.
template <auto F>
struct MethodAdapter : AdapterTag {
  template <ArgList A, bool W>
  static void run(MemberCall& c) {
    using S = detail::Signature<decltype(F)>;
    static_assert(detail::checkSignature<A, W, S>());
    auto& target = subject<typename S::Class>(c);
    detail::callWithOperands<A, S>(c, [&](auto&&... v) -> decltype(auto) {
      return (target.*F)(std::forward<decltype(v)>(v)...);
    });
  }
};
template <auto F>
inline constexpr MethodAdapter<F> method{};

// Reads the row's operands (they are evaluated) and does nothing else.
struct IgnoreAdapter : AdapterTag {
  template <ArgList A, bool W>
  static void run(MemberCall&) {
    static_assert(W, "a read must push a value");
  }
};
inline constexpr IgnoreAdapter ignored{};

// The member of one row: F is a member function or an adapter constant.
template <ArgList A, bool W, auto F>
void runMember(MemberCall& c) {
  if constexpr (std::is_base_of_v<AdapterTag, std::remove_cv_t<decltype(F)>>) {
    decltype(F)::template run<A, W>(c);
  } else {
    using S = detail::Signature<decltype(F)>;
    static_assert(detail::checkSignature<A, W, S>());
    detail::callWithOperands<A, S>(c, [&](auto&&... v) -> decltype(auto) { return F(c, std::forward<decltype(v)>(v)...); });
  }
}

// The member of one row, and whether it is a plain field (stored by a statement row and
// pushed by a read row), which the tests use to check that the two rows of an id meet.
struct MemberEntry {
  Member run;
  bool field;
};

template <auto F>
inline constexpr bool isField = std::is_base_of_v<FieldTag, std::remove_cv_t<decltype(F)>>;

// In a type's source: `#define PROP TAVRIN_MEMBER_ROW` before including its table gives
// the member of each row, in the table's order.
#define TAVRIN_MEMBER_ROW(id, name, kind, access, member, args)                                \
  MemberEntry{&runMember<detail::argsOf(uint8_t(PropKind::kind), args), prop_access::access, member>, \
              isField<member>},

// One new object for an instance number (visual objects make their peers here).
using Factory = std::unique_ptr<Object> (*)(State& s, int32_t instance);

// What a type's source file gives the object model.
struct TypeBinding {
  std::span<const MemberEntry> members;  // by row number of the type's table
  Factory make = nullptr;           // creation List and Visual: one new object
  bool unlistedReadsZero = false;   // an id without a read row yields 0
  // The address in program memory of an instance's record, which an external call
  // receives for an argument of the type; nullptr: the type has none.
  uint32_t (*address)(State& s, int32_t instance) = nullptr;
};

// In a type's source, at namespace tavrin: `TAVRIN_BINDING(stem){members, ...};`
#define TAVRIN_BINDING(stem)                  \
  extern const TypeBinding kBinding_##stem; \
  const TypeBinding kBinding_##stem

template <class T>
std::unique_ptr<Object> makeObject(State&, int32_t) {
  return std::make_unique<T>();
}

}  // namespace tavrin
