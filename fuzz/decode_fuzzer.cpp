// Each image runs twice, with decoded statements and with every statement on the generic
// path, in the sandbox under the engine target's statement budget and memory bound (and a
// CPU alarm of 1 s a run), and the two runs must agree on what they print, how they end
// (exit status, error number) and the statement an error names. A disagreement aborts with
// both outcomes on stderr.
// Not compared: runs cut short by the CPU alarm, and runs that end with the host stack
// (202) or the memory bound (203) in either form, since decoded calls take less host stack
// per level and the cache's own memory counts against the bound. A run whose output differs
// from a second run of the same form (it printed the clock) is not compared either.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sanitizer/allocator_interface.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "interp/compiled.h"
#include "fuzz/harness.h"
#include "interp/dispatcher.h"
#include "runtime/host_stack.h"
#include "runtime/loader.h"
#include "runtime/low_memory.h"
#include "runtime/memory_limit.h"
#include "interp/run.h"
#include "interp/state.h"
#include "tools/service_list.h"

namespace {

tavrin::State* volatile g_running = nullptr;
volatile sig_atomic_t g_alarmed = 0;
int g_output = -1;  // a memory file standing in for standard output
constexpr size_t kOutputBound = size_t(16) << 20;  // writes past it fail, in both forms alike

void onCpuAlarm(int) {
  g_alarmed = 1;
  if (tavrin::State* s = g_running) s->stepLimit = 1;
}

struct Outcome {
  std::string output;
  int status = 0;  // 0, the end statement's code, or the error's number
  int error = 0;
  uint32_t position = tavrin::kNoPosition;
  std::string message;
  bool alarmed = false;

  bool operator==(const Outcome& o) const {
    return output == o.output && status == o.status && error == o.error && position == o.position;
  }
  bool unfit() const {
    return alarmed || error == int(tavrin::ErrorNumber::StackOverflow) || error == int(tavrin::ErrorNumber::HeapOverflow);
  }
};

std::string readOutput() {
  std::string out;
  const off_t size = lseek(g_output, 0, SEEK_END);
  if (size > 0) {
    out.resize(size_t(size));
    if (pread(g_output, out.data(), out.size(), 0) != ssize_t(size)) out.clear();
  }
  return out;
}

Outcome runOnce(const uint8_t* data, size_t size, bool decode) {
  Outcome o;
  std::fflush(stdout);
  if (ftruncate(g_output, 0) != 0 || lseek(g_output, 0, SEEK_SET) != 0) std::abort();
  tavrin::setMemoryLimit(size_t(192) << 20);
  {
    tavrin::State s;
    s.sandbox = true;
    s.services = tavrin::engineServices();
    s.stepLimit = 20000;
    s.arguments = {"fuzz"};
    g_alarmed = 0;
    g_running = &s;
    fuzz::setCpuAlarm(1);  // each input runs up to four times
    try {
      if (tavrin::loadImage(s, std::vector<uint8_t>(data, data + size))) {
        if (!decode) tavrin::decodeNothing(s);
        tavrin::runStatements(s);
      }
      tavrin::shutdownState(s);
    } catch (const tavrin::RunError& e) {
      tavrin::endServices(s);
      o.error = e.number;
      o.status = e.number;
      o.position = e.position;
      o.message = e.message;
    } catch (const tavrin::ProgramEnd& end) {
      tavrin::endServices(s);
      o.status = end.exitCode;
    } catch (const std::bad_alloc&) {
      tavrin::endServices(s);
      o.error = o.status = int(tavrin::ErrorNumber::HeapOverflow);
    }
    fuzz::setCpuAlarm(0);
    g_running = nullptr;
    o.alarmed = g_alarmed;
  }
  std::fflush(stdout);
  o.output = readOutput();
  tavrin::lowReleaseAll();
  __sanitizer_purge_allocator();
  return o;
}

void describe(const char* form, const Outcome& o) {
  std::fprintf(stderr, "%s: status %d, error %d at 0x%04X (%s), %zu bytes printed\n", form, o.status, o.error,
               unsigned(o.position), o.message.c_str(), o.output.size());
}

[[noreturn]] void diverged(const Outcome& decoded, const Outcome& generic) {
  std::fprintf(stderr, "decoded and generic runs disagree\n");
  describe("decoded", decoded);
  describe("generic", generic);
  size_t at = 0;
  while (at < decoded.output.size() && at < generic.output.size() && decoded.output[at] == generic.output[at]) ++at;
  if (decoded.output != generic.output) {
    std::fprintf(stderr, "output differs from byte %zu:\n", at);
    const size_t from = at > 40 ? at - 40 : 0;
    std::fprintf(stderr, "decoded: %s\n", decoded.output.substr(from, 120).c_str());
    std::fprintf(stderr, "generic: %s\n", generic.output.substr(from, 120).c_str());
  }
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  int null = open("/dev/null", O_RDWR);
  dup2(null, 0);
  g_output = memfd_create("tavrin-output", 0);
  if (g_output < 0 || dup2(g_output, 1) < 0) std::abort();
  // Output past the bound fails with an error (both forms print the same, so both fail
  // alike) instead of filling memory.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit fsize{kOutputBound, kOutputBound};
  setrlimit(RLIMIT_FSIZE, &fsize);
  fuzz::prepareEngine(onCpuAlarm);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Outcome decoded = runOnce(data, size, true);
  const Outcome generic = runOnce(data, size, false);
  if (decoded == generic || decoded.unfit() || generic.unfit()) return 0;
  // A program that prints the clock differs from itself: not a divergence of the forms.
  if (!(runOnce(data, size, false) == generic) || !(runOnce(data, size, true) == decoded)) return 0;
  diverged(decoded, generic);
}
