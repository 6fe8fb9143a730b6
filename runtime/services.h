// The service registry: a run's services are one list of steps, given to the state when
// the run starts. The list is the composition root's (tools/service_list.cpp); the runtime
// and the interpreter only walk it, so neither knows which services exist.
#pragma once
#include <cstddef>

namespace tavrin {

struct State;  // the interpreter's full state (interp/state.h)

// One service's steps; any of them may be null. Steps run in list order at start and at
// each pump, and in reverse list order at the end, so a service that uses another (the
// printer flushes the console) comes after it in the list and ends before it.
struct ServiceSteps {
  const char* name;
  void (*start)(State& s);  // before the program's first statement
  void (*pump)(State& s);   // each time the program processes messages: deliver what arrived
  void (*close)(State& s);  // the normal end of the main program; may raise (a final write fails)
  void (*end)(State& s);    // every way out: after close, on the end statement, after an error
  void (*onSignal)();       // a signal ends the process: async-signal-safe work only
};

struct ServiceList {
  const ServiceSteps* steps = nullptr;
  size_t count = 0;

  const ServiceSteps* begin() const { return steps; }
  const ServiceSteps* end() const { return steps + count; }
};

// The list the signal handlers walk: set once per process by the run entry, before the
// handlers are installed. A signal may arrive at any moment, so the list must be static.
void setSignalServices(ServiceList services);

}  // namespace tavrin
