// The interpreter state: one record that owns everything a program run has (image, code
// stream, registers, stores, stacks, service states) from start-up to shutdown.
// Subsystems keep their part in a struct of their own header; lazily started services
// (console, sockets, streams, visual layer) live behind pointers created on first use.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interp/byte_store.h"
#include "interp/calls.h"
#include "interp/control.h"
#include "interp/core_state.h"
#include "interp/stores.h"
#include "runtime/code_reader.h"

namespace tavrin {

struct ConsoleState;
struct ObjectState;
struct ExternalState;
class SocketService;
class CompiledCache;

inline constexpr int kResourceSlots = 201;

struct State {
  State();
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  // The program image and the code stream over it; positions are image offsets.
  std::vector<uint8_t> image;
  CodeReader code;
  uint32_t mainStart = 0;
  uint32_t dataBase = 0;
  uint32_t dataPointer = 0;
  std::array<uint32_t, kResourceSlots> resources{};
  int resourceCount = 0;

  // Expression result registers: the evaluator leaves its value here.
  double resultNum = 0.0;
  std::string resultStr;

  // The statement being carried out, for error reports.
  uint32_t statementPosition = 0;

  // Command-line list: item 0 is the program.
  std::vector<std::string> arguments;

  Stores stores;
  CallState calls;
  ControlState control;
  CoreState core;

  // Services started on first use.
  std::unique_ptr<ConsoleState> console;
  std::unique_ptr<ObjectState> objects;
  std::unique_ptr<ExternalState> externals;
  std::unique_ptr<SocketService> sockets;

  // Decoded statements and expressions of the code stream (interp/compiled.h).
  std::unique_ptr<CompiledCache> compiled;

  // Run options of the tool.
  bool trace = false;
  uint64_t stepLimit = 0;  // 0: none
  uint64_t steps = 0;
  // Untrusted images (the fuzzers): statements that touch the system outside the process
  // (files, processes, libraries, sockets, the printer, sleeping) are refused.
  bool sandbox = false;
  std::string programName;  // for error reports
};

}  // namespace tavrin
