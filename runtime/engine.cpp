// Start-up, the run and shutdown. Errors end in one line on stderr and the error's number
// as the exit status; StmtEnd leaves at once with status 0 but still flushes what the
// program wrote.
#include "runtime/engine.h"

#include <unistd.h>
#include <climits>
#include <csignal>
#include <cstdio>
#include <new>

#include "interp/dispatcher.h"
#include "runtime/loader.h"
#include "runtime/memory_limit.h"
#include "runtime/shutdown.h"
#include "runtime/state.h"
#include "runtime/time_limit.h"

namespace tavrin {

std::string ownExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, size_t(n));
}

namespace {

void initState(State& s, const RunOptions& options) {
  s.core.decimalSeparator = '.';  // whatever the user's locale says
  s.trace = options.trace;
  s.stepLimit = options.maxSteps;
  if (options.maxMemory) setMemoryLimit(options.maxMemory);
  if (options.maxTime > 0) setTimeLimit(options.maxTime);
  // A peer that has gone away makes a write fail with an error, not kill the process; so
  // does a write past the file size limit (ulimit -f).
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // Interrupts end the run with the conventional status, the terminal given back.
  installExitSignalHandlers();
}

int report(const State& s, const RunError& error) {
  std::fflush(stdout);
  std::string line = formatError(error);
  std::fprintf(stderr, "%s: %s\n", s.programName.c_str(), line.c_str());
  return error.number > 0 && error.number < 256 ? error.number : 217;
}

}  // namespace

int runProgramFile(const RunOptions& options) {
  State s;
  s.programName = options.arguments.empty() ? options.imagePath : options.arguments[0];
  try {
    initState(s, options);
    s.arguments = options.arguments;
    std::vector<uint8_t> image;
    if (readImageTail(options.imagePath, image) == TailStatus::NoImage) {
      if (options.quietWithoutImage) return 0;
      std::fprintf(stderr, "tavrin: %s carries no program (its trailer is 0)\n", options.imagePath.c_str());
      return 2;
    }
    if (loadImage(s, std::move(image))) runStatements(s);
    shutdownState(s);
    return 0;
  } catch (const ProgramEnd& end) {
    endServices(s);
    return end.exitCode;
  } catch (const RunError& error) {
    endServices(s);
    return report(s, error);
  } catch (const std::bad_alloc&) {
    // The host refused memory the bounds of the stores and texts did not foresee.
    endServices(s);
    return report(s, RunError{ErrorKind::Limit, int(ErrorNumber::HeapOverflow), "Heap overflow: the host is out of memory",
                              s.statementPosition});
  }
}

}  // namespace tavrin
