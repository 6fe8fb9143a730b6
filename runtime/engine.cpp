// The running executable's own path: the bound engine reads its program from its tail.
#include "runtime/engine.h"

#include <unistd.h>

#include <climits>

namespace tavrin {

std::string ownExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, size_t(n));
}

}  // namespace tavrin
