// Left, Right and Mid of a text, shared by the built-ins and the decoded piece assignments:
// counts are whole numbers already rounded; a count of 0 or less gives the empty text, a
// count past the end the rest of the text, a Mid start below 1 counts from 1.
#pragma once
#include <algorithm>
#include <cstdint>
#include <string_view>

namespace tavrin {

inline std::string_view leftPiece(std::string_view t, int64_t n) {
  return t.substr(0, n <= 0 ? 0 : std::min(t.size(), size_t(n)));
}
inline std::string_view rightPiece(std::string_view t, int64_t n) {
  const size_t length = n <= 0 ? 0 : std::min(t.size(), size_t(n));
  return t.substr(t.size() - length);
}
inline std::string_view midPiece(std::string_view t, int64_t start, int64_t count) {
  if (start < 1) start = 1;
  if (start > int64_t(t.size()) || count <= 0) return {};
  const int64_t available = int64_t(t.size()) - (start - 1);
  return t.substr(size_t(start - 1), size_t(std::min(count, available)));
}

}  // namespace tavrin
