// The exit signal handlers and the service list they walk.
#include "runtime/shutdown.h"

#include <unistd.h>

#include <csignal>
#include <initializer_list>

namespace tavrin {

namespace {

// Read by the handler; written only before the handlers are installed and between runs.
ServiceList g_signalServices;

// The thread that installed the handlers: the interpreter's.
pid_t g_mainThread = 0;

void exitOnSignal(int signal) {
  // The services' signal steps touch the interpreter's state, which only its own thread may
  // do: a signal caught on another thread (Qt's, the sound player's) is handed over to it.
  if (g_mainThread && gettid() != g_mainThread && tgkill(getpid(), g_mainThread, signal) == 0) return;
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
  g_mainThread = gettid();
  struct sigaction action {};
  action.sa_handler = exitOnSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

}  // namespace tavrin
