// Number/text conversions with the Pascal run time's results:
// FloatToStr, FloatToStrF, Str(x:w:d), StrToFloat, Format and the lenient number parser.
// Locale-independent: every function takes the separators it uses; digits are rounded once
// from the exact binary value, ties away from zero, at most 18 significant digits.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tavrin::convert {

// The run time's number layout. Programs can change the decimal separator while they run.
struct FormatSettings {
  char decimalSeparator = '.';
  char thousandSeparator = ',';  // '\0' writes none
  std::string currencyString = "$";
  uint8_t currencyFormat = 0;          // 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
  uint8_t negCurrFormat = 0;           // 0 "($1)" ... 15 "(1 $)", the Windows numbering
  uint8_t currencyDecimals = 2;        // default decimals of Format's %m
};

// TFloatFormat, numbered as the byte code passes it to FormatNumber.
enum class FloatFormat : int { General = 0, Exponent = 1, Fixed = 2, Number = 3, Currency = 4 };

// A value rounded to decimal digits: value = 0.d1d2...dn * 10^exponent (TFloatRec).
// A value that rounds to zero has no digits, exponent 0 and is never negative.
struct DecimalDigits {
  enum class Kind : uint8_t { Finite, NaN, PosInf, NegInf };
  Kind kind = Kind::Finite;
  bool negative = false;
  uint8_t count = 0;     // 0..18
  int exponent = 0;
  char digits[20] = {};  // ASCII '0'..'9', no trailing zeros
};

inline constexpr int kMaxPrecision = 18;
inline constexpr int kNoDecimals = 9999;  // round to `precision` significant digits only

// FloatToDecimal: rounds |value| to at most `precision` (1..18) significant digits and at most
// `decimals` digits after the decimal point, once from the exact value, ties away from zero.
DecimalDigits toDecimal(double value, int precision, int decimals);

// FloatToStr: general format, 15 significant digits.
std::string floatToStr(double value, const FormatSettings& settings);
inline std::string floatToStr(double value) { return floatToStr(value, FormatSettings{}); }

// FloatToStrF. `format` values outside 0..4 are written in the general format. Precision is
// clamped to 2..18; digits to 0..4 for the exponent of the general and exponent formats and to
// 0..18 decimals for fixed, number and currency.
std::string floatToStrF(double value, int format, int precision, int digits,
                        const FormatSettings& settings);

// Str(value:width:decimals): fixed notation, right-aligned in a field of at least `width`
// characters; at most 18 significant digits, the rest written as zeros. A negative value keeps
// its sign even when it rounds to zero. `decimals` is clamped to 0..255.
std::string formatFloatFixed(double value, int width, int decimals, char decimalSeparator = '.');

enum class NumberParse : uint8_t { Ok, Invalid, Overflow };

// StrToFloat: blanks around, a sign, digits with at most one separator, an optional exponent.
// Overflow is a valid text whose value exceeds the double range (out is then +-infinity).
NumberParse parseFloat(std::string_view text, double& out, char decimalSeparator);
inline bool strToFloat(std::string_view text, double& out, const FormatSettings& settings) {
  return parseFloat(text, out, settings.decimalSeparator) == NumberParse::Ok;
}

// The evaluator's lenient number parser: takes the numeric prefix of the text (blanks skipped)
// and converts it with StrToFloat. Nothing taken gives 0 and true; false means the taken text
// is not a number (a lone sign, "1e"): the caller raises the invalid-number error.
// The characters the lenient parser takes from the text, written to `out` (which holds at
// least text.size() bytes); returns their count.
size_t lenientTake(std::string_view text, char separator, char* out);
bool lenientNumber(std::string_view text, double& out, const FormatSettings& settings);

// One argument of Format: an integer, a real or a text.
struct FormatArg {
  enum class Kind : uint8_t { Integer, Real, Text };
  Kind kind;
  int64_t integer = 0;
  double real = 0;
  std::string_view text;

  static FormatArg ofInteger(int64_t v) { return {Kind::Integer, v, 0, {}}; }
  static FormatArg ofReal(double v) { return {Kind::Real, 0, v, {}}; }
  static FormatArg ofText(std::string_view v) { return {Kind::Text, 0, 0, v}; }
};

enum class FormatStatus : uint8_t {
  Ok,
  BadFormat,     // unknown specifier letter, or the text ends inside a specifier
  NoArgument,    // an argument index past the last argument
  WrongKind,     // %d/%u/%x/%p/* need an integer, %e/%f/%g/%n/%m a real, %s a text
};

// Format: %[index:][-][width][.precision]type with type d u e f g m n p s x, '*' for index,
// width or precision, "%%" a percent sign. On failure `out` holds what was written so far.
FormatStatus formatText(std::string_view format, std::span<const FormatArg> args,
                        const FormatSettings& settings, std::string& out);
// The platform's message for a failed Format, naming the specifier text.
std::string formatErrorMessage(FormatStatus status, std::string_view format);

// Integer texts: the plain decimal form, and upper-case hexadecimal with at least `width`
// digits (the low 32 bits for a negative value).
std::string intToStr(int64_t value);
std::string hexText(uint64_t value, int width);

}  // namespace tavrin::convert
