// Helpers shared by the built-in functions and the core statements: argument reading,
// the run's conversion settings, and the text/number conversions they all use.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "interp/compiled.h"
#include "interp/convert.h"
#include "interp/evaluator.h"
#include "interp/value_ops.h"
#include "runtime/host_stack.h"
#include "runtime/memory_limit.h"
#include "interp/state.h"

namespace tavrin {

// An argument expression's number (0 when it is a text).
inline double argNumber(State& s) {
  evaluate(s);
  return s.resultNum;
}
inline int32_t argRound(State& s) { return roundToInt(argNumber(s)); }
inline int32_t argTrunc(State& s) { return truncateToInt(argNumber(s)); }
// An argument expression's text, into `out` (empty when it is a number).
inline void argText(State& s, std::string& out) {
  double ignored;
  evaluate(s, ignored, out);
}

// ---- text arguments read in place ----
// A text argument that is a lone global String variable is read as a view of the variable
// instead of a copy. The view stays valid only while no program code runs: an argument
// after it that calls a function could change (or re-size) the variable, so before such an
// argument the held text is copied into its storage (`keep`), and the built-in sees the
// variable as it was when its argument was read, as with a copy made at once.

// The argument at the code position: the host stack checked, its decoded form looked up
// (nullptr when it has none).
inline const CompiledExpression* nextArgument(State& s) {
  checkHostStack();
  return compiledCache(s).expression(s.code.position());
}
// True when evaluating the argument runs no program code: decoded numbers without calls,
// or a lone String variable.
inline bool runsNoCode(const CompiledExpression* x) {
  return x && !x->callsCode && (x->form == ExpressionForm::Number || x->form == ExpressionForm::TextVariable);
}

class TextArgument {
public:
  // `storage` receives the argument's text whenever it is not a view of a variable.
  explicit TextArgument(std::string& storage) : m_storage(storage) {}
  TextArgument(const TextArgument&) = delete;
  TextArgument& operator=(const TextArgument&) = delete;

  // Evaluates the argument whose decoded form `x` nextArgument gave; true when it is a
  // text (then text() is it, else number() and the empty text).
  bool read(State& s, const CompiledExpression* x) {
    if (x && x->form == ExpressionForm::TextVariable) {
      const auto& strings = s.stores.strings;
      if (x->variable >= strings.size()) [[unlikely]]
        listIndexError(x->variable);
      m_text = strings[x->variable];
      m_number = 0.0;
      s.code.seek(x->end);
      return true;
    }
    m_storage.clear();
    m_number = 0.0;
    const bool text = evaluateDecoded(s, x, m_number, m_storage);
    m_text = m_storage;
    return text;
  }
  bool read(State& s) { return read(s, nextArgument(s)); }

  std::string_view text() const { return m_text; }
  double number() const { return m_number; }
  // True when the text is in the storage (not a view of a variable).
  bool inStorage() const { return m_text.data() == m_storage.data(); }
  // Copies a viewed text into the storage.
  void keep() {
    if (!inStorage()) {
      m_storage.assign(m_text.data(), m_text.size());
      m_text = m_storage;
    }
  }

private:
  std::string& m_storage;
  std::string_view m_text;
  double m_number = 0.0;
};

// Before the argument at the code position: the held views are copied when it may run code.
template <class... Held>
inline const CompiledExpression* nextArgumentAfter(State& s, Held&... held) {
  const CompiledExpression* x = nextArgument(s);
  if (!runsNoCode(x)) (held.keep(), ...);
  return x;
}
// argNumber and argRound for an argument after held text arguments.
template <class... Held>
inline double argNumberAfter(State& s, Held&... held) {
  const CompiledExpression* x = nextArgumentAfter(s, held...);
  s.resultStr.clear();
  s.resultNum = 0.0;
  evaluateDecoded(s, x, s.resultNum, s.resultStr);
  return s.resultNum;
}
template <class... Held>
inline int32_t argRoundAfter(State& s, Held&... held) {
  return roundToInt(argNumberAfter(s, held...));
}

// The conversion settings of the run: the program's decimal separator.
inline convert::FormatSettings formatSettings(const State& s) {
  convert::FormatSettings f;
  f.decimalSeparator = s.core.decimalSeparator;
  return f;
}

// The lenient number parser; a taken text that is no number (a lone sign) raises the
// conversion error, as StrToFloat does.
double lenientToNumber(const State& s, std::string_view text);
// StrToFloat; the conversion error when the text is not a number.
double strictToNumber(const State& s, std::string_view text);
[[noreturn, gnu::cold]] void raiseNotANumber(std::string_view text);

// NumberToText: FloatToStrF general, precision 9, 4 exponent digits.
std::string numberToText(const State& s, double v);

// A whole number in 32 bits as its decimal text; anything else as FloatToStr gives it.
// (StmtWriteStdout and the data items.)
std::string wholeOrFloatText(const State& s, double v);

}  // namespace tavrin
