// Built-in functions on files and directories: existence tests, the current directory and
// the directory search (FindFirstFile ... FoundTimeStamp) with Windows wildcards and the
// Windows attribute bits computed from POSIX metadata.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>

#include "interp/builtins_util.h"
#include "interp/handlers.h"
#include "lib/file_search.h"
#include "lib/paths.h"
#include "runtime/sandbox.h"

namespace tavrin {
namespace {

// Windows file attribute bits.
constexpr int32_t kReadOnly = 0x01, kHidden = 0x02, kSysFile = 0x04, kVolumeId = 0x08, kDirectory = 0x10,
                  kArchive = 0x20, kReparsePoint = 0x400;

char upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

int32_t attributesOf(const std::string& name, const struct stat& st, bool link) {
  int32_t a = 0;
  if (S_ISDIR(st.st_mode)) a |= kDirectory;
  else if (S_ISREG(st.st_mode)) a |= kArchive;
  else a |= kSysFile;  // devices, sockets, pipes
  if (!(st.st_mode & S_IWUSR)) a |= kReadOnly;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") a |= kHidden;
  if (link) a |= kReparsePoint;
  return a;
}

// Packed DOS date and time of a local time: date in the high word
// ((year - 1980) << 9 | month << 5 | day), time in the low word (hour << 11 | minute << 5 |
// second / 2). Times before 1980 give 1980-01-01 00:00:00.
int32_t dosTimeStamp(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  if (tm.tm_year < 80) return int32_t((1u << 5 | 1u) << 16);
  uint32_t date = uint32_t(tm.tm_year - 80) << 9 | uint32_t(tm.tm_mon + 1) << 5 | uint32_t(tm.tm_mday);
  uint32_t time = uint32_t(tm.tm_hour) << 11 | uint32_t(tm.tm_min) << 5 | uint32_t(tm.tm_sec / 2);
  return int32_t(date << 16 | time);
}

bool validShortChar(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u < 0x21 || u >= 0x7F) return false;
  return std::string_view("\"*+,/:;<=>?[\\]|.").find(c) == std::string_view::npos;
}

// Whether a name already is an 8.3 name: up to 8 characters, an optional dot and up to 3
// more, none outside the short-name set. Such a name gets no alternate name.
bool isShortName(std::string_view name) {
  if (name == "." || name == "..") return true;
  size_t dot = name.find('.');
  std::string_view base = name.substr(0, dot);
  std::string_view ext = dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || ext.size() > 3) return false;
  if (dot != std::string_view::npos && ext.empty()) return false;
  for (char c : base)
    if (!validShortChar(c)) return false;
  for (char c : ext)
    if (!validShortChar(c)) return false;
  return true;
}

// The alternate name: the first six valid characters of the base, "~N", and the first
// three of the last extension, upper-cased; N counts names that share the stem.
std::string makeShortName(std::string_view name, std::vector<std::string>& taken) {
  size_t dot = name.rfind('.');
  if (dot == 0) dot = std::string_view::npos;
  std::string_view base = name.substr(0, dot);
  std::string stem, ext;
  for (char c : base)
    if (validShortChar(c) && stem.size() < 6) stem += upper(c);
  if (dot != std::string_view::npos)
    for (char c : name.substr(dot + 1))
      if (validShortChar(c) && ext.size() < 3) ext += upper(c);
  if (stem.empty()) stem = "_";
  for (int n = 1;; ++n) {
    std::string candidate = stem + "~" + std::to_string(n) + (ext.empty() ? "" : "." + ext);
    if (std::find(taken.begin(), taken.end(), candidate) == taken.end()) {
      taken.push_back(candidate);
      return candidate;
    }
  }
}

bool nameLess(const std::string& a, const std::string& b) {
  auto rank = [](const std::string& n) { return n == "." ? 0 : (n == ".." ? 1 : 2); };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(upper(a[i])), y = static_cast<unsigned char>(upper(b[i]));
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

void closeSearch(State& s) {
  FileSearch& search = fileSearch(s);
  search.open = false;
  search.matches.clear();
  search.next = 0;
}

void startSearch(State& s, std::string_view pattern, int32_t wanted) {
  closeSearch(s);
  size_t slash = pattern.find_last_of("/\\");
  std::string dirPart = slash == std::string_view::npos ? std::string() : std::string(pattern.substr(0, slash + 1));
  std::string_view namePattern = slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
  if (namePattern.empty()) return;
  std::string dir = dirPart.empty() ? std::string(".") : hostPath(dirPart);
  if (dir.empty()) dir = "/";
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  char real[PATH_MAX];
  const bool root = realpath(dir.c_str(), real) && std::string_view(real) == "/";
  // What FindFirst leaves out: hidden, system, volume and directory entries unless asked.
  const int32_t excluded = ~wanted & (kHidden | kSysFile | kVolumeId | kDirectory);
  std::vector<std::string> names;
  while (dirent* entry = readdir(d)) {
    std::string name = entry->d_name;
    if (root && (name == "." || name == "..")) continue;
    if (wildcardMatch(namePattern, name)) names.push_back(std::move(name));
  }
  closedir(d);
  std::sort(names.begin(), names.end(), nameLess);
  std::vector<std::string> shortNames;
  std::string base = dir.back() == '/' ? dir : dir + "/";
  for (std::string& name : names) {
    struct stat st {}, lst{};
    std::string full = base + name;
    if (lstat(full.c_str(), &lst) != 0) continue;
    bool link = S_ISLNK(lst.st_mode);
    if (!link) st = lst;
    else if (stat(full.c_str(), &st) != 0) st = lst;  // a dangling link is reported as itself
    FoundFile f;
    f.attributes = attributesOf(name, st, link);
    if (f.attributes & excluded) continue;
    f.size = S_ISDIR(st.st_mode) ? 0 : int32_t(uint32_t(uint64_t(st.st_size)));
    f.timeStamp = dosTimeStamp(st.st_mtime);
    if (!isShortName(name)) f.shortName = makeShortName(name, shortNames);
    f.name = std::move(name);
    fileSearch(s).matches.push_back(std::move(f));
  }
  FileSearch& search = fileSearch(s);
  search.open = !search.matches.empty();
}

// The next match as the found record, or empty (the search is then closed).
void pushNextMatch(State& s, EvalStack& e) {
  FileSearch& search = fileSearch(s);
  if (!search.open || search.next >= search.matches.size()) {
    closeSearch(s);
    e.pushTextSlot().clear();
    return;
  }
  search.found = search.matches[search.next++];
  e.pushText(search.found.name);
}

bool statIs(State& s, bool directory) {
  argText(s, s.resultStr);
  if (s.sandbox) sandboxRefuse(directory ? "DirectoryExists" : "FileExists");
  if (s.resultStr.empty()) return false;
  std::string path = hostPath(s.resultStr);
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return directory ? S_ISDIR(st.st_mode) : !S_ISDIR(st.st_mode);
}

}  // namespace

FileSearch& fileSearch(State& s) {
  if (!s.fileSearch) s.fileSearch = std::make_unique<FileSearch>();
  return *s.fileSearch;
}

void fnFileExists(State& s, EvalStack& e) { e.pushNumber(statIs(s, false) ? 1.0 : 0.0); }

void fnDirectoryExists(State& s, EvalStack& e) { e.pushNumber(statIs(s, true) ? 1.0 : 0.0); }

void fnCurrentDirectory(State&, EvalStack& e) {
  char buffer[PATH_MAX];
  e.pushText(getcwd(buffer, sizeof buffer) ? std::string_view(buffer) : std::string_view());
}

void fnFindFirstFile(State& s, EvalStack& e) {
  std::string pattern;
  argText(s, pattern);
  int32_t attributes = argTrunc(s);
  if (s.sandbox) sandboxRefuse("FindFirstFile");
  startSearch(s, pattern, attributes);
  pushNextMatch(s, e);
}

void fnFindNextFile(State& s, EvalStack& e) { pushNextMatch(s, e); }

void fnFoundName(State& s, EvalStack& e) { e.pushText(fileSearch(s).found.name); }

void fnFoundSize(State& s, EvalStack& e) { e.pushNumber(fileSearch(s).found.size); }

void fnFoundAttributes(State& s, EvalStack& e) { e.pushNumber(fileSearch(s).found.attributes); }

void fnFoundShortName(State& s, EvalStack& e) { e.pushText(fileSearch(s).found.shortName); }

void fnFoundTimeStamp(State& s, EvalStack& e) { e.pushNumber(fileSearch(s).found.timeStamp); }

void fnFoundTime(State& s, EvalStack& e) {
  uint32_t t = uint32_t(fileSearch(s).found.timeStamp);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%u:%02u", (t >> 11) & 31, (t >> 5) & 63);
  e.pushText(buffer);
}

void fnFoundDate(State& s, EvalStack& e) {
  uint32_t d = uint32_t(fileSearch(s).found.timeStamp) >> 16;
  char buffer[24];
  if (d == 0) {  // no match yet
    e.pushTextSlot().clear();
    return;
  }
  std::snprintf(buffer, sizeof buffer, "%u-%u-%u", (d >> 5) & 15, d & 31, ((d >> 9) & 127) + 1980);
  e.pushText(buffer);
}

}  // namespace tavrin
