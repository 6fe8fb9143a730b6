// Helpers shared by the built-in functions and the core statements: argument reading,
// the run's conversion settings, and the text/number conversions they all use.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "interp/convert.h"
#include "interp/evaluator.h"
#include "runtime/state.h"

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

// Built-in results that must not be absurdly large (RepeatChar, Blanks).
inline constexpr int64_t kMaxBuiltText = int64_t(1) << 28;

}  // namespace tavrin
