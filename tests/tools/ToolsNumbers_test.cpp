// The toolbox's number and size formatting, with German separators.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "tools/TestText.h"
#include "tools/Tools.h"

namespace tavi {
namespace {

using test::Utf8;
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();

struct Case {
  const char* name;
  std::int64_t value;
  std::u16string expected;
};

using NumberFormat = test::GermanSeparators;

template <std::size_t N, typename Format>
void ExpectAll(const Case (&cases)[N], Format format) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(format(c.value)), Utf8(c.expected)) << "value " << c.value;
  }
}

TEST_F(NumberFormat, CurrencyPointInsert) {
  const Case kCases[] = {
      // Up to three digits: no separator.
      {"zero", 0, u"0"},
      {"three digits", 999, u"999"},
      {"negative, two digits", -12, u"-12"},
      {"negative, three digits", -999, u"-999"},
      // Groups of three from the right, never in front of the first digit
      // or between the sign and it.
      {"four digits", 1'000, u"1.000"},
      {"six digits", 123'456, u"123.456"},
      {"band limit 999,999", 999'999, u"999.999"},
      {"band limit 1,000,000", 1'000'000, u"1.000.000"},
      {"seven digits", 1'234'567, u"1.234.567"},
      {"band limit 9,999,999", 9'999'999, u"9.999.999"},
      {"band limit 10,000,000", 10'000'000, u"10.000.000"},
      {"negative, four digits", -1'234, u"-1.234"},
      {"negative, six digits", -123'456, u"-123.456"},
      {"negative, seven digits", -1'000'000, u"-1.000.000"},
      // The 64-bit ends.
      {"largest", kMax64, u"9.223.372.036.854.775.807"},
      {"smallest", kMin64, u"-9.223.372.036.854.775.808"},
  };
  ExpectAll(kCases, [](std::int64_t v) { return MyTools->CurrencyPointInsert(v); });
}

TEST_F(NumberFormat, CurrencyPointInsertcomp) {
  const Case kCases[] = {
      {"zero", 0, u"0"},
      {"seven digits", 1'234'567, u"1.234.567"},
      {"negative", -123'456, u"-123.456"},
      {"fifteen digits", 123'456'789'012'345, u"123.456.789.012.345"},
      {"largest of fifteen digits", 999'999'999'999'999, u"999.999.999.999.999"},
      {"smallest of fifteen digits", -999'999'999'999'999, u"-999.999.999.999.999"},
      // From 10^15 on: the exact digits, not the double's exponent form nor
      // its rounding past 2^53.
      {"10^15", 1'000'000'000'000'000, u"1.000.000.000.000.000"},
      {"-10^15", -1'000'000'000'000'000, u"-1.000.000.000.000.000"},
      {"2^53 + 1", 9'007'199'254'740'993, u"9.007.199.254.740.993"},
      {"largest", kMax64, u"9.223.372.036.854.775.807"},
      {"smallest", kMin64, u"-9.223.372.036.854.775.808"},
  };
  ExpectAll(kCases, [](std::int64_t v) { return MyTools->CurrencyPointInsertcomp(v); });
}

TEST_F(NumberFormat, CurrencyPointInsertcompEqualsCurrencyPointInsert) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int> shift(1, 63);
  for (int i = 0; i < 5000; ++i) {
    // Every magnitude equally often, both signs (the shift keeps it positive).
    const auto value = static_cast<std::int64_t>(random() >> shift(random));
    const std::int64_t signedValue = (random() & 1) ? value : -value;
    ASSERT_EQ(MyTools->CurrencyPointInsertcomp(signedValue),
              MyTools->CurrencyPointInsert(signedValue))
        << "value " << signedValue;
  }
}

TEST_F(NumberFormat, CurrencyPointInsert00) {
  const Case kCases[] = {
      {"zero", 0, u"00"},
      {"seven", 7, u"07"},
      {"nine", 9, u"09"},
      {"ten", 10, u"10"},
      {"four digits", 1'234, u"1.234"},
      {"million", 1'000'000, u"1.000.000"},
      {"negative, one digit", -5, u"-5"},
      {"negative, four digits", -1'234, u"-1.234"},
  };
  ExpectAll(kCases, [](std::int64_t v) { return MyTools->CurrencyPointInsert00(v); });
}

TEST_F(NumberFormat, LeadingZero) {
  const Case kCases[] = {
      {"five", 5, u"05"},
      {"zero", 0, u"00"},
      {"nine", 9, u"09"},
      {"two digits", 12, u"12"},
      {"four digits, ungrouped", 1'234, u"1234"},
      {"negative, one digit", -5, u"-5"},
      {"smallest", kMin64, u"-9223372036854775808"},
  };
  ExpectAll(kCases, [](std::int64_t v) { return MyTools->LeadingZero(v); });
}

TEST_F(NumberFormat, LeadingZero4) {
  const Case kCases[] = {
      {"zero", 0, u"0000"},
      {"one digit", 5, u"0005"},
      {"three digits", 123, u"0123"},
      {"four digits", 1'234, u"1234"},
      {"five digits", 12'345, u"12345"},
      // The zeros go after the sign; the sign counts towards the width.
      {"negative, one digit", -5, u"-005"},
      {"negative, two digits", -12, u"-012"},
      {"negative, three digits", -123, u"-123"},
      {"negative, four digits", -1'234, u"-1234"},
  };
  ExpectAll(kCases, [](std::int64_t v) { return MyTools->LeadingZero4(v); });
}

TEST_F(NumberFormat, B_KB_MB) {
  const Case kCases[] = {
      // Byte, negative values included.
      {"zero", 0, u"0 Byte"},
      {"one", 1, u"1 Byte"},
      {"negative", -7, u"0 Byte"},
      {"smallest", kMin64, u"0 Byte"},
      {"band limit 999,999", 999'999, u"999.999 Byte"},
      // KByte: divided by 1024, remainder dropped.
      {"band limit 1,000,000", 1'000'000, u"976 KByte"},
      {"1,024,000", 1'024'000, u"1.000 KByte"},
      {"band limit 9,999,999", 9'999'999, u"9.765 KByte"},
      // MByte: divided by 1,048,576, remainder dropped.
      {"band limit 10,000,000", 10'000'000, u"9 MByte"},
      {"one GiB", 1'073'741'824, u"1.024 MByte"},
      {"largest", kMax64, u"8.796.093.022.207 MByte"},
  };
  ExpectAll(kCases, [](std::int64_t v) { return MyTools->B_KB_MB(v); });
}

TEST_F(NumberFormat, B_KB_MBcomp) {
  const Case kCases[] = {
      // Byte: -1 to 999,999.
      {"missing file", -1, u"0 Byte"},
      {"zero", 0, u"0 Byte"},
      {"four digits", 1'234, u"1.234 Byte"},
      {"band limit 999,999", 999'999, u"999.999 Byte"},
      // KByte, rounded half to even.
      {"band limit 1,000,000", 1'000'000, u"977 KByte"},
      {"977.5 goes up to even", 1'000'960, u"978 KByte"},
      {"978.5 goes down to even", 1'001'984, u"978 KByte"},
      {"band limit 9,999,999", 9'999'999, u"9.766 KByte"},
      // MByte, rounded half to even.
      {"band limit 10,000,000", 10'000'000, u"10 MByte"},
      {"10.5 goes down to even", 11'010'048, u"10 MByte"},
      {"11.5 goes up to even", 12'058'624, u"12 MByte"},
      {"one GiB", 1'073'741'824, u"1.024 MByte"},
      {"largest", kMax64, u"8.796.093.022.208 MByte"},
      // Below -1: MByte, back to Byte when the count rounds to zero.
      {"-2", -2, u"0 Byte"},
      {"-0.5 MiB rounds to zero", -524'288, u"0 Byte"},
      {"just below -0.5 MiB", -524'289, u"0 MByte"},
      {"-600,000", -600'000, u"0 MByte"},
      {"smallest", kMin64, u"0 MByte"},
  };
  ExpectAll(kCases, [](std::int64_t v) { return MyTools->B_KB_MBcomp(v); });
}

TEST(Tools, NumberTextsUseTheGroupSeparator) {
  const char16_t saved = GroupSeparator();
  SetGroupSeparator(u'\u00A0');
  EXPECT_EQ(Utf8(MyTools->CurrencyPointInsert(-1'234'567)), Utf8(u"-1\u00A0234\u00A0567"));
  EXPECT_EQ(Utf8(MyTools->B_KB_MBcomp(999'999)), Utf8(u"999\u00A0999 Byte"));
  SetGroupSeparator(u',');
  EXPECT_EQ(Utf8(MyTools->CurrencyPointInsertcomp(1'000'000)), Utf8(u"1,000,000"));
  EXPECT_EQ(Utf8(MyTools->CurrencyPointInsert00(1'000)), Utf8(u"1,000"));
  SetGroupSeparator(saved);
}

// --- Bin ---------------------------------------------------------------------

TEST(Tools, Bin) {
  struct BinCase {
    const char* name;
    std::int32_t a, b;
    std::u16string expected;
  };
  // Joined with append: GCC 12 warns falsely (-Wrestrict) on a literal
  // plus a string here.
  const auto join = [](std::u16string head, const std::u16string& tail) {
    return head.append(tail);
  };
  const std::u16string ones32(32, u'1'), zeros31(31, u'0');
  const BinCase kCases[] = {
      {"four bits", 5, 4, u"0101"},
      {"fewer bits than the value has", 5, 2, u"01"},
      {"three bits", 6, 3, u"110"},
      {"negative, four bits", -1, 4, u"1111"},
      {"zero width", 9, 0, u""},
      {"negative width", 9, -1, u""},
      // The 32-bit edge: bits above 31 read 0, the sign bit is bit 31.
      {"all 32 bits of -1", -1, 32, ones32},
      {"past 32 bits", -1, 36, join(u"0000", ones32)},
      {"sign bit only", std::numeric_limits<std::int32_t>::min(), 32, join(u"1", zeros31)},
      {"sign bit, one past", std::numeric_limits<std::int32_t>::min(), 33, join(u"01", zeros31)},
      {"largest", std::numeric_limits<std::int32_t>::max(), 32, join(u"0", ones32.substr(1))},
      {"one, forty bits", 1, 40, join(std::u16string(39, u'0'), u"1")},
  };
  for (const BinCase& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(MyTools->Bin(c.a, c.b)), Utf8(c.expected));
  }
}

// The shifting loop as described: b times the lowest bit in front, then an
// unsigned 32-bit shift.
std::u16string BinModel(std::int32_t a, std::int32_t b) {
  std::u16string text;
  auto bits = static_cast<std::uint32_t>(a);
  for (std::int32_t i = 0; i < b; ++i) {
    text.insert(text.begin(), (bits & 1u) ? u'1' : u'0');
    bits >>= 1;
  }
  return text;
}

TEST(Tools, BinMatchesTheShiftingLoop) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> width(-2, 70);
  for (int i = 0; i < 2000; ++i) {
    const auto a = static_cast<std::int32_t>(random());
    const std::int32_t b = width(random);
    ASSERT_EQ(MyTools->Bin(a, b), BinModel(a, b)) << "a " << a << ", b " << b;
  }
}

}  // namespace
}  // namespace tavi
