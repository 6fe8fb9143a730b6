// Number/text conversions: every row of the table generated with Free Pascal
// (tools/gen/convert_table.pas), then the cases the table cannot pin.
#include "interp/convert.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace tavrin::convert;

double fromBits(const std::string& hex) { return std::bit_cast<double>(std::stoull(hex, nullptr, 16)); }

std::vector<std::string> splitTabs(const std::string& line, size_t maxFields) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() + 1 < maxFields) {
    size_t tab = line.find('\t', start);
    if (tab == std::string::npos) break;
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

const FormatSettings kUs;

TEST(ConvertTable, EveryRowMatchesTheOriginal) {
  std::ifstream in(std::string(TAVRIN_SOURCE_DIR) + "/tests/unit/data/convert_table.tsv");
  ASSERT_TRUE(in) << "missing tests/unit/data/convert_table.tsv";
  std::string line;
  int rows = 0, failures = 0;
  std::map<std::string, int> classes;  // rows where Free Pascal's own text differs, by reason
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    ++rows;
    std::string got, want, what;
    if (line[0] == 'P') {
      // P <bits or ERR> <text, may hold blanks and tabs>[|<class> <fpc bits>]
      auto f = splitTabs(line, 3);
      ASSERT_EQ(f.size(), 3u) << line;
      if (size_t bar = f[2].rfind("|V "); bar != std::string::npos) {
        ++classes["PV"];
        f[2].resize(bar);
      }
      double v = 0;
      bool ok = strToFloat(f[2], v, kUs);
      want = f[1];
      if (ok) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llX",
                      static_cast<unsigned long long>(std::bit_cast<uint64_t>(v)));
        got = hex;
      } else {
        got = "ERR";
      }
      what = "StrToFloat('" + f[2] + "')";
    } else {
      auto f = splitTabs(line, 8);
      ASSERT_GE(f.size(), 6u) << line;
      want = f[5];
      if (f.size() >= 7) ++classes[f[0] + f[6]];
      switch (line[0]) {
        case 'S': got = floatToStr(fromBits(f[1]), kUs); break;
        case 'F':
          got = floatToStrF(fromBits(f[1]), std::stoi(f[2]), std::stoi(f[3]), std::stoi(f[4]), kUs);
          break;
        case 'W': got = formatFloatFixed(fromBits(f[1]), std::stoi(f[2]), std::stoi(f[3])); break;
        case 'M': {
          FormatArg arg = FormatArg::ofReal(fromBits(f[1]));
          EXPECT_EQ(formatText(f[2], std::span(&arg, 1), kUs, got), FormatStatus::Ok) << line;
          break;
        }
        case 'I': {
          FormatArg arg = FormatArg::ofInteger(std::stoll(f[1]));
          EXPECT_EQ(formatText(f[2], std::span(&arg, 1), kUs, got), FormatStatus::Ok) << line;
          break;
        }
        default: ADD_FAILURE() << "unknown row " << line; continue;
      }
      what = line;
    }
    if (got != want && ++failures <= 40) ADD_FAILURE() << what << "\n  got  " << got << "\n  want " << want;
  }
  EXPECT_EQ(failures, 0);
  EXPECT_GT(rows, 15000);
  // The classes of difference from Free Pascal stay the known ones.
  for (const auto& [name, count] : classes)
    EXPECT_NE(std::string("DEFNPRTVXYZ").find(name[1]), std::string::npos) << name << " " << count;
}

TEST(FloatToStr, ShortestFormAndExponentThresholds) {
  EXPECT_EQ(floatToStr(1.0 / 3), "0.333333333333333");
  EXPECT_EQ(floatToStr(1e14), "100000000000000");
  EXPECT_EQ(floatToStr(1e15), "1E15");  // 16 integer digits exceed the 15 of the precision
  EXPECT_EQ(floatToStr(1e16), "1E16");
  EXPECT_EQ(floatToStr(999999999999999.5), "1E15");  // rounding carries into a new digit
  EXPECT_EQ(floatToStr(1e20), "1E20");
  EXPECT_EQ(floatToStr(0.0001), "0.0001");
  EXPECT_EQ(floatToStr(1e-5), "1E-5");
  EXPECT_EQ(floatToStr(1.5e-7), "1.5E-7");
  EXPECT_EQ(floatToStr(-0.0), "0");
  EXPECT_EQ(floatToStr(0.1 + 0.2), "0.3");
  EXPECT_EQ(floatToStr(std::numeric_limits<double>::quiet_NaN()), "NAN");
  EXPECT_EQ(floatToStr(HUGE_VAL), "INF");
  EXPECT_EQ(floatToStr(-HUGE_VAL), "-INF");
  EXPECT_EQ(floatToStr(4.9406564584124654e-324), "4.94065645841247E-324");
  FormatSettings comma;
  comma.decimalSeparator = ',';
  EXPECT_EQ(floatToStr(-2.5, comma), "-2,5");
}

TEST(FloatToStrF, GeneralFormatExponentShape) {
  EXPECT_EQ(floatToStrF(123456789, 0, 9, 4, kUs), "123456789");
  EXPECT_EQ(floatToStrF(1234567890, 0, 9, 4, kUs), "1.23456789E0009");
  EXPECT_EQ(floatToStrF(1e20, 0, 9, 4, kUs), "1E0020");
  EXPECT_EQ(floatToStrF(1.0 / 3, 0, 9, 4, kUs), "0.333333333");
  EXPECT_EQ(floatToStrF(-1.5e-7, 0, 9, 4, kUs), "-1.5E-0007");
  EXPECT_EQ(floatToStrF(1e20, 0, 9, 9, kUs), "1E0020");  // digits above 4 act as 4
  EXPECT_EQ(floatToStrF(1e20, 0, 9, -3, kUs), "1E20");
}

TEST(FloatToStrF, PrecisionIsClampedTo2Through18) {
  EXPECT_EQ(floatToStrF(1.0 / 3, 0, 18, 0, kUs), "0.333333333333333315");
  EXPECT_EQ(floatToStrF(0.1, 0, 18, 0, kUs), "0.100000000000000006");
  EXPECT_EQ(floatToStrF(0.1, 0, 40, 0, kUs), "0.100000000000000006");
  EXPECT_EQ(floatToStrF(1.0 / 3, 1, 18, 2, kUs), "3.33333333333333315E-01");
  EXPECT_EQ(floatToStrF(2.5, 0, 1, 0, kUs), "2.5");  // precision 1 acts as 2
  EXPECT_EQ(floatToStrF(2.25, 0, 0, 0, kUs), "2.3");
  EXPECT_EQ(floatToStrF(0.1, 2, 18, 18, kUs), "0.100000000000000006");
}

TEST(FloatToStrF, ExponentFormat) {
  EXPECT_EQ(floatToStrF(1.5, 1, 4, 2, kUs), "1.500E+00");
  EXPECT_EQ(floatToStrF(0, 1, 4, 2, kUs), "0.000E+00");
  EXPECT_EQ(floatToStrF(-1234.5, 1, 3, 0, kUs), "-1.23E+3");
  EXPECT_EQ(floatToStrF(1e-300, 1, 2, 4, kUs), "1.0E-0300");
}

TEST(FloatToStrF, FixedFamilyRoundsOnceWithTiesAwayFromZero) {
  EXPECT_EQ(floatToStrF(0.125, 2, 15, 2, kUs), "0.13");
  EXPECT_EQ(floatToStrF(-0.125, 2, 15, 2, kUs), "-0.13");
  EXPECT_EQ(floatToStrF(2.5, 2, 15, 0, kUs), "3");
  EXPECT_EQ(floatToStrF(0.5, 2, 15, 0, kUs), "1");
  EXPECT_EQ(floatToStrF(0.49999999999999994, 2, 15, 0, kUs), "0");
  EXPECT_EQ(floatToStrF(1.005, 2, 15, 2, kUs), "1.00");  // 1.00499999999999989...
  EXPECT_EQ(floatToStrF(0.015, 2, 15, 2, kUs), "0.01");  // 0.01499999999999999944...
  EXPECT_EQ(floatToStrF(0.006, 2, 15, 2, kUs), "0.01");
  EXPECT_EQ(floatToStrF(0.004, 2, 15, 2, kUs), "0.00");
  EXPECT_EQ(floatToStrF(-0.001, 2, 15, 2, kUs), "0.00");
  EXPECT_EQ(floatToStrF(1.0 / 3, 2, 15, 3, kUs), "0.333");
  EXPECT_EQ(floatToStrF(9.995, 2, 15, 2, kUs), "9.99");  // 9.9949999999999992184...
  EXPECT_EQ(floatToStrF(9.5, 2, 15, 0, kUs), "10");
  // Precision limits the significant digits as well as the decimals.
  EXPECT_EQ(floatToStrF(123.456, 2, 4, 2, kUs), "123.50");
  EXPECT_EQ(floatToStrF(123.456, 3, 4, 2, kUs), "123.50");
  // More integer digits than the precision: the general format.
  EXPECT_EQ(floatToStrF(1e20, 2, 15, 2, kUs), "1E20");
  EXPECT_EQ(floatToStrF(123456, 3, 5, 2, kUs), "1.2346E05");
  EXPECT_EQ(floatToStrF(1234567.891, 3, 15, 2, kUs), "1,234,567.89");
  EXPECT_EQ(floatToStrF(1.5, 2, 15, 40, kUs), "1.500000000000000000");  // 18 decimals at most
  EXPECT_EQ(floatToStrF(1.5, 2, 15, -1, kUs), "2");
  EXPECT_EQ(floatToStrF(1.5, 7, 15, 2, kUs), "1.5");  // unknown formats are general
  EXPECT_EQ(floatToStrF(1.5, -1, 15, 2, kUs), "1.5");
}

TEST(FloatToStrF, CurrencyLayouts) {
  FormatSettings s;
  EXPECT_EQ(floatToStrF(-1234.5, 4, 15, 2, s), "($1,234.50)");
  EXPECT_EQ(floatToStrF(1234.5, 4, 15, 2, s), "$1,234.50");
  s.currencyString = "EUR";
  s.currencyFormat = 3;
  s.negCurrFormat = 8;
  s.thousandSeparator = '.';
  s.decimalSeparator = ',';
  EXPECT_EQ(floatToStrF(1234.5, 4, 15, 2, s), "1.234,50 EUR");
  EXPECT_EQ(floatToStrF(-1234.5, 4, 15, 1, s), "-1.234,5 EUR");
  s.negCurrFormat = 200;  // out of range: the first layout
  EXPECT_EQ(floatToStrF(-1, 4, 15, 0, s), "(EUR1)");
}

TEST(FormatFloatFixed, PrintLayouts) {
  EXPECT_EQ(formatFloatFixed(3.25, 9, 9), "3.250000000");
  EXPECT_EQ(formatFloatFixed(2.5, 9, 9), "2.500000000");
  EXPECT_EQ(formatFloatFixed(0.001, 9, 9), "0.001000000");
  EXPECT_EQ(formatFloatFixed(-0.5, 12, 3), "      -0.500");
  EXPECT_EQ(formatFloatFixed(1e10, 16, 1), "   10000000000.0");
  EXPECT_EQ(formatFloatFixed(-2147483649.0, 16, 1), "   -2147483649.0");
  EXPECT_EQ(formatFloatFixed(1e20, 16, 1), "100000000000000000000.0");
  // 18 significant digits, then zeros: 1e23 is 99999999999999991611392.
  EXPECT_EQ(formatFloatFixed(1e23, 16, 1), "99999999999999991600000.0");
  // 1e300 is 1000000000000000052504760255204420248704468581108159154915854115111802457...
  std::string huge = formatFloatFixed(1e300, 16, 1);
  EXPECT_EQ(huge, "100000000000000005" + std::string(283, '0') + ".0");
  EXPECT_EQ(formatFloatFixed(1.7976931348623157e308, 0, 0).size(), 309u);
  EXPECT_EQ(formatFloatFixed(-0.0000000001, 9, 9), "-0.000000000");
  EXPECT_EQ(formatFloatFixed(-0.0, 4, 1), " 0.0");
  EXPECT_EQ(formatFloatFixed(std::nan(""), 5, 1), "  NAN");
  EXPECT_EQ(formatFloatFixed(0.125, 0, 2, ','), "0,13");
  EXPECT_EQ(formatFloatFixed(1.0 / 3, 0, 30), "0.333333333333333315000000000000");
}

TEST(StrToFloat, AcceptsTheNumberTextsOnly) {
  double v = 0;
  EXPECT_TRUE(strToFloat("  -12.5e1  ", v, kUs));
  EXPECT_EQ(v, -125);
  EXPECT_TRUE(strToFloat(".5", v, kUs));
  EXPECT_EQ(v, 0.5);
  EXPECT_TRUE(strToFloat("5.", v, kUs));
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(strToFloat("1e-400", v, kUs));
  EXPECT_EQ(v, 0);
  for (const char* bad : {"", " ", "abc", "1e", "1e+", "-", "+", ".", "1.2.3", "1 2", "1,5", "0x10",
                          "inf", "nan", "--1", "\t1"})
    EXPECT_FALSE(strToFloat(bad, v, kUs)) << '"' << bad << '"';
  EXPECT_EQ(parseFloat("1e400", v, '.'), NumberParse::Overflow);
  EXPECT_EQ(v, HUGE_VAL);
  EXPECT_EQ(parseFloat("-1e999999999999", v, '.'), NumberParse::Overflow);
  EXPECT_EQ(v, -HUGE_VAL);
  FormatSettings comma;
  comma.decimalSeparator = ',';
  EXPECT_TRUE(strToFloat("1,5", v, comma));
  EXPECT_EQ(v, 1.5);
  EXPECT_FALSE(strToFloat("1.5", v, comma));
  std::string longText = "0." + std::string(400, '0') + "1e402";
  EXPECT_TRUE(strToFloat(longText, v, kUs));
  EXPECT_DOUBLE_EQ(v, 10);
}

TEST(LenientNumber, TakesTheNumericPrefix) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  };
  for (const Case& c : std::initializer_list<Case>{
           {" 12abc", true, 12},
           {"1e5x", true, 100000},
           {"", true, 0},
           {"abc", true, 0},
           {"1.2.3", true, 1.2},
           {"1 2 3", true, 123},
           {"-3.5e-1", true, -0.35},
           {"1e2.5", true, 100},   // no separator after the exponent
           {"1e2e3", true, 100},   // one exponent
           {"5-3", true, 5},       // a sign after a digit stops
           {"1e-+2", false, 0},    // "1e-" is not a number
           {"e5", true, 0},        // 'e' first is not taken
           {"-", false, 0},
           {"+-1", false, 0},
           {".", false, 0},
           {"1e", false, 0},
       }) {
    double v = -99;
    EXPECT_EQ(lenientNumber(c.text, v, kUs), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
  FormatSettings comma;
  comma.decimalSeparator = ',';
  double v = 0;
  EXPECT_TRUE(lenientNumber("2,5.7", v, comma));
  EXPECT_EQ(v, 2.5);
}

TEST(FormatText, SpecifiersIndexesAndWidths) {
  std::string out;
  std::vector<FormatArg> args = {FormatArg::ofInteger(42), FormatArg::ofReal(1.5),
                                 FormatArg::ofText("ab"), FormatArg::ofInteger(-1)};
  EXPECT_EQ(formatText("%d|%e|%s|%x", args, kUs, out), FormatStatus::Ok);
  EXPECT_EQ(out, "42|1.50000000000000E+000|ab|FFFFFFFF");
  EXPECT_EQ(formatText("%1:g %0:d %2:s %2:-4s| %3:u %%", args, kUs, out), FormatStatus::Ok);
  EXPECT_EQ(out, "1.5 42 ab ab  | 4294967295 %");
  std::vector<FormatArg> star = {FormatArg::ofInteger(6), FormatArg::ofInteger(2),
                                 FormatArg::ofReal(3.14159)};
  EXPECT_EQ(formatText("[%*.*f]", star, kUs, out), FormatStatus::Ok);
  EXPECT_EQ(out, "[  3.14]");
  EXPECT_EQ(formatText("%.1s|%p|%m|%g", std::vector<FormatArg>{FormatArg::ofText("xyz"),
                       FormatArg::ofInteger(255), FormatArg::ofReal(-2), FormatArg::ofReal(1e20)},
                       kUs, out), FormatStatus::Ok);
  EXPECT_EQ(out, "x|000000FF|($2.00)|1E020");
  EXPECT_EQ(formatText("%.0f %.0n", std::vector<FormatArg>{FormatArg::ofReal(2.5),
                       FormatArg::ofReal(-1234567.5)}, kUs, out), FormatStatus::Ok);
  EXPECT_EQ(out, "3 -1,234,568");
}

TEST(FormatText, BadFormatsAndArgumentsAreReported) {
  std::string out;
  std::vector<FormatArg> one = {FormatArg::ofReal(1.5)};
  EXPECT_EQ(formatText("%d", one, kUs, out), FormatStatus::WrongKind);
  EXPECT_EQ(formatText("%s", one, kUs, out), FormatStatus::WrongKind);
  EXPECT_EQ(formatText("%f %f", one, kUs, out), FormatStatus::NoArgument);
  EXPECT_EQ(formatText("%5:f", one, kUs, out), FormatStatus::NoArgument);
  EXPECT_EQ(formatText("%*f", one, kUs, out), FormatStatus::WrongKind);
  EXPECT_EQ(formatText("%q", one, kUs, out), FormatStatus::BadFormat);
  EXPECT_EQ(formatText("abc%", one, kUs, out), FormatStatus::BadFormat);
  EXPECT_EQ(formatText("%-", one, kUs, out), FormatStatus::BadFormat);
  EXPECT_EQ(formatText("%d", {}, kUs, out), FormatStatus::NoArgument);
  EXPECT_EQ(formatText("no specifiers", {}, kUs, out), FormatStatus::Ok);
  EXPECT_EQ(out, "no specifiers");
  EXPECT_EQ(formatErrorMessage(FormatStatus::NoArgument, "%d"), "No argument for format '%d'");
  std::vector<FormatArg> huge = {FormatArg::ofInteger(99999999), FormatArg::ofInteger(1)};
  EXPECT_EQ(formatText("%*d", huge, kUs, out), FormatStatus::Ok);  // width capped, no hang
  EXPECT_EQ(out.size(), 1000000u);
}

TEST(IntegerTexts, DecimalAndHex) {
  EXPECT_EQ(intToStr(-2147483648LL), "-2147483648");
  EXPECT_EQ(hexText(255, 8), "000000FF");
  EXPECT_EQ(hexText(0xDEADBEEF, 2), "DEADBEEF");
}

}  // namespace
