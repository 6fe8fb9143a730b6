// The heap side of --max-memory. Outside the sanitizers the global operator new and delete
// keep a count of the bytes malloc really gave (malloc_usable_size), only while a limit is
// set; under AddressSanitizer its own allocator statistics give the same figure.
#include "runtime/memory_limit.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "runtime/low_memory.h"
#include "runtime/run_error.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRIN_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define TAVRIN_ASAN 1
#endif

#ifdef TAVRIN_ASAN
// Declared here: GCC 12 ships the sanitizer runtime but not this header.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tavrin {

size_t g_memoryLimit = 0;
namespace {

// Heap bytes counted since the limit was set; blocks from before it make it go below zero
// when they are freed, which only makes the bound a little more lenient.
std::atomic<int64_t> g_heap{0};
std::atomic<bool> g_counting{false};
#ifdef TAVRIN_ASAN
size_t g_asanBase = 0;
#endif

int64_t heapGrowth() {
#ifdef TAVRIN_ASAN
  return int64_t(__sanitizer_get_current_allocated_bytes()) - int64_t(g_asanBase);
#else
  return g_heap.load(std::memory_order_relaxed);
#endif
}

}  // namespace

void setMemoryLimit(size_t bytes) {
  g_memoryLimit = bytes;
  g_heap.store(0, std::memory_order_relaxed);
#ifdef TAVRIN_ASAN
  g_asanBase = __sanitizer_get_current_allocated_bytes();
#endif
  g_counting.store(bytes != 0, std::memory_order_relaxed);
}


size_t memoryInUse() {
  if (!g_memoryLimit) return 0;
  const int64_t heap = heapGrowth();
  return lowBytesInUse() + size_t(heap > 0 ? heap : 0);
}

void checkMemoryLimit(size_t more) {
  if (!g_memoryLimit) return;
  if (memoryInUse() + more > g_memoryLimit) [[unlikely]]
    raiseLimit(ErrorNumber::HeapOverflow, "memory limit of " + std::to_string(g_memoryLimit) + " bytes exceeded");
}

void checkMemoryFor(int64_t items, int64_t bytesEach) {
  if (!g_memoryLimit || items <= 0 || bytesEach <= 0) return;
  const double bytes = double(items) * double(bytesEach);
  checkMemoryLimit(bytes >= double(g_memoryLimit) ? g_memoryLimit + 1 : size_t(bytes));
}

void checkLongText(int64_t length, int64_t block) {
  if (length > kMaxText) textTooLong(length);
  if (block > 0) checkMemoryLimit(size_t(block));
}

void textTooLong(int64_t length) {
  raise(ErrorNumber::HeapOverflow, "Heap overflow: a text of " + std::to_string(length) + " characters");
}

}  // namespace tavrin

#ifndef TAVRIN_ASAN
// The replaced global allocation functions; the array, sized and nothrow forms of the
// standard library come here through these.
void* operator new(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) [[unlikely]]
    throw std::bad_alloc();
  if (tavrin::g_counting.load(std::memory_order_relaxed)) [[unlikely]]
    tavrin::g_heap.fetch_add(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
  return p;
}

void operator delete(void* p) noexcept {
  if (p && tavrin::g_counting.load(std::memory_order_relaxed)) [[unlikely]]
    tavrin::g_heap.fetch_sub(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
  std::free(p);
}

void operator delete(void* p, size_t) noexcept { operator delete(p); }
#endif
