// Pinned copies of texts in the 31-bit arena (see text_address.h).
#include "interp/text_address.h"

#include <cstring>

#include "interp/stores.h"
#include "interp/value_ops.h"
#include "interp/value_refs.h"
#include "runtime/low_memory.h"
#include "interp/state.h"

namespace tavrin {

TextPins::~TextPins() {
  for (auto& [owner, pin] : m_pins) lowFree(pin.block, pin.capacity);
}

uint32_t TextPins::pin(const TextPinKey& owner, std::string_view text) {
  auto it = m_pins.find(owner);
  if (it != m_pins.end()) {
    Pin& p = it->second;
    if (p.length == text.size() && std::memcmp(p.block, text.data(), text.size()) == 0 && p.block[p.length] == '\0')
      return uint32_t(uintptr_t(p.block));
    if (text.size() + 1 > p.capacity) {
      lowFree(p.block, p.capacity);
      m_pins.erase(it);
      it = m_pins.end();
    }
  }
  if (it == m_pins.end()) {
    const size_t capacity = lowCapacity(text.size() + 1);
    char* block = static_cast<char*>(lowAlloc(capacity));  // raises error 203 when full
    it = m_pins.emplace(owner, Pin{block, capacity, 0}).first;
  }
  Pin& p = it->second;
  std::memcpy(p.block, text.data(), text.size());
  std::memset(p.block + text.size(), 0, p.capacity - text.size());
  p.length = text.size();
  return uint32_t(uintptr_t(p.block));
}

bool TextPins::copyBack(const TextPinKey& owner, std::string& text) const {
  auto it = m_pins.find(owner);
  if (it == m_pins.end()) return false;
  const Pin& p = it->second;
  text.assign(p.block, strnlen(p.block, p.length));
  return true;
}

void destroyService(TextPins* p) { delete p; }

namespace {

TextPins& pins(State& s) {
  if (!s.textPins) s.textPins = std::make_unique<TextPins>();
  return *s.textPins;
}

template <typename T>
T& existing(std::vector<T>& list, int64_t n) {
  if (n < 0 || n >= int64_t(list.size())) [[unlikely]]
    listIndexError(n);
  return list[size_t(n)];
}

uint32_t pinFixed(State& s, const TextPinKey& key, TFixString& f) {
  std::string text;
  readFixed(f, text);  // the characters as the program reads them, blanks included
  return pins(s).pin(key, text);
}

}  // namespace

uint32_t addressOfText(State& s, bool element, ValueType type, uint16_t n, TextPinKey& key) {
  Stores& st = s.stores;
  key = TextPinKey{TextPinKey::Global, uint8_t(type), 0, n};
  if (element) {
    const int64_t at = valueref::elementPosition(s, type, n);
    key.where = TextPinKey::Element;
    key.index = at;
    if (type == ValueType::String) return pins(s).pin(key, existing(st.arrayStrings, at));
    return pinFixed(s, key, existing(st.arrayFixed, at));
  }
  std::vector<std::string>* strings = &st.strings;
  std::vector<TFixString>* fixed = &st.fixed;
  if (s.calls.level > 0 && size_t(s.calls.level) <= st.frames.size() && st.frames[size_t(s.calls.level) - 1]) {
    LocalFrame& f = *st.frames[size_t(s.calls.level) - 1];
    strings = &f.strings;
    fixed = &f.fixed;
    key.where = TextPinKey::Local;
    key.level = uint32_t(s.calls.level);
  }
  if (type == ValueType::String) return pins(s).pin(key, existing(*strings, n));
  return pinFixed(s, key, existing(*fixed, n));
}

uint32_t addressOfText(State& s, bool element, ValueType type, uint16_t n) {
  TextPinKey key{};
  return addressOfText(s, element, type, n, key);
}

}  // namespace tavrin
