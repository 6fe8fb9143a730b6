// String lists: the list itself.
#include "lib/string_list.h"

#include <algorithm>

#include "interp/evaluator.h"
#include "interp/value_ops.h"
#include "lib/collation.h"
#include "runtime/memory_limit.h"
#include "runtime/run_error.h"
#include "interp/state.h"

namespace tavrin {

namespace {

[[noreturn, gnu::cold]] void listError(const char* message) { raise(ErrorNumber::IndexOutOfRange, message); }

// Splitting one long text makes an item per line in a single statement, so the memory
// bound is also checked as a list grows, not only between statements.
void roomForOneMore(int64_t count) {
  if ((count & 4095) == 4095) checkMemoryLimit();
}

}  // namespace

void StringList::setSorted(bool sorted) {
  if (sorted == m_sorted) return;
  if (sorted) sort();
  m_sorted = sorted;
}

bool StringList::find(std::string_view text, size_t& at) const {
  const ListCollation& order = ListCollation::user();
  auto it = std::lower_bound(m_items.begin(), m_items.end(), text,
                             [&](const std::string& a, std::string_view b) { return order.compare(a, b) < 0; });
  at = size_t(it - m_items.begin());
  return it != m_items.end() && order.compare(*it, text) == 0;
}

int32_t StringList::add(std::string text) {
  roomForOneMore(count());
  if (!m_sorted) {
    m_items.push_back(std::move(text));
    return count() - 1;
  }
  size_t at;
  if (find(text, at)) {
    if (m_duplicates == Ignore) return -1;
    if (m_duplicates == Error) listError("String list does not allow duplicates");
    // among the texts that compare the same, in the place a sort would give it
    const ListCollation& order = ListCollation::user();
    while (at < m_items.size() && order.compare(m_items[at], text) == 0 && m_items[at] < text) ++at;
  }
  m_items.insert(m_items.begin() + std::ptrdiff_t(at), std::move(text));
  return int32_t(at);
}

const std::string& StringList::get(int64_t index) const {
  if (index < 0 || index >= count()) listIndexError(index);
  return m_items[size_t(index)];
}

void StringList::put(int64_t index, std::string text) {
  if (m_sorted) listError("Operation not allowed on sorted string list");
  if (index < 0 || index >= count()) listIndexError(index);
  m_items[size_t(index)] = std::move(text);
}

void StringList::insert(int64_t index, std::string text) {
  if (m_sorted) listError("Operation not allowed on sorted string list");
  if (index < 0 || index > count()) listIndexError(index);
  roomForOneMore(count());
  m_items.insert(m_items.begin() + std::ptrdiff_t(index), std::move(text));
}

void StringList::exchange(int64_t i, int64_t j) {
  if (i < 0 || i >= count()) listIndexError(i);
  if (j < 0 || j >= count()) listIndexError(j);
  std::swap(m_items[size_t(i)], m_items[size_t(j)]);
}

void StringList::remove(int64_t index) {
  if (index >= 0 && index < count()) m_items.erase(m_items.begin() + std::ptrdiff_t(index));
}

void StringList::sort() { ListCollation::user().sort(m_items); }

int32_t StringList::indexOf(std::string_view text) const {
  if (m_sorted) {
    size_t at;
    return find(text, at) ? int32_t(at) : -1;
  }
  const ListCollation& order = ListCollation::user();
  for (size_t i = 0; i < m_items.size(); ++i)
    if (order.compare(m_items[i], text) == 0) return int32_t(i);
  return -1;
}

std::string StringList::text() const {
  size_t n = 0;
  for (const std::string& t : m_items) n += t.size() + 2;
  roomForText(int64_t(n));
  std::string out;
  out.reserve(n);
  for (const std::string& t : m_items) {
    out += t;
    out += "\r\n";
  }
  return out;
}

void StringList::setText(std::string_view text) {
  clear();
  size_t end = text.find('\0');
  if (end != std::string_view::npos) text = text.substr(0, end);
  size_t p = 0;
  while (p < text.size()) {
    size_t start = p;
    while (p < text.size() && text[p] != '\n' && text[p] != '\r') ++p;
    add(std::string(text.substr(start, p - start)));
    if (p < text.size() && text[p] == '\r') ++p;
    if (p < text.size() && text[p] == '\n') ++p;
  }
}

int32_t StringList::split(std::string_view text, std::string_view separator) {
  if (separator.empty()) return 0;
  int32_t n = 0;
  for (size_t at = text.find(separator); at != std::string_view::npos; at = text.find(separator)) {
    add(std::string(text.substr(0, at)));
    text.remove_prefix(at + separator.size());
    ++n;
  }
  if (!text.empty()) {
    add(std::string(text));
    ++n;
  }
  return n;
}

std::string StringList::join(int64_t first, int64_t last, std::string_view separator) const {
  if (last > count() - 1) last = count() - 1;
  std::string out;
  for (int64_t i = first; i < last; ++i) {
    out += get(i);
    out += separator;
  }
  out += get(last);
  return out;
}

}  // namespace tavrin
