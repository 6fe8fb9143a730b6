// The file-system statements of StmtCommand: directories, files and resources written out,
// on paths mapped from the program's Windows form (lib/paths.h).
// Hazards: every operand is read before anything can fail on the system side, so a
// failing call never leaves the code position inside a statement.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "interp/builtins_util.h"
#include "interp/handlers.h"
#include "lib/paths.h"

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

}  // namespace

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

}  // namespace tavrin
