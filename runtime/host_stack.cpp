// Sizing the recursion guard. The main thread's stack grows on demand up to the soft
// limit; the kernel keeps at least 128 MiB free below it for that growth, so a raised
// soft limit is usable up to about that size without re-executing the process.
#include "runtime/host_stack.h"

#include <sys/resource.h>

#include "runtime/run_error.h"

namespace tavrin {

uintptr_t g_hostStackLimit = 0;
static uintptr_t g_budget = 0;

#if defined(__SANITIZE_ADDRESS__)
#define TAVRIN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRIN_ASAN 1
#endif
#endif

void prepareHostStack() {
#ifdef TAVRIN_ASAN
  // AddressSanitizer takes the stack's bounds from the limit at start-up and cannot unwind
  // an exception on a stack above 64 MiB: keep the limit as it is, at most 64 MiB.
  constexpr rlim_t kWanted = rlim_t(64) << 20;
  constexpr bool kMayRaise = false;
#else
  constexpr rlim_t kWanted = rlim_t(120) << 20;  // stays inside the kernel's 128 MiB gap
  constexpr bool kMayRaise = true;
#endif
  constexpr uintptr_t kMargin = uintptr_t(512) << 10;  // for the error path and libraries
  rlimit limit{};
  rlim_t usable = rlim_t(8) << 20;
  if (getrlimit(RLIMIT_STACK, &limit) == 0) {
    rlim_t atStart = limit.rlim_cur;
    if (!kMayRaise) {
      usable = (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kWanted) ? kWanted : limit.rlim_cur;
    } else if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < kWanted) {
      rlim_t target = (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kWanted) ? kWanted : limit.rlim_max;
      limit.rlim_cur = target;
      if (setrlimit(RLIMIT_STACK, &limit) == 0) usable = target;
      else usable = atStart;
    } else {
      usable = limit.rlim_cur == RLIM_INFINITY ? kWanted : limit.rlim_cur;
    }
  }
  char top;
  uintptr_t here = reinterpret_cast<uintptr_t>(&top);
  g_budget = usable > kMargin * 2 ? uintptr_t(usable) - kMargin : uintptr_t(usable) / 2;
  g_hostStackLimit = here > g_budget ? here - g_budget : 0;
}

uintptr_t hostStackBudget() { return g_budget; }

void hostStackExhausted() {
  raiseLimit(ErrorNumber::StackOverflow, "Stack overflow: recursion too deep");
}

}  // namespace tavrin
