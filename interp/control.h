// Control-flow state: the loop stack, the local-jump stack and the selection slots.
#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "interp/byte_store.h"

namespace tavrin {

// One loop entry as it lies in the loop stack (20 bytes, in this order).
struct LoopEntry {
  uint8_t scope = 0;     // 1: global variable; anything else: local of the current level
  uint8_t type = 0;      // value type of the loop variable
  uint16_t variable = 0;
  double limit = 0.0;
  double step = 0.0;
};
inline constexpr int kLoopEntryBytes = 20;

inline constexpr int kLocalJumpSlots = 101;
inline constexpr int kSelectionLevels = 11;

// StmtSelectBegin's level byte: 0 to 10; anything above is a run-time error, raised before
// the selector is evaluated.
[[noreturn, gnu::cold]] void badSelectionLevel(uint8_t level);
inline void checkSelectionLevel(uint8_t level) {
  if (level >= kSelectionLevels) [[unlikely]]
    badSelectionLevel(level);
}

struct Selector {
  double number = 0.0;
  std::string text;
  bool isText = false;
};

struct ControlState {
  // A stream of 20-byte entries; the top entry is the 20 bytes before loopPosition.
  // Popping only moves the position back, so the bytes stay until the next push. The
  // position may become negative after mismatched pops; reads and writes there do
  // nothing, as on a memory stream.
  ByteStore loopStack;
  int64_t loopPosition = 0;

  std::array<uint32_t, kLocalJumpSlots> localJumps{};
  int32_t localJumpDepth = 0;

  std::array<Selector, kSelectionLevels> selectors;
  // Whether an item of the decoded case test under way has matched (nothing else reads it).
  bool caseMatched = false;
  int32_t selectionLevel = 0;
};

}  // namespace tavrin
