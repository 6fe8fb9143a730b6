// Addresses of texts. A String or FixedString variable's characters are kept in the
// engine's strings, which live anywhere in the 64-bit heap; AddressOf pins a NUL-terminated
// copy of them in the 31-bit arena, so that the address fits a Long, the memory statements
// and TextAtAddress can read it, and an external call can hand it to a foreign function.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "interp/tables.h"

namespace tavrin {

struct State;
struct TFixString;

// Which variable or element a pin copies: a global, a local of one call level, or an
// element (its item index in the array list). Keyed by the variable rather than by where
// its string lives, so that re-declaring an array reuses its pins instead of adding more.
struct TextPinKey {
  enum Where : uint8_t { Global, Local, Element } where;
  uint8_t type;    // ValueType: String or FixedString
  uint32_t level;  // the call level of a local, else 0
  int64_t index;   // the variable number, or the element's item index
  bool operator==(const TextPinKey&) const = default;
};
struct TextPinKeyHash {
  size_t operator()(const TextPinKey& k) const {
    return std::hash<int64_t>()(k.index) ^ (size_t(k.where) << 56) ^ (size_t(k.type) << 48) ^ (size_t(k.level) << 20);
  }
};

// One pinned copy per variable or element. The same address comes back while the text
// is unchanged; a changed text is copied again (into the same block while it fits), so an
// address stays readable until the variable's next AddressOf (which may move a longer
// text), never freed under the program; the pins go with the run.
class TextPins {
public:
  TextPins() = default;
  TextPins(const TextPins&) = delete;
  TextPins& operator=(const TextPins&) = delete;
  ~TextPins();

  // The address of the pinned copy of `text`, the value of the variable `key`.
  uint32_t pin(const TextPinKey& key, std::string_view text);
  // After foreign code may have written into a pin: its bytes up to the text's length (a
  // foreign function fills a buffer, it does not resize the variable), stopping at a NUL
  // it wrote, become the text again. false when `key` has no pin.
  bool copyBack(const TextPinKey& key, std::string& text) const;
  size_t count() const { return m_pins.size(); }

private:
  struct Pin {
    char* block;
    size_t capacity;  // bytes of the block, the NUL included
    size_t length;    // the text's length when pinned
  };
  std::unordered_map<TextPinKey, Pin, TextPinKeyHash> m_pins;
};

// AddressOf a String or FixedString: element (selector 1, the subscripts following in
// the code) or variable (a local of the running procedure, in the main program a global).
uint32_t addressOfText(State& s, bool element, ValueType type, uint16_t n);
// The same, also giving the pin's key (for an external call to copy back after the call).
uint32_t addressOfText(State& s, bool element, ValueType type, uint16_t n, TextPinKey& key);

}  // namespace tavrin
