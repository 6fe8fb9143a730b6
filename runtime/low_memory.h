// Program-visible storage lives where its addresses fit in 31 bits, so a program that
// keeps an address in a Long keeps working. One reserved arena below 2 GiB, carved into
// power-of-two blocks with a free list per size class. Single-threaded.
#pragma once
#include <cstddef>
#include <cstdint>

namespace tavrin {

// A block of at least `size` bytes, zeroed; raises run-time error 203 when the arena is
// exhausted. Size 0 returns nullptr.
void* lowAlloc(size_t size);
// Returns a block obtained from lowAlloc with the same size request.
void lowFree(void* block, size_t size);
// Grows or shrinks a block, keeping min(old, new) bytes; new bytes are zeroed.
void* lowRealloc(void* block, size_t oldSize, size_t newSize);
// The capacity lowAlloc really gives for a request (a power of two, at least 16).
size_t lowCapacity(size_t size);

// Whether [address, address + length) lies inside memory the arena has handed out so
// far; the raw memory statements refuse anything else.
bool lowContains(uintptr_t address, size_t length);

// Bytes of the arena in use (for the --max-memory bound).
size_t lowBytesInUse();
void setLowMemoryLimit(size_t bytes);  // 0: no limit but the arena's size

// When no block is in use, gives every page of the arena back to the system and starts
// carving it afresh; returns whether it did. For a harness that runs many programs in one
// process, so each starts from the same empty arena.
bool lowReleaseAll();

}  // namespace tavrin
