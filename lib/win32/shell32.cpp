// shell32: opening documents, addresses and programs, and the special folders (XDG
// directories of the user's session).
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "interp/state.h"
#include "lib/console.h"
#include "lib/paths.h"
#include "lib/win32/standin.h"

extern char** environ;

namespace tavrin::win32 {
namespace {

// The words of a parameter text: blanks separate, double quotes group.
std::vector<std::string> splitParameters(std::string_view p) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (char ch : p) {
    if (ch == '"') {
      quoted = !quoted;
      any = true;
    } else if ((ch == ' ' || ch == '\t') && !quoted) {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += ch;
      any = true;
    }
  }
  if (any) words.push_back(word);
  return words;
}

bool isAddress(std::string_view f) {
  return f.find("://") != std::string_view::npos || f.starts_with("mailto:") || f.starts_with("www.");
}

// Starts the program with its arguments (no shell), in `dir` when given; the child is
// reaped with the other detached children. False when it cannot be started.
bool spawnDetached(State& s, const std::vector<std::string>& argv, const std::string& dir) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  consoleFlush(s);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
  if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
#endif
  pid_t pid = 0;
  const int r = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (r != 0) return false;
  s.core.detachedChildren.push_back(pid);
  return true;
}

int64_t ShellExecuteA(Call& c) {
  State& s = c.state();
  const std::string file = c.textOr(2, "");
  const std::string parameters = c.textOr(3, "");
  const auto dirText = c.text(4);
  const std::string dir = dirText && !dirText->empty() ? hostPath(*dirText) : std::string();
  if (file.empty()) return 2;  // ERROR_FILE_NOT_FOUND
  if (s.sandbox) return 5;     // SE_ERR_ACCESSDENIED
  std::vector<std::string> argv;
  if (isAddress(file)) {
    argv = {"xdg-open", file};
  } else {
    std::string path = hostPath(file);
    if (path.find('/') == std::string::npos && !dir.empty()) path = hostPath(std::string(*dirText) + "\\" + file);
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return 2;
    if (S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0) {
      argv.push_back(path.find('/') == std::string::npos ? "./" + path : path);
      for (std::string& w : splitParameters(parameters)) argv.push_back(std::move(w));
    } else {
      argv = {"xdg-open", path};
    }
  }
  if (!spawnDetached(s, argv, dir)) return 31;  // SE_ERR_NOASSOC: nothing could open it
  return 42;
}

std::string homeDirectory() {
  const char* h = std::getenv("HOME");
  return h && *h ? h : "/tmp";
}

std::string fromEnvironment(const char* var, const std::string& otherwise) {
  const char* v = std::getenv(var);
  return v && *v ? std::string(v) : otherwise;
}

// The host directory of a folder number (CSIDL_...), empty when there is none.
std::string specialFolder(int csidl) {
  const std::string home = homeDirectory();
  switch (csidl & 0xFF) {
    case 0x00:  // CSIDL_DESKTOP
    case 0x10:  // CSIDL_DESKTOPDIRECTORY
      return fromEnvironment("XDG_DESKTOP_DIR", home + "/Desktop");
    case 0x05:  // CSIDL_PERSONAL (My Documents)
    case 0x2e:  // CSIDL_COMMON_DOCUMENTS
      return fromEnvironment("XDG_DOCUMENTS_DIR", home + "/Documents");
    case 0x0d: return fromEnvironment("XDG_MUSIC_DIR", home + "/Music");       // CSIDL_MYMUSIC
    case 0x0e: return fromEnvironment("XDG_VIDEOS_DIR", home + "/Videos");     // CSIDL_MYVIDEO
    case 0x27: return fromEnvironment("XDG_PICTURES_DIR", home + "/Pictures");  // CSIDL_MYPICTURES
    case 0x1a:  // CSIDL_APPDATA
      return fromEnvironment("XDG_CONFIG_HOME", home + "/.config");
    case 0x1c:  // CSIDL_LOCAL_APPDATA
    case 0x23:  // CSIDL_COMMON_APPDATA
      return fromEnvironment("XDG_DATA_HOME", home + "/.local/share");
    case 0x20: return fromEnvironment("XDG_CACHE_HOME", home + "/.cache");  // CSIDL_INTERNET_CACHE
    case 0x28: return home;                                                 // CSIDL_PROFILE
    case 0x24: return windowsDirectory();                                   // CSIDL_WINDOWS
    case 0x25: return systemDirectory();                                    // CSIDL_SYSTEM
    case 0x26: return driveDirectory('C') + "/Program Files";               // CSIDL_PROGRAM_FILES
    case 0x14: return "/usr/share/fonts";                                   // CSIDL_FONTS
    default: return {};
  }
}

constexpr uint32_t kCreate = 0x8000;  // CSIDL_FLAG_CREATE

int64_t SHGetFolderPathA(Call& c) {
  const int csidl = c.i32(1);
  const std::string dir = specialFolder(csidl);
  if (dir.empty()) return int64_t(0x80070057u);  // E_INVALIDARG
  if (csidl & kCreate) mkdir(dir.c_str(), 0777);
  c.putText(4, dir, 260);  // MAX_PATH
  return 0;                // S_OK
}

int64_t SHGetSpecialFolderPathA(Call& c) {
  const int csidl = c.i32(2);
  const std::string dir = specialFolder(csidl);
  if (dir.empty()) return 0;
  if (c.i32(3)) mkdir(dir.c_str(), 0777);
  c.putText(1, dir, 260);
  return 1;
}

constexpr Export kExports[] = {
    {"SHGetFolderPathA", SHGetFolderPathA},
    {"SHGetSpecialFolderPathA", SHGetSpecialFolderPathA},
    {"ShellExecuteA", ShellExecuteA},
};

}  // namespace

std::span<const Export> shell32Exports() { return kExports; }

}  // namespace tavrin::win32
