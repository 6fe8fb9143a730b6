// Built-in functions on numbers: the elementary functions, rounding, the random
// generator, colours. Results are checked as a trapping floating-point unit would check
// them (invalid operation 207, division by zero 200, overflow 205; underflow is masked).
#include <cmath>

#include "interp/builtins_util.h"
#include "interp/handlers.h"

namespace tavrin {
namespace {

double checkedResult(double x, double r) {
  if (std::isnan(x) || std::isnan(r)) raise(ErrorNumber::InvalidFloatOp);
  if (std::isinf(r) && !std::isinf(x)) raise(ErrorNumber::FloatOverflow);
  return r;
}

double finiteArg(State& s) {
  double x = argNumber(s);
  if (!std::isfinite(x)) raise(ErrorNumber::InvalidFloatOp);
  return x;
}

// The processor's sine and cosine leave arguments of 2^63 and more unreduced; the
// engine then gives 0.
constexpr double kTrigLimit = 9223372036854775808.0;

}  // namespace

void fnAbs(State& s, EvalStack& e) { e.pushNumber(std::fabs(argNumber(s))); }

void fnCos(State& s, EvalStack& e) {
  double x = finiteArg(s);
  e.pushNumber(std::fabs(x) >= kTrigLimit ? 0.0 : std::cos(x));
}

void fnSin(State& s, EvalStack& e) {
  double x = finiteArg(s);
  e.pushNumber(std::fabs(x) >= kTrigLimit ? 0.0 : std::sin(x));
}

void fnTan(State& s, EvalStack& e) {
  double x = finiteArg(s);
  e.pushNumber(std::fabs(x) >= kTrigLimit ? 0.0 : checkedResult(x, std::tan(x)));
}

void fnArcTan(State& s, EvalStack& e) {
  double x = argNumber(s);
  e.pushNumber(checkedResult(x, std::atan(x)));
}

void fnSqrt(State& s, EvalStack& e) {
  double x = argNumber(s);
  if (x < 0.0) raise(ErrorNumber::InvalidFloatOp);
  e.pushNumber(checkedResult(x, std::sqrt(x)));
}

void fnExp(State& s, EvalStack& e) {
  double x = argNumber(s);
  e.pushNumber(checkedResult(x, std::exp(x)));
}

void fnLn(State& s, EvalStack& e) {
  double x = argNumber(s);
  if (x < 0.0 || std::isnan(x)) raise(ErrorNumber::InvalidFloatOp);
  if (x == 0.0) raise(ErrorNumber::DivisionByZero);
  e.pushNumber(std::log(x));
}

void fnIntPart(State& s, EvalStack& e) { e.pushNumber(std::trunc(argNumber(s))); }
void fnIntPart2(State& s, EvalStack& e) { e.pushNumber(std::trunc(argNumber(s))); }

void fnFracPart(State& s, EvalStack& e) {
  double x = argNumber(s);
  e.pushNumber(checkedResult(x, x - std::trunc(x)));
}

void fnSign(State& s, EvalStack& e) {
  double x = argNumber(s);
  if (std::isnan(x)) raise(ErrorNumber::InvalidFloatOp);
  e.pushNumber(x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0));
}

void fnRoundHalfUp(State& s, EvalStack& e) { e.pushNumber(double(truncateToInt(argNumber(s) + 0.5))); }

void fnCeil(State& s, EvalStack& e) { e.pushNumber(double(truncateToInt(std::ceil(argNumber(s))))); }

void fnFloor(State& s, EvalStack& e) { e.pushNumber(double(truncateToInt(std::floor(argNumber(s))))); }

void fnArcSin(State& s, EvalStack& e) {
  double x = argNumber(s);
  if (!(x >= -1.0 && x <= 1.0)) raise(ErrorNumber::InvalidFloatOp);
  e.pushNumber(std::asin(x));
}

void fnArcCos(State& s, EvalStack& e) {
  double x = argNumber(s);
  if (!(x >= -1.0 && x <= 1.0)) raise(ErrorNumber::InvalidFloatOp);
  e.pushNumber(std::acos(x));
}

void fnIdentity(State& s, EvalStack& e) { e.pushNumber(argNumber(s)); }

void fnColorValue(State& s, EvalStack& e) {
  uint32_t r = uint32_t(argRound(s));
  uint32_t g = uint32_t(argRound(s));
  uint32_t b = uint32_t(argRound(s));
  e.pushNumber(double(int32_t(r | (g << 8) | (b << 16))));
}

// The generator: seed := seed * 134775813 + 1 (mod 2^32) before each result; a real is
// seed / 2^32, an integer below n the high 32 bits of seed * n.
void fnRandom(State& s, EvalStack& e) {
  uint8_t marker = s.code.u8();
  if (marker == 11) {
    s.core.randomSeed = s.core.randomSeed * 134775813u + 1u;
    e.pushNumber(double(s.core.randomSeed) / 4294967296.0);
    return;
  }
  uint32_t n = uint32_t(argRound(s));
  s.core.randomSeed = s.core.randomSeed * 134775813u + 1u;
  e.pushNumber(double(int32_t(uint32_t((uint64_t(s.core.randomSeed) * n) >> 32))));
}

}  // namespace tavrin
