// The wall-clock bound of a run.
#include "runtime/time_limit.h"

#include <sys/time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "runtime/run_error.h"

namespace tavrin {

volatile std::sig_atomic_t g_timeUp = 0;

namespace {

double g_seconds = 0;

void onAlarm(int) { g_timeUp = 1; }

}  // namespace

void setTimeLimit(double seconds) {
  g_timeUp = 0;
  g_seconds = seconds > 0 ? seconds : 0;
  itimerval t{};
  if (g_seconds > 0) {
    struct sigaction sa {};
    sa.sa_handler = onAlarm;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: a sleep or a wait for input returns at the deadline
    sigaction(SIGALRM, &sa, nullptr);
    // at least a microsecond: a zero timer value would disarm the timer
    const double whole = std::floor(std::min(g_seconds, 1e9));
    t.it_value.tv_sec = time_t(whole);
    t.it_value.tv_usec = suseconds_t((g_seconds - whole) * 1e6);
    if (t.it_value.tv_sec == 0 && t.it_value.tv_usec == 0) t.it_value.tv_usec = 1;
  }
  setitimer(ITIMER_REAL, &t, nullptr);
}

bool timeLimited() { return g_seconds > 0; }

void raiseTimeLimit() {
  char text[32];
  std::snprintf(text, sizeof text, "%g", g_seconds);
  raiseLimit(ErrorNumber::Unhandled, std::string("time limit of ") + text + " seconds exceeded");
}

}  // namespace tavrin
