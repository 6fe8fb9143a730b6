// Per-call state: the call level, the return stack, parameter stores, the variable
// argument tables and the function result registers; and the steps that enter and leave
// a call level, for the call statements, function calls in expressions and events.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "interp/byte_store.h"
#include "interp/evaluator.h"
#include "interp/tables.h"

namespace tavrin {

// Every call level owns 11 slots in each of the three parameter stores; level L (L >= 1)
// owns slots (L-1)*11 .. (L-1)*11+10.
inline constexpr int kSlotsPerLevel = 11;
inline constexpr int kInitialSlots = 50;
inline constexpr int kSlotBatch = 12;         // the stores grow by this many slots
inline constexpr int kReferenceEntryBytes = 3;  // kind byte, 16-bit index
inline constexpr int kVariableArguments = 255;  // of each kind, numbered from 1

// Argument kinds passed by value: an expression follows.
constexpr bool isValueKind(uint8_t kind) { return kind <= 8 || (kind >= 10 && kind <= 12); }

struct CallState {
  CallState();

  int32_t level = 0;  // 0 in the main program
  // 32-bit code positions, one per active call level.
  std::vector<uint32_t> returnStack;
  // Nested dispatcher activations on the host stack (events, calls, continuations).
  int32_t activations = 0;

  // Value parameters: doubles (slot s of level L at byte (L-1)*88 + s*8) and texts (item
  // (L-1)*11 + s); reference parameters: 3-byte entries at (L-1)*33 + s*3. Never shrunk,
  // so a slot keeps its last value after its call has returned.
  ByteStore numberSlots;
  std::vector<std::string> textSlots;
  ByteStore referenceSlots;

  // Variable argument tables, numbered from 1 (entry 0 is never written and reads 0 / "").
  std::array<double, kVariableArguments + 1> numberArguments{};
  std::array<std::string, kVariableArguments + 1> textArguments;
  int32_t numberArgumentCount = 0;
  int32_t textArgumentCount = 0;

  // Function result registers, apart from the evaluator's result registers.
  double functionNumber = 0.0;
  std::string functionText;
  bool functionIsText = false;
  // The callers' text results saved around function calls, one per call in progress;
  // kept (with their capacity) so that a call allocates nothing once they have grown.
  std::vector<std::string> savedTexts;
  size_t savedDepth = 0;
};

struct State;

// StmtEndBody: the call level drops by one and the top return-stack entry goes.
void leaveCallLevel(State& s);

// Reads `count` arguments (kind byte and argument each) from the code and stores them in
// the parameter slots of the next call level: value arguments are evaluated now, in order.
void passArguments(State& s, uint32_t count);
// Reads a variable argument list (separator byte and expression each, closed by byte 11)
// into the variable argument tables, which start empty.
void readVariableArguments(State& s);

// Makes sure the parameter stores reach the current call level: one batch of 12 slots
// at most per store and call.
void growParameterStoresSlow(CallState& c);
inline void growParameterStores(CallState& c) {
  const int64_t need = (int64_t(c.level) + 1) * kSlotsPerLevel;
  if (int64_t(c.numberSlots.size()) < need * 8 || int64_t(c.textSlots.size()) < need) [[unlikely]]
    growParameterStoresSlow(c);
}

// Calls a function whose arguments are in place and whose result is a number; `back` is
// the code position after the call operand, where the code position returns to. The
// caller's function result number is restored afterwards.
double callNumberFunction(State& s, int64_t target, uint32_t back);

// Enters a procedure body the way component events do: pushes the code position on the
// return stack, raises the call level, grows the parameter stores, runs the body at
// target + 4 and restores the code position. The body's StmtEndBody lowers the level.
// Both this and callNumberFunction go through enterCall (interp/call_entry.h): an error
// leaving the body puts the call level and the other depths back before it goes on.
void enterCallLevel(State& s, int64_t target);

// The parameter slots of the next call level, for callers that pass arguments themselves
// (events, callbacks). A text slot outside the string list is run-time error 213.
void setNextNumberParameter(State& s, int slot, double value);
inline void setNextNumberParameter(CallState& c, int64_t slot, double value) {
  c.numberSlots.write<double>(int64_t(c.level) * kSlotsPerLevel * 8 + slot * 8, value);
}
void setNextTextParameter(State& s, int slot, const std::string& value);
void setNextReferenceParameter(State& s, int slot, uint8_t kind, uint16_t index);

// The element number of an element of a variant (kind 9), record (29) or object (30 and
// above) array selected by the subscripts that follow in the code.
int32_t referenceElementNumber(State& s, uint8_t kind, uint16_t number);

// The slots of the current call level.
inline double numberParameter(const CallState& c, int64_t slot) {
  return c.numberSlots.read<double>((int64_t(c.level) - 1) * kSlotsPerLevel * 8 + slot * 8);
}
inline uint16_t referenceIndex(const CallState& c, int64_t slot) {
  return c.referenceSlots.read<uint16_t>((int64_t(c.level) - 1) * kSlotsPerLevel * kReferenceEntryBytes +
                                         slot * kReferenceEntryBytes + 1);
}
std::string& textParameter(State& s, int64_t slot);

// A value parameter of kind 1..7 (the numeric types) assigned: truncated toward zero and
// narrowed to the kind's width (Single and Double keep the value), into the slot.
inline double assignedValueParameter(uint8_t kind, double v) {
  if (kind == uint8_t(ValueType::Single) || kind == uint8_t(ValueType::Double)) return v;
  const int32_t r = truncateToInt(v);
  switch (ValueType(kind)) {
    case ValueType::Byte: return double(uint8_t(r));
    case ValueType::Short: return double(int16_t(r));
    case ValueType::Word: return double(uint16_t(r));
    default: return double(r);
  }
}
inline void assignValueParameter(CallState& c, uint8_t kind, int64_t slot, double v) {
  c.numberSlots.write<double>((int64_t(c.level) - 1) * kSlotsPerLevel * 8 + slot * 8, assignedValueParameter(kind, v));
}

}  // namespace tavrin
