// The printer's text output. A document starts with the first print after the printer was
// closed and ends with StmtPrinterClose (or at shutdown). It goes to the file named by
// TAVRIN_PRINTER_FILE when that is set (appended), else to the print queue through `lp`
// when there is one on PATH, else to a new file under the engine's data directory.
#pragma once
#include <cstdio>
#include <string_view>

namespace tavrin {

struct State;

// The printer's text document: closed until the first print, ended by StmtPrinterClose.
struct PrinterState {
  bool closed = true;
  std::FILE* out = nullptr;
  bool pipe = false;  // out is a pipe to the print queue (pclose ends the job)
  int documents = 0;  // documents started in this run, for file names
};

// Writes text to the current document (opening one when the printer is closed) and
// flushes it; a write error raises the I/O error.
void printerWrite(State& s, std::string_view text);
// Ends the document when one is open; nothing otherwise.
void printerClose(State& s);

}  // namespace tavrin
