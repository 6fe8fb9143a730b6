// The exit signal handlers and the service list they walk.
#include "runtime/shutdown.h"

#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace tavrin {

namespace {

// Read by the handler; written only before the handlers are installed and between runs.
ServiceList g_signalServices;

void exitOnSignal(int signal) {
  for (size_t i = g_signalServices.count; i-- > 0;)
    if (auto step = g_signalServices.steps[i].onSignal) step();
  _exit(128 + signal);
}

}  // namespace

void setSignalServices(ServiceList services) { g_signalServices = services; }

void installExitSignalHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action {};
  action.sa_handler = exitOnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace tavrin
