// The core statements of StmtCommand: sleep, randomize, files and directories, programs,
// environment, raw output, decimal separator, resources, command line, array fill, data,
// spare slots, message boxes, window messages, sound, printer, cursors and raw memory.
// Hazards: every operand is read before anything can fail on the system side, so a
// failing call never leaves the code position inside a statement; raw memory is touched
// only after lowContains has vouched for the whole range.
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "interp/builtins_util.h"
#include "interp/dispatcher.h"
#include "interp/handlers.h"
#include "interp/value_refs.h"
#include "lib/console.h"
#include "lib/message_box.h"
#include "lib/message_queue.h"
#include "lib/paths.h"
#include "lib/printer.h"
#include "lib/process.h"
#include "runtime/low_memory.h"
#include "runtime/time_limit.h"

namespace tavrin {
namespace {

std::string pathArg(State& s) {
  std::string p;
  argText(s, p);
  return hostPath(p);
}

// The error a failed change of directory raises: 2 when the directory itself is missing,
// 3 when the path to it is, 5 when it may not be entered.
[[noreturn]] void changeDirError(const std::string& path, int err) {
  ErrorNumber n = ErrorNumber::PathNotFound;
  if (err == EACCES || err == EPERM) {
    n = ErrorNumber::AccessDenied;
  } else if (err == ENOENT) {
    std::string parent = path;
    while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    size_t slash = parent.rfind('/');
    parent = slash == std::string::npos ? "." : (slash == 0 ? "/" : parent.substr(0, slash));
    struct stat st {};
    if (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) n = ErrorNumber::FileNotFound;
  }
  raiseIo(n, "cannot change directory to " + path + ": " + std::strerror(err));
}

void changeDirectory(const std::string& path) {
  if (chdir(path.c_str()) != 0) changeDirError(path, errno);
}

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

[[noreturn]] void accessViolation(uint32_t address) {
  raise(ErrorNumber::AccessViolation, "Access violation at address " + convert::hexText(address, 8));
}

// A raw address range the program names; 216 unless the engine handed it out.
uint8_t* memoryRange(int32_t address, int32_t length) {
  uintptr_t a = uintptr_t(uint32_t(address));
  if (!lowContains(a, size_t(length))) accessViolation(uint32_t(address));
  return reinterpret_cast<uint8_t*>(a);
}

WindowMessage messageOperands(State& s) {
  WindowMessage m;
  m.window = uint32_t(evaluateInt(s));
  m.message = uint32_t(evaluateInt(s));
  m.wParam = evaluateInt(s);
  m.lParam = evaluateInt(s);
  return m;
}

// Only the part of the value's kind changes; the expression may read the slot itself.
void storeSpare(State& s, int slot) {
  double v;
  std::string text;
  bool isText = evaluate(s, v, text);
  s.core.spare.isString = isText;
  if (isText) s.core.spare.str[slot].swap(text);
  else s.core.spare.num[slot] = v;
}

}  // namespace

void execStmtSleep(State& s) {
  double seconds = evaluateNumber(s);
  int32_t ms = truncateToInt(seconds * 1000.0);
  if (ms <= 0) return;  // a negative time does not sleep (the original slept for ever)
  consoleFlush(s);
  timespec t{ms / 1000, long(ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) checkTimeLimit();
}

void execStmtRandomize(State& s) {
  if (s.code.u8() != 11) {
    s.core.randomSeed = uint32_t(evaluateInt(s));
    return;
  }
  timeval tv{};
  gettimeofday(&tv, nullptr);
  s.core.randomSeed = uint32_t((uint64_t(tv.tv_sec) % 86400u) * 1000u + uint64_t(tv.tv_usec) / 1000u);
}

void execStmtScreenCursor(State& s) { s.core.screenCursor = int16_t(evaluateInt(s)); }

void execStmtSetCursorImage(State& s) {
  int32_t number = evaluateInt(s);
  int32_t handle = evaluateInt(s);
  for (auto& entry : s.core.cursors) {
    if (entry.first == number) {
      entry.second = handle;
      return;
    }
  }
  s.core.cursors.emplace_back(number, handle);
}

// ---- directories and files ----

void execStmtChangeDir(State& s) { changeDirectory(pathArg(s)); }

void execStmtChangeDrive(State& s) {
  std::string text;
  argText(s, text);
  text.resize(std::min<size_t>(text.size(), 2));
  if (text.size() == 2 && text[1] == ':') changeDirectory(driveDirectory(text[0]));
  else changeDirectory(hostPath(text));
}

void execStmtMakeDir(State& s) { mkdir(pathArg(s).c_str(), 0777); }

void execStmtRemoveDir(State& s) { rmdir(pathArg(s).c_str()); }

void execStmtDeleteFile(State& s) { unlink(pathArg(s).c_str()); }

void execStmtRenameFile(State& s) {
  std::string from = pathArg(s);
  std::string to = pathArg(s);
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return;  // a move never replaces an existing file
  std::rename(from.c_str(), to.c_str());
}

// ---- programs ----

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

// ---- environment, command line, separator ----

void execStmtSetEnvironment(State& s) {
  const std::string& text = evaluateText(s);
  size_t at = text.find('=');
  if (at == std::string::npos) at = text.find(' ');
  if (at == std::string::npos || at == 0) return;
  std::string name = text.substr(0, at);
  setenv(name.c_str(), text.c_str() + at + 1, 1);
}

void execStmtSetArgument(State& s) {
  int32_t index = evaluateInt(s);
  std::string text;
  argText(s, text);
  if (index < 0) raise(ErrorNumber::IndexOutOfRange, "List index out of bounds (" + std::to_string(index) + ")");
  if (index >= kMaxListItems) listLimit(int64_t(index) + 1);
  if (size_t(index) >= s.arguments.size()) s.arguments.resize(size_t(index) + 1);
  s.arguments[size_t(index)] = std::move(text);
}

void execStmtSetDecimalSeparator(State& s) {
  double v;
  std::string text;
  if (evaluate(s, v, text)) {
    if (!text.empty()) s.core.decimalSeparator = text[0];  // an empty text keeps the separator
  } else {
    s.core.decimalSeparator = char(uint8_t(truncateToInt(v)));
  }
}

// ---- standard output ----

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

// ---- resources, data, arrays ----

void execStmtExtractResource(State& s) {
  int32_t position = evaluateInt(s);
  std::string name;
  argText(s, name);
  std::string path = hostPath(name);
  const uint32_t back = s.code.position();
  s.code.seek(position);
  uint32_t length = s.code.u32();
  const uint8_t* bytes = s.code.bytes(length);
  s.code.seek(back);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) raiseIo(ErrorNumber::Unhandled, "Cannot create file \"" + name + "\". " + std::strerror(errno));
  // What fits stays in the file; a full disk or the file size limit is error 101.
  bool ok = std::fwrite(bytes, 1, length, f) == length;
  int err = ok ? 0 : errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) raiseIo(ErrorNumber::DiskWrite, "cannot write " + name + ": " + std::strerror(err));
}

void execStmtDataRewind(State& s) { s.dataPointer = s.dataBase + s.code.u32(); }

void execStmtArrayFill(State& s) {
  uint8_t type = s.code.u8();
  uint16_t array = s.code.u16();
  const bool filled = type <= uint8_t(ValueType::Double) && array < kArrayNumbers;
  static constexpr int kWidths[] = {1, 1, 2, 4, 2, 4, 4, 8};
  const int64_t base = filled ? s.stores.descriptors[type][array].base : 0;
  double v;
  std::string text;
  for (int64_t k = 0; s.code.u8() != 11; ++k) {
    bool isText = evaluate(s, v, text);
    if (filled) valueref::storeElement(s, ValueType(type), array, base + k * kWidths[type], isText, v, text);
  }
}

// ---- spare slots ----

void execStmtStoreSpareA(State& s) { storeSpare(s, 0); }
void execStmtStoreSpareB(State& s) { storeSpare(s, 1); }

// ---- message boxes ----

void execStmtShowMessage(State& s) {
  std::string text;
  argText(s, text);
  showMessageBox(s, text, applicationTitle(s), 0);
}

void execStmtMessageBox(State& s) {
  std::string text, caption;
  argText(s, text);
  argText(s, caption);
  int32_t flags = evaluateInt(s);
  showMessageBox(s, text, caption, uint32_t(flags));
}

void execStmtMessageDialog(State& s) {
  std::string text;
  argText(s, text);
  int32_t kind = evaluateInt(s);
  int32_t buttons = evaluateInt(s);
  evaluateInt(s);  // the help context
  showMessageDialog(s, text, kind, buttons);
}

// ---- window messages ----

void execStmtProcessMessages(State& s) {
  reapDetached(s);
  processMessages(s);
}

void execStmtSendMessage(State& s) { sendMessage(s, messageOperands(s)); }

void execStmtPostMessage(State& s) { postMessage(s, messageOperands(s)); }

void execStmtKillMessage(State& s) {
  uint32_t window = uint32_t(evaluateInt(s));
  uint32_t message = uint32_t(evaluateInt(s));
  removeMessage(s, window, message);
}

// ---- sound: the operands are read; nothing is played yet ----

void execStmtPlaySound(State& s) {
  std::string name;
  argText(s, name);
  evaluateInt(s);
}

void execStmtPlayResource(State& s) {
  uint16_t n = s.code.u16();
  if (n < s.resourceCount) {  // the body is checked against the image as the original copied it
    const uint32_t back = s.code.position();
    s.code.seek(s.resources[n]);
    s.code.bytes(s.code.u32());
    s.code.seek(back);
  }
  evaluateInt(s);
}

// ---- printer ----

void execStmtPrinterPrint(State& s) {
  double v;
  std::string text;
  if (!evaluate(s, v, text)) {
    if (v - std::trunc(v) == 0.0 && v > -2147483649.0 && v < 2147483648.0) text = convert::intToStr(int64_t(v));
    else if (v - std::trunc(v) == 0.0) text = convert::formatFloatFixed(v, 16, 1);
    else text = convert::formatFloatFixed(v, 9, 9);
  }
  if (s.code.u8() != 11) text += '\n';
  printerWrite(s, text);
}

void execStmtPrinterClose(State& s) { printerClose(s); }

// ---- raw memory ----

void execStmtCopyMemory(State& s) {
  int32_t destination = evaluateInt(s);
  int32_t source = evaluateInt(s);
  int32_t length = evaluateInt(s);
  if (length <= 0) return;
  uint8_t* to = memoryRange(destination, length);
  uint8_t* from = memoryRange(source, length);
  std::memmove(to, from, size_t(length));
}

void execStmtFillMemory(State& s) {
  int32_t address = evaluateInt(s);
  int32_t value = evaluateInt(s);
  int32_t count = evaluateInt(s);
  if (count <= 0) return;
  std::memset(memoryRange(address, count), value & 0xFF, size_t(count));
}

}  // namespace tavrin
