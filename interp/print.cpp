// StmtPrint to standard output: a text as it is, a whole number as a 32-bit integer, any
// other number with nine decimals; then the terminator byte (11: no line break).
#include <cmath>
#include <cstdio>

#include "interp/handlers.h"
#include "runtime/state.h"

namespace tavrin {
namespace {

void writeOut(const char* data, size_t n) {
  if (n && std::fwrite(data, 1, n, stdout) != n) raiseIo(ErrorNumber::DiskWrite, "cannot write to standard output");
}

}  // namespace

void execStmtPrint(State& s) {
  if (evaluate(s)) {
    writeOut(s.resultStr.data(), s.resultStr.size());
  } else {
    double v = s.resultNum;
    char buffer[512];
    int n;
    if (v - std::trunc(v) == 0.0 && v > -2147483649.0 && v < 2147483648.0)
      n = std::snprintf(buffer, sizeof buffer, "%d", int32_t(v));
    else if (v - std::trunc(v) == 0.0)
      n = std::snprintf(buffer, sizeof buffer, "%16.1f", v);
    else
      n = std::snprintf(buffer, sizeof buffer, "%9.9f", v);
    writeOut(buffer, size_t(n > 0 ? (n < int(sizeof buffer) ? n : int(sizeof buffer) - 1) : 0));
  }
  if (s.code.u8() != 11) writeOut("\n", 1);
  if (std::fflush(stdout) != 0) raiseIo(ErrorNumber::DiskWrite, "cannot write to standard output");
}

}  // namespace tavrin
