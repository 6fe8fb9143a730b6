// Fonts: handles and the list of installed screen fonts.
#include "lib/font.h"

#include <cstdio>

#include <algorithm>

#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

int32_t Font::handle() {
  static int32_t next = 0x0A000010;  // handles look like the platform's: small, non-zero, distinct
  if (!m_handle) {
    m_handle = next;
    next += 4;
  }
  return m_handle;
}

std::vector<std::string> readScreenFonts() {
  std::vector<std::string> fonts;
  FILE* p = ::popen("fc-list : family 2>/dev/null", "r");
  if (!p) return fonts;
  char line[1024];
  while (std::fgets(line, sizeof line, p)) {
    std::string family(line);
    size_t end = family.find_first_of(",\n");  // the first of a family's names
    family.resize(end == std::string::npos ? family.size() : end);
    if (!family.empty()) fonts.push_back(family);
  }
  ::pclose(p);
  std::sort(fonts.begin(), fonts.end());
  fonts.erase(std::unique(fonts.begin(), fonts.end()), fonts.end());
  return fonts;
}

}  // namespace tavrin
