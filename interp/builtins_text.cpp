// Built-in functions on texts: pieces, finds, case, blanks, number texts, bases, formats.
// Positions count from 1 and follow the Pascal string routines (Copy clamps a
// start below 1 to 1 without shortening the count; Delete ignores starts outside the text;
// Insert clamps the position into 1..length + 1).
#include <algorithm>
#include <cmath>
#include <vector>

#include "interp/builtins_util.h"
#include "interp/handlers.h"
#include "interp/text_pieces.h"

namespace tavrin {

// ---- conversions shared with the statements ----

void raiseNotANumber(std::string_view text) {
  raise(ErrorNumber::Unhandled, "'" + std::string(text) + "' is not a valid floating point value");
}

namespace {
// The text the lenient parser takes (blanks skipped), for the error message.
std::string lenientTaken(std::string_view text, char separator) {
  std::string taken(text.size(), '\0');
  taken.resize(convert::lenientTake(text, separator, taken.data()));
  return taken;
}
}  // namespace

double lenientToNumber(const State& s, std::string_view text) {
  double v = 0.0;
  if (!convert::lenientNumber(text, v, formatSettings(s))) [[unlikely]]
    raiseNotANumber(lenientTaken(text, s.core.decimalSeparator));
  return v;
}

double strictToNumber(const State& s, std::string_view text) {
  double v = 0.0;
  if (convert::parseFloat(text, v, s.core.decimalSeparator) != convert::NumberParse::Ok) raiseNotANumber(text);
  return v;
}

std::string numberToText(const State& s, double v) {
  // A whole number of at most nine digits is written as its digits, which is what the
  // general format with nine digits of precision writes for it (negative zero is left to
  // the general format).
  if (v > -1e9 && v < 1e9 && v == std::trunc(v) && (v != 0.0 || !std::signbit(v))) return convert::intToStr(int64_t(v));
  return convert::floatToStrF(v, int(convert::FloatFormat::General), 9, 4, formatSettings(s));
}

std::string wholeOrFloatText(const State& s, double v) {
  if (v - std::trunc(v) == 0.0 && v > -2147483649.0 && v < 2147483648.0) return convert::intToStr(int64_t(v));
  return convert::floatToStr(v, formatSettings(s));
}

namespace {

void deleteIn(std::string& t, int64_t start, int64_t count) {
  if (start < 1 || start > int64_t(t.size()) || count <= 0) return;
  t.erase(size_t(start - 1), size_t(std::min<int64_t>(count, int64_t(t.size()) - start + 1)));
}

void insertInto(std::string& t, std::string_view source, int64_t position) {
  position = std::clamp<int64_t>(position, 1, int64_t(t.size()) + 1);
  roomToGrow(t, int64_t(t.size() + source.size()));
  t.insert(size_t(position - 1), source);
}

// Pos from a start (1-based); 0 when not found or the needle is empty.
int64_t findFrom(std::string_view hay, std::string_view needle, int64_t start) {
  if (needle.empty() || start < 1 || start > int64_t(hay.size())) return 0;
  size_t at = hay.find(needle, size_t(start - 1));
  return at == std::string_view::npos ? 0 : int64_t(at) + 1;
}

std::string& textArgSlot(State& s, EvalStack& e) {
  std::string& slot = e.pushTextSlot();
  argText(s, slot);
  return slot;
}

// The digit writer of BinaryText and HexText8: `bits` per digit; width 0 writes the
// significant digits only.
std::string digitsOf(uint32_t v, int bits, int width) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  char buffer[33];
  int n = 0;
  const uint32_t mask = (1u << bits) - 1;
  do {
    buffer[n++] = kDigits[v & mask];
    v >>= bits;
  } while (v && n < 32);
  if (width == 0 && n == 1 && buffer[0] == '0') n = 0;
  while (n < width) buffer[n++] = '0';
  std::string out(size_t(n), '0');
  for (int i = 0; i < n; ++i) out[size_t(i)] = buffer[n - 1 - i];
  return out;
}

// ConvertBase's digits: 0-9, A-Z, a-z, then # $ @ for bases up to 65. Bases up to 36
// read letters in either case and write upper case.
constexpr std::string_view kBaseDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz#$@";
constexpr size_t kMaxBaseDigits = 4096;

int digitValue(char c, int base) {
  if (base <= 36 && c >= 'a' && c <= 'z') c = char(c - 32);
  size_t at = kBaseDigits.find(c);
  return at != std::string_view::npos && int(at) < base ? int(at) : -1;
}

std::string convertBase(std::string_view text, int from, int to) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::vector<uint8_t> digits;  // most significant first
  for (; i < text.size(); ++i) {
    int d = digitValue(text[i], from);
    if (d < 0) break;
    if (digits.empty() && d == 0) continue;
    digits.push_back(uint8_t(d));
    if (digits.size() > kMaxBaseDigits)
      raise(ErrorNumber::RangeCheck, "ConvertBase takes at most " + std::to_string(kMaxBaseDigits) + " digits");
  }
  if (digits.empty()) return "0";
  std::string out;
  while (!digits.empty()) {  // long division by `to`, the remainders are the digits
    uint32_t remainder = 0;
    std::vector<uint8_t> quotient;
    quotient.reserve(digits.size());
    for (uint8_t d : digits) {
      uint32_t cur = remainder * uint32_t(from) + d;
      uint8_t q = uint8_t(cur / uint32_t(to));
      remainder = cur % uint32_t(to);
      if (!quotient.empty() || q) quotient.push_back(q);
    }
    out.push_back(kBaseDigits[remainder]);
    digits.swap(quotient);
  }
  if (negative) out.push_back('-');
  std::reverse(out.begin(), out.end());
  return out;
}

int baseOf(int32_t b) { return int(((int64_t(b) - 2) & 63) + 2); }

// FormatText's arguments: walks the format's specifiers in order and takes, for each, the
// next value of the running call's variable argument tables: numbers for d u x p e f g m n
// and for '*' widths, texts for s.
std::vector<convert::FormatArg> formatArguments(const State& s, std::string_view format) {
  std::vector<convert::FormatArg> args;
  int32_t nextNumber = 1, nextText = 1;
  const CallState& c = s.calls;
  auto number = [&]() -> double {
    return nextNumber <= c.numberArgumentCount && nextNumber <= kVariableArguments ? c.numberArguments[size_t(nextNumber++)] : (nextNumber++, 0.0);
  };
  auto asInteger = [](double v) {
    double r = std::nearbyint(v);
    return r >= -9.2e18 && r <= 9.2e18 ? int64_t(r) : int64_t(0);
  };
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    if (++i >= format.size()) break;
    if (format[i] == '%') continue;
    for (; i < format.size(); ++i) {
      char ch = format[i];
      if (ch == '*') {
        if (nextNumber <= c.numberArgumentCount) args.push_back(convert::FormatArg::ofInteger(asInteger(number())));
        continue;
      }
      if ((ch >= '0' && ch <= '9') || ch == '-' || ch == '.' || ch == ':') continue;
      char t = ch >= 'A' && ch <= 'Z' ? char(ch + 32) : ch;
      if (t == 's') {
        if (nextText <= c.textArgumentCount && nextText <= kVariableArguments)
          args.push_back(convert::FormatArg::ofText(c.textArguments[size_t(nextText++)]));
      } else if (t == 'd' || t == 'u' || t == 'x' || t == 'p') {
        if (nextNumber <= c.numberArgumentCount) args.push_back(convert::FormatArg::ofInteger(asInteger(number())));
      } else if (t == 'e' || t == 'f' || t == 'g' || t == 'm' || t == 'n') {
        if (nextNumber <= c.numberArgumentCount) args.push_back(convert::FormatArg::ofReal(number()));
      }
      break;
    }
  }
  return args;
}

}  // namespace

void fnTextToNumber(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  double v = lenientToNumber(s, t);
  --e.strCount;
  e.pushNumber(v);
}

void fnNumberToText(State& s, EvalStack& e) { e.pushTextSlot() = numberToText(s, argNumber(s)); }

void fnLeftText(State& s, EvalStack& e) {
  std::string& t = e.pushTextSlot();
  TextArgument text(t);
  text.read(s);
  const int32_t n = argRoundAfter(s, text);  // before the text is looked at: it may move
  const std::string_view piece = leftPiece(text.text(), n);
  if (text.inStorage()) t.resize(piece.size());
  else t.assign(piece.data(), piece.size());
}

void fnRightText(State& s, EvalStack& e) {
  std::string& t = e.pushTextSlot();
  TextArgument text(t);
  text.read(s);
  const int32_t n = argRoundAfter(s, text);  // before the text is looked at: it may move
  const std::string_view piece = rightPiece(text.text(), n);
  if (text.inStorage()) t.erase(0, t.size() - piece.size());
  else t.assign(piece.data(), piece.size());
}

void fnMidText(State& s, EvalStack& e) {
  std::string& t = e.pushTextSlot();
  TextArgument text(t);
  text.read(s);
  int32_t start = argRoundAfter(s, text);
  int32_t count = argRoundAfter(s, text);
  std::string_view piece = midPiece(text.text(), start, count);
  if (text.inStorage()) t.assign(std::string(piece));  // the piece lies in t itself
  else t.assign(piece.data(), piece.size());
}

void fnCharOfCode(State& s, EvalStack& e) {
  char c = char(uint8_t(argRound(s)));
  e.pushTextSlot().assign(1, c);
}

void fnCodeOfChar(State& s, EvalStack& e) {
  argText(s, s.resultStr);
  e.pushNumber(s.resultStr.empty() ? 0.0 : double(uint8_t(s.resultStr[0])));
}

void fnTextLength(State& s, EvalStack& e) {
  argText(s, s.resultStr);
  e.pushNumber(double(s.resultStr.size()));
}

void fnUpperText(State& s, EvalStack& e) {
  for (char& c : textArgSlot(s, e))
    if (c >= 'a' && c <= 'z') c = char(c - 32);
}

void fnLowerText(State& s, EvalStack& e) {
  for (char& c : textArgSlot(s, e))
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
}

void fnTrimLeftText(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  size_t n = 0;
  while (n < t.size() && t[n] == ' ') ++n;
  t.erase(0, n);
}

void fnTrimRightText(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  while (!t.empty() && t.back() == ' ') t.pop_back();
}

void fnFindText(State& s, EvalStack& e) {
  std::string sa, sb, sc;
  TextArgument a(sa), b(sb), c(sc);
  a.read(s);
  b.read(s, nextArgumentAfter(s, a));
  const bool textThird = c.read(s, nextArgumentAfter(s, a, b));
  int64_t at;
  if (textThird) {
    int32_t start = roundToInt(a.number());
    at = findFrom(b.text(), c.text(), start == 0 ? 1 : start);
  } else {
    at = findFrom(a.text(), b.text(), 1);
  }
  e.pushNumber(double(at));
}

void fnFindLastText(State& s, EvalStack& e) {
  std::string sa, sb, sc;
  TextArgument a(sa), b(sb), c(sc);
  a.read(s);
  b.read(s, nextArgumentAfter(s, a));
  const bool textThird = c.read(s, nextArgumentAfter(s, a, b));
  std::string_view hay = a.text(), needle = b.text();
  if (textThird) {
    int32_t start = roundToInt(a.number());
    if (start < 1) start = 1;
    hay = b.text().substr(0, std::min(b.text().size(), size_t(start)));
    needle = c.text();
  }
  int64_t at = 0;
  if (!needle.empty() && needle.size() <= hay.size()) {
    size_t p = hay.rfind(needle);
    at = p == std::string_view::npos ? 0 : int64_t(p) + 1;
  }
  e.pushNumber(double(at));
}

void fnRepeatChar(State& s, EvalStack& e) {
  int32_t n = argRound(s);
  double code;
  std::string text;
  char c = evaluate(s, code, text) ? (text.empty() ? '\0' : text[0]) : char(uint8_t(roundToInt(code)));
  roomForText(n);
  e.pushTextSlot().assign(size_t(std::max(n, 0)), c);
}

void fnBlanks(State& s, EvalStack& e) {
  int32_t n = argRound(s);
  roomForText(n);
  e.pushTextSlot().assign(size_t(std::max(n, 0)), ' ');
}

void fnHexText8(State& s, EvalStack& e) { e.pushTextSlot() = digitsOf(uint32_t(argRound(s)), 4, 8); }

void fnBinaryText(State& s, EvalStack& e) { e.pushTextSlot() = digitsOf(uint32_t(argRound(s)), 1, 0); }

void fnDeleteText(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  int32_t start = argRound(s);
  int32_t count = argRound(s);
  deleteIn(t, start, count);
}

void fnInsertText(State& s, EvalStack& e) {
  std::string source;
  argText(s, source);
  std::string& t = textArgSlot(s, e);
  insertInto(t, source, argRound(s));
}

void fnReplaceAtText(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  std::string source;
  argText(s, source);
  int32_t position = argRound(s);
  deleteIn(t, position, int64_t(source.size()));
  insertInto(t, source, position);
}

void fnConvertBase(State& s, EvalStack& e) {
  double v;
  std::string digits;
  if (!evaluate(s, v, digits)) digits = wholeOrFloatText(s, v);
  int from = baseOf(argRound(s));
  int to = baseOf(argRound(s));
  e.pushTextSlot() = convertBase(digits, from, to);
}

void fnFieldOfText(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  std::string delimiter;
  argText(s, delimiter);
  int32_t n = argRound(s);
  if (n < 1) {
    t.clear();
    return;
  }
  size_t begin = 0;
  for (int32_t field = 1; field < n; ++field) {
    size_t at = delimiter.empty() ? std::string::npos : t.find(delimiter, begin);
    if (at == std::string::npos) {
      t.clear();
      return;
    }
    begin = at + delimiter.size();
  }
  size_t end = delimiter.empty() ? std::string::npos : t.find(delimiter, begin);
  t = t.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

void fnCountOccurrences(State& s, EvalStack& e) {
  std::string textStorage, patternStorage;
  TextArgument textArgument(textStorage), patternArgument(patternStorage);
  textArgument.read(s);
  patternArgument.read(s, nextArgumentAfter(s, textArgument));
  const std::string_view text = textArgument.text(), pattern = patternArgument.text();
  int64_t count = 0;
  if (!pattern.empty())
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + pattern.size())) ++count;
  e.pushNumber(double(count));
}

void fnReplaceAllText(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  std::string from, to;
  argText(s, from);
  argText(s, to);
  if (from.empty()) return;
  std::string out;
  size_t begin = 0;
  for (size_t at = t.find(from); at != std::string::npos; at = t.find(from, begin)) {
    out.append(t, begin, at - begin);
    roomToGrow(out, int64_t(out.size() + to.size()));
    out += to;
    begin = at + from.size();
  }
  if (begin == 0) return;
  out.append(t, begin, std::string::npos);
  t.swap(out);
}

void fnFormatNumber(State& s, EvalStack& e) {
  double x = argNumber(s);
  int32_t format = argTrunc(s);
  int32_t precision = argTrunc(s);
  int32_t digits = argTrunc(s);
  e.pushTextSlot() = convert::floatToStrF(x, format, precision, digits, formatSettings(s));
}

void fnReverseText(State& s, EvalStack& e) {
  std::string& t = textArgSlot(s, e);
  std::reverse(t.begin(), t.end());
}

void fnFormatText(State& s, EvalStack& e) {
  std::string format;
  argText(s, format);
  std::vector<convert::FormatArg> args = formatArguments(s, format);
  std::string& out = e.pushTextSlot();
  convert::FormatStatus status = convert::formatText(format, args, formatSettings(s), out);
  if (status != convert::FormatStatus::Ok) raise(ErrorNumber::Unhandled, convert::formatErrorMessage(status, format));
}

}  // namespace tavrin
