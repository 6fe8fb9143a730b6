// String-list collation: which comparison a locale name gives, the weight table against
// the C library's strcoll on random texts, and sorts against one comparison at a time.
#include <gtest/gtest.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "lib/collation.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace tavrin {
namespace {

// The locales these tests use, made with localedef into the build tree once (tests run
// in processes of their own, in parallel: each locale is made aside, then renamed into
// place) and found through LOCPATH, so that the machine needs none installed. Empty when
// localedef cannot make them.
const std::string& testLocales() {
  static const std::string dir = [] {
    const std::string d = TAVRIN_BINARY_DIR "/test-locales";
    std::filesystem::create_directories(d);
    for (const char* name : {"en_US", "de_DE", "cs_CZ"}) {
      const std::string target = d + "/" + name + ".UTF-8";
      if (std::filesystem::exists(target + "/LC_COLLATE")) continue;
      const std::string aside = d + "/making-" + std::to_string(getpid()) + "-" + name;
      std::string cmd = "localedef -i " + std::string(name) + " -f UTF-8 " + aside + " >/dev/null 2>&1";
      if (std::system(cmd.c_str()) != 0 && !std::filesystem::exists(aside + "/LC_COLLATE")) return std::string();
      std::error_code ignored;
      std::filesystem::rename(aside, target, ignored);  // another test may have been first
      std::filesystem::remove_all(aside, ignored);
    }
    setenv("LOCPATH", d.c_str(), 1);
    return d;
  }();
  return dir;
}

class CollationTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (testLocales().empty()) GTEST_SKIP() << "localedef cannot make the test locales";
  }
};

std::vector<std::string> randomTexts(size_t count, unsigned seed) {
  // letters with and without case and accents, ligatures, blanks, punctuation, digits,
  // control bytes, the euro sign and NUL
  static const std::string alphabet("aAbBeE\xe9\xc9\xe8zZ -'.,0919\xdf\xe6\xc6s\xb5\xaa\x80\x9f\xff\x01\x7f\x8a\x9a", 32);
  std::vector<std::string> out(count);
  for (std::string& t : out) {
    seed = seed * 1103515245 + 12345;
    size_t len = (seed >> 16) % 7;
    for (size_t j = 0; j < len; ++j) {
      seed = seed * 1103515245 + 12345;
      t += alphabet[(seed >> 16) % alphabet.size()];
    }
  }
  return out;
}

int sign(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

TEST(Collation, NamesWithoutALocaleCompareFoldedBytes) {
  for (const char* name : {"", "C", "POSIX", "C.UTF-8", "C.utf8", "xx_NOWHERE.UTF-8"}) {
    ListCollation c(name);
    EXPECT_EQ(c.kind(), ListCollation::Kind::Ordinal) << name;
    EXPECT_EQ(c.compare("apple", "APPLE"), 0);
    EXPECT_EQ(c.compare("\xe9t\xe9", "\xc9T\xc9"), 0) << "Windows-1252 letters fold too";
    EXPECT_LT(c.compare("a", "B"), 0);
    EXPECT_LT(c.compare("b", "C"), 0);
    EXPECT_LT(c.compare("Z", "_"), 0) << "folded to capitals, as sort -f does";
    EXPECT_LT(c.compare("ab", "abc"), 0);
    EXPECT_GT(c.compare(std::string("a\0", 2), "a"), 0);
    EXPECT_TRUE(c.less("A", "a")) << "equals order by their bytes";
  }
}

TEST_F(CollationTest, TableAgreesWithStrcoll) {
  for (const char* name : {"en_US.UTF-8", "de_DE.UTF-8", "en_US"}) {
    ListCollation c(name);
    ASSERT_EQ(c.kind(), ListCollation::Kind::Table) << name;
    std::string full(name);
    if (full.find('.') == std::string::npos) full += ".UTF-8";
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();  // glibc's newlocale keeps its copy of LOCPATH for good
#endif
    locale_t l = newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, full.c_str(), locale_t(0));
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
    ASSERT_TRUE(l);
    const std::vector<std::string> a = randomTexts(60000, 1), b = randomTexts(60000, 2);
    int differ = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      // strcoll ends at a NUL: compare NUL-free texts with it
      if (a[i].find('\0') != std::string::npos || b[i].find('\0') != std::string::npos) continue;
      const int want = sign(strcoll_l(foldedUtf8(a[i]).c_str(), foldedUtf8(b[i]).c_str(), l));
      if (sign(c.compare(a[i], b[i])) != want && ++differ < 5)
        ADD_FAILURE() << name << ": [" << a[i] << "] [" << b[i] << "] strcoll " << want;
      EXPECT_EQ(sign(c.compare(a[i], b[i])), -sign(c.compare(b[i], a[i])));
    }
    EXPECT_EQ(differ, 0);
    freelocale(l);
  }
}

TEST_F(CollationTest, LettersBesideTheirBase) {
  ListCollation c("en_US.UTF-8");
  EXPECT_LT(c.compare("\xe9t\xe9", "f"), 0);        // été before f
  EXPECT_LT(c.compare("ete", "\xe9t\xe9"), 0);      // the accent counts after the letters
  EXPECT_EQ(c.compare("\xc9T\xc9", "\xe9t\xe9"), 0);  // case does not
  EXPECT_LT(c.compare("\xe6on", "af"), 0);          // æ as ae
  EXPECT_NE(c.compare("\xdf", "ss"), 0);            // ß beside ss, not the same
  EXPECT_LT(c.compare("ss", "\xdf"), 0);
  EXPECT_LT(c.compare("\xdf", "st"), 0);
}

TEST_F(CollationTest, ContractionsFallBackToStrcoll) {
  // Czech sorts ch as one letter after h: a table of single bytes cannot say that.
  ListCollation c("cs_CZ.UTF-8");
  ASSERT_EQ(c.kind(), ListCollation::Kind::Locale);
  EXPECT_LT(c.compare("hrad", "chata"), 0);
  EXPECT_LT(c.compare("chata", "ivan"), 0);
  EXPECT_EQ(c.compare("CHATA", "chata"), 0);
}

TEST_F(CollationTest, SortsAgreeWithTheComparison) {
  for (const char* name : {"en_US.UTF-8", "cs_CZ.UTF-8", "C"}) {
    ListCollation c(name);
    std::vector<std::string> items = randomTexts(20000, 7), want = items;
    // long texts sharing their first eight weights, so that the sort's prefix numbers tie
    for (int i = 0; i < 200; ++i) items.push_back("abcdefghij" + std::to_string(i % 37) + (i % 2 ? "X" : "x"));
    want = items;
    c.sort(items);
    std::stable_sort(want.begin(), want.end(), [&](const std::string& x, const std::string& y) { return c.less(x, y); });
    EXPECT_EQ(items, want) << name;
  }
}

}  // namespace
}  // namespace tavrin
