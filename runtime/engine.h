// One program run from start-up to exit, shared by the bound engine and `tavrin run`.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

struct RunOptions {
  std::string imagePath;              // the file whose tail carries the image
  std::vector<std::string> arguments; // the command-line list: item 0 is the program
  bool trace = false;                 // each statement executed, on stderr
  uint64_t maxSteps = 0;              // 0: unbounded
  uint64_t maxMemory = 0;             // bytes of program storage; 0: unbounded
  double maxTime = 0;                 // wall-clock seconds; 0: unbounded
  bool quietWithoutImage = true;      // the bare engine: a zero trailer exits 0 quietly
};

// Runs the program and returns the process exit status: 0 on a normal end, the error
// number after a run-time error, 2 when `tavrin run` is given a file without a program.
int runProgramFile(const RunOptions& options);

// The absolute path of the running executable.
std::string ownExecutablePath();

}  // namespace tavrin
