// The order of texts in string lists: case-insensitive, in the user locale's order of
// letters. Texts are Windows-1252 bytes; array sorts and comparisons elsewhere stay ordinal.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

class ListCollation {
public:
  enum class Kind : uint8_t {
    Ordinal,  // no locale (unset, C, POSIX, C.UTF-8, or one that is not installed)
    Table,    // the locale's weights of each byte, compared level by level
    Locale,   // the C library's sort keys of the UTF-8 form (locales with contractions)
  };

  // Made once, from LC_ALL, LC_COLLATE or LANG, the first of them that is set.
  static const ListCollation& user();
  // For tests and the benchmark: the collation of a named locale ("" or "C": ordinal).
  explicit ListCollation(const char* localeName);
  ~ListCollation();
  ListCollation(const ListCollation&) = delete;
  ListCollation& operator=(const ListCollation&) = delete;

  Kind kind() const { return m_kind; }
  // Negative, 0 or positive; 0 means the same text for a list (letters differing only in
  // case are the same).
  int compare(std::string_view a, std::string_view b) const;
  // The order a sort gives: compare, and texts it calls the same by their bytes, so that
  // a sort's result does not depend on the input's order.
  bool less(std::string_view a, std::string_view b) const {
    int c = compare(a, b);
    return c ? c < 0 : a < b;
  }
  void sort(std::vector<std::string>& items) const;

private:
  // Per byte and level, the byte's weights in the locale's sort key, kept in m_weights.
  struct Piece {
    uint16_t at;
    uint8_t size;
  };
  static constexpr int kLevels = 4;

  int compareTable(std::string_view a, std::string_view b) const;
  int compareLevel(int level, const uint8_t* a, const uint8_t* aEnd, const uint8_t* b, const uint8_t* bEnd) const;
  int compareLocale(std::string_view a, std::string_view b) const;
  std::string keyOf(std::string_view text) const;
  uint64_t primaryPrefix(std::string_view text) const;  // the strxfrm form (Locale)
  bool buildTable();

  Kind m_kind = Kind::Ordinal;
  void* m_locale = nullptr;  // locale_t, duplicated from the named locale
  std::array<std::array<Piece, kLevels>, 256> m_pieces{};
  std::string m_weights;
  std::array<uint8_t, 256> m_single{};  // the level-1 weight of a byte that has one, else 0
};

// The UTF-8 form of a Windows-1252 text, letters folded to lower case (a collation key's
// input). Bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, unassigned there, become U+0081... .
std::string foldedUtf8(std::string_view text);

}  // namespace tavrin
