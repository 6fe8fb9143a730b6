// The evaluator loop, constants and operators.
// Hazards: the result is slot 0, not the top; operators that find too few operands keep
// the odd counts described below (programs can observe them); every arithmetic result is
// checked explicitly, so the errors that trapping floating-point exceptions raise come out
// the same on every host.
#include "interp/evaluator.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "interp/compiled.h"
#include "interp/handlers.h"
#include "interp/value_ops.h"
#include "interp/tables.h"
#include "runtime/host_stack.h"
#include "runtime/memory_limit.h"
#include "interp/state.h"

namespace tavrin {

void EvalStack::overflow() { raiseByteCode("an expression needs more than 8 operand slots"); }

void outside32Bits() { raise(ErrorNumber::InvalidFloatOp); }

int compareText(std::string_view a, std::string_view b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;  // memcmp compares unsigned bytes
  if (c) return c;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

namespace {

[[noreturn, gnu::cold]] void floatError(double a, double b, double r) {
  if (std::isnan(r) && !std::isnan(a) && !std::isnan(b)) raise(ErrorNumber::InvalidFloatOp);
  if (std::isinf(r)) raise(ErrorNumber::FloatOverflow);
  raise(ErrorNumber::InvalidFloatOp);
}

using arith::checked;
using arith::compareByMask;
using arith::compareMask;

double divide(double a, double b) {
  if (b == 0.0) [[unlikely]] {
    if (a == 0.0 || std::isnan(a)) raise(ErrorNumber::InvalidFloatOp);
    raise(ErrorNumber::DivisionByZero);
  }
  return checked(a, b, a / b);
}

double power(double a, double b) {
  if (b == 0.0) return 1.0;
  if (b == std::trunc(b) && b < 2147483647.0 && b > -2147483648.0) {
    long long n = (long long)b;
    bool negative = n < 0;
    unsigned long long e = negative ? (unsigned long long)(-n) : (unsigned long long)n;
    double base = a, result = 1.0;
    while (e) {
      if (e & 1) result *= base;
      e >>= 1;
      if (e) base *= base;
    }
    if (negative) {
      if (result == 0.0) raise(ErrorNumber::DivisionByZero);
      result = 1.0 / result;
    }
    if (!std::isfinite(result) && std::isfinite(a)) raise(ErrorNumber::FloatOverflow);
    return result;
  }
  if (a < 0.0) raise(ErrorNumber::InvalidFloatOp);
  if (a == 0.0) raise(ErrorNumber::DivisionByZero);  // the logarithm of zero
  return checked(a, b, std::exp(b * std::log(a)));
}

// The largest n in 0..m-1 whose 32-bit signed product x * n leaves remainder 1 by m (-1 if
// none). Small moduli search downward as that definition reads; a search over up to 2^31
// numbers took seconds, so from 2^16 on the candidate products 1, 1 + m, 1 + 2m, ... below
// 2^31 are solved for n instead (x * n = v modulo 2^32), at most 2^15 of them.
int32_t modInverse(int32_t x, int32_t m) {
  constexpr int32_t kLinearSearch = 1 << 16;
  // The search is empty for m <= 0, and m - 1 wraps in 32 bits (a search started at the
  // wrapped m - 1 of -2^31 ran over 2^31 numbers).
  if (m <= 0) return int32_t(uint32_t(m) - 1u);
  if (m <= kLinearSearch) {
    for (int32_t n = m - 1; n >= 0; --n) {
      int32_t product = int32_t(uint32_t(x) * uint32_t(n));  // 32-bit signed multiplication
      if (product % m == 1) return n;
    }
    return -1;
  }
  const uint32_t ux = uint32_t(x);
  if (ux == 0) return -1;
  const int shift = std::countr_zero(ux);  // x = odd * 2^shift
  const uint32_t odd = ux >> shift;
  uint32_t inverse = odd;  // of odd modulo 2^32: each Newton step doubles the good low bits
  for (int i = 0; i < 5; ++i) inverse *= 2u - odd * inverse;
  const uint64_t period = uint64_t(1) << (32 - shift);  // n and n + period give one product
  int64_t best = -1;
  for (uint64_t v = 1; v < (uint64_t(1) << 31); v += uint64_t(m)) {
    if (v & ((uint64_t(1) << shift) - 1)) continue;  // not a multiple of 2^shift: no n
    const uint64_t n0 = uint64_t(uint32_t(v >> shift) * inverse) & (period - 1);
    if (n0 > uint64_t(m - 1)) continue;
    const int64_t n = int64_t(n0 + (uint64_t(m - 1) - n0) / period * period);
    if (n > best) best = n;
  }
  return int32_t(best);
}

void removeAll(std::string& a, const std::string& b) {
  if (b.empty()) return;
  for (size_t p = a.find(b); p != std::string::npos; p = a.find(b)) a.erase(p, b.size());
}

bool compareNumbers(uint8_t op, double a, double b) {
  switch (Operand(op)) {
    case Operand::OpEqual: return a == b;
    case Operand::OpNotEqual: return a != b;
    case Operand::OpGreater: return a > b;
    case Operand::OpLess: return a < b;
    case Operand::OpGreaterEqual: return a >= b;
    default: return a <= b;
  }
}

void evalOperator(uint8_t op, EvalStack& e) {
  const bool text = e.mode == 1;
  if (op >= uint8_t(Operand::OpEqual) && op <= uint8_t(Operand::OpLessEqual)) {
    if (text) {
      if (e.strCount < 2) {
        if (e.strCount > 0) --e.strCount;
        e.mode = 0;
        return;
      }
      int c = compareText(e.str[e.strCount - 2], e.str[e.strCount - 1]);
      e.strCount -= 2;
      e.pushNumber(compareNumbers(op, double(c), 0.0) ? -1.0 : 0.0);
      return;
    }
    if (e.numCount < 2) {
      if (e.numCount > 0) --e.numCount;
      return;
    }
    double& a = e.num[e.numCount - 2];
    a = compareNumbers(op, a, e.num[e.numCount - 1]) ? -1.0 : 0.0;
    --e.numCount;
    e.mode = 0;
    return;
  }
  switch (Operand(op)) {
    case Operand::OpPlus:
      if (text) {
        if (e.strCount < 2) {
          if (e.strCount > 0) --e.strCount;
          return;
        }
        roomToGrow(e.str[e.strCount - 2], int64_t(e.str[e.strCount - 2].size() + e.str[e.strCount - 1].size()));
        e.str[e.strCount - 2] += e.str[e.strCount - 1];
        --e.strCount;
        return;
      }
      if (e.numCount < 2) return;  // plus keeps the count
      e.num[e.numCount - 2] = checked(e.num[e.numCount - 2], e.num[e.numCount - 1],
                                      e.num[e.numCount - 2] + e.num[e.numCount - 1]);
      --e.numCount;
      return;
    case Operand::OpMinus:
      if (text) {
        if (e.strCount < 2) {
          if (e.strCount > 0) --e.strCount;
          return;
        }
        removeAll(e.str[e.strCount - 2], e.str[e.strCount - 1]);
        --e.strCount;
        return;
      }
      if (e.numCount == 1) {  // a lone minus negates slot 0, which stays the result
        e.numCount = 0;
        e.num[0] = -e.num[0];
        return;
      }
      if (e.numCount < 2) return;
      e.num[e.numCount - 2] = checked(e.num[e.numCount - 2], e.num[e.numCount - 1],
                                      e.num[e.numCount - 2] - e.num[e.numCount - 1]);
      --e.numCount;
      return;
    case Operand::OpNot:
      if (text || e.numCount < 1) return;
      e.num[e.numCount - 1] = double(~roundToInt(e.num[e.numCount - 1]));
      return;
    case Operand::OpNegate:
      if (text || e.numCount < 1) return;
      e.num[e.numCount - 1] = -e.num[e.numCount - 1];
      return;
    case Operand::OpCharAt: {
      if (e.numCount < 1 || e.strCount < 1) return;
      int32_t n = truncateToInt(e.num[--e.numCount]);
      std::string& s = e.str[e.strCount - 1];
      if (n >= 1 && size_t(n) <= s.size()) s = std::string(1, s[size_t(n) - 1]);
      else s.clear();
      e.mode = 1;
      return;
    }
    default:
      break;
  }
  // The remaining operators are binary and numeric.
  if (text) return;
  if (e.numCount < 2) {
    if (e.numCount > 0) --e.numCount;
    return;
  }
  double& a = e.num[e.numCount - 2];
  const double b = e.num[e.numCount - 1];
  --e.numCount;
  a = arith::binary(op, a, b);
}

}  // namespace

double arith::checkedSlow(double a, double b, double r) {
  if (std::isfinite(a) && std::isfinite(b)) floatError(a, b, r);
  if (std::isnan(r)) raise(ErrorNumber::InvalidFloatOp);
  return r;
}

double arith::binary(uint8_t op, double a, double b) {
  switch (Operand(op)) {
    case Operand::OpPlus: return checked(a, b, a + b);
    case Operand::OpMinus: return checked(a, b, a - b);
    case Operand::OpEqual:
    case Operand::OpNotEqual:
    case Operand::OpGreater:
    case Operand::OpLess:
    case Operand::OpGreaterEqual:
    case Operand::OpLessEqual: return compareByMask(compareMask(op), a, b);
    case Operand::OpAnd: return double(roundToInt(a) & roundToInt(b));
    case Operand::OpOr: return double(roundToInt(a) | roundToInt(b));
    case Operand::OpXor: return double(roundToInt(a) ^ roundToInt(b));
    case Operand::OpTimes: return checked(a, b, a * b);
    case Operand::OpDivide: return divide(a, b);
    case Operand::OpPower: return power(a, b);
    case Operand::OpModulo: {
      int32_t x = roundToInt(a), y = roundToInt(b);
      if (y == 0) raise(ErrorNumber::DivisionByZero);
      if (y == -1) {  // the processor's division overflows for the lowest integer
        if (x == std::numeric_limits<int32_t>::min()) raise(ErrorNumber::ArithmeticOverflow);
        return 0.0;
      }
      return double(x % y);
    }
    case Operand::OpShiftLeft: return double(int32_t(uint32_t(roundToInt(a)) << (uint32_t(roundToInt(b)) & 31)));
    case Operand::OpShiftRight: return double(int32_t(uint32_t(roundToInt(a)) >> (uint32_t(roundToInt(b)) & 31)));
    case Operand::OpModInverse: return double(modInverse(roundToInt(a), roundToInt(b)));
    case Operand::OpIntDivide: {
      int32_t x = truncateToInt(a + 0.5), y = truncateToInt(b + 0.5);
      if (y == 0) raise(ErrorNumber::DivisionByZero);
      if (x == std::numeric_limits<int32_t>::min() && y == -1) raise(ErrorNumber::ArithmeticOverflow);
      return double(x / y);
    }
    default: return a;
  }
}

void evalOpConstant(State& s, EvalStack& e) {
  CodeReader& code = s.code;
  switch (ValueType(code.u8())) {
    case ValueType::String: {
      uint16_t length = code.u16();
      if (length > 2048) [[unlikely]]
        raiseByteCode("a string constant of " + std::to_string(length) + " bytes (at most 2048)");
      const uint8_t* bytes = code.bytes(length);
      e.pushTextSlot().assign(reinterpret_cast<const char*>(bytes), length);
      return;
    }
    case ValueType::Byte: e.pushNumber(code.u8()); return;
    case ValueType::Short: e.pushNumber(code.i16()); return;
    case ValueType::Long:
    case ValueType::DWord: e.pushNumber(code.i32()); return;
    case ValueType::Word: e.pushNumber(code.u16()); return;
    case ValueType::Single: e.pushNumber(code.f32()); return;
    case ValueType::Double: e.pushNumber(code.f64()); return;
    default: return;  // no constant of this type: nothing more is read, nothing pushed
  }
}


namespace {

// The built-ins whose handler pushes a text: an expression that starts with one of them
// leaves the decoded part at once (the decoded form goes on only from a number), so the
// evaluator loop takes it from the start. The loop's result is the same either way.
constexpr std::array<bool, 256> makeTextResults() {
  std::array<bool, 256> t{};
  for (Builtin b : {Builtin::NumberToText, Builtin::LeftText, Builtin::RightText, Builtin::MidText,
                    Builtin::CharOfCode, Builtin::UpperText, Builtin::LowerText, Builtin::TrimLeftText,
                    Builtin::TrimRightText, Builtin::RepeatChar, Builtin::Blanks, Builtin::HexText8,
                    Builtin::DeleteText, Builtin::InsertText, Builtin::ReplaceAtText, Builtin::BinaryText,
                    Builtin::ConvertBase, Builtin::FieldOfText, Builtin::ReplaceAllText, Builtin::FormatNumber,
                    Builtin::ReverseText, Builtin::FormatText})
    t[size_t(b)] = true;
  return t;
}
constexpr auto kTextResults = makeTextResults();

bool startsWithTextBuiltin(const CodeReader& code) {
  const int64_t at = code.position();
  if (at < 0 || uint64_t(at) + 2 > code.size()) return false;
  const uint8_t* p = code.data() + at;
  return p[0] == uint8_t(Operand::OpBuiltin) && kTextResults[p[1]];
}

// The evaluation on operand stacks: a Mixed form, then the evaluator loop.
[[gnu::noinline]] bool evaluateOnStacks(State& s, const CompiledExpression* x, double& num, std::string& str) {
  CodeReader& code = s.code;
  EvalStack e;
  e.destNum = &num;
  e.destStr = &str;
  if (x && !startsWithTextBuiltin(code) && runMixed(s, *x, e)) {
    num = e.num[0];
    return false;
  }
  for (;;) {
    if (code.atEnd()) break;
    uint8_t b = code.u8();
    if (b == 11) break;
    switch (b) {
#define OPERAND(tag, name, asmName, layout) \
  case tag:                                 \
    eval##name(s, e);                       \
    break;
#include "interp/operands.def"
#undef OPERAND
#define OPERATOR(byte, name, asmName) case byte:
#include "interp/operators.def"
#undef OPERATOR
      evalOperator(b, e);
      break;
      default:
        break;  // an unknown byte is skipped
    }
  }
  if (e.mode == 0) {
    num = e.num[0];
    return false;
  }
  if (e.str.built() > 0) str = std::move(e.str[0]);  // nothing built: the empty text
  return true;
}

}  // namespace

namespace {

// The decoded forms that need no operand stacks, else the evaluation on stacks.
[[gnu::always_inline]] inline bool evaluateFrom(State& s, const CompiledExpression* x, double& num, std::string& str) {
  if (x) [[likely]] {
    if (x->form == ExpressionForm::Number) {
      num = runNumber(s, *x);
      s.code.seek(x->end);
      return false;
    }
    if (x->form == ExpressionForm::TextVariable) {
      const auto& strings = s.stores.strings;
      if (x->variable >= strings.size()) [[unlikely]]
        listIndexError(x->variable);
      str = strings[x->variable];
      s.code.seek(x->end);
      return true;
    }
  }
  return evaluateOnStacks(s, x, num, str);
}

}  // namespace

bool evaluate(State& s, double& num, std::string& str) {
  checkHostStack();
  str.clear();
  num = 0.0;
  return evaluateFrom(s, compiledCache(s).expression(s.code.position()), num, str);
}

bool evaluateDecoded(State& s, const CompiledExpression* x, double& num, std::string& str) {
  return evaluateFrom(s, x, num, str);
}

bool evaluate(State& s) { return evaluate(s, s.resultNum, s.resultStr); }

double evaluateNumber(State& s) {
  evaluate(s);
  return s.resultNum;
}

const std::string& evaluateText(State& s) {
  evaluate(s);
  return s.resultStr;
}

int32_t evaluateInt(State& s) { return truncateToInt(evaluateNumber(s)); }

}  // namespace tavrin
