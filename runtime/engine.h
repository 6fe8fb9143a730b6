// The options of one program run, shared by the bound engine and `tavrin run`; the run
// itself is interp/run.h's.
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
  bool decode = true;                 // false: no decoded statements (also TAVRIN_NO_DECODE=1)
  std::string driveScript;            // steps that drive a windowed program (docs/driver.md); also TAVRIN_DRIVE
};

// The absolute path of the running executable.
std::string ownExecutablePath();

}  // namespace tavrin
