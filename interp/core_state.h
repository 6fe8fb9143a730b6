// State of the core statements and built-in functions: the decimal separator, spare
// slots, the random generator, the file search record, the printer document, the cursor
// table, the message queue and the children started without waiting.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "interp/message_queue.h"

namespace tavrin {

// Spare slots A (0) and B (1): one number and one text each, one shared is-string flag.
struct SpareSlots {
  double num[2] = {0.0, 0.0};
  std::string str[2];
  bool isString = false;
};

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

// The printer's text document: closed until the first print, ended by StmtPrinterClose.
struct PrinterState {
  bool closed = true;
  std::FILE* out = nullptr;
  bool pipe = false;  // out is a pipe to the print queue (pclose ends the job)
  int documents = 0;  // documents started in this run, for file names
};

struct CoreState {
  char decimalSeparator = '.';
  SpareSlots spare;
  uint32_t randomSeed = 0;
  FileSearch search;
  PrinterState printer;
  MessageQueue messages;
  int16_t screenCursor = 0;                           // crDefault
  std::vector<std::pair<int32_t, int32_t>> cursors;   // (cursor number, handle)
  std::vector<int> detachedChildren;                  // started by StmtExecute, reaped later
};

}  // namespace tavrin
