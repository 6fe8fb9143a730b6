// Addresses of texts. A String or FixedString variable's characters are kept in the
// engine's strings, which live anywhere in the 64-bit heap; AddressOf pins a NUL-terminated
// copy of them in the 31-bit arena, so that the address fits a Long, the memory statements
// and TextAtAddress can read it, and an external call can hand it to a foreign function.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "interp/tables.h"

namespace tavrin {

struct State;
struct TFixString;

// One pinned copy per variable or element. The same address comes back while the text
// is unchanged; a changed text is copied again (into the same block while it fits), so an
// address stays readable until the variable's next AddressOf, never freed under the program.
class TextPins {
public:
  TextPins() = default;
  TextPins(const TextPins&) = delete;
  TextPins& operator=(const TextPins&) = delete;
  ~TextPins();

  // The address of the pinned copy of `text`, owned by `owner` (the variable's storage).
  uint32_t pin(const void* owner, std::string_view text);
  // After foreign code may have written into a pin: its bytes up to the text's length (a
  // foreign function fills a buffer, it does not resize the variable), stopping at a NUL
  // it wrote, become the text again. false when `owner` has no pin.
  bool copyBack(const void* owner, std::string& text) const;
  size_t count() const { return m_pins.size(); }

private:
  struct Pin {
    char* block;
    size_t capacity;  // bytes of the block, the NUL included
    size_t length;    // the text's length when pinned
  };
  std::unordered_map<const void*, Pin> m_pins;
};

// AddressOf a String or FixedString: element (selector 1, the subscripts following in
// the code) or variable (a local of the running procedure, in the main program a global).
uint32_t addressOfText(State& s, bool element, ValueType type, uint16_t n);

}  // namespace tavrin
