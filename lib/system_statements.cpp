// Sleeping and raw standard output, which both let the console's buffered output out first.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "interp/builtins_util.h"
#include "interp/dispatcher.h"
#include "interp/handlers.h"
#include "lib/console.h"
#include "lib/file_writes.h"
#include "runtime/time_limit.h"

namespace tavrin {
namespace {

// Raw output to standard output fails as printing does: a reader that has gone away ends
// the run quietly with the SIGPIPE status, any other loss (a full disk) is error 101.
void writeStdout(const char* data, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(STDOUT_FILENO, data, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w < 0 && errno == EPIPE) throw ProgramEnd{128 + SIGPIPE};
      const char* cause = w < 0 ? std::strerror(errno) : "nothing was written";
      raiseIo(ErrorNumber::DiskWrite, std::string("cannot write to standard output: ") + cause);
    }
    data += w;
    n -= size_t(w);
  }
}

}  // namespace

void execStmtSleep(State& s) {
  double seconds = evaluateNumber(s);
  int32_t ms = truncateToInt(seconds * 1000.0);
  if (ms <= 0) return;  // a negative time returns at once rather than sleeping for ever
  consoleFlush(s);
  flushFileWrites();
  timespec t{ms / 1000, long(ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) checkTimeLimit();
}

void execStmtWriteStdout(State& s) {
  double v;
  std::string text;
  if (!evaluate(s, v, text)) text = wholeOrFloatText(s, v);
  const bool lineBreak = s.code.u8() != 11;
  if (lineBreak) text += '\n';
  if (s.console && s.console->terminal) {
    // A terminal shows the console's screen: the text goes where the cursor is.
    consoleWrite(s, text);
    consolePresent(s);
    return;
  }
  consoleFlush(s);  // what the print statements wrote comes first
  writeStdout(text.data(), text.size());
}

}  // namespace tavrin
