// The state of the directory search built-ins (FindFirstFile ... FoundTimeStamp), kept by
// the file functions behind the interpreter state and made on first use.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

struct State;

// One directory entry as the file search functions report it.
struct FoundFile {
  std::string name;
  int32_t size = 0;        // the low 32 bits of the size
  int32_t attributes = 0;  // the Windows attribute bits
  int32_t timeStamp = 0;   // packed DOS date (high word) and time (low word), local time
  std::string shortName;   // the 8.3 alternate name; empty when the name is one already
};

// The search started by FindFirstFile: every match is taken when it starts, in the order
// an NTFS directory lists them ("." and ".." first, then by upper-cased name).
struct FileSearch {
  bool open = false;
  std::vector<FoundFile> matches;
  size_t next = 0;
  FoundFile found;  // the last match reported
};

// The run's search record.
FileSearch& fileSearch(State& s);

}  // namespace tavrin
