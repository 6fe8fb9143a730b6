// The 31-bit arena. It is reserved lazily (no cost for programs that never store data)
// with MAP_32BIT, trying smaller sizes when the kernel refuses a large one, and falls back
// to ordinary memory only if no low region can be had at all (addresses then may not fit
// a Long, but the program still runs).
#include "runtime/low_memory.h"

#include <sys/mman.h>

#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "runtime/memory_limit.h"
#include "runtime/run_error.h"

namespace tavrin {
namespace {

constexpr int kMinClass = 4;   // 16 bytes
constexpr int kMaxClass = 31;  // 2 GiB

struct Arena {
  uint8_t* base = nullptr;
  size_t size = 0;
  size_t bump = 0;
  size_t inUse = 0;
  size_t limit = 0;
  std::array<std::vector<uint8_t*>, kMaxClass + 1> freeLists;
  bool tried = false;

  void reserve() {
    tried = true;
    for (size_t want = size_t(1) << 30; want >= (size_t(1) << 24); want >>= 1) {
      void* p = mmap(nullptr, want, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT | MAP_NORESERVE, -1, 0);
      if (p != MAP_FAILED) {
        base = static_cast<uint8_t*>(p);
        size = want;
        return;
      }
    }
  }
};

Arena& arena() {
  static Arena a;
  return a;
}

int sizeClass(size_t size) {
  if (size <= (size_t(1) << kMinClass)) return kMinClass;
  return int(std::bit_width(size - 1));
}

}  // namespace

size_t lowCapacity(size_t size) { return size_t(1) << sizeClass(size); }

void* lowAlloc(size_t size) {
  if (size == 0) return nullptr;
  Arena& a = arena();
  if (!a.tried) a.reserve();
  int cls = sizeClass(size);
  if (cls > kMaxClass) raise(ErrorNumber::HeapOverflow, "Heap overflow: a block of " + std::to_string(size) + " bytes");
  size_t cap = size_t(1) << cls;
  if (a.limit && a.inUse + cap > a.limit)
    raiseLimit(ErrorNumber::HeapOverflow, "memory limit of " + std::to_string(a.limit) + " bytes exceeded");
  checkMemoryLimit(cap);
  uint8_t* block = nullptr;
  auto& list = a.freeLists[cls];
  if (!list.empty()) {
    block = list.back();
    list.pop_back();
    std::memset(block, 0, cap);
  } else if (a.base && a.size - a.bump >= cap) {
    block = a.base + a.bump;  // fresh pages are zero
    a.bump += cap;
  } else {
    raise(ErrorNumber::HeapOverflow, "Heap overflow: program storage exhausted");
  }
  a.inUse += cap;
  return block;
}

void lowFree(void* block, size_t size) {
  if (!block) return;
  Arena& a = arena();
  int cls = sizeClass(size);
  a.freeLists[cls].push_back(static_cast<uint8_t*>(block));
  a.inUse -= size_t(1) << cls;
}

void* lowRealloc(void* block, size_t oldSize, size_t newSize) {
  if (block && sizeClass(oldSize) == sizeClass(newSize) && newSize > 0) {
    if (newSize < oldSize) std::memset(static_cast<uint8_t*>(block) + newSize, 0, oldSize - newSize);
    return block;
  }
  void* fresh = lowAlloc(newSize);
  if (block && fresh) std::memcpy(fresh, block, oldSize < newSize ? oldSize : newSize);
  lowFree(block, oldSize);
  return fresh;
}

bool lowContains(uintptr_t address, size_t length) {
  Arena& a = arena();
  if (!a.base) return false;
  uintptr_t lo = reinterpret_cast<uintptr_t>(a.base);
  uintptr_t hi = lo + a.bump;
  return address >= lo && address <= hi && length <= hi - address;
}

size_t lowBytesInUse() { return arena().inUse; }

bool lowReleaseAll() {
  Arena& a = arena();
  if (!a.base || a.inUse != 0) return false;
  madvise(a.base, a.bump, MADV_DONTNEED);  // the pages read as zero again
  a.bump = 0;
  for (auto& list : a.freeLists) std::vector<uint8_t*>().swap(list);
  return true;
}
void setLowMemoryLimit(size_t bytes) { arena().limit = bytes; }

}  // namespace tavrin
