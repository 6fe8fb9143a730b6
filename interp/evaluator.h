// The expression evaluator: postfix byte code worked off against two fixed stacks of
// eight slots; the result is taken from slot 0. Re-entrant: subscripts, arguments and
// nested calls evaluate sub-expressions recursively, each with its own stacks.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrin {

struct State;

inline constexpr int kStackSlots = 8;

// One evaluation's operand stacks and its destinations. Handlers push through it.
struct EvalStack {
  double num[kStackSlots] = {};
  int numCount = 0;
  std::string str[kStackSlots];
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

// Statement-side helpers.
double evaluateNumber(State& s);           // the numeric result register after evaluation
const std::string& evaluateText(State& s); // the string result register after evaluation
int32_t evaluateInt(State& s);             // truncated toward zero to 32 bits (207 outside)

// Conversions of the byte code. Both raise run-time error 207 outside 32 signed bits.
int32_t truncateToInt(double v);
int32_t roundToInt(double v);  // to nearest, ties to even

// Ordinal byte comparison: <0, 0, >0.
int compareText(std::string_view a, std::string_view b);

}  // namespace tavrin
