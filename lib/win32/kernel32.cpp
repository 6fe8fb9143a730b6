// kernel32: time, the environment, directories, INI files, texts and memory, files,
// drives, version and memory figures, and processes started with a handle.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "interp/dispatcher.h"
#include "interp/state.h"
#include "lib/console.h"
#include "lib/external.h"
#include "lib/paths.h"
#include "lib/process.h"
#include "lib/sound.h"
#include "lib/win32/profile.h"
#include "lib/win32/standin.h"

namespace tavrin::win32 {
namespace {

uint64_t monotonicNanos() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

// Windows' buffer rule: the length written when the text and its NUL fit, else the room
// needed (the NUL included) and nothing written.
int64_t fillOrNeed(Call& c, int buffer, std::string_view value, uint32_t room) {
  if (value.size() + 1 > room) return int64_t(value.size() + 1);
  return int64_t(c.putText(buffer, value, room));
}

int64_t GetTickCount(Call&) { return int64_t(uint32_t(monotonicNanos() / 1000000u)); }

int64_t Sleep(Call& c) {
  const uint32_t ms = c.u32(0);
  consoleFlush(c.state());
  if (ms == 0xFFFFFFFFu) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return 0;
}

int64_t Beep(Call& c) { return soundTone(c.state(), c.u32(0), c.u32(1)) ? 1 : 0; }

int64_t GetComputerNameA(Call& c) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) std::strcpy(host, "LOCALHOST");
  std::string name(host);
  if (size_t dot = name.find('.'); dot != std::string::npos) name.resize(dot);
  for (char& ch : name) ch = char(std::toupper(uint8_t(ch)));
  const uint32_t room = c.readDword(1);
  if (name.size() + 1 > room) {
    c.writeDword(1, uint32_t(name.size() + 1));
    c.setLastError(err::kBufferOverflow);
    return 0;
  }
  c.writeDword(1, uint32_t(c.putText(0, name, room)));
  return 1;
}

std::string programPath(const State& s) {
  std::string p = s.arguments.empty() ? s.programName : s.arguments[0];
  char resolved[PATH_MAX];
  if (realpath(p.c_str(), resolved)) return resolved;
  return p;
}

int64_t GetModuleFileNameA(Call& c) {
  const std::string path = programPath(c.state());
  const uint32_t room = c.u32(2);
  if (room == 0) return 0;
  const size_t n = c.putText(1, path, room);
  if (n < path.size()) c.setLastError(err::kInsufficientBuffer);
  return int64_t(n);
}

int64_t GetWindowsDirectoryA(Call& c) { return fillOrNeed(c, 0, windowsDirectory(), c.u32(1)); }
int64_t GetSystemDirectoryA(Call& c) { return fillOrNeed(c, 0, systemDirectory(), c.u32(1)); }

int64_t GetTempPathA(Call& c) {
  const char* t = std::getenv("TMPDIR");
  std::string dir = t && *t ? t : "/tmp";
  if (dir.back() != '/') dir += '/';
  return fillOrNeed(c, 1, dir, c.u32(0));
}

int64_t GetCurrentDirectoryA(Call& c) {
  char buffer[PATH_MAX];
  if (!getcwd(buffer, sizeof buffer)) {
    c.setLastError(errorFromErrno(errno));
    return 0;
  }
  return fillOrNeed(c, 1, buffer, c.u32(0));
}

int64_t SetCurrentDirectoryA(Call& c) {
  const std::string path = hostPath(c.textOr(0, ""));
  if (chdir(path.c_str()) != 0) {
    c.setLastError(errorFromErrno(errno));
    return 0;
  }
  return 1;
}

int64_t GetEnvironmentVariableA(Call& c) {
  const std::string name = c.textOr(0, "");
  const char* v = std::getenv(name.c_str());
  if (!v) {
    c.setLastError(err::kEnvVarNotFound);
    return 0;
  }
  return fillOrNeed(c, 1, v, c.u32(2));
}

int64_t SetEnvironmentVariableA(Call& c) {
  const std::string name = c.textOr(0, "");
  if (name.empty() || name.find('=') != std::string::npos) {
    c.setLastError(err::kInvalidParameter);
    return 0;
  }
  const auto value = c.text(1);
  if (!value) return unsetenv(name.c_str()) == 0 ? 1 : 0;
  return setenv(name.c_str(), std::string(*value).c_str(), 1) == 0 ? 1 : 0;
}

// ---- INI files ----

// An INI file named without a directory lives in the Windows directory.
std::string profilePath(Call& c, int i) {
  const std::string name = c.textOr(i, "win.ini");
  if (name.find_first_of("/\\") == std::string::npos) return windowsDirectory() + "/" + name;
  return hostPath(name);
}

std::string readWhole(const std::string& path, bool& found) {
  std::ifstream in(path, std::ios::binary);
  found = bool(in);
  std::ostringstream out;
  if (in) out << in.rdbuf();
  return out.str();
}

// A list of names, each NUL-terminated, then one more NUL; cut to the room (the platform
// answers room - 2 then).
int64_t putNameList(Call& c, int buffer, const std::vector<std::string>& names, uint32_t room) {
  std::string all;
  for (const std::string& n : names) {
    all += n;
    all += '\0';
  }
  if (room < 2) {
    if (room == 1) c.memory(buffer, 1)[0] = 0;
    return 0;
  }
  int64_t result = int64_t(all.size());
  if (all.size() + 1 > room) {
    all.resize(room - 2);
    all += '\0';
    result = int64_t(room) - 2;
  }
  uint8_t* at = c.memory(buffer, all.size() + 1);
  std::memcpy(at, all.data(), all.size());
  at[all.size()] = 0;
  return result;
}

int64_t GetPrivateProfileStringA(Call& c) {
  bool found = false;
  const std::string content = readWhole(profilePath(c, 5), found);
  const uint32_t room = c.u32(4);
  const auto section = c.text(0);
  const auto key = c.text(1);
  if (!section) return putNameList(c, 3, profile::sectionNames(content), room);
  if (!key) return putNameList(c, 3, profile::keyNames(content, *section), room);
  std::optional<std::string> value = profile::lookup(content, *section, *key);
  if (!value) {
    std::string_view d = c.text(2).value_or("");
    while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
    value = std::string(d);
    c.setLastError(err::kFileNotFound);
  }
  if (room == 0) return 0;
  return int64_t(c.putText(3, *value, room));
}

int64_t GetPrivateProfileIntA(Call& c) {
  bool found = false;
  const std::string content = readWhole(profilePath(c, 3), found);
  const auto section = c.text(0);
  const auto key = c.text(1);
  if (!section || !key) return c.i32(2);
  const std::optional<std::string> value = profile::lookup(content, *section, *key);
  if (!value) return c.i32(2);
  // Leading decimal digits, with a sign; no digits is 0.
  const char* p = value->c_str();
  bool negative = false;
  if (*p == '-' || *p == '+') negative = *p++ == '-';
  uint32_t v = 0;
  while (*p >= '0' && *p <= '9') v = v * 10 + uint32_t(*p++ - '0');
  return int64_t(int32_t(negative ? 0u - v : v));
}

int64_t WritePrivateProfileStringA(Call& c) {
  const auto section = c.text(0);
  if (!section) return 0;  // flushing the cache: nothing is cached
  const std::string path = profilePath(c, 3);
  bool found = false;
  const std::string content = readWhole(path, found);
  const auto key = c.text(1);
  const auto value = c.text(2);
  const std::string updated = profile::write(content, *section, key, key ? value : std::nullopt);
  if (found && updated == content) return 1;
  if (!found && updated.empty()) return 1;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out || !out.write(updated.data(), std::streamsize(updated.size())) || !out.flush()) {
    c.setLastError(errorFromErrno(errno ? errno : EACCES));
    return 0;
  }
  return 1;
}

// ---- time ----

// SYSTEMTIME: year, month, day of week, day, hour, minute, second, milliseconds.
void putSystemTime(Call& c, bool local) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  if (local) localtime_r(&ts.tv_sec, &t);
  else gmtime_r(&ts.tv_sec, &t);
  const std::array<uint16_t, 8> fields = {uint16_t(t.tm_year + 1900), uint16_t(t.tm_mon + 1), uint16_t(t.tm_wday),
                                          uint16_t(t.tm_mday),        uint16_t(t.tm_hour),    uint16_t(t.tm_min),
                                          uint16_t(t.tm_sec),         uint16_t(ts.tv_nsec / 1000000)};
  std::memcpy(c.memory(0, 16), fields.data(), 16);
}
int64_t GetLocalTime(Call& c) {
  putSystemTime(c, true);
  return 0;
}
int64_t GetSystemTime(Call& c) {
  putSystemTime(c, false);
  return 0;
}

constexpr uint64_t kPerformanceFrequency = 10000000;  // 100 ns ticks
int64_t QueryPerformanceCounter(Call& c) {
  const uint64_t ticks = monotonicNanos() / 100;
  std::memcpy(c.memory(0, 8), &ticks, 8);
  return 1;
}
int64_t QueryPerformanceFrequency(Call& c) {
  std::memcpy(c.memory(0, 8), &kPerformanceFrequency, 8);
  return 1;
}

// ---- texts and memory ----

int64_t lstrlenA(Call& c) {
  const auto t = c.text(0);
  return t ? int64_t(t->size()) : 0;
}

// Copies `n` characters and a NUL to the buffer of argument 0; returns its address.
int64_t copyInto(Call& c, size_t offset, std::string_view src) {
  uint8_t* at = c.memory(0, offset + src.size() + 1);
  std::memmove(at + offset, src.data(), src.size());
  at[offset + src.size()] = 0;
  return int64_t(reinterpret_cast<intptr_t>(at));
}

int64_t lstrcpyA(Call& c) {
  const std::string src = c.textOr(1, "");
  return copyInto(c, 0, src);
}

int64_t lstrcpynA(Call& c) {
  const int32_t n = c.i32(2);
  if (n <= 0) return int64_t(reinterpret_cast<intptr_t>(c.memory(0, 0)));
  std::string src = c.textOr(1, "");
  if (src.size() > size_t(n) - 1) src.resize(size_t(n) - 1);
  return copyInto(c, 0, src);
}

int64_t lstrcatA(Call& c) {
  const std::string head = c.textOr(0, "");
  const std::string tail = c.textOr(1, "");
  return copyInto(c, head.size(), tail);
}

int64_t RtlMoveMemory(Call& c) {
  const int32_t length = c.i32(2);
  if (length <= 0) return 0;
  uint8_t* to = c.memory(0, size_t(length));
  const uint8_t* from = c.memory(1, size_t(length));
  std::memmove(to, from, size_t(length));
  return 0;
}

int64_t RtlZeroMemory(Call& c) {
  const int32_t length = c.i32(1);
  if (length <= 0) return 0;
  std::memset(c.memory(0, size_t(length)), 0, size_t(length));
  return 0;
}

// ---- files ----

bool fileExists(const std::string& p) {
  struct stat st {};
  return stat(p.c_str(), &st) == 0;
}

bool copyFile(const std::string& from, const std::string& to, uint32_t& error) {
  const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    error = errorFromErrno(errno);
    return false;
  }
  struct stat st {};
  fstat(in, &st);
  if (S_ISDIR(st.st_mode)) {
    close(in);
    error = err::kAccessDenied;
    return false;
  }
  const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) {
    error = errorFromErrno(errno);
    close(in);
    return false;
  }
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      const ssize_t w = write(out, buffer + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  if (!ok) error = errorFromErrno(errno);
  close(in);
  if (close(out) != 0) ok = false;
  return ok;
}

int64_t CopyFileA(Call& c) {
  const std::string from = hostPath(c.textOr(0, ""));
  const std::string to = hostPath(c.textOr(1, ""));
  if (c.i32(2) != 0 && fileExists(to)) {
    c.setLastError(err::kFileExists);
    return 0;
  }
  uint32_t error = 0;
  if (!copyFile(from, to, error)) {
    c.setLastError(error);
    return 0;
  }
  return 1;
}

int64_t MoveFileA(Call& c) {
  const std::string from = hostPath(c.textOr(0, ""));
  const std::string to = hostPath(c.textOr(1, ""));
  if (!fileExists(from)) {
    c.setLastError(err::kFileNotFound);
    return 0;
  }
  if (fileExists(to)) {
    c.setLastError(err::kAlreadyExists);
    return 0;
  }
  if (rename(from.c_str(), to.c_str()) == 0) return 1;
  if (errno != EXDEV) {
    c.setLastError(errorFromErrno(errno));
    return 0;
  }
  uint32_t error = 0;
  if (!copyFile(from, to, error) || unlink(from.c_str()) != 0) {
    c.setLastError(error ? error : errorFromErrno(errno));
    return 0;
  }
  return 1;
}

int64_t DeleteFileA(Call& c) {
  const std::string path = hostPath(c.textOr(0, ""));
  struct stat st {};
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    c.setLastError(err::kAccessDenied);
    return 0;
  }
  if (unlink(path.c_str()) != 0) {
    c.setLastError(errorFromErrno(errno));
    return 0;
  }
  return 1;
}

int64_t CreateDirectoryA(Call& c) {
  const std::string path = hostPath(c.textOr(0, ""));
  if (mkdir(path.c_str(), 0777) != 0) {
    c.setLastError(errorFromErrno(errno));
    return 0;
  }
  return 1;
}

int64_t GetFileAttributesA(Call& c) {
  const std::string name = c.textOr(0, "");
  const std::string path = hostPath(name);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    c.setLastError(errorFromErrno(errno));
    return int64_t(0xFFFFFFFFu);
  }
  uint32_t attributes = S_ISDIR(st.st_mode) ? 0x10u : 0x20u;  // directory, archive
  if (access(path.c_str(), W_OK) != 0) attributes |= 0x01u;   // read-only
  const size_t slash = path.find_last_of('/');
  const std::string_view leaf = slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
  if (leaf.size() > 1 && leaf[0] == '.' && leaf != "..") attributes |= 0x02u;  // hidden
  return int64_t(attributes);
}

// Drive C always exists; another letter when TAVRIN_DRIVE_<letter> names its directory.
bool driveMapped(char letter) {
  letter = char(std::toupper(uint8_t(letter)));
  if (letter == 'C') return true;
  if (letter < 'A' || letter > 'Z') return false;
  const std::string var = std::string("TAVRIN_DRIVE_") + letter;
  return std::getenv(var.c_str()) != nullptr;
}

int64_t GetDriveTypeA(Call& c) {
  const auto root = c.text(0);
  if (!root || root->empty() || *root == "\\" || *root == "/") return 3;  // the current drive: fixed
  if (root->size() >= 2 && (*root)[1] == ':' && (root->size() == 2 || (*root)[2] == '\\' || (*root)[2] == '/'))
    return driveMapped((*root)[0]) ? 3 : 1;  // DRIVE_FIXED, DRIVE_NO_ROOT_DIR
  return 1;
}

int64_t GetLogicalDrives(Call&) {
  uint32_t mask = 0;
  for (char l = 'A'; l <= 'Z'; ++l)
    if (driveMapped(l)) mask |= 1u << (l - 'A');
  return int64_t(mask);
}

int64_t GetDiskFreeSpaceExA(Call& c) {
  const auto dir = c.text(0);
  const std::string path = dir ? hostPath(*dir) : std::string(".");
  struct statvfs v {};
  if (statvfs(path.c_str(), &v) != 0) {
    c.setLastError(errorFromErrno(errno));
    return 0;
  }
  const uint64_t unit = v.f_frsize ? v.f_frsize : v.f_bsize;
  const uint64_t values[3] = {uint64_t(v.f_bavail) * unit, uint64_t(v.f_blocks) * unit, uint64_t(v.f_bfree) * unit};
  for (int i = 0; i < 3; ++i)
    if (uint8_t* at = c.memory(i + 1, 8, true)) std::memcpy(at, &values[i], 8);
  return 1;
}

// ---- the system ----

int64_t GetLastError(Call& c) { return int64_t(externalState(c.state()).lastError); }
int64_t SetLastError(Call& c) {
  c.setLastError(c.u32(0));
  return 0;
}

// Windows XP, Service Pack 3: the version the programs of this engine were written for.
constexpr uint32_t kMajor = 5, kMinor = 1, kBuild = 2600;
int64_t GetVersion(Call&) { return int64_t(kMajor | (kMinor << 8) | (kBuild << 16)); }

int64_t GetVersionExA(Call& c) {
  const uint32_t size = c.readDword(0);
  if (size != 148 && size != 156) {
    c.setLastError(err::kInsufficientBuffer);
    return 0;
  }
  uint8_t* at = c.memory(0, size);
  std::memset(at + 4, 0, size - 4);
  const uint32_t fields[4] = {kMajor, kMinor, kBuild, 2 /* VER_PLATFORM_WIN32_NT */};
  std::memcpy(at + 4, fields, sizeof fields);
  std::memcpy(at + 20, "Service Pack 3", 15);
  if (size == 156) {
    const uint16_t servicePack[2] = {3, 0};
    std::memcpy(at + 148, servicePack, 4);
    at[154] = 1;  // VER_NT_WORKSTATION
  }
  return 1;
}

int64_t GlobalMemoryStatus(Call& c) {
  struct sysinfo si {};
  sysinfo(&si);
  auto clamp = [](uint64_t v) { return uint32_t(std::min<uint64_t>(v, 0xFFFFFFFFu)); };
  const uint64_t unit = si.mem_unit ? si.mem_unit : 1;
  const uint64_t total = uint64_t(si.totalram) * unit, avail = uint64_t(si.freeram + si.bufferram) * unit;
  const uint64_t swapTotal = uint64_t(si.totalswap) * unit, swapFree = uint64_t(si.freeswap) * unit;
  const uint32_t load = total ? uint32_t((total - std::min(avail, total)) * 100 / total) : 0;
  const uint32_t fields[8] = {32,
                              load,
                              clamp(total),
                              clamp(avail),
                              clamp(total + swapTotal),
                              clamp(avail + swapFree),
                              0x7FFE0000u,  // a 32-bit process's 2 GiB of address space
                              0x7FFE0000u};
  std::memcpy(c.memory(0, 32), fields, 32);
  return 0;
}

int64_t MulDiv(Call& c) {
  const int64_t a = c.i32(0), b = c.i32(1), d = c.i32(2);
  if (d == 0) return -1;
  int64_t p = a * b;
  // Rounded half away from zero, as the platform does.
  const bool negative = (p < 0) != (d < 0);
  const uint64_t ap = uint64_t(p < 0 ? -p : p), ad = uint64_t(d < 0 ? -d : d);
  const uint64_t q = (ap + ad / 2) / ad;
  const int64_t r = negative ? -int64_t(q) : int64_t(q);
  if (r > INT32_MAX || r < INT32_MIN) return -1;
  return r;
}

int64_t WinExec(Call& c) {
  const std::string command = c.textOr(0, "");
  if (c.state().sandbox) return 2;
  return startProgram(c.state(), command) > 0 ? 33 : 2;  // above 31: started; 2 file not found
}

int64_t ExitProcess(Call& c) { throw ProgramEnd{int(c.u32(0) & 0xFF)}; }

int64_t OutputDebugStringA(Call& c) {
  const std::string text = c.textOr(0, "");
  std::fflush(stdout);
  std::fprintf(stderr, "%s%s", text.c_str(), !text.empty() && text.back() == '\n' ? "" : "\n");
  return 0;
}

int64_t GetCurrentProcessId(Call&) { return int64_t(getpid()); }

// ---- processes by handle ----

int64_t WaitForSingleObject(Call& c) {
  consoleFlush(c.state());
  switch (waitForProgram(c.i32(0), c.u32(1))) {
    case ProcessWait::Ended: return 0;           // WAIT_OBJECT_0
    case ProcessWait::TimedOut: return 0x102;    // WAIT_TIMEOUT
    case ProcessWait::NoSuchHandle: break;
  }
  c.setLastError(err::kInvalidHandle);
  return int64_t(0xFFFFFFFFu);  // WAIT_FAILED
}

int64_t GetExitCodeProcess(Call& c) {
  uint32_t code = 0;
  if (!programExitCode(c.i32(0), code)) {
    c.setLastError(err::kInvalidHandle);
    return 0;
  }
  c.writeDword(1, code);
  return 1;
}

int64_t TerminateProcess(Call& c) {
  if (!terminateProgram(c.i32(0), c.u32(1))) {
    c.setLastError(isProgramHandle(c.i32(0)) ? err::kAccessDenied : err::kInvalidHandle);
    return 0;
  }
  return 1;
}

int64_t CloseHandle(Call& c) {
  if (!closeProgramHandle(c.i32(0))) {
    c.setLastError(err::kInvalidHandle);
    return 0;
  }
  return 1;
}

constexpr Export kExports[] = {
    {"Beep", Beep},
    {"CloseHandle", CloseHandle},
    {"CopyFileA", CopyFileA},
    {"CreateDirectoryA", CreateDirectoryA},
    {"DeleteFileA", DeleteFileA},
    {"ExitProcess", ExitProcess},
    {"GetComputerNameA", GetComputerNameA},
    {"GetCurrentDirectoryA", GetCurrentDirectoryA},
    {"GetCurrentProcessId", GetCurrentProcessId},
    {"GetDiskFreeSpaceExA", GetDiskFreeSpaceExA},
    {"GetDriveTypeA", GetDriveTypeA},
    {"GetEnvironmentVariableA", GetEnvironmentVariableA},
    {"GetExitCodeProcess", GetExitCodeProcess},
    {"GetFileAttributesA", GetFileAttributesA},
    {"GetLastError", GetLastError},
    {"GetLocalTime", GetLocalTime},
    {"GetLogicalDrives", GetLogicalDrives},
    {"GetModuleFileNameA", GetModuleFileNameA},
    {"GetPrivateProfileIntA", GetPrivateProfileIntA},
    {"GetPrivateProfileStringA", GetPrivateProfileStringA},
    {"GetSystemDirectoryA", GetSystemDirectoryA},
    {"GetSystemTime", GetSystemTime},
    {"GetTempPathA", GetTempPathA},
    {"GetTickCount", GetTickCount},
    {"GetVersion", GetVersion},
    {"GetVersionExA", GetVersionExA},
    {"GetWindowsDirectoryA", GetWindowsDirectoryA},
    {"GlobalMemoryStatus", GlobalMemoryStatus},
    {"MoveFileA", MoveFileA},
    {"MulDiv", MulDiv},
    {"OutputDebugStringA", OutputDebugStringA},
    {"QueryPerformanceCounter", QueryPerformanceCounter},
    {"QueryPerformanceFrequency", QueryPerformanceFrequency},
    {"RtlMoveMemory", RtlMoveMemory},
    {"RtlZeroMemory", RtlZeroMemory},
    {"SetCurrentDirectoryA", SetCurrentDirectoryA},
    {"SetEnvironmentVariableA", SetEnvironmentVariableA},
    {"SetLastError", SetLastError},
    {"Sleep", Sleep},
    {"TerminateProcess", TerminateProcess},
    {"WaitForSingleObject", WaitForSingleObject},
    {"WinExec", WinExec},
    {"WritePrivateProfileStringA", WritePrivateProfileStringA},
    {"lstrcat", lstrcatA},
    {"lstrcatA", lstrcatA},
    {"lstrcpy", lstrcpyA},
    {"lstrcpyA", lstrcpyA},
    {"lstrcpyn", lstrcpynA},
    {"lstrcpynA", lstrcpynA},
    {"lstrlen", lstrlenA},
    {"lstrlenA", lstrlenA},
};

}  // namespace

std::span<const Export> kernel32Exports() { return kExports; }

}  // namespace tavrin::win32
