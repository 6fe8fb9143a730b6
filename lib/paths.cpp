// Windows-style paths and wildcards on a POSIX file system.
#include "lib/paths.h"

#include "lib/file_writes.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace tavrin {
namespace {

bool exists(const std::string& p) {
  struct stat st {};
  return lstat(p.c_str(), &st) == 0;
}

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

void makeDirectories(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i)
    if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0777);
}

std::string currentDirectory() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string(".");
}

// The directory the process started in: relative drive mappings are taken from here.
const std::string kStartDirectory = currentDirectory();

std::string absolute(const std::string& p) {
  if (!p.empty() && p[0] == '/') return p;
  return kStartDirectory + "/" + p;
}

std::string stripSlashes(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

// The name in `directory` equal to `name` but for letter case, or empty.
std::string findNoCase(const std::string& directory, std::string_view name) {
  DIR* d = opendir(directory.empty() ? "." : directory.c_str());
  if (!d) return {};
  std::string best;
  while (dirent* e = readdir(d)) {
    std::string_view n = e->d_name;
    if (equalNoCase(n, name) && (best.empty() || n < best)) best = n;
  }
  closedir(d);
  return best;
}

}  // namespace

std::string dataDirectory() {
  static std::string dir;
  if (dir.empty()) {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && *xdg) dir = std::string(xdg) + "/tavrin";
    else if (home && *home) dir = std::string(home) + "/.local/share/tavrin";
    else dir = "/tmp/tavrin-" + std::to_string(getuid());
    makeDirectories(dir);
  }
  return dir;
}

std::string driveDirectory(char letter) {
  static std::array<std::string, 26> cache;
  char up = upper(letter);
  if (up < 'A' || up > 'Z') return ".";
  std::string& dir = cache[size_t(up - 'A')];
  if (dir.empty()) {
    std::string name = std::string("TAVRIN_DRIVE_") + up;
    const char* value = std::getenv(name.c_str());
    if (value && *value) {
      dir = stripSlashes(absolute(value));
    } else {
      dir = dataDirectory() + "/drive_" + char(up + 32);
      makeDirectories(dir);
    }
  }
  return dir;
}

std::string hostPath(std::string_view path) {
  flushFileWrites();  // whatever names a file sees what the program wrote to its streams
  std::string given(path);
  if (given.empty() || exists(given)) return given;
  std::string p = given;
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && p[1] == ':' && upper(p[0]) >= 'A' && upper(p[0]) <= 'Z') {
    std::string rest = p.substr(2);
    while (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
    p = driveDirectory(p[0]);
    if (!rest.empty()) p += "/" + rest;
  }
  if (exists(p)) return p;
  // Look up each missing component without regard to case.
  std::vector<std::string> parts;
  size_t start = 0;
  const bool rooted = !p.empty() && p[0] == '/';
  while (start <= p.size()) {
    size_t slash = p.find('/', start);
    if (slash == std::string::npos) slash = p.size();
    if (slash > start) parts.emplace_back(p.substr(start, slash - start));
    start = slash + 1;
  }
  std::string out = rooted ? "/" : "";
  bool found = true;
  for (const std::string& part : parts) {
    std::string next = out + part;
    if (found && part != "." && part != ".." && !exists(next)) {
      std::string match = findNoCase(out, part);
      if (match.empty()) found = false;
      else next = out + match;
    }
    out = next + "/";
  }
  if (out.size() > 1) out.pop_back();
  if (!p.empty() && p.back() == '/' && out.back() != '/') out += '/';
  return out;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*" || pattern == "*") return true;
  // The last dot of the name: a '*' followed by '.' stops before it (DOS star).
  const size_t lastDot = name.rfind('.');
  // Each (pattern position, name position) is decided once, so no pattern takes longer
  // than pattern length x name length steps.
  struct Matcher {
    std::string_view p, n;
    size_t lastDot;
    std::vector<int8_t> memo;  // -1 unknown, 0 no, 1 yes
    bool run(size_t pi, size_t ni) {
      int8_t& known = memo[pi * (n.size() + 1) + ni];
      if (known >= 0) return known != 0;
      known = step(pi, ni) ? 1 : 0;
      return known != 0;
    }
    bool step(size_t pi, size_t ni) {
      if (pi == p.size()) return ni == n.size();
      const char c = p[pi];
      if (c == '*') {
        const bool dosStar = pi + 1 < p.size() && p[pi + 1] == '.';
        size_t limit = n.size();
        if (dosStar && lastDot != std::string_view::npos) limit = lastDot;
        for (size_t k = ni; k <= limit; ++k)
          if (run(pi + 1, k)) return true;
        return false;
      }
      if (c == '?') {  // one character, or none before a dot or at the end
        if (ni < n.size() && n[ni] != '.') return run(pi + 1, ni + 1);
        return run(pi + 1, ni);
      }
      if (c == '.') {
        if (ni < n.size() && n[ni] == '.') return run(pi + 1, ni + 1);
        // ".", ".*" and ".?" also match a name without an extension
        const bool wildAfter = pi + 1 == p.size() || p[pi + 1] == '*' || p[pi + 1] == '?';
        return wildAfter && ni == n.size() && run(pi + 1, ni);
      }
      return ni < n.size() && upper(c) == upper(n[ni]) && run(pi + 1, ni + 1);
    }
  };
  Matcher m{pattern, name, lastDot, std::vector<int8_t>((pattern.size() + 1) * (name.size() + 1), -1)};
  return m.run(0, 0);
}

}  // namespace tavrin
