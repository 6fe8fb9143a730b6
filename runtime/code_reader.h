// The code stream: the program image in memory, read forwards from a position that is the
// program counter. Every read is bounds-checked with one compare; a read past the end is
// a byte-code error (a truncated statement or operand), never a read outside the image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/run_error.h"

namespace tavrin {

class CodeReader {
public:
  CodeReader() = default;
  CodeReader(const uint8_t* data, size_t size) { reset(data, size); }

  void reset(const uint8_t* data, size_t size) {
    m_begin = data;
    m_pos = data;
    m_end = data + size;
  }

  const uint8_t* data() const { return m_begin; }
  uint32_t size() const { return uint32_t(m_end - m_begin); }
  uint32_t position() const { return uint32_t(m_pos - m_begin); }
  bool atEnd() const { return m_pos >= m_end; }
  size_t remaining() const { return size_t(m_end - m_pos); }

  // Positions past the end are clamped to the end: nothing can be read there and every
  // loop that checks atEnd() stops. Negative positions are a byte-code error.
  void seek(int64_t position) {
    if (position < 0) [[unlikely]]
      badSeek(position);
    m_pos = position >= int64_t(size()) ? m_end : m_begin + position;
  }
  void skip(int64_t count) { seek(int64_t(position()) + count); }
  void stepBack() {
    if (m_pos > m_begin) --m_pos;
  }

  uint8_t peek() const {
    if (m_pos >= m_end) [[unlikely]]
      truncated(1);
    return *m_pos;
  }
  uint8_t u8() {
    if (m_pos >= m_end) [[unlikely]]
      truncated(1);
    return *m_pos++;
  }
  uint16_t u16() { return fixed<uint16_t>(); }
  int16_t i16() { return fixed<int16_t>(); }
  uint32_t u32() { return fixed<uint32_t>(); }
  int32_t i32() { return fixed<int32_t>(); }
  float f32() { return fixed<float>(); }
  double f64() { return fixed<double>(); }

  // A view of the next n bytes, consumed.
  const uint8_t* bytes(size_t n) {
    if (size_t(m_end - m_pos) < n) [[unlikely]]
      truncated(n);
    const uint8_t* p = m_pos;
    m_pos += n;
    return p;
  }

private:
  template <class T>
  T fixed() {
    if (size_t(m_end - m_pos) < sizeof(T)) [[unlikely]]
      truncated(sizeof(T));
    T value;
    std::memcpy(&value, m_pos, sizeof(T));  // little-endian host
    m_pos += sizeof(T);
    return value;
  }
  [[noreturn, gnu::cold]] void truncated(size_t wanted) const;
  [[noreturn, gnu::cold]] void badSeek(int64_t position) const;

  const uint8_t* m_begin = nullptr;
  const uint8_t* m_pos = nullptr;
  const uint8_t* m_end = nullptr;
};

}  // namespace tavrin
