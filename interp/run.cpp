// Start-up, the run and shutdown.
#include "interp/run.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <new>

#include "interp/call_entry.h"
#include "interp/compiled.h"
#include "interp/dispatcher.h"
#include "interp/state.h"
#include "runtime/loader.h"
#include "runtime/memory_limit.h"
#include "runtime/shutdown.h"
#include "runtime/time_limit.h"

namespace tavrin {

namespace {

void initState(State& s, const RunOptions& options, ServiceList services) {
  s.core.decimalSeparator = '.';  // whatever the user's locale says
  s.trace = options.trace;
  s.stepLimit = options.maxSteps;
  s.services = services;
  s.driveScript = options.driveScript;
  if (const char* drive = std::getenv("TAVRIN_DRIVE"); s.driveScript.empty() && drive) s.driveScript = drive;
  if (options.maxMemory) setMemoryLimit(options.maxMemory);
  if (options.maxTime > 0) setTimeLimit(options.maxTime);
  // A peer that has gone away makes a write fail with an error, not kill the process; so
  // does a write past the file size limit (ulimit -f).
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  // Interrupts end the run with the conventional status, the terminal given back.
  setSignalServices(services);
  installExitSignalHandlers();
}

// The top level's report: the error's line on stderr, and its number as the exit status.
int report(const State& s, const RunError& error) {
  reportRunError(s, error);
  return errorExitStatus(error);
}

}  // namespace

void startServices(State& s) {
  for (const ServiceSteps& service : s.services)
    if (service.start) service.start(s);
}

void pumpServices(State& s) {
  for (const ServiceSteps& service : s.services)
    if (service.pump) service.pump(s);
}

void endServices(State& s) {
  for (size_t i = s.services.count; i-- > 0;)
    if (auto step = s.services.steps[i].end) step(s);
}

void shutdownState(State& s) {
  for (size_t i = s.services.count; i-- > 0;)
    if (auto step = s.services.steps[i].close) step(s);
  endServices(s);
}

int runProgramFile(const RunOptions& options, ServiceList services) {
  State s;
  s.programName = options.arguments.empty() ? options.imagePath : options.arguments[0];
  try {
    initState(s, options, services);
    s.arguments = options.arguments;
    std::vector<uint8_t> image;
    if (readImageTail(options.imagePath, image) == TailStatus::NoImage) {
      if (options.quietWithoutImage) return 0;
      std::fprintf(stderr, "tavrin: %s carries no program (its trailer is 0)\n", options.imagePath.c_str());
      return 2;
    }
    if (loadImage(s, std::move(image))) {
      const char* noDecode = std::getenv("TAVRIN_NO_DECODE");
      if (!options.decode || (noDecode && std::strcmp(noDecode, "1") == 0)) decodeNothing(s);
      const char* stats = std::getenv("TAVRIN_STATS");
      if (stats && std::strcmp(stats, "1") == 0) startStatementStats(s);
      startServices(s);
      runStatements(s);
    }
    shutdownState(s);
    printStatementStats(s, stderr);
    return s.endStatus;
  } catch (const ProgramEnd& end) {
    endServices(s);
    printStatementStats(s, stderr);
    if (s.endFailure) return report(s, *s.endFailure);
    return end.exitCode ? end.exitCode : s.endStatus;
  } catch (const RunError& error) {
    endServices(s);
    printStatementStats(s, stderr);
    const int status = report(s, error);
    if (s.endFailure) reportRunError(s, *s.endFailure);
    return status;
  } catch (const std::bad_alloc&) {
    // The host refused memory the bounds of the stores and texts did not foresee.
    endServices(s);
    return report(s, RunError{ErrorKind::Limit, int(ErrorNumber::HeapOverflow), "Heap overflow: the host is out of memory",
                              s.statementPosition});
  }
}

}  // namespace tavrin
