// State of the core statements and built-in functions: spare slots, the random
// generator, the file search record, the printer, the decimal separator.
#pragma once
#include <cstdint>
#include <string>

namespace tavrin {

struct CoreState {
  char decimalSeparator = '.';
};

}  // namespace tavrin
