// String lists: the list itself and the members of otStringList.
#include "lib/string_list.h"

#include <algorithm>

#include "interp/evaluator.h"
#include "interp/value_ops.h"
#include "lib/collation.h"
#include "lib/streams.h"
#include "runtime/memory_limit.h"
#include "runtime/run_error.h"
#include "runtime/state.h"

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

// --- Members ----------------------------------------------------------------------------

namespace {

StringList& listOf(MemberCall& c) { return static_cast<StringListObject&>(c.object()).list; }

std::string readAll(Stream& st) {
  std::string text;
  int64_t left = st.size() - st.position();
  if (left <= 0) return text;
  text.resize(size_t(left));
  text.resize(size_t(st.read(text.data(), left)));
  return text;
}

void writeAll(Stream& st, const std::string& text) { st.write(text.data(), int64_t(text.size())); }

}  // namespace

void listSetDuplicates(MemberCall& c) { listOf(c).setDuplicates(c.num[0]); }
void listSetSorted(MemberCall& c) { listOf(c).setSorted(c.num[0] != 0); }
void listClear(MemberCall& c) { listOf(c).clear(); }
void listAdd(MemberCall& c) { listOf(c).add(c.text[size_t(c.itemArg)]); }

// The k-th index is taken k lower, so that every index names a string of the list as it
// stood before the statement.
void listDelete(MemberCall& c) { listOf(c).remove(int64_t(c.itemInt()) - c.item); }

void listExchange(MemberCall& c) { listOf(c).exchange(c.num[1], c.num[3]); }
void listInsert(MemberCall& c) { listOf(c).insert(c.num[1], c.text[3]); }
void listSort(MemberCall& c) { listOf(c).sort(); }
void listPut(MemberCall& c) { listOf(c).put(c.num[0], c.text[1]); }
void listSetText(MemberCall& c) { listOf(c).setText(c.text[0]); }

void listLoadFromFile(MemberCall& c) {
  StringList& list = listOf(c);
  int error = 0;
  auto st = c.s.sandbox ? nullptr : openFileStream(c.text[1], 0x20, error);
  if (!st) raiseIo(ErrorNumber(error ? error : int(ErrorNumber::AccessDenied)), "Cannot open file " + c.text[1]);
  list.setText(readAll(*st));
}

void listSaveToFile(MemberCall& c) {
  const std::string text = listOf(c).text();
  int error = 0;
  auto st = c.s.sandbox ? nullptr : openFileStream(c.text[1], 0xFFFF, error);
  if (!st) raiseIo(ErrorNumber(error ? error : int(ErrorNumber::AccessDenied)), "Cannot create file " + c.text[1]);
  st->write(text.data(), int64_t(text.size()));  // a short write is error 101
}

void listLoadFromStream(MemberCall& c) {
  StringList& list = listOf(c);
  list.setText(readAll(streamOf(c.s, c.obj[1])));
}

void listSaveToStream(MemberCall& c) {
  const std::string text = listOf(c).text();
  writeAll(streamOf(c.s, c.obj[1]), text);
}

void listAddStrings(MemberCall& c) {
  const ObjectRef& ref = c.obj[1];
  StringList* from = ObjectAt(c.s, ref.type, ref.instance).strings();
  if (!from) raise(ErrorNumber::InvalidPointer, std::string(kObjectTypes[ref.type].name) + " has no strings");
  StringList& to = listOf(c);
  const std::vector<std::string> items = from->items();  // the list may be its own source
  for (const std::string& t : items) to.add(t);
}

void listSplit(MemberCall& c) { listOf(c).split(c.text[0], c.text[1]); }

void listDuplicates(MemberCall& c) { c.pushNumber(listOf(c).duplicates()); }
void listCount(MemberCall& c) { c.pushNumber(listOf(c).count()); }
void listSorted(MemberCall& c) { c.pushNumber(listOf(c).sorted() ? -1.0 : 0.0); }
void listIndexOf(MemberCall& c) { c.pushNumber(listOf(c).indexOf(c.text[0])); }
void listGet(MemberCall& c) { c.pushText(listOf(c).get(c.num[0])); }
void listText(MemberCall& c) { c.e->pushTextSlot() = listOf(c).text(); }
void listSplitRead(MemberCall& c) { c.pushNumber(listOf(c).split(c.text[0], c.text[1])); }
void listJoin(MemberCall& c) { c.e->pushTextSlot() = listOf(c).join(c.num[0], c.num[1], c.text[2]); }

}  // namespace tavrin
