// The core statements of StmtCommand: randomize, environment, decimal separator, command
// line, array fill, data, spare slots, window messages, cursors and raw memory. The
// statements of a service (files, programs, output, message boxes, printer) are its own.
// Hazards: every operand is read before anything can fail on the system side, so a
// failing call never leaves the code position inside a statement; raw memory is touched
// only after lowContains has vouched for the whole range.
#include <sys/time.h>

#include <cstdlib>
#include <cstring>

#include "interp/builtins_util.h"
#include "interp/handlers.h"
#include "interp/message_queue.h"
#include "interp/value_refs.h"
#include "runtime/low_memory.h"
#include "runtime/time_limit.h"

namespace tavrin {
namespace {

[[noreturn]] void accessViolation(uint32_t address) {
  raise(ErrorNumber::AccessViolation, "Access violation at address " + convert::hexText(address, 8));
}

// A raw address range the program names; 216 unless the engine handed it out.
uint8_t* memoryRange(int32_t address, int32_t length) {
  uintptr_t a = uintptr_t(uint32_t(address));
  if (!lowContains(a, size_t(length))) accessViolation(uint32_t(address));
  return reinterpret_cast<uint8_t*>(a);
}

WindowMessage messageOperands(State& s) {
  WindowMessage m;
  m.window = uint32_t(evaluateInt(s));
  m.message = uint32_t(evaluateInt(s));
  m.wParam = evaluateInt(s);
  m.lParam = evaluateInt(s);
  return m;
}

// Only the part of the value's kind changes; the expression may read the slot itself.
void storeSpare(State& s, int slot) {
  double v;
  std::string text;
  bool isText = evaluate(s, v, text);
  s.core.spare.isString = isText;
  if (isText) s.core.spare.str[slot].swap(text);
  else s.core.spare.num[slot] = v;
}

}  // namespace

void execStmtRandomize(State& s) {
  if (s.code.u8() != 11) {
    s.core.randomSeed = uint32_t(evaluateInt(s));
    return;
  }
  timeval tv{};
  gettimeofday(&tv, nullptr);
  s.core.randomSeed = uint32_t((uint64_t(tv.tv_sec) % 86400u) * 1000u + uint64_t(tv.tv_usec) / 1000u);
}

void execStmtScreenCursor(State& s) { s.core.screenCursor = int16_t(evaluateInt(s)); }

void execStmtSetCursorImage(State& s) {
  int32_t number = evaluateInt(s);
  int32_t handle = evaluateInt(s);
  for (auto& entry : s.core.cursors) {
    if (entry.first == number) {
      entry.second = handle;
      return;
    }
  }
  s.core.cursors.emplace_back(number, handle);
}

// ---- environment, command line, separator ----

void execStmtSetEnvironment(State& s) {
  const std::string& text = evaluateText(s);
  size_t at = text.find('=');
  if (at == std::string::npos) at = text.find(' ');
  if (at == std::string::npos || at == 0) return;
  std::string name = text.substr(0, at);
  setenv(name.c_str(), text.c_str() + at + 1, 1);
}

void execStmtSetArgument(State& s) {
  int32_t index = evaluateInt(s);
  std::string text;
  argText(s, text);
  if (index < 0) raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(index) + ")");
  if (index >= kMaxListItems) listLimit(int64_t(index) + 1);
  if (size_t(index) >= s.arguments.size()) s.arguments.resize(size_t(index) + 1);
  s.arguments[size_t(index)] = std::move(text);
}

void execStmtSetDecimalSeparator(State& s) {
  double v;
  std::string text;
  if (evaluate(s, v, text)) {
    if (!text.empty()) s.core.decimalSeparator = text[0];  // an empty text keeps the separator
  } else {
    s.core.decimalSeparator = char(uint8_t(truncateToInt(v)));
  }
}

// ---- resources, data, arrays ----

void execStmtDataRewind(State& s) { s.dataPointer = s.dataBase + s.code.u32(); }

void execStmtArrayFill(State& s) {
  uint8_t type = s.code.u8();
  uint16_t array = s.code.u16();
  const bool filled = type <= uint8_t(ValueType::Double) && array < kArrayNumbers;
  static constexpr int kWidths[] = {1, 1, 2, 4, 2, 4, 4, 8};
  const int64_t base = filled ? s.stores.descriptors[type][array].base : 0;
  double v;
  std::string text;
  for (int64_t k = 0; s.code.u8() != 11; ++k) {
    bool isText = evaluate(s, v, text);
    if (filled) valueref::storeElement(s, ValueType(type), array, base + k * kWidths[type], isText, v, text);
  }
}

// ---- spare slots ----

void execStmtStoreSpareA(State& s) { storeSpare(s, 0); }
void execStmtStoreSpareB(State& s) { storeSpare(s, 1); }

// ---- window messages ----

void execStmtProcessMessages(State& s) { processMessages(s); }

void execStmtSendMessage(State& s) { sendMessage(s, messageOperands(s)); }

void execStmtPostMessage(State& s) { postMessage(s, messageOperands(s)); }

void execStmtKillMessage(State& s) {
  uint32_t window = uint32_t(evaluateInt(s));
  uint32_t message = uint32_t(evaluateInt(s));
  removeMessage(s, window, message);
}

// ---- raw memory ----

void execStmtCopyMemory(State& s) {
  int32_t destination = evaluateInt(s);
  int32_t source = evaluateInt(s);
  int32_t length = evaluateInt(s);
  if (length <= 0) return;
  uint8_t* to = memoryRange(destination, length);
  uint8_t* from = memoryRange(source, length);
  std::memmove(to, from, size_t(length));
}

void execStmtFillMemory(State& s) {
  int32_t address = evaluateInt(s);
  int32_t value = evaluateInt(s);
  int32_t count = evaluateInt(s);
  if (count <= 0) return;
  std::memset(memoryRange(address, count), value & 0xFF, size_t(count));
}

}  // namespace tavrin
