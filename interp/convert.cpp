// Number/text conversions with the Pascal run time's results (see convert.h for the contract).
// Hazards: floatToStr is on the print path, so digits are built in stack buffers and the only
// allocation is the result text; to_chars rounds ties to even, so ties are found exactly from
// the binary value and rounded away from zero here.
#include "interp/convert.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/memory_limit.h"

namespace tavrin::convert {

namespace {

// --- digit generation ------------------------------------------------------------------

// True when |v| lies exactly half-way between two multiples of 10^place: 2|v| / 10^place is
// an odd integer. With |v| = m * 2^q and m odd that needs q + 1 == place and, for a positive
// place, 5^place dividing m.
bool isTieAt(double v, int place) {
  uint64_t bits = std::bit_cast<uint64_t>(v);
  int biased = int((bits >> 52) & 0x7FF);
  uint64_t m = bits & ((uint64_t(1) << 52) - 1);
  int q;
  if (biased == 0) {
    q = -1074;
  } else {
    m |= uint64_t(1) << 52;
    q = biased - 1075;
  }
  if (m == 0) return false;
  int tz = std::countr_zero(m);
  m >>= tz;
  q += tz;
  if (q + 1 != place) return false;
  if (place <= 0) return true;
  if (place > 22) return false;  // 5^23 exceeds the 53-bit significand
  uint64_t five = 1;
  for (int i = 0; i < place; ++i) five *= 5;
  return m % five == 0;
}

// Scientific digits of |v| (finite, non-zero) with `count` significant digits (1..40), rounded
// half to even from the exact value. Returns the decimal exponent of the first digit.
int scientificDigits(double v, int count, char* digits) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                           count - 1);
  const char* p = buf;
  const char* end = res.ptr;
  int n = 0;
  for (; p < end && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  int exp10 = 0;
  std::from_chars(p + 1 + (p[1] == '+'), end, exp10);
  return exp10;
}

// The exact decimal expansion of |v| (at most 767 significant digits): fills `digits`, returns
// the decimal exponent of the first digit. Only used where a short expansion cannot decide.
int exactDigits(double v, char* digits, int& count) {
  char buf[800];
  auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific,
                           770);
  const char* p = buf;
  int n = 0;
  for (; p < res.ptr && *p != 'e'; ++p)
    if (*p != '.') digits[n++] = *p;
  while (n > 1 && digits[n - 1] == '0') --n;
  count = n;
  int exp10 = 0;
  std::from_chars(p + 1 + (p[1] == '+'), res.ptr, exp10);
  return exp10;
}

void stripZeros(DecimalDigits& d) {
  while (d.count > 0 && d.digits[d.count - 1] == '0') --d.count;
  d.digits[d.count] = '\0';
  if (d.count == 0) {
    d.exponent = 0;
    d.negative = false;
  }
}

// True when a = lead * 10^exp10 exactly, for the exactly representable 10^0..10^22, 0.5 and
// 5 * 10^0..10^21: these read 1.0000000000000000 or 5.0000000000000000 without a carry.
bool isExactPowerOfTen(double a, char lead, int exp10) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (lead == '5' && exp10 == -1) return a == 0.5;
  if (exp10 < 0 || exp10 > 22 || (lead == '5' && exp10 > 21)) return false;
  return a == (lead == '5' ? 5 * kPow10[exp10] : kPow10[exp10]);
}

// Adds one unit in the last of `n` digits; returns true when it carried out of the first.
bool incrementDigits(char* digits, int n) {
  for (int i = n - 1; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  digits[0] = '1';
  return true;
}

// Rounds an exact expansion (exponent `exp10` of its first digit) to the place 10^place,
// ties away from zero, into the record.
void roundExact(const char* exact, int count, int exp10, int place, DecimalDigits& d) {
  int keep = exp10 - place + 1;  // digits kept before the rounding position
  if (keep < 0) {
    d.count = 0;
    stripZeros(d);
    return;
  }
  bool up = keep < count && exact[keep] >= '5';
  if (keep == 0) {
    d.count = up ? 1 : 0;
    d.digits[0] = '1';
    d.exponent = exp10 + 2;
    stripZeros(d);
    return;
  }
  int n = std::min(keep, count);
  std::memcpy(d.digits, exact, size_t(n));
  for (int i = n; i < keep; ++i) d.digits[i] = '0';
  d.count = uint8_t(keep);
  d.exponent = exp10 + 1;
  if (up && incrementDigits(d.digits, keep)) ++d.exponent;
  stripZeros(d);
}

}  // namespace

DecimalDigits toDecimal(double value, int precision, int decimals) {
  DecimalDigits d;
  if (std::isnan(value)) {
    d.kind = DecimalDigits::Kind::NaN;
    return d;
  }
  if (std::isinf(value)) {
    d.kind = value < 0 ? DecimalDigits::Kind::NegInf : DecimalDigits::Kind::PosInf;
    d.negative = value < 0;
    return d;
  }
  precision = std::clamp(precision, 1, kMaxPrecision);
  if (value == 0) return d;
  d.negative = std::signbit(value);

  // The exponent of the first digit decides how many digits `decimals` leaves. 17 digits
  // show it unless they read 1.0000000000000000 (a carry from 9.99...) or, for a lone
  // rounding digit, 5.0000000000000000 (below or above one half?).
  int count;
  if (decimals < kNoDecimals) {
    char probe[20];
    int exp10 = scientificDigits(value, 17, probe);
    count = std::min(precision, exp10 + 1 + decimals);
    bool ambiguous = std::memcmp(probe + 1, "0000000000000000", 16) == 0 &&
                     (probe[0] == '1' || (probe[0] == '5' && count <= 1));
    if (ambiguous && !isExactPowerOfTen(std::fabs(value), probe[0], exp10)) {
      char exact[800];
      int n;
      int e = exactDigits(value, exact, n);
      roundExact(exact, n, e, std::max(e - precision + 1, -decimals), d);
      return d;
    }
    if (count < 0) {
      stripZeros(d);
      return d;
    }
    if (count == 0) {
      // Only the first digit decides: at least one half rounds up to 10^(exp10+1).
      if (probe[0] >= '5') {
        d.count = 1;
        d.digits[0] = '1';
        d.exponent = exp10 + 2;
      } else {
        d.negative = false;
      }
      return d;
    }
  } else {
    count = precision;
  }

  int exp10 = scientificDigits(value, count, d.digits);
  d.count = uint8_t(count);
  d.exponent = exp10 + 1;
  // A tie rounded by to_chars went to even; the run time rounds it away from zero. A carry
  // (9.5 -> 1e1) leaves 1000..., so the tie may sit one place lower.
  bool carried = d.digits[0] == '1' &&
                 std::all_of(d.digits + 1, d.digits + count, [](char c) { return c == '0'; });
  for (int e : {exp10, exp10 - 1}) {
    if (e != exp10 && !carried) break;
    if (isTieAt(value, e - count + 1)) {
      char exact[24];
      int got = scientificDigits(value, count + 1, exact);
      if (got == e && exact[count] == '5') {
        std::memcpy(d.digits, exact, size_t(count));
        d.exponent = e + 1;
        if (incrementDigits(d.digits, count)) ++d.exponent;
      }
      break;
    }
  }
  stripZeros(d);
  return d;
}

namespace {

// --- layout --------------------------------------------------------------------------------

// A fixed-capacity text builder on the stack; the widest number layout (sign, 18 digits,
// separators, 18 decimals, exponent) stays far below its capacity.
class Text {
 public:
  void put(char c) {
    if (m_size < sizeof m_buf) m_buf[m_size++] = c;
  }
  void put(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) put(s[i]);
  }
  void repeat(char c, int n) {
    for (int i = 0; i < n; ++i) put(c);
  }
  std::string_view view() const { return {m_buf, m_size}; }

 private:
  char m_buf[128];
  size_t m_size = 0;
};

char digitAt(const DecimalDigits& d, int i) { return i < d.count ? d.digits[i] : '0'; }

// 'E', the sign ('+' only when `plus`), at least `minDigits` digits.
void putExponent(Text& t, int exponent, bool plus, int minDigits) {
  t.put('E');
  if (exponent < 0) {
    t.put('-');
    exponent = -exponent;
  } else if (plus) {
    t.put('+');
  }
  char buf[12];
  auto res = std::to_chars(buf, buf + sizeof buf, exponent);
  t.repeat('0', minDigits - int(res.ptr - buf));
  t.put(buf, size_t(res.ptr - buf));
}

void putGeneral(Text& t, const DecimalDigits& d, int precision, int expDigits, char sep) {
  if (d.negative) t.put('-');
  int e = d.exponent;
  if (e > precision || e < -3) {
    t.put(digitAt(d, 0));
    if (d.count > 1) {
      t.put(sep);
      t.put(d.digits + 1, size_t(d.count - 1));
    }
    putExponent(t, e - 1, false, expDigits);
    return;
  }
  if (e <= 0) {
    t.put('0');
    if (d.count > 0) {
      t.put(sep);
      t.repeat('0', -e);
      t.put(d.digits, d.count);
    }
    return;
  }
  for (int i = 0; i < e; ++i) t.put(digitAt(d, i));
  if (d.count > e) {
    t.put(sep);
    t.put(d.digits + e, size_t(d.count - e));
  }
}

void putExponentForm(Text& t, const DecimalDigits& d, int precision, int expDigits, char sep) {
  if (d.negative) t.put('-');
  t.put(digitAt(d, 0));
  if (precision > 1) {
    t.put(sep);
    for (int i = 1; i < precision; ++i) t.put(digitAt(d, i));
  }
  putExponent(t, d.count > 0 ? d.exponent - 1 : 0, true, expDigits);
}

// The unsigned fixed layout with `decimals` digits after the separator; `thousands` groups
// the integer part.
void putFixedDigits(Text& t, const DecimalDigits& d, int decimals, char sep, char thousands) {
  int e = d.exponent;
  if (e <= 0) {
    t.put('0');
  } else {
    for (int i = 0; i < e; ++i) {
      if (thousands != '\0' && i > 0 && (e - i) % 3 == 0) t.put(thousands);
      t.put(digitAt(d, i));
    }
  }
  if (decimals > 0) {
    t.put(sep);
    for (int i = 0; i < decimals; ++i) {
      int index = e + i;  // position in the digit record
      t.put(index < 0 ? '0' : digitAt(d, index));
    }
  }
}

std::string currencyText(const DecimalDigits& d, int decimals, const FormatSettings& s) {
  Text number;
  putFixedDigits(number, d, decimals, s.decimalSeparator, s.thousandSeparator);
  std::string_view n = number.view();
  const std::string& c = s.currencyString;
  if (!d.negative) {
    switch (s.currencyFormat) {
      case 1: return std::string(n) + c;
      case 2: return c + ' ' + std::string(n);
      case 3: return std::string(n) + ' ' + c;
      default: return c + std::string(n);
    }
  }
  std::string r(n);
  switch (s.negCurrFormat) {
    case 1: return "-" + c + r;
    case 2: return c + "-" + r;
    case 3: return c + r + "-";
    case 4: return "(" + r + c + ")";
    case 5: return "-" + r + c;
    case 6: return r + "-" + c;
    case 7: return r + c + "-";
    case 8: return "-" + r + " " + c;
    case 9: return "-" + c + " " + r;
    case 10: return r + " " + c + "-";
    case 11: return c + " " + r + "-";
    case 12: return c + " -" + r;
    case 13: return r + "- " + c;
    case 14: return "(" + c + " " + r + ")";
    case 15: return "(" + r + " " + c + ")";
    default: return "(" + c + r + ")";
  }
}

const char* specialText(const DecimalDigits& d) {
  switch (d.kind) {
    case DecimalDigits::Kind::NaN: return "NAN";
    case DecimalDigits::Kind::PosInf: return "INF";
    case DecimalDigits::Kind::NegInf: return "-INF";
    default: return nullptr;
  }
}

}  // namespace

std::string floatToStr(double value, const FormatSettings& settings) {
  DecimalDigits d = toDecimal(value, 15, kNoDecimals);
  if (const char* special = specialText(d)) return special;
  Text t;
  putGeneral(t, d, 15, 0, settings.decimalSeparator);
  return std::string(t.view());
}

std::string floatToStrF(double value, int format, int precision, int digits,
                        const FormatSettings& settings) {
  precision = std::clamp(precision, 2, kMaxPrecision);
  bool fixedFamily = format >= int(FloatFormat::Fixed) && format <= int(FloatFormat::Currency);
  int decimals = fixedFamily ? std::clamp(digits, 0, kMaxPrecision) : kNoDecimals;
  DecimalDigits d = toDecimal(value, precision, decimals);
  if (const char* special = specialText(d)) return special;
  // Fixed, number and currency give way to the general format when the integer part has
  // more digits than the precision; so do the format numbers the run time does not know.
  if (format != int(FloatFormat::Exponent) && (!fixedFamily || d.exponent > precision))
    format = int(FloatFormat::General);
  char sep = settings.decimalSeparator;
  Text t;
  switch (FloatFormat(format)) {
    case FloatFormat::Exponent:
      putExponentForm(t, d, precision, std::clamp(digits, 0, 4), sep);
      break;
    case FloatFormat::Fixed:
      if (d.negative) t.put('-');
      putFixedDigits(t, d, decimals, sep, '\0');
      break;
    case FloatFormat::Number:
      if (d.negative) t.put('-');
      putFixedDigits(t, d, decimals, sep, settings.thousandSeparator);
      break;
    case FloatFormat::Currency:
      return currencyText(d, decimals, settings);
    default:
      putGeneral(t, d, precision, std::clamp(digits, 0, 4), sep);
      break;
  }
  return std::string(t.view());
}

std::string formatFloatFixed(double value, int width, int decimals, char decimalSeparator) {
  decimals = std::clamp(decimals, 0, 255);
  DecimalDigits d = toDecimal(value, kMaxPrecision, decimals);
  std::string body;
  if (const char* special = specialText(d)) {
    body = special;
  } else {
    int intDigits = std::max(d.exponent, 1);
    body.reserve(size_t(intDigits + decimals + 2 + std::max(width, 0)));
    // Str takes the sign from the value before rounding: -0.0001 with 2 decimals is "-0.00",
    // negative zero has none.
    if (value < 0) body += '-';
    if (d.exponent <= 0) {
      body += '0';
    } else {
      for (int i = 0; i < d.exponent; ++i) body += digitAt(d, i);
    }
    if (decimals > 0) {
      body += decimalSeparator;
      for (int i = 0; i < decimals; ++i) {
        int index = d.exponent + i;
        body += index < 0 ? '0' : digitAt(d, index);
      }
    }
  }
  if (width > int(body.size())) body.insert(0, size_t(width) - body.size(), ' ');
  return body;
}

// --- text to number ----------------------------------------------------------------------

NumberParse parseFloat(std::string_view text, double& out, char decimalSeparator) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Validate and copy the unsigned number with '.' as separator; long texts keep to the
  // stack until they pass the small buffer.
  char small[128];
  std::string large;
  char* buf = small;
  size_t len = n - i;
  if (len + 1 > sizeof small) {
    large.resize(len + 1);
    buf = large.data();
  }
  size_t k = 0;
  int mantissaDigits = 0;
  int firstNonZero = -1;     // position of the first significant digit among mantissa digits
  int pointAt = -1;          // mantissa digits before the separator
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      if (c != '0' && firstNonZero < 0) firstNonZero = mantissaDigits;
      ++mantissaDigits;
      buf[k++] = c;
    } else if (c == decimalSeparator && pointAt < 0) {
      pointAt = mantissaDigits;
      buf[k++] = '.';
    } else {
      break;
    }
  }
  if (mantissaDigits == 0) return NumberParse::Invalid;
  long long exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    buf[k++] = 'e';
    ++i;
    bool expNegative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
      expNegative = text[i] == '-';
      buf[k++] = text[i++];
    }
    size_t start = i;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
      buf[k++] = text[i];
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (i == start) return NumberParse::Invalid;
    if (expNegative) exponent = -exponent;
  }
  if (i != n) return NumberParse::Invalid;

  double v = 0;
  auto res = std::from_chars(buf, buf + k, v, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) {
    // The decimal exponent of the first significant digit tells overflow from underflow.
    if (pointAt < 0) pointAt = mantissaDigits;
    long long magnitude = exponent + pointAt - firstNonZero;
    if (magnitude > 0) {
      out = negative ? -HUGE_VAL : HUGE_VAL;
      return NumberParse::Overflow;
    }
    v = 0;
  } else if (res.ec != std::errc() || res.ptr != buf + k) {
    return NumberParse::Invalid;
  }
  out = negative ? -v : v;
  return NumberParse::Ok;
}

size_t lenientTake(std::string_view text, char separator, char* out) {
  size_t k = 0;
  bool separatorTaken = false, exponentTaken = false;
  bool markSinceStart = false;  // a digit, sign or separator since the start or the 'E'
  for (char c : text) {
    if (c == ' ') continue;
    if (c == separator) {
      if (separatorTaken || exponentTaken) break;
      separatorTaken = markSinceStart = true;
    } else if (c == '+' || c == '-') {
      if (markSinceStart) break;
      markSinceStart = true;
    } else if (c >= '0' && c <= '9') {
      markSinceStart = true;
    } else if (c == 'e' || c == 'E') {
      if (exponentTaken || k == 0) break;
      exponentTaken = true;
      markSinceStart = false;
    } else {
      break;
    }
    out[k++] = c;
  }
  return k;
}

bool lenientNumber(std::string_view text, double& out, const FormatSettings& settings) {
  char small[128];
  std::string large;
  char* buf = small;
  if (text.size() > sizeof small) {
    large.resize(text.size());
    buf = large.data();
  }
  const size_t k = lenientTake(text, settings.decimalSeparator, buf);
  if (k == 0) {
    out = 0;
    return true;
  }
  return parseFloat(std::string_view(buf, k), out, settings.decimalSeparator) == NumberParse::Ok;
}

// --- Format ----------------------------------------------------------------------------------

namespace {

void appendPadded(std::string& out, std::string_view s, int width, bool left) {
  size_t pad = width > int(s.size()) ? size_t(width) - s.size() : 0;
  if (!left) out.append(pad, ' ');
  out.append(s);
  if (left) out.append(pad, ' ');
}

// Reads digits or '*'; -1 when neither is there.
bool readCount(std::string_view f, size_t& i, std::span<const FormatArg> args, int& argIndex,
               int& value, FormatStatus& status) {
  if (i < f.size() && f[i] == '*') {
    ++i;
    if (argIndex >= int(args.size())) {
      status = FormatStatus::NoArgument;
      return false;
    }
    const FormatArg& a = args[size_t(argIndex++)];
    if (a.kind != FormatArg::Kind::Integer) {
      status = FormatStatus::WrongKind;
      return false;
    }
    value = int(std::clamp<int64_t>(a.integer, -1000000, 1000000));
    return true;
  }
  if (i < f.size() && f[i] >= '0' && f[i] <= '9') {
    value = 0;
    while (i < f.size() && f[i] >= '0' && f[i] <= '9') {
      if (value < 1000000) value = value * 10 + (f[i] - '0');
      ++i;
    }
    return true;
  }
  value = -1;
  return true;
}

std::string integerDigits(uint64_t magnitude, int base) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, base);
  std::string s(buf, res.ptr);
  for (char& c : s)
    if (c >= 'a' && c <= 'f') c = char(c - 'a' + 'A');
  return s;
}

// A negative integer that fits 32 bits is shown as the run time's 32-bit word.
uint64_t unsignedWord(int64_t v) {
  if (v < 0 && v >= INT32_MIN) return uint32_t(int32_t(v));
  return uint64_t(v);
}

}  // namespace

FormatStatus formatText(std::string_view f, std::span<const FormatArg> args,
                        const FormatSettings& settings, std::string& out) {
  out.clear();
  int argIndex = 0;
  size_t i = 0;
  while (i < f.size()) {
    size_t pct = f.find('%', i);
    if (pct == std::string_view::npos) {
      out.append(f.substr(i));
      break;
    }
    out.append(f.substr(i, pct - i));
    i = pct + 1;
    if (i < f.size() && f[i] == '%') {
      out += '%';
      ++i;
      continue;
    }
    FormatStatus status = FormatStatus::Ok;
    int first = -1;
    if (!readCount(f, i, args, argIndex, first, status)) return status;
    if (first >= 0 && i < f.size() && f[i] == ':') {
      argIndex = first;
      ++i;
      first = -1;
    }
    bool left = false;
    if (first < 0 && i < f.size() && f[i] == '-') {
      left = true;
      ++i;
    }
    int width = first;
    if (width < 0 && !readCount(f, i, args, argIndex, width, status)) return status;
    int prec = -1;
    if (i < f.size() && f[i] == '.') {
      ++i;
      if (!readCount(f, i, args, argIndex, prec, status)) return status;
      if (prec < 0) prec = 0;
    }
    if (i >= f.size()) return FormatStatus::BadFormat;
    char type = char(f[i] | 0x20);
    ++i;
    if (std::strchr("deufgmnpsx", type) == nullptr) return FormatStatus::BadFormat;
    if (argIndex >= int(args.size())) return FormatStatus::NoArgument;
    const FormatArg& a = args[size_t(argIndex++)];

    std::string piece;
    switch (type) {
      case 'd':
      case 'u':
      case 'x':
      case 'p': {
        if (a.kind != FormatArg::Kind::Integer) return FormatStatus::WrongKind;
        bool negative = type == 'd' && a.integer < 0;
        uint64_t magnitude = type == 'd' ? (negative ? 0 - uint64_t(a.integer)
                                                     : uint64_t(a.integer))
                                         : unsignedWord(a.integer);
        std::string digits = integerDigits(magnitude, type == 'x' || type == 'p' ? 16 : 10);
        int minDigits = type == 'p' ? 8 : prec;
        if (int(digits.size()) < minDigits) digits.insert(0, size_t(minDigits) - digits.size(), '0');
        piece = negative ? "-" + digits : digits;
        break;
      }
      case 's':
        if (a.kind != FormatArg::Kind::Text) return FormatStatus::WrongKind;
        piece = std::string(prec >= 0 ? a.text.substr(0, size_t(prec)) : a.text);
        break;
      default: {
        if (a.kind != FormatArg::Kind::Real) return FormatStatus::WrongKind;
        double v = a.real;
        switch (type) {
          case 'e':
            piece = floatToStrF(v, int(FloatFormat::Exponent), prec < 0 ? 15 : prec, 3, settings);
            break;
          case 'g':
            piece = floatToStrF(v, int(FloatFormat::General), prec < 0 ? 15 : prec, 3, settings);
            break;
          case 'f':
            piece = floatToStrF(v, int(FloatFormat::Fixed), kMaxPrecision, prec < 0 ? 2 : prec,
                                settings);
            break;
          case 'n':
            piece = floatToStrF(v, int(FloatFormat::Number), kMaxPrecision, prec < 0 ? 2 : prec,
                                settings);
            break;
          default:  // 'm'
            piece = floatToStrF(v, int(FloatFormat::Currency), kMaxPrecision,
                                prec < 0 ? settings.currencyDecimals : prec, settings);
            break;
        }
        break;
      }
    }
    // Each width is at most 1,000,000, but a format of many "%*d" adds them up.
    const int64_t grown = int64_t(out.size()) + std::max<int64_t>(width, int64_t(piece.size()));
    roomToGrow(out, grown);
    appendPadded(out, piece, width, left);
  }
  return FormatStatus::Ok;
}

std::string formatErrorMessage(FormatStatus status, std::string_view format) {
  switch (status) {
    case FormatStatus::Ok: return {};
    case FormatStatus::NoArgument: return "No argument for format '" + std::string(format) + "'";
    default: return "Format '" + std::string(format) + "' invalid or incompatible with argument";
  }
}

std::string intToStr(int64_t value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

std::string hexText(uint64_t value, int width) {
  std::string s = integerDigits(value, 16);
  if (int(s.size()) < width) s.insert(0, size_t(width) - s.size(), '0');
  return s;
}

}  // namespace tavrin::convert
