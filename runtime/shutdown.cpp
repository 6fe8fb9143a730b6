// Shutdown steps.
#include "runtime/shutdown.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "lib/printer.h"
#include "lib/console.h"
#include "runtime/state.h"

namespace tavrin {

namespace {

// SIGINT, SIGTERM, SIGHUP: give the terminal back and end with 128 + the signal's number.
void exitOnSignal(int signal) {
  consoleEndFromSignal();
  _exit(128 + signal);
}

}  // namespace

void installExitSignalHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action {};
  action.sa_handler = exitOnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void endServices(State& s) { consoleEnd(s); }

void shutdownState(State& s) {
  printerClose(s);  // an open printer document ends with the run
  consoleFlush(s);  // a write error of buffered output still ends in error 101
  endServices(s);
}

}  // namespace tavrin
