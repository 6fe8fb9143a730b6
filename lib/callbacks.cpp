// Callback entry points: one C function per arity, each behind a jump stub in one page
// mapped below 2 GiB, and the registration built-in that hands their addresses out.
#include "lib/callbacks.h"

#include <pthread.h>
#include <sys/mman.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "interp/call_entry.h"
#include "interp/calls.h"
#include "interp/dispatcher.h"
#include "interp/evaluator.h"
#include "interp/handlers.h"
#include "interp/state.h"
#include "lib/external.h"
#include "runtime/run_error.h"

namespace tavrin {
namespace {

// The run whose procedures the entry points call: the last one that registered a
// callback, on the thread it registered from.
struct ActiveRun {
  State* state = nullptr;
  ExternalState* external = nullptr;
  pthread_t thread{};
};
ActiveRun g_active;

// A double function result as the 32 bits a foreign caller gets: truncated toward zero,
// the low 32 bits of what does not fit, 0 for what is not a number.
int32_t truncatedResult(double v) {
  if (!std::isfinite(v)) return 0;
  if (v > -2147483649.0 && v < 2147483648.0) return int32_t(v);
  if (std::fabs(v) >= 9.2e18) return 0;
  return int32_t(uint32_t(uint64_t(int64_t(v))));
}

int32_t runCallbacks(int arity, const int32_t* args) noexcept {
  const ActiveRun run = g_active;
  if (!run.state) {
    std::fprintf(stderr, "tavrin: a callback of %d arguments arrived when no program runs; 0 returned\n", arity);
    return 0;
  }
  if (!pthread_equal(run.thread, pthread_self())) {
    std::fprintf(stderr, "tavrin: a callback of %d arguments from another thread was refused; 0 returned\n", arity);
    return 0;
  }
  State& s = *run.state;
  ExternalState& ext = *run.external;
  // After a failure nothing more of the program runs until the external call reports it.
  if (ext.callbackFailure) return 0;
  const std::vector<int64_t>& list = ext.callbacks[size_t(arity)];
  bool ran = false;
  try {
    // A procedure may register more callbacks while it runs: the list is read by index.
    for (size_t i = 0; i < list.size(); ++i) {
      const int64_t target = list[i];
      growParameterStores(s.calls);
      for (int k = 0; k < arity; ++k) setNextNumberParameter(s.calls, k, double(args[k]));
      CallOutcome o = callFromOutside(s, target, false, false);
      ran = true;
      if (o.status != CallStatus::Done) {
        ext.callbackFailure = std::move(o);
        ext.failedCallback = target;
        return 0;
      }
    }
  } catch (...) {
    // Only the host's memory can run out here (the parameter stores growing).
    CallOutcome o;
    o.status = CallStatus::Fatal;
    o.error = RunError{ErrorKind::Limit, int(ErrorNumber::HeapOverflow), {}, kNoPosition};
    o.exitCode = int(ErrorNumber::HeapOverflow);
    try {
      o.error.message = "Heap overflow: the host is out of memory";
      ext.callbackFailure = std::move(o);
    } catch (...) {
    }
    return 0;
  }
  return ran ? truncatedResult(s.calls.functionNumber) : 0;
}

int32_t entry0() { return runCallbacks(0, nullptr); }
int32_t entry1(int32_t a) {
  const int32_t v[] = {a};
  return runCallbacks(1, v);
}
int32_t entry2(int32_t a, int32_t b) {
  const int32_t v[] = {a, b};
  return runCallbacks(2, v);
}
int32_t entry3(int32_t a, int32_t b, int32_t c) {
  const int32_t v[] = {a, b, c};
  return runCallbacks(3, v);
}
int32_t entry4(int32_t a, int32_t b, int32_t c, int32_t d) {
  const int32_t v[] = {a, b, c, d};
  return runCallbacks(4, v);
}
int32_t entry5(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e) {
  const int32_t v[] = {a, b, c, d, e};
  return runCallbacks(5, v);
}
int32_t entry6(int32_t a, int32_t b, int32_t c, int32_t d, int32_t e, int32_t f) {
  const int32_t v[] = {a, b, c, d, e, f};
  return runCallbacks(6, v);
}

constexpr size_t kStubBytes = 16;
constexpr size_t kPageBytes = 4096;

// Writes the jump to `to` at `at`.
void writeStub(uint8_t* at, const void* to) {
  const uint64_t target = uint64_t(reinterpret_cast<uintptr_t>(to));
#if defined(__x86_64__)
  // movabs r11, target; jmp r11 (r11 is free at a call in both of the platform's ABIs)
  at[0] = 0x49;
  at[1] = 0xBB;
  std::memcpy(at + 2, &target, 8);
  at[10] = 0x41;
  at[11] = 0xFF;
  at[12] = 0xE3;
#elif defined(__aarch64__)
  // ldr x16, #8; br x16; .quad target
  const uint32_t ldr = 0x58000050, br = 0xD61F0200;
  std::memcpy(at, &ldr, 4);
  std::memcpy(at + 4, &br, 4);
  std::memcpy(at + 8, &target, 8);
#else
#error "callback stubs: unknown processor"
#endif
}

// The page of stubs, mapped and written once per process; nullptr when no page below
// 2 GiB can be had.
uint8_t* stubPage() {
  static uint8_t* const page = []() -> uint8_t* {
#if defined(MAP_32BIT)
    void* p = mmap(nullptr, kPageBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
#else
    void* p = mmap(reinterpret_cast<void*>(uintptr_t(0x10000000)), kPageBytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
#endif
    if (p == MAP_FAILED) return nullptr;
    auto* bytes = static_cast<uint8_t*>(p);
    if (reinterpret_cast<uintptr_t>(bytes) + kPageBytes > (uintptr_t(1) << 31)) {
      munmap(p, kPageBytes);
      return nullptr;
    }
    const void* entries[kMaxCallbackArity + 1] = {reinterpret_cast<const void*>(&entry0),
                                                  reinterpret_cast<const void*>(&entry1),
                                                  reinterpret_cast<const void*>(&entry2),
                                                  reinterpret_cast<const void*>(&entry3),
                                                  reinterpret_cast<const void*>(&entry4),
                                                  reinterpret_cast<const void*>(&entry5),
                                                  reinterpret_cast<const void*>(&entry6)};
    for (int k = 0; k <= kMaxCallbackArity; ++k) writeStub(bytes + size_t(k) * kStubBytes, entries[k]);
    __builtin___clear_cache(reinterpret_cast<char*>(bytes), reinterpret_cast<char*>(bytes + kPageBytes));
    if (mprotect(p, kPageBytes, PROT_READ | PROT_EXEC) != 0) {
      munmap(p, kPageBytes);
      return nullptr;
    }
    return bytes;
  }();
  return page;
}

}  // namespace

uint32_t callbackEntryAddress(int arity) {
  if (arity < 0 || arity > kMaxCallbackArity) return 0;
  uint8_t* page = stubPage();
  return page ? uint32_t(reinterpret_cast<uintptr_t>(page + size_t(arity) * kStubBytes)) : 0;
}

uint32_t registerCallback(State& s, int64_t target, int arity) {
  if (arity < 0 || arity > kMaxCallbackArity)
    raise(ErrorNumber::RangeCheck, "CallbackAddress: a callback takes 0 to 6 arguments, not " + std::to_string(arity));
  checkCallTarget(s, target);
  const uint32_t address = callbackEntryAddress(arity);
  if (!address) raise(ErrorNumber::HeapOverflow, "CallbackAddress: no executable page below 2 GiB for the entry points");
  ExternalState& ext = externalState(s);
  ext.callbacks[size_t(arity)].push_back(target);
  g_active = ActiveRun{&s, &ext, pthread_self()};
  return address;
}

void raiseCallbackFailure(State& s, std::string_view call) {
  ExternalState& ext = externalState(s);
  if (!ext.callbackFailure) return;
  CallOutcome o = std::move(*ext.callbackFailure);
  ext.callbackFailure.reset();
  switch (o.status) {
    case CallStatus::Done: return;
    case CallStatus::Ended: throw ProgramEnd{o.exitCode};
    case CallStatus::Fatal: throw std::move(o.error);
    case CallStatus::Failed: {
      RunError e = std::move(o.error);
      char where[96];
      std::snprintf(where, sizeof where, " (in the callback at 0x%04X, called by ", unsigned(ext.failedCallback));
      e.message += where;
      e.message.append(call);
      e.message += ")";
      e.position = kNoPosition;  // the external call's statement, filled in as it leaves
      throw e;
    }
  }
}

void forgetCallbacks(const ExternalState* owner) {
  if (g_active.external == owner) g_active = ActiveRun{};
}

void fnCallbackAddress(State& s, EvalStack& e) {
  const int64_t target = s.code.u32();
  const int arity = s.code.u8();
  e.pushNumber(double(registerCallback(s, target, arity)));
}

}  // namespace tavrin
