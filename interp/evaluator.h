// The expression evaluator: postfix byte code worked off against two fixed stacks of
// eight slots; the result is taken from slot 0. Re-entrant: subscripts, arguments and
// nested calls evaluate sub-expressions recursively, each with its own stacks.
#pragma once
#include <cmath>
#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace tavrin {

struct State;

inline constexpr int kStackSlots = 8;

// The text slots of one evaluation, built on first use: most evaluations are numeric and
// never touch a text slot, so none is constructed or destroyed for them. A slot once built
// keeps its text after it is popped, as a plain array would.
class TextSlots {
public:
  TextSlots() = default;
  TextSlots(const TextSlots&) = delete;
  TextSlots& operator=(const TextSlots&) = delete;
  ~TextSlots() {
    for (int i = 0; i < m_built; ++i) slot(i).~basic_string();
  }
  std::string& operator[](int i) {
    if (i >= m_built) [[unlikely]]
      build(i);
    return slot(i);
  }
  int built() const { return m_built; }

private:
  std::string& slot(int i) { return *std::launder(reinterpret_cast<std::string*>(m_raw[i])); }
  void build(int i) {
    while (m_built <= i) new (m_raw[m_built++]) std::string();
  }
  alignas(std::string) unsigned char m_raw[kStackSlots][sizeof(std::string)];
  int m_built = 0;
};

// One evaluation's operand stacks and its destinations. Handlers push through it.
struct EvalStack {
  double num[kStackSlots] = {};
  int numCount = 0;
  TextSlots str;
  int strCount = 0;
  uint8_t mode = 1;  // 1 text, 0 number
  double* destNum = nullptr;
  std::string* destStr = nullptr;

  void pushNumber(double v) {
    if (numCount >= kStackSlots) [[unlikely]]
      overflow();
    num[numCount++] = v;
    mode = 0;
  }
  // The next string slot, for a handler to fill in place; sets text mode.
  std::string& pushTextSlot() {
    if (strCount >= kStackSlots) [[unlikely]]
      overflow();
    mode = 1;
    return str[strCount++];
  }
  void pushText(std::string_view v) { pushTextSlot().assign(v.data(), v.size()); }

  [[noreturn, gnu::cold]] static void overflow();
};

// Evaluates one expression at the code position into the given destinations; returns
// true when the value is a text. Both destinations are cleared first.
bool evaluate(State& s, double& num, std::string& str);
// The same into the state's result registers.
bool evaluate(State& s);
// The rest of evaluate() once the host stack is checked, both destinations are cleared
// and the decoded form of the expression at the code position (or nullptr) is looked up:
// for callers that look at that form first.
struct CompiledExpression;
bool evaluateDecoded(State& s, const CompiledExpression* x, double& num, std::string& str);

// Statement-side helpers.
double evaluateNumber(State& s);           // the numeric result register after evaluation
const std::string& evaluateText(State& s); // the string result register after evaluation
int32_t evaluateInt(State& s);             // truncated toward zero to 32 bits (207 outside)

// Conversions of the byte code. Both raise run-time error 207 outside 32 signed bits.
[[noreturn, gnu::cold]] void outside32Bits();
inline int32_t truncateToInt(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) [[unlikely]]
    outside32Bits();
  return int32_t(v);
}
inline int32_t roundToInt(double v) {  // to nearest, ties to even
#if defined(__SSE2__) && defined(__x86_64__)
  // The processor's conversion rounds in the current mode (to nearest, ties to even) and
  // gives the lowest 64-bit integer for NaN and for what 64 bits cannot hold.
  const int64_t r = _mm_cvtsd_si64(_mm_set_sd(v));
  if (r < INT32_MIN || r > INT32_MAX) [[unlikely]]
    outside32Bits();
  return int32_t(r);
#else
  const double r = std::nearbyint(v);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) [[unlikely]]
    outside32Bits();
  return int32_t(r);
#endif
}

// Ordinal byte comparison: <0, 0, >0.
int compareText(std::string_view a, std::string_view b);

// The numeric operators, shared by the evaluator loop and the decoded expressions.
namespace arith {
// A result that is NaN or infinite from finite operands is the error the FPU would have
// trapped (programs were written for exceptions that trap); NaN or infinite
// operands propagate the invalid operation.
double checkedSlow(double a, double b, double r);
inline double checked(double a, double b, double r) {
  if (!std::isfinite(r)) [[unlikely]]
    return checkedSlow(a, b, r);
  return r;
}
// A comparison as a mask of the outcomes that make it true: bit 0 less, bit 1 equal,
// bit 2 greater, bit 3 unordered (a NaN operand); decoded code keeps the mask instead of
// the operator byte and compares without a branch.
constexpr uint8_t compareMask(uint8_t op) {
  switch (op) {
    case 60: return 0b0010;
    case 61: return 0b1101;
    case 62: return 0b0100;
    case 63: return 0b0001;
    case 64: return 0b0110;
    default: return 0b0011;
  }
}
inline double compareByMask(uint8_t mask, double a, double b) {
  const unsigned outcome = 3u - 3u * unsigned(a < b) - 2u * unsigned(a == b) - unsigned(a > b);
  return double(-int((mask >> outcome) & 1u));  // -1 or +0
}
// Every operator byte with two numeric operands (plus, minus and the comparisons included):
// the new deeper operand.
double binary(uint8_t op, double a, double b);
}  // namespace arith

}  // namespace tavrin
