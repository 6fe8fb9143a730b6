// Printer documents as text files or print-queue jobs.
#include "lib/printer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "lib/console.h"
#include "lib/paths.h"
#include "interp/state.h"
#include "interp/builtins_util.h"
#include "interp/handlers.h"

namespace tavrin {
namespace {

bool onPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest = path;
  while (true) {
    size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    if (dir.empty()) dir = ".";
    std::string candidate = dir + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) return false;
    rest.remove_prefix(colon + 1);
  }
}

PrinterState& printerState(State& s) {
  if (!s.printer) s.printer = std::make_unique<PrinterState>();
  return *s.printer;
}

void openDocument(State& s) {
  PrinterState& p = printerState(s);
  ++p.documents;
  std::string path;
  if (const char* named = std::getenv("TAVRIN_PRINTER_FILE"); named && *named) {
    path = hostPath(named);
    p.out = std::fopen(path.c_str(), "ab");
    p.pipe = false;
  } else if (onPath("lp")) {
    consoleFlush(s);
    p.out = popen("lp -s", "w");
    p.pipe = true;
  }
  if (!p.out && path.empty()) {
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&now));
    std::string dir = dataDirectory() + "/printer";
    mkdir(dir.c_str(), 0777);
    path = dir + "/document-" + stamp + "-" + std::to_string(getpid()) + "-" + std::to_string(p.documents) + ".txt";
    p.out = std::fopen(path.c_str(), "wb");
    p.pipe = false;
  }
  if (!p.out) {
    int err = errno;
    raiseIo(err == EACCES ? ErrorNumber::AccessDenied : ErrorNumber::PathNotFound,
            "cannot open the printer output " + path + ": " + std::strerror(err));
  }
  p.closed = false;
}

}  // namespace

void printerWrite(State& s, std::string_view text) {
  PrinterState& p = printerState(s);
  if (p.closed) openDocument(s);
  if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), p.out) != text.size()) || std::fflush(p.out) != 0)
    raiseIo(ErrorNumber::DiskWrite, std::string("cannot write to the printer: ") + std::strerror(errno));
}

void printerClose(State& s) {
  if (!s.printer || s.printer->closed) return;
  PrinterState& p = *s.printer;
  p.closed = true;
  std::FILE* out = p.out;
  p.out = nullptr;
  int rc = p.pipe ? pclose(out) : std::fclose(out);
  if (rc != 0 && !p.pipe) raiseIo(ErrorNumber::DiskWrite, "cannot finish the printer document");
}

// ---- the printer statements ----

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

}  // namespace tavrin
