// The interpreter state: one record that owns everything a program run has (the runtime's
// part, registers, stores, stacks, service states) from start-up to shutdown.
// Subsystems keep their part in a struct of their own header; lazily started services
// (console, sockets, objects, printer, file search, sound) live behind pointers created on first use, each destroyed by
// its own service (destroyService), so this layer needs none of their types.
#pragma once
#include <memory>
#include <string>

#include "interp/byte_store.h"
#include "interp/calls.h"
#include "interp/control.h"
#include "interp/core_state.h"
#include "interp/statement_stats.h"
#include "interp/stores.h"
#include "runtime/run_state.h"

namespace tavrin {

struct ConsoleState;
struct ObjectState;
struct ExternalState;
class SocketService;
class CompiledCache;
struct PrinterState;
struct FileSearch;
class TextPins;
struct SoundState;

// Each service that keeps a state behind the State defines its overload, where the type is
// complete.
void destroyService(ConsoleState* p);
void destroyService(ObjectState* p);
void destroyService(ExternalState* p);
void destroyService(SocketService* p);
void destroyService(CompiledCache* p);
void destroyService(PrinterState* p);
void destroyService(FileSearch* p);
void destroyService(TextPins* p);
void destroyService(SoundState* p);

// The deleter of a service's state. It converts from std::default_delete, so a service
// assigns std::make_unique<T>() as with a plain unique_ptr.
template <class T>
struct ServiceDeleter {
  ServiceDeleter() = default;
  ServiceDeleter(std::default_delete<T>) {}
  void operator()(T* p) const { destroyService(p); }
};
template <class T>
using ServicePtr = std::unique_ptr<T, ServiceDeleter<T>>;

struct State : RunState {
  State();
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // Expression result registers: the evaluator leaves its value here.
  double resultNum = 0.0;
  std::string resultStr;

  Stores stores;
  CallState calls;
  ControlState control;
  CoreState core;

  // Services started on first use.
  ServicePtr<ConsoleState> console;
  ServicePtr<ObjectState> objects;
  ServicePtr<ExternalState> externals;
  ServicePtr<SocketService> sockets;
  ServicePtr<PrinterState> printer;
  ServicePtr<FileSearch> fileSearch;
  // Texts whose addresses the program took (AddressOf), pinned in 31-bit memory.
  ServicePtr<TextPins> textPins;
  ServicePtr<SoundState> sound;

  // Decoded statements and expressions of the code stream (interp/compiled.h).
  ServicePtr<CompiledCache> compiled;
  // Statement counts of `--stats` (interp/statement_stats.h); none unless asked for.
  std::unique_ptr<StatementStats> stats;
};

}  // namespace tavrin
