// String lists: an ordered list of texts with a sorted flag and a duplicates mode, split
// and join, and the whole list as CR LF text. The object side is ui/types/string_list.cpp.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

class Stream;

// Texts compare as ListCollation says (lib/collation.h): letters that differ only in case
// are the same, in the user locale's order; Sort puts such equals in byte order.
class StringList {
public:
  enum Duplicates : int32_t { Ignore = 0, Accept = 1, Error = 2 };

  int32_t count() const { return int32_t(m_items.size()); }
  const std::vector<std::string>& items() const { return m_items; }
  bool sorted() const { return m_sorted; }
  int32_t duplicates() const { return m_duplicates; }
  void setDuplicates(int32_t mode) { m_duplicates = mode; }
  // Setting the flag sorts the list.
  void setSorted(bool sorted);

  // A sorted list puts the text in its place and applies the duplicates mode; the index
  // of the text, or -1 when it was ignored as a duplicate.
  int32_t add(std::string text);
  void clear() { m_items.clear(); }
  // These raise run-time error 213 for an index outside the list (and for Insert and
  // Put on a sorted list, the list error programs expect).
  const std::string& get(int64_t index) const;
  void put(int64_t index, std::string text);
  void insert(int64_t index, std::string text);
  void exchange(int64_t i, int64_t j);
  void remove(int64_t index);  // outside the list: nothing
  void sort();
  int32_t indexOf(std::string_view text) const;

  // The whole list as text, each string followed by CR LF; and the inverse: a line ends
  // at CR, LF or CR LF, a NUL ends the text.
  std::string text() const;
  void setText(std::string_view text);

  // Split adds the parts of text between separators (not the empty remainder); returns
  // the number of parts added. Join gives strings first .. last with sep between.
  int32_t split(std::string_view text, std::string_view separator);
  std::string join(int64_t first, int64_t last, std::string_view separator) const;

private:
  bool find(std::string_view text, size_t& at) const;  // binary search, sorted lists

  std::vector<std::string> m_items;
  bool m_sorted = false;
  int32_t m_duplicates = Ignore;
};

}  // namespace tavrin
