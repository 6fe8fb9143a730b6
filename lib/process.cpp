// Processes through posix_spawn of /bin/sh -c.
#include "lib/process.h"

#include "lib/file_writes.h"

#include <spawn.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "lib/console.h"
#include "interp/state.h"
#include "interp/builtins_util.h"
#include "interp/handlers.h"
#include "runtime/sandbox.h"

extern char** environ;

namespace tavrin {
namespace {

// Whether the command line's first word names something the shell can run: a builtin, an
// executable path, or a program on PATH. A first word with shell syntax in it is let
// through, the shell decides.
bool startable(std::string_view commandLine) {
  size_t begin = commandLine.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return false;
  size_t end = commandLine.find_first_of(" \t;|&<>()", begin);
  std::string word(commandLine.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
  if (word.empty()) return true;
  for (char c : word)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || std::strchr("._/+-", c))) return true;
  static constexpr std::string_view kBuiltins[] = {
      ".", ":", "[", "alias", "bg", "break", "cd", "command", "continue", "echo", "eval", "exec",
      "exit", "export", "false", "fg", "getopts", "hash", "jobs", "kill", "printf", "pwd", "read",
      "readonly", "return", "set", "shift", "test", "times", "trap", "true", "type", "ulimit",
      "umask", "unalias", "unset", "wait"};
  for (std::string_view b : kBuiltins)
    if (word == b) return true;
  if (word.find('/') != std::string::npos) return access(word.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "/usr/bin:/bin";
  for (;;) {
    size_t colon = rest.find(':');
    const std::string_view entry = rest.substr(0, colon);
    const std::string dir(entry.empty() ? std::string_view(".") : entry);  // an empty entry is the current directory
    if (access((dir + "/" + word).c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

pid_t spawnShell(State& s, std::string_view commandLine) {
  if (!startable(commandLine)) return 0;
  consoleFlush(s);  // what the program printed comes before the child's output
  flushFileWrites();
  std::fflush(stderr);
  std::string command(commandLine);
  char sh[] = "sh";
  char dashC[] = "-c";
  char* argv[] = {sh, dashC, command.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return 0;
  return pid;
}

// The children started with a handle; process-wide, as their ids are.
struct HandleChild {
  pid_t pid;
  bool ended = false;
  bool closed = false;  // the handle is closed: forget the child once it is reaped
  uint32_t exitCode = 0;
};
std::vector<HandleChild>& handleChildren() {
  static std::vector<HandleChild> children;
  return children;
}

uint32_t exitCodeOf(int status) {
  if (WIFEXITED(status)) return uint32_t(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return 128u + uint32_t(WTERMSIG(status));
  return 0;
}

// Reaps the handle children that have ended; `blocking` waits for `pid` alone.
void pollHandleChildren() {
  auto& children = handleChildren();
  for (HandleChild& c : children) {
    if (c.ended) continue;
    int status = 0;
    const pid_t r = waitpid(c.pid, &status, WNOHANG);
    if (r == c.pid) {
      c.ended = true;
      c.exitCode = exitCodeOf(status);
    } else if (r < 0 && errno == ECHILD) {
      c.ended = true;  // reaped elsewhere: the status is lost
    }
  }
  std::erase_if(children, [](const HandleChild& c) { return c.closed && c.ended; });
}

HandleChild* findHandleChild(int32_t handle) {
  for (HandleChild& c : handleChildren())
    if (c.pid == handle && !c.closed) return &c;
  return nullptr;
}

}  // namespace

void reapDetached(State& s) {
  auto& children = s.core.detachedChildren;
  std::erase_if(children, [](int pid) { return waitpid(pid, nullptr, WNOHANG) != 0; });
  pollHandleChildren();
}

ProcessWait waitForProgram(int32_t handle, uint32_t ms) {
  pollHandleChildren();
  HandleChild* c = findHandleChild(handle);
  if (!c) return ProcessWait::NoSuchHandle;
  // Polls with short sleeps, so a bounded wait ends on time.
  uint64_t waited = 0;
  while (!c->ended) {
    if (ms != 0xFFFFFFFFu && waited >= ms) return ProcessWait::TimedOut;
    usleep(1000);
    ++waited;
    pollHandleChildren();
    c = findHandleChild(handle);
    if (!c) return ProcessWait::NoSuchHandle;
  }
  return ProcessWait::Ended;
}

bool programExitCode(int32_t handle, uint32_t& code) {
  pollHandleChildren();
  const HandleChild* c = findHandleChild(handle);
  if (!c) return false;
  code = c->ended ? c->exitCode : 259u;
  return true;
}

bool terminateProgram(int32_t handle, uint32_t code) {
  pollHandleChildren();
  HandleChild* c = findHandleChild(handle);
  if (!c || c->ended) return false;
  kill(c->pid, SIGKILL);
  int status = 0;
  while (waitpid(c->pid, &status, 0) < 0 && errno == EINTR) {
  }
  c->ended = true;
  c->exitCode = code;
  return true;
}

bool closeProgramHandle(int32_t handle) {
  HandleChild* c = findHandleChild(handle);
  if (!c) return false;
  c->closed = true;
  pollHandleChildren();
  return true;
}

bool isProgramHandle(int32_t handle) { return findHandleChild(handle) != nullptr; }

bool runProgramAndWait(State& s, std::string_view commandLine) {
  reapDetached(s);
  consoleSuspend(s);  // the child gets the terminal's normal screen and cooked input
  pid_t pid = spawnShell(s, commandLine);
  if (pid > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  consoleResume(s);
  return pid > 0;
}

int32_t startProgram(State& s, std::string_view commandLine) {
  reapDetached(s);
  pid_t pid = spawnShell(s, commandLine);
  if (pid <= 0) return 0;
  handleChildren().push_back(HandleChild{pid});  // reaped once it ends, so no zombie is left
  return int32_t(pid);
}

void executeDetached(State& s, std::string_view commandLine) {
  reapDetached(s);
  pid_t pid = spawnShell(s, commandLine);
  if (pid > 0) s.core.detachedChildren.push_back(pid);
}

// ---- the statements and the built-in that start programs ----

void execStmtRunProgram(State& s) {
  std::string command;
  argText(s, command);
  runProgramAndWait(s, command);
}

void execStmtExecute(State& s) {
  std::string command;
  argText(s, command);
  executeDetached(s, command);
}

void fnRunProgram(State& s, EvalStack& e) {
  std::string command;
  argText(s, command);
  argNumber(s);  // the show-window mode: no windows here
  if (s.sandbox) sandboxRefuse("RunProgram");
  e.pushNumber(startProgram(s, command));
}

}  // namespace tavrin
