// One StmtForNext step, shared by the generic handler and the decoded loop: the top entry of
// the loop stack, the variable plus the step in the variable's own type, and whether the
// loop goes on.
#pragma once
#include <cstdint>
#include <cstring>

#include "interp/control.h"
#include "interp/value_ops.h"

namespace tavrin {

// The 20 bytes of the top entry when they lie inside the loop stack, else nullptr.
inline const uint8_t* loopTopBytes(const ControlState& c) {
  const int64_t at = c.loopPosition - kLoopEntryBytes;
  if (at < 0 || uint64_t(at) + kLoopEntryBytes > c.loopStack.size()) [[unlikely]]
    return nullptr;
  return c.loopStack.data() + at;
}
inline LoopEntry loopEntryFrom(const uint8_t* p) {
  LoopEntry entry;
  entry.scope = p[0];
  entry.type = p[1];
  std::memcpy(&entry.variable, p + 2, 2);
  std::memcpy(&entry.limit, p + 4, 8);
  std::memcpy(&entry.step, p + 12, 8);
  return entry;
}
// The top entry, as a memory stream reads it: nothing at a negative position, zeros past
// the end.
[[gnu::cold]] LoopEntry loopTopSlow(const ControlState& c);
inline LoopEntry loopTop(const ControlState& c) {
  if (const uint8_t* p = loopTopBytes(c)) [[likely]]
    return loopEntryFrom(p);
  return loopTopSlow(c);
}
// The entry's scope and type as one number, to test both at once.
inline constexpr uint16_t loopKind(uint8_t scope, uint8_t type) { return uint16_t(scope | type << 8); }

inline void loopPop(ControlState& c) { c.loopPosition -= kLoopEntryBytes; }

inline constexpr uint8_t kGlobalLoopScope = 1;
inline constexpr bool isLoopType(uint8_t t) {
  return t >= uint8_t(ValueType::Byte) && t <= uint8_t(ValueType::Double);
}

// The variable plus the step in the variable's own type: integers add the truncated step
// and keep the sum in their width; Single adds in single precision. A sum beyond the
// range of a Double, or of a Single, is the overflow error the FPU trapped.
inline double addStep(ValueType type, double value, double step) {
  if (type == ValueType::Double) [[likely]]
    return arith::checked(value, step, value + step);
  if (type == ValueType::Single) return double(toSingle(arith::checked(value, step, value + step)));
  const uint32_t sum = uint32_t(int32_t(value)) + uint32_t(truncateToInt(step));
  switch (type) {
    case ValueType::Byte: return double(uint8_t(sum));
    case ValueType::Short: return double(int16_t(uint16_t(sum)));
    case ValueType::Word: return double(uint16_t(sum));
    default: return double(int32_t(sum));  // Long, DWord
  }
}

struct State;
// The step of a loop whose type counts (isLoopType): the variable (global, or a local of the
// current call level) plus the step, stored; the new value.
double stepLoopVariable(State& s, const LoopEntry& entry);

// Whether the loop runs again with the variable at v; a step of 0 ends it.
inline bool loopGoesOn(const LoopEntry& entry, double v) {
  return entry.step > 0.0 ? v <= entry.limit : (entry.step < 0.0 && v >= entry.limit);
}

}  // namespace tavrin
