// The --max-memory bound: the bytes a run holds in the 31-bit arena plus the C++ heap it
// has grown since the limit was set (texts, lists, string lists, streams, objects). It is
// checked before every statement and at every arena allocation, so one statement can pass
// it by what that statement allocates itself (each text is at most kMaxText bytes).
#pragma once
#include <cstddef>
#include <cstdint>

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

}  // namespace tavrin
