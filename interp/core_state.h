// State of the core statements and built-in functions: the decimal separator, spare
// slots, the random generator, the cursor table, the message queue and the children
// started without waiting.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "interp/message_queue.h"

namespace tavrin {

// Spare slots A (0) and B (1): one number and one text each, one shared is-string flag.
struct SpareSlots {
  double num[2] = {0.0, 0.0};
  std::string str[2];
  bool isString = false;
};

struct CoreState {
  char decimalSeparator = '.';
  SpareSlots spare;
  uint32_t randomSeed = 0;
  MessageQueue messages;
  int16_t screenCursor = 0;                           // crDefault
  std::vector<std::pair<int32_t, int32_t>> cursors;   // (cursor number, handle)
  std::vector<int> detachedChildren;                  // started by StmtExecute, reaped later
};

}  // namespace tavrin
