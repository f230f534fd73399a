#include "tools/Tools.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "tools/TestText.h"

#ifdef _WIN32
#include <windows.h>
#include <oleauto.h>
#endif

namespace tavi {
namespace {

using test::Utf8;
constexpr std::int32_t kMax32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();

TEST(Tools, MyToolsExistsBeforeMain) { ASSERT_NE(MyTools, nullptr); }

// --- CalculateGauge ----------------------------------------------------------

TEST(Tools, CalculateGauge) {
  struct Case {
    const char* name;
    std::int32_t curr, start, end;
    std::int32_t expected;
  };
  const Case kCases[] = {
      // Plain percentages.
      {"half", 5, 0, 10, 50},
      {"start", 0, 0, 10, 0},
      {"end", 10, 0, 10, 100},
      {"third", 1, 0, 3, 33},
      {"two thirds", 2, 0, 3, 67},
      // Exact halves go to the even neighbour, negative ones too.
      {"12.5", 1, 0, 8, 12},
      {"37.5", 3, 0, 8, 38},
      {"62.5", 5, 0, 8, 62},
      {"87.5", 7, 0, 8, 88},
      {"0.5", 1, 0, 200, 0},
      {"1.5", 3, 0, 200, 2},
      {"-12.5", 21, 20, 12, -12},
      // Empty span and values below the start.
      {"empty span", 7, 5, 5, 100},
      {"all zero", 0, 0, 0, 100},
      {"below start", 4, 5, 10, 100},
      {"below start, falling span", 10, 20, 0, 100},
      // No clamping.
      {"past the end", 15, 0, 10, 150},
      {"falling span", 25, 20, 0, -25},
      {"falling span at start", 20, 20, 0, 0},
      // Past 21,474,836 a 32-bit product would overflow.
      {"first overflowing length", 21'474'837, 0, 21'474'837, 100},
      {"half of the largest span", 1'073'741'824, 0, kMax32, 50},
      {"largest end", kMax32, 0, kMax32, 100},
      {"whole 32-bit range, middle", 0, kMin32, kMax32, 50},
      {"whole 32-bit range, end", kMax32, kMin32, kMax32, 100},
      {"whole 32-bit range, start", kMin32, kMin32, kMax32, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MyTools->CalculateGauge(c.curr, c.start, c.end), c.expected);
  }
}

// --- TrimAll -----------------------------------------------------------------

TEST(Tools, TrimAll) {
  struct Case {
    const char* name;
    std::u16string input, expected;
  };
  const Case kCases[] = {
      {"empty", u"", u""},
      {"inner spaces", u"a b  c", u"abc"},
      {"spaces only", u"    ", u""},
      {"ends", u"  ab  ", u"ab"},
      {"tab, line breaks and no-break space stay", u"a\tb\r\nc\u00A0d", u"a\tb\r\nc\u00A0d"},
      {"embedded NUL stays", std::u16string(u"a \0b", 4), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(MyTools->TrimAll(c.input)), Utf8(c.expected));
  }
}

#ifdef _WIN32
// The COM overload: the length prefix counts, not a NUL, and a null BSTR is
// the empty text; the result is always a new string of the system allocator.
TEST(Tools, TrimAllOnBstr) {
  struct Case {
    const char* name;
    std::u16string input, expected;
    bool null = false;
  };
  const Case kCases[] = {
      {"null", u"", u"", true},
      {"empty", u"", u""},
      {"inner spaces", u"a b  c", u"abc"},
      {"spaces only", u"   ", u""},
      {"tab and no-break space stay", u" a\t\u00A0b ", u"a\t\u00A0b"},
      {"embedded NUL stays", std::u16string(u"a \0 b", 5), std::u16string(u"a\0b", 3)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BSTR in = c.null ? nullptr
                     : SysAllocStringLen(reinterpret_cast<const OLECHAR*>(c.input.data()),
                                         static_cast<UINT>(c.input.size()));
    BSTR out = MyTools->TrimAll(in);
    ASSERT_NE(out, nullptr);
    EXPECT_NE(out, in);
    const std::u16string actual(reinterpret_cast<const char16_t*>(out), SysStringLen(out));
    EXPECT_EQ(Utf8(actual), Utf8(c.expected));
    EXPECT_EQ(out[SysStringLen(out)], L'\0');  // Still usable as a C string.
    if (!c.null) {
      // The argument is read only.
      EXPECT_EQ(Utf8({reinterpret_cast<const char16_t*>(in), SysStringLen(in)}), Utf8(c.input));
    }
    SysFreeString(out);
    SysFreeString(in);
  }
}
#endif

// --- SplitString -------------------------------------------------------------

TEST(Tools, SplitString) {
  struct Case {
    const char* name;
    std::u16string source;
    std::int32_t reqLength;
    std::u16string dest, dest1;
  };
  const Case kCases[] = {
      // A space that fits.
      {"first space fits", u"Hallo Welt", 6, u"Hallo", u"Welt"},
      {"first space, both lines full", u"abc def", 4, u"abc", u"def"},
      {"last fitting space wins", u"a b c d", 4, u"a b", u"c d"},
      {"leading space leaves the first line empty", u" abc", 5, u"", u"abc"},
      {"trailing space", u"abc ", 4, u"abc", u""},
      {"trailing space not fitting", u"abc ", 3, u"ab-", u"c "},
      // The hyphen cut.
      {"longer than two lines", u"Hallo Welt", 3, u"Ha-", u"llo"},
      {"no space, fits one line", u"abc", 10, u"abc-", u""},
      {"no space fits, cut through the word", u"ab cdefgh", 5, u"ab c-", u"defgh"},
      {"exactly two lines without a space", u"abcdef", 3, u"ab-", u"cde"},
      {"exactly two lines with a space", u"abc defg", 4, u"abc", u"defg"},
      {"one past two lines", u"abc def", 3, u"ab-", u"c d"},
      {"width one cuts to a lone hyphen", u"a b", 1, u"-", u"a"},
      {"width zero", u"abc", 0, u"-", u""},
      {"negative width", u"abc", -4, u"-", u""},
      {"largest width", u"ab", kMax32, u"ab-", u""},
      // Nothing to split.
      {"empty", u"", 5, u"", u""},
      {"empty, width zero", u"", 0, u"", u""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::u16string dest = u"old", dest1 = u"old";
    MyTools->SplitString(c.source, dest, dest1, c.reqLength);
    EXPECT_EQ(Utf8(dest), Utf8(c.dest));
    EXPECT_EQ(Utf8(dest1), Utf8(c.dest1));
  }
}

TEST(Tools, SplitStringSourceMayBeOneOfTheLines) {
  std::u16string text = u"Hallo Welt";
  std::u16string rest;
  MyTools->SplitString(text, text, rest, 6);
  EXPECT_EQ(Utf8(text), Utf8(u"Hallo"));
  EXPECT_EQ(Utf8(rest), Utf8(u"Welt"));

  std::u16string first;
  text = u"Hallo Welt";
  MyTools->SplitString(text, first, text, 6);
  EXPECT_EQ(Utf8(first), Utf8(u"Hallo"));
  EXPECT_EQ(Utf8(text), Utf8(u"Welt"));
}

// --- CenterStr ---------------------------------------------------------------

std::u16string Padded(std::size_t front, std::u16string_view text, std::size_t back) {
  return std::u16string(front, u' ') + std::u16string(text) + std::u16string(back, u' ');
}

TEST(Tools, CenterStr) {
  struct Case {
    const char* name;
    std::u16string s;
    std::int32_t maxLength;
    std::u16string expected;
  };
  const std::u16string k254(254, u'x'), k255(255, u'x'), k253(253, u'x');
  const Case kCases[] = {
      // Padded to MaxLength + 1, the odd space in front.
      {"even padding", u"ab", 5, u"  ab  "},
      {"odd padding", u"ab", 4, u"  ab "},
      {"one short", u"ab", 3, u" ab "},
      {"empty", u"", 1, u"  "},
      {"empty, zero", u"", 0, u""},
      // Long enough already.
      {"exactly MaxLength", u"abc", 3, u"abc"},
      {"longer", u"abcd", 3, u"abcd"},
      {"negative MaxLength", u"ab", -5, u"ab"},
      // The 255 limit.
      {"capped at 255", u"x", 300, Padded(127, u"x", 127)},
      {"empty, capped at 255", u"", 300, Padded(128, u"", 127)},
      {"MaxLength 254 gives 255", u"x", 254, Padded(127, u"x", 127)},
      {"MaxLength 255 gives 255", u"x", 255, Padded(127, u"x", 127)},
      {"largest MaxLength", u"x", kMax32, Padded(127, u"x", 127)},
      {"253 grows to 255", k253, 300, Padded(1, k253, 1)},
      {"254 grows to 255", k254, 300, Padded(1, k254, 0)},
      {"255 is never padded", k255, 300, k255},
      {"254 at MaxLength 254", k254, 254, k254},
      {"254 at MaxLength 255", k254, 255, Padded(1, k254, 0)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(MyTools->CenterStr(c.s, c.maxLength)), Utf8(c.expected));
  }
}

// The padding loop as described: a space in front, then one behind, while
// the text is shorter than MaxLength + 1 and than 255.
std::u16string CenterStrModel(std::u16string s, std::int32_t maxLength) {
  if (static_cast<std::int64_t>(s.size()) >= maxLength) return s;
  const auto shortEnough = [&] {
    const auto n = static_cast<std::int64_t>(s.size());
    return n < std::int64_t{maxLength} + 1 && n < 255;
  };
  while (shortEnough()) {
    s.insert(s.begin(), u' ');
    if (shortEnough()) s.push_back(u' ');
  }
  return s;
}

TEST(Tools, CenterStrMatchesThePaddingLoop) {
  std::mt19937 random(20240603);
  std::uniform_int_distribution<int> length(0, 300), width(-3, 320);
  for (int i = 0; i < 2000; ++i) {
    const std::u16string s(static_cast<std::size_t>(length(random)), u'x');
    const std::int32_t maxLength = width(random);
    ASSERT_EQ(MyTools->CenterStr(s, maxLength), CenterStrModel(s, maxLength))
        << "length " << s.size() << ", MaxLength " << maxLength;
  }
}

// --- RepeatChar and Spaces ---------------------------------------------------

TEST(Tools, RepeatChar) {
  struct Case {
    const char* name;
    std::u16string c;
    std::int32_t count;
    std::u16string expected;
  };
  const Case kCases[] = {
      {"one character, Count + 1 times", u"-", 3, u"----"},
      {"two characters, just past Count", u"ab", 3, u"abab"},
      {"two characters, even Count", u"ab", 4, u"ababab"},
      {"three characters", u"abc", 2, u"abc"},
      {"zero gives one copy", u"x", 0, u"x"},
      {"negative", u"x", -1, u""},
      {"empty C", u"", 5, u""},
      {"empty C, zero", u"", 0, u""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(MyTools->RepeatChar(c.c, c.count)), Utf8(c.expected));
  }
}

TEST(Tools, Spaces) {
  EXPECT_EQ(MyTools->Spaces(3), u"   ");
  EXPECT_EQ(MyTools->Spaces(1), u" ");
  EXPECT_EQ(MyTools->Spaces(0), u"");
  EXPECT_EQ(MyTools->Spaces(-3), u"");
}

// --- Upper and UpperExt ------------------------------------------------------

TEST(Tools, Upper) {
  struct Case {
    const char* name;
    std::u16string input, expected;
  };
  const Case kCases[] = {
      {"umlauts, ß stays", u"Größe über", u"GRÖßE ÜBER"},
      {"all umlauts", u"äöüÄÖÜ", u"ÄÖÜÄÖÜ"},
      {"ASCII edges", u"@az[`{AZ", u"@AZ[`{AZ"},
      {"other accents stay", u"éàçÿ", u"éàçÿ"},
      {"non-Latin stays", u"αβж", u"αβж"},
      {"empty", u"", u""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(MyTools->Upper(c.input)), Utf8(c.expected));
  }
}

TEST(Tools, UpperExt) {
  struct Case {
    const char* name;
    std::u16string input, expected;
  };
  const Case kCases[] = {
      {"mixed", u"Größe 12", u"GROSEAAA"},
      {"umlauts and ß", u"äÄöÖüÜß", u"AAOOUUS"},
      {"ASCII edges", u"@az[`{AZ", u"AAZAAAAZ"},
      {"controls and others", std::u16string(u"\0\t\u00A0é\uFFFF", 5), u"AAAAA"},
      {"empty", u"", u""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(MyTools->UpperExt(c.input)), Utf8(c.expected));
  }
}

// --- LeftStr, RightStr, MidStr -----------------------------------------------

TEST(Tools, Substrings) {
  enum class Op { Left, Right, Mid };
  struct Case {
    const char* name;
    Op op;
    std::u16string text;
    std::int32_t a, b;  // b for MidStr only.
    std::u16string expected;
  };
  const Case kCases[] = {
      {"left", Op::Left, u"abc", 2, 0, u"ab"},
      {"left, all", Op::Left, u"abc", 3, 0, u"abc"},
      {"left, more than all", Op::Left, u"abc", 5, 0, u"abc"},
      {"left, zero", Op::Left, u"abc", 0, 0, u""},
      {"left, negative", Op::Left, u"abc", -1, 0, u""},
      {"left, largest", Op::Left, u"abc", kMax32, 0, u"abc"},
      {"right", Op::Right, u"abc", 2, 0, u"bc"},
      {"right, more than all", Op::Right, u"abc", 5, 0, u"abc"},
      {"right, zero", Op::Right, u"abc", 0, 0, u""},
      {"right, negative", Op::Right, u"abc", -2, 0, u""},
      {"right, largest", Op::Right, u"abc", kMax32, 0, u"abc"},
      {"right, empty text", Op::Right, u"", 2, 0, u""},
      {"mid", Op::Mid, u"abcdef", 2, 3, u"bcd"},
      {"mid, index 0 counts as 1", Op::Mid, u"abcdef", 0, 2, u"ab"},
      {"mid, negative index", Op::Mid, u"abcdef", -5, 2, u"ab"},
      {"mid, past the end", Op::Mid, u"abc", 4, 1, u""},
      {"mid, at the end", Op::Mid, u"abc", 3, 5, u"c"},
      {"mid, zero count", Op::Mid, u"abc", 1, 0, u""},
      {"mid, negative count", Op::Mid, u"abc", 1, -1, u""},
      {"mid, largest index and count", Op::Mid, u"abc", kMax32, kMax32, u""},
      {"mid, largest count", Op::Mid, u"abc", 2, kMax32, u"bc"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::u16string actual = c.op == Op::Left    ? MyTools->LeftStr(c.text, c.a)
                                  : c.op == Op::Right ? MyTools->RightStr(c.text, c.a)
                                                      : MyTools->MidStr(c.text, c.a, c.b);
    EXPECT_EQ(Utf8(actual), Utf8(c.expected));
  }
}

// --- RandomFileName -----------------------------------------------------------

bool Accepted(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'{');
}

TEST(Tools, RandomFileNameShape) {
  std::u16string previous;
  for (int i = 0; i < 1000; ++i) {
    const std::u16string name = MyTools->RandomFileName();
    ASSERT_EQ(name.size(), 12u) << Utf8(name);
    ASSERT_EQ(name[8], u'.') << Utf8(name);
    for (std::size_t k = 0; k < name.size(); ++k) {
      if (k == 8) continue;
      ASSERT_TRUE(Accepted(name[k])) << Utf8(name) << " at " << k;
    }
    ASSERT_NE(name, previous);  // 63^11 names: a repeat means a stuck generator.
    previous = name;
  }
}

// Every one of the 63 characters, "{" included, at every one of the eleven
// places, and about equally often: with 63 x 11 counts of about 95 each, a
// character left out, one too many or a place that favours some would show.
TEST(Tools, RandomFileNameCharacters) {
  constexpr int kNames = 6000;
  constexpr std::size_t kPlaces[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11};
  int counts[11][128] = {};
  int total[128] = {};
  for (int i = 0; i < kNames; ++i) {
    const std::u16string name = MyTools->RandomFileName();
    for (std::size_t p = 0; p < 11; ++p) {
      const char16_t c = name[kPlaces[p]];
      ASSERT_TRUE(Accepted(c)) << Utf8(name);
      ++counts[p][c];
      ++total[c];
    }
  }
  const double expected = kNames * 11 / 63.0;
  double chiSquare = 0;
  for (char16_t c = 0; c < 128; ++c) {
    if (!Accepted(c)) continue;
    for (std::size_t p = 0; p < 11; ++p)
      EXPECT_GT(counts[p][c], 0) << "character " << static_cast<char>(c) << " at place " << p;
    chiSquare += (total[c] - expected) * (total[c] - expected) / expected;
  }
  // 62 degrees of freedom: mean 62, standard deviation about 11; 150 is
  // beyond one chance in ten million for a fair generator.
  EXPECT_LT(chiSquare, 150.0);
}

}  // namespace
}  // namespace tavi
