// Arrays: descriptors by type and number, element positions from the subscripts in the
// code, element reads and stores (evaluator tag 3, StmtAssignArrayElement) and the sort
// statement (StmtSortArray).
// Hazards: subscripts are not checked against the bounds: a position reaches whatever
// lies there in the type's store (arrays of one type are packed one after another);
// element positions wrap in 32 bits (the position arithmetic is 32-bit).
#include <string>
#include <utility>
#include <vector>

#include "interp/handlers.h"
#include "interp/stores.h"
#include "interp/value_ops.h"
#include "interp/state.h"

namespace tavrin {

namespace {

[[noreturn, gnu::cold]] void badArrayNumber(uint16_t array, int highest) {
  raiseByteCode("array number " + std::to_string(array) + " (0 to " + std::to_string(highest) + ")");
}
[[noreturn, gnu::cold]] void notDimensioned(const char* what, uint16_t array) {
  raise(ErrorNumber::AccessViolation, std::string(what) + " " + std::to_string(array) + " is not dimensioned");
}
[[noreturn, gnu::cold]] void badSubscriptCount(unsigned n) {
  raiseByteCode("a subscript list of " + std::to_string(n) + " (1 to 5)");
}

inline unsigned subscriptCount(State& s) {
  const unsigned n = s.code.u8();
  if (n < 1 || n > kDimensions) [[unlikely]]
    badSubscriptCount(n);
  return n;
}

const ArrayDescriptor kNoArray{};

}  // namespace

const ArrayDescriptor& arrayDescriptor(State& s, ValueType type, uint16_t array) {
  if (type == ValueType::Variant) return variantArrayDescriptor(s, array);
  if (uint8_t(type) > uint8_t(ValueType::FixedString)) return kNoArray;
  if (array >= kArrayNumbers) [[unlikely]]
    badArrayNumber(array, kArrayNumbers - 1);
  return s.stores.descriptors[size_t(type)][array];
}

const ArrayDescriptor& variantArrayDescriptor(State& s, uint16_t array) {
  if (array >= kVariantArrayNumbers) [[unlikely]]
    badArrayNumber(array, kVariantArrayNumbers - 1);
  const auto& d = s.stores.variantArrays[array];
  if (!d) [[unlikely]]
    notDimensioned("variant array", array);
  return *d;
}

const ArrayDescriptor& recordArrayDescriptor(State& s, uint16_t array) {
  if (array >= kVariantArrayNumbers) [[unlikely]]
    badArrayNumber(array, kVariantArrayNumbers - 1);
  const auto& d = s.stores.recordArrays[array];
  if (!d) [[unlikely]]
    notDimensioned("record array", array);
  return *d;
}

// offset = sum of (s_i + bias_i) * span_(i+1), then + s_last + bias_last; subscripts
// truncated toward zero. The descriptor is read as the subscripts are evaluated.
int64_t elementOffsetFromCode(State& s, const ArrayDescriptor& d) {
  const unsigned n = subscriptCount(s);
  uint32_t offset = 0;
  for (unsigned i = 0; i + 1 < n; ++i) offset += subscriptOffset(d, i, evaluateInt(s));
  offset += lastSubscriptOffset(d, n - 1, evaluateInt(s));
  return int32_t(offset);
}

double elementNumberFromCode(State& s, const ArrayDescriptor& d) {
  const unsigned n = subscriptCount(s);
  double number = d.base;
  for (unsigned i = 0; i + 1 < n; ++i) {
    const double sub = evaluateNumber(s);
    number += (sub + d.bias[i]) * double(d.span[i + 1]);
  }
  const double sub = evaluateNumber(s);
  return number + sub + d.bias[n - 1];
}

int32_t variantElementNumber(State& s, uint16_t array) {
  return truncateToInt(elementNumberFromCode(s, variantArrayDescriptor(s, array)));
}

int32_t recordElementNumber(State& s, uint16_t array) {
  return truncateToInt(elementNumberFromCode(s, recordArrayDescriptor(s, array)));
}

int64_t elementPosition(State& s, ValueType type, uint16_t array) {
  const ArrayDescriptor& d = arrayDescriptor(s, type, array);
  const int64_t offset = elementOffsetFromCode(s, d);
  const uint32_t width = isNumericType(type) ? uint32_t(widthOf(type)) : 1u;
  return positionOf(d, uint32_t(offset), width);
}

void readElementAt(State& s, EvalStack& e, ValueType type, int64_t at) {
  Stores& st = s.stores;
  if (isNumericType(type)) {
    e.pushNumber(readNumeric(st.arrayBytes[size_t(type)], type, at));
    return;
  }
  switch (type) {
    case ValueType::String:
      if (at >= 0 && at < int64_t(st.arrayStrings.size())) e.pushText(st.arrayStrings[size_t(at)]);
      else e.pushTextSlot().clear();  // an element that does not exist reads empty
      return;
    case ValueType::FixedString:
      if (at < 0 || at >= int64_t(st.arrayFixed.size())) [[unlikely]]
        listIndexError(at);
      readFixed(st.arrayFixed[size_t(at)], e.pushTextSlot());
      return;
    case ValueType::Variant:
      if (at < 0) [[unlikely]]
        listIndexError(at);
      readVariantCell(s, e, uint32_t(at));
      return;
    default: return;
  }
}

void storeElementAt(State& s, ValueType type, int64_t at, bool isText, double num, const std::string& text) {
  Stores& st = s.stores;
  if (isNumericType(type)) return writeNumeric(st.arrayBytes[size_t(type)], type, at, num);
  switch (type) {
    case ValueType::String:
      if (at < 0) [[unlikely]]
        listIndexError(at);
      if (at >= int64_t(st.arrayStrings.size())) {
        // This store is guarded: empty strings are appended until the item exists.
        if (at >= kMaxListItems) [[unlikely]]
          listLimit(at + 1);
        st.arrayStrings.resize(size_t(at) + 1);
      }
      st.arrayStrings[size_t(at)] = text;
      return;
    case ValueType::FixedString:
      if (at < 0 || at >= int64_t(st.arrayFixed.size())) [[unlikely]]
        listIndexError(at);
      storeFixed(st.arrayFixed[size_t(at)], text);
      return;
    case ValueType::Variant:
      if (at < 0) [[unlikely]]
        listIndexError(at);
      storeVariantCell(s, uint32_t(at), isText, num, text);
      return;
    default: return;
  }
}

void readArrayElement(State& s, EvalStack& e, ValueType type, uint16_t array) {
  const int64_t at = elementPosition(s, type, array);
  readElementAt(s, e, type, at);
}

void storeArrayElement(State& s, ValueType type, uint16_t array, bool isText, double num, const std::string& text) {
  const int64_t at = elementPosition(s, type, array);
  storeElementAt(s, type, at, isText, num, text);
}

void evalOpArrayElement(State& s, EvalStack& e) {
  const auto type = ValueType(s.code.u8());
  const uint16_t array = s.code.u16();
  readArrayElement(s, e, type, array);
}

void execStmtAssignArrayElement(State& s) {
  const auto type = ValueType(s.code.u8());
  const uint16_t array = s.code.u16();
  const int64_t at = elementPosition(s, type, array);
  const bool text = evaluate(s);
  storeElementAt(s, type, at, text, s.resultNum, s.resultStr);
}

// --- Sorting ----------------------------------------------------------------------------

namespace {

// A hole-filling quicksort, kept for the order it leaves equal keys in: the first element is the pivot and leaves a hole; from
// the right the first element that belongs before the pivot fills the hole, from the left
// the first that belongs after it fills the new one, until the scans meet; the pivot goes
// into the last hole. The larger side is looped on, so the host stack stays shallow.
// `a` gives take(k) (the value, leaving a hole), put(k, v) and before(x, y) on values.
// Equal or ordered runs make it quadratic (100000 equal texts take seconds), so under a step
// budget a sort is charged one statement per 1024 elements its partitions scan; the charge
// comes before a partition takes its pivot out, so an exhausted budget leaves no hole.
struct SortMeter {
  State& s;
  int64_t scanned = 0;
  void charge(int64_t n) {
    if (!s.stepLimit) return;
    scanned += n;
    s.steps += uint64_t(scanned >> 10);
    scanned &= 1023;
    if (s.steps > s.stepLimit) [[unlikely]]
      raiseLimit(ErrorNumber::Unhandled, "step budget of " + std::to_string(s.stepLimit) + " statements exhausted");
  }
};

template <class Seq>
void quicksort(Seq& a, int64_t lo, int64_t hi, SortMeter& meter) {
  while (lo < hi) {
    meter.charge(hi - lo + 1);
    auto pivot = a.take(lo);
    int64_t i = lo, j = hi;
    while (i < j) {
      while (i < j && !a.before(a.at(j), pivot)) --j;
      if (i < j) a.put(i++, a.take(j));
      while (i < j && !a.before(pivot, a.at(i))) ++i;
      if (i < j) a.put(j--, a.take(i));
    }
    a.put(i, std::move(pivot));
    if (i - lo < hi - i) {
      quicksort(a, lo, i - 1, meter);
      lo = i + 1;
    } else {
      quicksort(a, i + 1, hi, meter);
      hi = i - 1;
    }
  }
}

// Numeric elements in place in their store: values widen exactly, so they narrow back
// unchanged.
struct NumericRun {
  ByteStore& b;
  ValueType type;
  int64_t first;
  int width;
  bool descending;
  double at(int64_t k) const { return readNumeric(b, type, first + k * width); }
  double take(int64_t k) const { return at(k); }
  void put(int64_t k, double v) { writeNumeric(b, type, first + k * width, v); }
  bool before(double x, double y) const { return descending ? x > y : x < y; }
};

template <class T, class Key>
struct ListRun {
  std::vector<T>& list;
  int64_t first;
  bool descending;
  Key key;
  const T& at(int64_t k) const { return list[size_t(first + k)]; }
  T take(int64_t k) { return std::move(list[size_t(first + k)]); }
  void put(int64_t k, T&& v) { list[size_t(first + k)] = std::move(v); }
  bool before(const T& x, const T& y) const {
    const int c = compareText(key(x), key(y));
    return descending ? c > 0 : c < 0;
  }
};
template <class T, class Key>
ListRun(std::vector<T>&, int64_t, bool, Key) -> ListRun<T, Key>;

[[noreturn, gnu::cold]] void sortOutside() {
  raise(ErrorNumber::RangeCheck, "the sort range lies outside the array store");
}

// Sorts the elements from position `first` to `last` inclusive of the type's array store.
// Positions outside the store are refused rather than read as zeros and written back.
void sortRange(State& s, ValueType type, int64_t first, int64_t last, bool descending) {
  if (first >= last) return;
  Stores& st = s.stores;
  SortMeter meter{s};
  if (isNumericType(type)) {
    ByteStore& b = st.arrayBytes[size_t(type)];
    const int width = widthOf(type);
    if (first < 0 || last + width > int64_t(b.size())) [[unlikely]]
      sortOutside();
    NumericRun run{b, type, first, width, descending};
    quicksort(run, 0, (last - first) / width, meter);
  } else if (type == ValueType::String) {
    if (first < 0 || last >= int64_t(st.arrayStrings.size())) [[unlikely]]
      sortOutside();
    ListRun run{st.arrayStrings, first, descending, [](const std::string& x) -> const std::string& { return x; }};
    quicksort(run, 0, last - first, meter);
  } else if (type == ValueType::FixedString) {
    if (first < 0 || last >= int64_t(st.arrayFixed.size())) [[unlikely]]
      sortOutside();
    ListRun run{st.arrayFixed, first, descending, [](const TFixString& x) -> const std::string& { return x.text; }};
    quicksort(run, 0, last - first, meter);
  }
}

}  // namespace

void execStmtSortArray(State& s) {
  const auto type = ValueType(s.code.u8());
  const uint16_t array = s.code.u16();
  const int64_t first = elementPosition(s, type, array);
  const auto lastType = ValueType(s.code.u8());
  const uint16_t lastArray = s.code.u16();
  const int64_t last = elementPosition(s, lastType, lastArray);
  const bool descending = evaluateInt(s) != 0;
  sortRange(s, type, first, last, descending);
}

}  // namespace tavrin
