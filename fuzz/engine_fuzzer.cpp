// The whole engine on an arbitrary image, in the sandbox, with a statement budget and a
// memory bound (arena and heap, counted afresh for each input), so an endless loop ends as a
// clean "budget exhausted" error and a runaway store as error 203. Standard input and
// output are /dev/null, so console input ends at once and nothing reaches a terminal.
// Statements that are slow but finite (a 16 MB text copied on every read, a quadratic sort)
// can still add up to seconds within the statement budget; a CPU-time alarm of 2 seconds
// then cuts the budget to one statement, so the next statement ends the run the same way.
#include <fcntl.h>
#include <signal.h>
#include <sys/time.h>
#include <sanitizer/allocator_interface.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/harness.h"
#include "interp/dispatcher.h"
#include "interp/run.h"
#include "runtime/host_stack.h"
#include "runtime/loader.h"
#include "runtime/low_memory.h"
#include "runtime/memory_limit.h"
#include "interp/state.h"
#include "tools/service_list.h"

namespace {

tavrin::State* volatile g_running = nullptr;

void onCpuAlarm(int) {
  if (tavrin::State* s = g_running) s->stepLimit = 1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  dup2(null, 1);
  fuzz::prepareEngine(onCpuAlarm);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tavrin::setMemoryLimit(size_t(192) << 20);
  tavrin::State s;
  s.sandbox = true;
  s.services = tavrin::engineServices();
  s.stepLimit = 20000;
  s.arguments = {"fuzz"};
  g_running = &s;
  fuzz::setCpuAlarm(2);
  try {
    if (tavrin::loadImage(s, std::vector<uint8_t>(data, data + size))) tavrin::runStatements(s);
    tavrin::shutdownState(s);
  } catch (const tavrin::RunError&) {
    tavrin::endServices(s);
  } catch (const tavrin::ProgramEnd&) {
    tavrin::endServices(s);
  }
  fuzz::setCpuAlarm(0);
  g_running = nullptr;
  // What one input held goes back to the system, so the harness's resident size measures
  // each input rather than the sum of all the inputs before it.
  tavrin::lowReleaseAll();
  __sanitizer_purge_allocator();
  return 0;
}
