// Scalar variables (global and local), variant cells, and their operands and assignments:
// evaluator tags 1 and 42, statements StmtAssignGlobal and StmtAssignLocal.
// Hazards: the variable's type, not the result's kind, picks the result register (a
// number stored into a String variable stores the empty text); variants are global only.
#include <string>

#include "interp/convert.h"
#include "interp/handlers.h"
#include "interp/stores.h"
#include "interp/value_ops.h"
#include "interp/state.h"

namespace tavrin {

void listIndexError(int64_t index) {
  raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(index) + ")");
}

void listLimit(int64_t items) {
  raiseLimit(ErrorNumber::HeapOverflow, "Heap overflow: a list of " + std::to_string(items) + " items");
}

void noLocalFrame() { listIndexError(-1); }

namespace {

// The LocalFrame of the current call level; the main program has none.
LocalFrame& currentFrame(State& s) { return tavrin::currentFrame(s.stores, s.calls.level); }

template <class T>
T& item(std::vector<T>& list, int64_t n) {
  if (n < 0 || n >= int64_t(list.size())) [[unlikely]]
    listIndexError(n);
  return list[size_t(n)];
}

struct ScalarPlace {
  ByteStore* numbers;
  std::vector<std::string>* strings;
  std::vector<TFixString>* fixed;
};

ScalarPlace place(State& s, bool global, ValueType type) {
  if (global) {
    Stores& st = s.stores;
    return {&st.scalars[size_t(type) & 7], &st.strings, &st.fixed};
  }
  LocalFrame& f = currentFrame(s);
  return {&f.numbers[size_t(type) & 7], &f.strings, &f.fixed};
}

}  // namespace

double readNumber(State& s, bool global, ValueType type, uint16_t n) {
  if (!isNumericType(type)) return 0.0;
  const ByteStore& b = global ? s.stores.scalars[size_t(type)] : currentFrame(s).numbers[size_t(type)];
  return readNumeric(b, type, int64_t(n) * widthOf(type));
}

void storeNumber(State& s, bool global, ValueType type, uint16_t n, double v) {
  if (!isNumericType(type)) return;
  ByteStore& b = global ? s.stores.scalars[size_t(type)] : currentFrame(s).numbers[size_t(type)];
  writeNumeric(b, type, int64_t(n) * widthOf(type), v);
}

void pushVariable(State& s, EvalStack& e, ValueType type, uint16_t n, bool global) {
  if (isNumericType(type)) {
    e.pushNumber(readNumber(s, global, type, n));
    return;
  }
  switch (type) {
    case ValueType::String: {
      ScalarPlace p = place(s, global, type);
      e.pushText(item(*p.strings, n));
      return;
    }
    case ValueType::FixedString: {
      ScalarPlace p = place(s, global, type);
      readFixed(item(*p.fixed, n), e.pushTextSlot());
      return;
    }
    case ValueType::Variant:
      if (global) readVariantCell(s, e, n);
      return;  // there are no local variants: a local of type 9 pushes nothing
    default: return;
  }
}

void storeVariable(State& s, ValueType type, uint16_t n, bool global, bool isText, double num,
                   const std::string& text) {
  if (isNumericType(type)) return storeNumber(s, global, type, n, num);
  switch (type) {
    case ValueType::String: item(*place(s, global, type).strings, n) = text; return;
    case ValueType::FixedString: storeFixed(item(*place(s, global, type).fixed, n), text); return;
    case ValueType::Variant:
      if (global) storeVariantCell(s, n, isText, num, text);
      return;
    default: return;
  }
}

void readVariantCell(State& s, EvalStack& e, uint32_t cell) {
  const VariantCell& c = item(s.stores.cells, cell);
  convert::FormatSettings settings;
  settings.decimalSeparator = s.core.decimalSeparator;
  if (c.kind == VariantKind::Text) {
    if (e.mode == 1) {
      e.pushText(c.text);
      return;
    }
    double v = 0.0;
    if (!convert::lenientNumber(c.text, v, settings)) [[unlikely]]
      raise(ErrorNumber::InvalidNumber, "'" + c.text + "' is not a valid floating point value");
    e.pushNumber(v);
    return;
  }
  // Integer and Real (every kind but Text reads as a number).
  const double v = c.kind == VariantKind::Integer ? double(c.integer) : c.real;
  if (e.mode == 0 || e.strCount == 0) {
    e.pushNumber(v);
    return;
  }
  e.pushTextSlot() = c.kind == VariantKind::Integer ? std::to_string(c.integer) : convert::floatToStr(v, settings);
}

void storeVariantCell(State& s, uint32_t cell, bool isText, double num, const std::string& text) {
  VariantCell& c = item(s.stores.cells, cell);
  if (isText) {
    c.kind = VariantKind::Text;
    c.text = text;
  } else if (num - std::trunc(num) != 0.0) {
    c.kind = VariantKind::Real;
    c.real = num;
  } else {
    c.integer = truncateToInt(num);
    c.kind = VariantKind::Integer;
  }
}

// --- Operands and statements ------------------------------------------------------------

void evalOpGlobal(State& s, EvalStack& e) {
  const auto type = ValueType(s.code.u8());
  const uint16_t n = s.code.u16();
  pushVariable(s, e, type, n, true);
}

void evalOpLocal(State& s, EvalStack& e) {
  const auto type = ValueType(s.code.u8());
  const uint16_t n = s.code.u16();
  pushVariable(s, e, type, n, false);
}

void execStmtAssignGlobal(State& s) {
  const auto type = ValueType(s.code.u8());
  const uint16_t n = s.code.u16();
  const bool text = evaluate(s);
  if (type == ValueType::String) {  // what storeVariable does for it, without the dispatch
    // The text moves into the variable and the register keeps the variable's old buffer:
    // every evaluation clears the register first, so nothing reads what is left there.
    item(s.stores.strings, n).swap(s.resultStr);
    return;
  }
  storeVariable(s, type, n, true, text, s.resultNum, s.resultStr);
}

void execStmtAssignLocal(State& s) {
  const auto type = ValueType(s.code.u8());
  const uint16_t n = s.code.u16();
  const bool text = evaluate(s);
  storeVariable(s, type, n, false, text, s.resultNum, s.resultStr);
}

}  // namespace tavrin
