// A growable byte store in 31-bit memory: the storage of numeric variables, arrays,
// record bytes and the parameter stores. Reads outside the store give zero; a write at or
// past the end extends it (new bytes are zero); a write before the start does nothing.
// The data may move when the store grows, as a program expects of a growing stream.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/low_memory.h"

namespace tavrin {

class ByteStore {
public:
  ByteStore() = default;
  ByteStore(const ByteStore&) = delete;
  ByteStore& operator=(const ByteStore&) = delete;
  ByteStore(ByteStore&& other) noexcept { swap(other); }
  ByteStore& operator=(ByteStore&& other) noexcept {
    swap(other);
    return *this;
  }
  ~ByteStore() { lowFree(m_data, m_capacity); }

  uint8_t* data() { return m_data; }
  const uint8_t* data() const { return m_data; }
  size_t size() const { return m_size; }

  // Sets the size; growth is zero-filled, shrinking drops the tail.
  void resize(size_t size) {
    if (size > m_capacity) grow(size);
    else if (size < m_size) std::memset(m_data + size, 0, m_size - size);
    m_size = size;
  }
  void ensure(size_t size) {
    if (size > m_size) resize(size);
  }
  void append(const void* bytes, size_t n) {
    size_t at = m_size;
    resize(m_size + n);
    std::memcpy(m_data + at, bytes, n);
  }

  template <class T>
  T read(int64_t offset) const {
    if (offset >= 0 && uint64_t(offset) + sizeof(T) <= m_size) [[likely]] {
      T value;
      std::memcpy(&value, m_data + offset, sizeof(T));
      return value;
    }
    return readOutside<T>(offset);
  }
  template <class T>
  void write(int64_t offset, T value) {
    if (offset >= 0 && uint64_t(offset) + sizeof(T) <= m_size) [[likely]]
      std::memcpy(m_data + offset, &value, sizeof(T));
    else
      writeSlow(offset, &value, sizeof(T));
  }

  void swap(ByteStore& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
    std::swap(m_capacity, other.m_capacity);
  }

private:
  template <class T>
  [[gnu::noinline]] T readOutside(int64_t offset) const {
    T value{};
    readPartial(offset, &value, sizeof(T));
    return value;
  }
  void grow(size_t size) {
    size_t cap = lowCapacity(size);
    m_data = static_cast<uint8_t*>(lowRealloc(m_data, m_capacity, cap));
    m_capacity = cap;
  }
  // A read that straddles the end takes the bytes that exist (the rest stays zero).
  void readPartial(int64_t offset, void* out, size_t n) const {
    if (offset < 0 || uint64_t(offset) >= m_size) return;
    std::memcpy(out, m_data + offset, m_size - size_t(offset) < n ? m_size - size_t(offset) : n);
  }
  void writeSlow(int64_t offset, const void* in, size_t n) {
    if (offset < 0) return;
    ensure(size_t(offset) + n);
    std::memcpy(m_data + offset, in, n);
  }

  uint8_t* m_data = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
};

}  // namespace tavrin
