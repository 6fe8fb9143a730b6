// What the engine-running fuzz targets share: the host stack and arena bounds, and a CPU
// alarm (SIGPROF) whose handler each target gives, to cut a slow but finite input short.
#pragma once
#include <signal.h>
#include <sys/time.h>

#include <cstddef>

#include "runtime/host_stack.h"
#include "runtime/low_memory.h"

namespace fuzz {

inline void setCpuAlarm(long seconds) {
  itimerval t{};
  t.it_value.tv_sec = seconds;
  setitimer(ITIMER_PROF, &t, nullptr);
}

// Sizes the host-stack guard, bounds the program-addressable arena at 256 MiB and installs
// the CPU alarm's handler.
inline void prepareEngine(void (*onCpuAlarm)(int)) {
  tavrin::prepareHostStack();
  tavrin::setLowMemoryLimit(size_t(256) << 20);
  struct sigaction action {};
  action.sa_handler = onCpuAlarm;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPROF, &action, nullptr);
}

}  // namespace fuzz
