// What the runtime keeps of a program run: the image and the code stream over it, the
// positions the loader finds, the command-line list, the run options and the services
// registered for the run. The interpreter's full state (interp/state.h) derives from it, so
// its members stay plain members at fixed offsets: no indirection on the hot path.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <optional>
#include <vector>

#include "runtime/code_reader.h"
#include "runtime/run_error.h"
#include "runtime/services.h"

namespace tavrin {

inline constexpr int kResourceSlots = 201;

struct RunState {
  // The program image and the code stream over it; positions are image offsets.
  std::vector<uint8_t> image;
  CodeReader code;
  uint32_t mainStart = 0;
  uint32_t dataBase = 0;
  uint32_t dataPointer = 0;
  std::array<uint32_t, kResourceSlots> resources{};
  int resourceCount = 0;

  // The statement being carried out, for error reports.
  uint32_t statementPosition = 0;

  // Command-line list: item 0 is the program.
  std::vector<std::string> arguments;

  // Run options of the tool.
  bool trace = false;
  uint64_t stepLimit = 0;  // 0: none
  uint64_t steps = 0;
  // Untrusted images (the fuzzers): statements that touch the system outside the process
  // (files, processes, libraries, sockets, the printer, sleeping) are refused.
  bool sandbox = false;
  std::string programName;  // for error reports
  // The driver script of a windowed run (docs/driver.md); empty when none drives it.
  std::string driveScript;
  // The status of a normal end or the end statement: an end step may make it fail (a driver
  // script with steps left when the program ends).
  int endStatus = 0;

  // The services of this run, in start order (runtime/services.h).
  ServiceList services;
  // What an end step could not finish (bytes a file refused when the run ended another way
  // than its normal end): reported after the end steps, its number the exit status.
  std::optional<RunError> endFailure;
};

}  // namespace tavrin
