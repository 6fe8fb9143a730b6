// String-list collation. With a locale, each byte's weights are taken once from the C
// library's sort key of that one letter and texts compare level by level through a table,
// which is as fast as a byte compare; a locale whose keys are not such concatenations (two
// letters that sort as one, accents compared backwards) compares the C library's whole
// sort keys (strxfrm) of the UTF-8 form.
#include "lib/collation.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace tavrin {

namespace {

// Unicode of Windows-1252 bytes 0x80..0x9F; the unassigned ones keep their C1 code.
constexpr char16_t kHigh1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr uint8_t lowerByte(unsigned c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return uint8_t(c + 0x20);
  switch (c) {
    case 0x8A: return 0x9A;  // Š
    case 0x8C: return 0x9C;  // Œ
    case 0x8E: return 0x9E;  // Ž
    case 0x9F: return 0xFF;  // Ÿ
    default: return uint8_t(c);
  }
}

constexpr uint8_t upperByte(unsigned c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return uint8_t(c - 0x20);
  switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return uint8_t(c);
  }
}

constexpr std::array<uint8_t, 256> makeTable(uint8_t (*f)(unsigned)) {
  std::array<uint8_t, 256> t{};
  for (unsigned c = 0; c < 256; ++c) t[c] = f(c);
  return t;
}

constexpr std::array<uint8_t, 256> kUpper = makeTable(upperByte);

void appendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

bool ordinalName(const char* name) {
  return !*name || !std::strcmp(name, "C") || !std::strcmp(name, "POSIX") || !std::strncmp(name, "C.", 2);
}

// The named locale's collation with a UTF-8 character set: the name itself, or its
// language and territory with .UTF-8 (de_DE@euro gives de_DE.UTF-8).
locale_t openUtf8Locale(const char* name) {
#if defined(__SANITIZE_ADDRESS__)
  // glibc's newlocale keeps its copy of LOCPATH for good: not a leak of ours
  struct NoLeakCheck {
    NoLeakCheck() { __lsan_disable(); }
    ~NoLeakCheck() { __lsan_enable(); }
  } noLeakCheck;
#endif
  auto utf8 = [](locale_t l) {
    const char* set = nl_langinfo_l(CODESET, l);
    return set && !std::strcmp(set, "UTF-8");
  };
  locale_t l = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, name, locale_t(0));
  if (l && utf8(l)) return l;
  if (l) freelocale(l);
  std::string base(name, std::strcspn(name, ".@"));
  l = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, (base + ".UTF-8").c_str(), locale_t(0));
  if (l && utf8(l)) return l;
  if (l) freelocale(l);
  return locale_t(0);
}

// The sort key of a NUL-free UTF-8 text; empty when the C library refuses it.
std::string transform(const std::string& utf8, locale_t l) {
  std::string key(utf8.size() * 8 + 32, '\0');
  for (;;) {
    errno = 0;
    size_t n = strxfrm_l(key.data(), utf8.c_str(), key.size(), l);
    if (errno) return {};
    if (n < key.size()) {
      key.resize(n);
      return key;
    }
    key.resize(n + 1);
  }
}

}  // namespace

std::string foldedUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  for (unsigned char b : text) {
    unsigned c = lowerByte(b);
    appendUtf8(out, c >= 0x80 && c < 0xA0 ? unsigned(kHigh1252[c - 0x80]) : c);
  }
  return out;
}

const ListCollation& ListCollation::user() {
  static const ListCollation collation([] {
    for (const char* var : {"LC_ALL", "LC_COLLATE", "LANG"}) {
      const char* v = std::getenv(var);
      if (v && *v) return v;
    }
    return "";
  }());
  return collation;
}

ListCollation::ListCollation(const char* localeName) {
  if (ordinalName(localeName)) return;
  locale_t l = openUtf8Locale(localeName);
  if (!l) return;  // not installed: ordinal
  m_locale = l;
  m_kind = buildTable() ? Kind::Table : Kind::Locale;
}

ListCollation::~ListCollation() {
  if (m_locale) freelocale(locale_t(m_locale));
}

// Splits each byte's key into its levels: the C library's key holds the weights of level 1
// of every letter, byte 1, those of level 2, and so on. The table stands only if the keys
// of letter pairs and of every byte beside a letter or a blank are the joins of the parts.
bool ListCollation::buildTable() {
  locale_t l = locale_t(m_locale);
  std::array<std::string, kLevels> parts[256];
  parts[0][kLevels - 1] = "\x01\x01";  // NUL: ignored but last, before every other weight
  for (unsigned b = 1; b < 256; ++b) {
    const std::string key = transform(foldedUtf8(std::string_view(reinterpret_cast<const char*>(&b), 1)), l);
    if (key.empty()) return false;
    size_t at = 0;
    for (int level = 0; level < kLevels - 1; ++level) {
      size_t sep = key.find('\x01', at);
      if (sep == std::string::npos) return false;
      parts[b][size_t(level)] = key.substr(at, sep - at);
      at = sep + 1;
    }
    parts[b][kLevels - 1] = key.substr(at);
  }
  for (unsigned b = 0; b < 256; ++b)
    for (int level = 0; level < kLevels; ++level) {
      const std::string& p = parts[b][size_t(level)];
      if (p.size() > 255 || m_weights.size() + p.size() > 65535) return false;
      m_pieces[b][size_t(level)] = Piece{uint16_t(m_weights.size()), uint8_t(p.size())};
      m_weights += p;
    }
  for (unsigned b = 0; b < 256; ++b) m_single[b] = parts[b][0].size() == 1 ? uint8_t(parts[b][0][0]) : 0;

  std::string letters;
  for (unsigned b = 1; b < 256; ++b)
    if (lowerByte(b) == b && upperByte(b) != b) letters += char(b);
  letters += "\xdf\xaa\xba\xb5\x83";  // ß ª º µ ƒ have no capital here
  auto joinedAgrees = [&](char x, char y) {
    const char pair[2] = {x, y};
    const std::string text(pair, 2);
    std::string joined;
    for (int level = 0; level < kLevels; ++level) {
      if (level) joined += '\x01';
      joined += parts[uint8_t(x)][size_t(level)];
      joined += parts[uint8_t(y)][size_t(level)];
    }
    return transform(foldedUtf8(text), l) == joined;
  };
  for (char x : letters)
    for (char y : letters)
      if (!joinedAgrees(x, y)) return false;
  for (unsigned b = 1; b < 256; ++b)
    for (char other : {'a', ' '})
      if (!joinedAgrees(char(b), other) || !joinedAgrees(other, char(b))) return false;
  return true;
}

int ListCollation::compare(std::string_view a, std::string_view b) const {
  switch (m_kind) {
    case Kind::Table: return compareTable(a, b);
    case Kind::Locale: return compareLocale(a, b);
    case Kind::Ordinal: break;
  }
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int d = int(kUpper[uint8_t(a[i])]) - int(kUpper[uint8_t(b[i])]);
    if (d) return d;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

// Each side walks its bytes' weights of one level in turn; a side whose weights end first
// is the smaller, as a shorter key is.
int ListCollation::compareLevel(int level, const uint8_t* a, const uint8_t* aEnd, const uint8_t* b,
                                const uint8_t* bEnd) const {
  struct Walk {
    const uint8_t* p;
    const uint8_t* end;
    const uint8_t* w = nullptr;
    unsigned left = 0;
  };
  const auto* weights = reinterpret_cast<const uint8_t*>(m_weights.data());
  auto next = [&](Walk& s) -> int {
    while (s.left == 0) {
      if (s.p == s.end) return -1;
      const Piece pc = m_pieces[*s.p++][size_t(level)];
      s.w = weights + pc.at;
      s.left = pc.size;
    }
    --s.left;
    return *s.w++;
  };
  Walk x{a, aEnd}, y{b, bEnd};
  for (;;) {
    int cx = next(x), cy = next(y);
    if (cx != cy) return cx < cy ? -1 : 1;
    if (cx < 0) return 0;
  }
}

int ListCollation::compareTable(std::string_view a, std::string_view b) const {
  // Equal leading bytes give equal weights on every level: start after them.
  size_t same = 0, n = std::min(a.size(), b.size());
  while (same < n && a[same] == b[same]) ++same;
  const auto* pa = reinterpret_cast<const uint8_t*>(a.data()) + same;
  const auto* pb = reinterpret_cast<const uint8_t*>(b.data()) + same;
  const auto* ea = reinterpret_cast<const uint8_t*>(a.data()) + a.size();
  const auto* eb = reinterpret_cast<const uint8_t*>(b.data()) + b.size();
  // Most texts differ in the first level, mostly letters of one weight byte each.
  const uint8_t* x = pa;
  const uint8_t* y = pb;
  while (x < ea && y < eb) {
    const uint8_t wx = m_single[*x], wy = m_single[*y];
    if (!wx || !wy) break;
    if (wx != wy) return wx < wy ? -1 : 1;
    ++x, ++y;
  }
  int c = compareLevel(0, x, ea, y, eb);
  for (int level = 1; !c && level < kLevels; ++level) c = compareLevel(level, pa, ea, pb, eb);
  return c;
}

// By the sort keys, not strcoll: the C library's two disagree on some texts with
// ignorable bytes, and a list's searches must find what its sort placed.
int ListCollation::compareLocale(std::string_view a, std::string_view b) const {
  int c = keyOf(a).compare(keyOf(b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string ListCollation::keyOf(std::string_view text) const {
  return transform(foldedUtf8(text), locale_t(m_locale));
}

uint64_t ListCollation::primaryPrefix(std::string_view text) const {
  uint64_t key = 0;
  int filled = 0;
  if (m_kind == Kind::Ordinal) {
    for (unsigned char c : text.substr(0, 8)) key = key << 8 | kUpper[c], ++filled;
    return filled ? key << (8 * (8 - filled)) : 0;
  }
  for (unsigned char c : text) {
    const Piece pc = m_pieces[c][0];
    for (unsigned i = 0; i < pc.size; ++i) {
      key = key << 8 | uint8_t(m_weights[pc.at + i]);
      if (++filled == 8) return key;
    }
  }
  return filled ? key << (8 * (8 - filled)) : 0;
}

void ListCollation::sort(std::vector<std::string>& items) const {
  // Sorting by a number taken from each text once is what keeps a locale's order within
  // reach of a byte sort: the first eight level-1 weight bytes, or folded bytes without a
  // locale, (a shorter text padded with 0) decide most comparisons; equal numbers compare
  // in full.
  // strcoll's order, without a table, sorts by each text's whole key instead.
  struct Entry {
    uint64_t prefix;
    size_t index;
  };
  std::vector<Entry> order(items.size());
  std::vector<std::string> keys;
  if (m_kind != Kind::Locale) {
    for (size_t i = 0; i < items.size(); ++i) order[i] = Entry{primaryPrefix(items[i]), i};
  } else {
    keys.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i) order[i] = Entry{0, i}, keys[i] = keyOf(items[i]);
  }
  std::sort(order.begin(), order.end(), [&](const Entry& x, const Entry& y) {
    if (x.prefix != y.prefix) return x.prefix < y.prefix;
    const std::string& a = items[x.index];
    const std::string& b = items[y.index];
    int c = keys.empty() ? compare(a, b) : keys[x.index].compare(keys[y.index]);
    return c ? c < 0 : a < b;
  });
  std::vector<std::string> sorted;
  sorted.reserve(items.size());
  for (const Entry& e : order) sorted.push_back(std::move(items[e.index]));
  items.swap(sorted);
}

}  // namespace tavrin
