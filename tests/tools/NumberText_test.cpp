#include "tools/NumberText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "tools/TestText.h"

namespace tavi::number_text {
namespace {

using test::Utf8;

TEST(NumberText, DecimalText) {
  EXPECT_EQ(DecimalText(0), u"0");
  EXPECT_EQ(DecimalText(7), u"7");
  EXPECT_EQ(DecimalText(-1), u"-1");
  EXPECT_EQ(DecimalText(1'000), u"1000");
  EXPECT_EQ(DecimalText(std::numeric_limits<std::int64_t>::max()), u"9223372036854775807");
  EXPECT_EQ(DecimalText(std::numeric_limits<std::int64_t>::min()), u"-9223372036854775808");
}

TEST(NumberText, Grouped) {
  struct Case {
    const char* name;
    std::u16string text, expected;
  };
  const Case kCases[] = {
      {"empty", u"", u""},
      {"minus only", u"-", u"-"},
      {"three digits", u"123", u"123"},
      {"four digits", u"1234", u"1.234"},
      {"six digits", u"123456", u"123.456"},
      {"seven digits", u"1234567", u"1.234.567"},
      {"leading zeros are digits", u"0001", u"0.001"},
      {"negative, three digits", u"-123", u"-123"},
      {"negative, four digits", u"-1234", u"-1.234"},
      {"negative, six digits", u"-123456", u"-123.456"},
      // Only the leading run of digits is grouped.
      {"decimal part stays", u"1234567,891", u"1.234.567,891"},
      {"exponent stays", u"1,5E20", u"1,5E20"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(Grouped(c.text, u'.')), Utf8(c.expected));
  }
}

// Grouping the slow way: a separator after every third digit counted from
// the right, never at the front.
std::u16string GroupedModel(std::u16string digits) {
  const std::size_t first = !digits.empty() && digits[0] == u'-' ? 1 : 0;
  for (std::size_t end = digits.size(); end > first + 3; end -= 3)
    digits.insert(digits.begin() + static_cast<std::ptrdiff_t>(end - 3), u'.');
  return digits;
}

TEST(NumberText, GroupedMatchesTheSlowWay) {
  std::mt19937_64 random(3);
  std::uniform_int_distribution<int> shift(1, 63);
  for (int i = 0; i < 5000; ++i) {
    const auto value = static_cast<std::int64_t>(random() >> shift(random));
    const std::u16string text = DecimalText((random() & 1) ? value : -value);
    ASSERT_EQ(Grouped(text, u'.'), GroupedModel(text)) << Utf8(text);
  }
}

TEST(NumberText, GeneralText) {
  struct Case {
    const char* name;
    double value;
    std::u16string expected;
  };
  const Case kCases[] = {
      // Whole numbers up to 15 digits are their decimal text.
      {"zero", 0.0, u"0"},
      {"negative zero", -0.0, u"0"},
      {"one", 1.0, u"1"},
      {"negative", -42.0, u"-42"},
      {"hundred", 100.0, u"100"},
      {"fifteen digits", 999'999'999'999'999.0, u"999999999999999"},
      // Fractions: at most 15 significant digits, trailing zeros dropped.
      {"half", 0.5, u"0,5"},
      {"fraction", 1234.5, u"1234,5"},
      {"a third", 1.0 / 3.0, u"0,333333333333333"},
      {"rounded to 15 digits", 123'456'789'012'345.6, u"123456789012346"},
      {"tenth", 0.1, u"0,1"},
      {"smallest fixed", 0.00001, u"0,00001"},
      // Exponent form: more than 15 digits before the point, or tiny.
      {"10^15", 1e15, u"1E15"},
      {"rounds up into 16 digits", 999'999'999'999'999.9, u"1E15"},
      {"2^53", 9'007'199'254'740'992.0, u"9,00719925474099E15"},
      {"large", 1.5e20, u"1,5E20"},
      {"negative large", -2.25e300, u"-2,25E300"},
      {"tiny", 1e-6, u"1E-6"},
      {"negative tiny", -1.25e-7, u"-1,25E-7"},
      // Not reachable from an integer, but answered.
      {"infinity", std::numeric_limits<double>::infinity(), u"INF"},
      {"not a number", std::numeric_limits<double>::quiet_NaN(), u"NAN"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(GeneralText(c.value, u',')), Utf8(c.expected));
  }
}

TEST(NumberText, RoundHalfEven) {
  struct Case {
    double value, expected;
  };
  const Case kCases[] = {
      {0.5, 0},        {1.5, 2},       {2.5, 2},         {3.5, 4},
      {-0.5, 0},       {-1.5, -2},     {-2.5, -2},       {2.4999999, 2},
      {2.5000001, 3},  {-2.5000001, -3}, {7.0, 7},       {978.5, 978},
      {977.5, 978},    {1e300, 1e300}, {4503599627370495.5, 4503599627370496},
  };
  for (const Case& c : kCases) EXPECT_EQ(RoundHalfEven(c.value), c.expected) << "value " << c.value;
}

}  // namespace
}  // namespace tavi::number_text
