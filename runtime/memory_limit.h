// The --max-memory bound: the bytes a run holds in the 31-bit arena plus the C++ heap it
// has grown since the limit was set (texts, lists, string lists, streams, objects). It is
// checked before every statement, at every arena allocation, before a long text is made
// or grown and before a declaration makes its elements, so one statement can pass it only
// by the short texts and list items it makes.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrin {

// The longest text the engine builds (a concatenation, RepeatChar, Blanks): error 203 past it.
inline constexpr int64_t kMaxText = int64_t(1) << 28;

// Starts counting the heap from here; 0 turns the bound off.
void setMemoryLimit(size_t bytes);
extern size_t g_memoryLimit;  // set by setMemoryLimit only
inline size_t memoryLimit() { return g_memoryLimit; }

// Arena bytes plus heap growth since setMemoryLimit (0 when no limit is set).
size_t memoryInUse();

// Raises error 203 when memoryInUse() + `more` passes the limit.
void checkMemoryLimit(size_t more = 0);

// The same check before one statement makes `items` things of `bytesEach` bytes at once
// (a declaration of a large array): raised before the first of them is made, since the
// check between statements would see them only after the host's memory had gone.
void checkMemoryFor(int64_t items, int64_t bytesEach);

[[noreturn, gnu::cold]] void textTooLong(int64_t length);

// Before a text of `length` characters is made: past kMaxText it is error 203, and the
// block for a long one (a megabyte or more) is first checked against the memory bound, so
// one statement cannot pile up many such texts (the arguments of one call, say) before the
// check between statements sees them.
inline constexpr int64_t kLongText = int64_t(1) << 20;
void checkLongText(int64_t length, int64_t block);
inline void roomForText(int64_t length) {
  if (length >= kLongText) [[unlikely]]
    checkLongText(length, length);
}
// The same before `text` grows in place to `length` characters: only a growth past its
// capacity takes a new block, which the string makes at least twice the old one.
inline void roomToGrow(const std::string& text, int64_t length) {
  if (length >= kLongText) [[unlikely]]
    checkLongText(length, length > int64_t(text.capacity()) ? std::max(length, 2 * int64_t(text.capacity())) : 0);
}

}  // namespace tavrin
