#include "html/HTMTools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "FailingAllocator.h"

namespace tavi {
namespace {

using test::gAllocationsLeft;

TCharCodeSet Markup(std::string_view chars) {
  TCharCodeSet set;
  for (char c : chars) set.set(static_cast<unsigned char>(c));
  return set;
}

struct ConvertCase {
  const char* name;
  std::u16string source;
  bool convertMarkup;
  std::string_view markupChars;
  std::u16string expected;
  std::int32_t count;
};

const ConvertCase kConvertCases[] = {
    // Fixed rows, as the dialog calls it.
    {"empty", u"", false, "&<>", u"", 0},
    {"umlauts", u"Grüße aus Köln", false, "&<>", u"Gr&uuml;&szlig;e aus K&ouml;ln", 3},
    {"plain ascii", u"Hello, world!", false, "&<>", u"Hello, world!", 0},
    {"markup kept", u"<p>Tom &amp; Jerry</p>", false, "&<>", u"<p>Tom &amp; Jerry</p>", 0},
    {"markup kept with empty set", u"<p>Tom &amp; Jerry</p>", false, "", u"<p>Tom &amp; Jerry</p>", 0},
    {"dialog example", u"a < b & c > d ä", false, "&<>", u"a < b & c > d &auml;", 1},
    {"script content too", u"<script>ä</script>", false, "&<>", u"<script>&auml;</script>", 1},
    {"euro and trade", u"\u20AC\u2122", false, "", u"&euro;&trade;", 2},
    {"cp1252 controls stay", u"\u0080\u0099", false, "", u"\u0080\u0099", 0},
    {"yuml and its partner", u"\u00FF\u0178", false, "", u"&yuml;\u0178", 1},
    {"case has own rows", u"Ääß", false, "", u"&Auml;&auml;&szlig;", 3},
    {"invisible ones", u"\u00A0\u00AD", false, "", u"&nbsp;&shy;", 2},
    {"count of characters", u"€€", false, "", u"&euro;&euro;", 2},
    {"first and last rows", u"\u00A0\u00FF\u009F\u0100", false, "", u"&nbsp;&yuml;\u009F\u0100", 2},
    {"surrogate pair", u"x\U0001F600y", false, "", u"x\U0001F600y", 0},
    {"unpaired surrogate at end", u"ä\xD800", false, "", u"&auml;\xD800", 1},
    {"combining diaeresis", u"a\u0308", false, "", u"a\u0308", 0},
    {"quotes stay", u"\"'", true, "&<>", u"\"'", 0},
    {"nul inside", std::u16string(u"a\0ä", 3), false, "", std::u16string(u"a\0&auml;", 8), 1},
    // Markup rows.
    {"all markup", u"<b>&amp;</b>", true, "&<>", u"&lt;b&gt;&amp;amp;&lt;/b&gt;", 5},
    {"only lt", u"a<b>c", true, "<", u"a&lt;b>c", 1},
    {"other members ignored", u"aä", true, "a\xE4", u"a&auml;", 1},
    {"markup and umlaut tail", u"x>ö", true, ">", u"x&gt;&ouml;", 2},
};

TEST(HTMTools, ConvertCases) {
  for (const ConvertCase& c : kConvertCases) {
    std::int32_t count = -1;
    const std::u16string result = ConvertSpecialChars(count, c.source, c.convertMarkup, Markup(c.markupChars));
    EXPECT_EQ(result, c.expected) << c.name;
    EXPECT_EQ(count, c.count) << c.name;
  }
}

TEST(HTMTools, SecondConversionChangesNothing) {
  std::int32_t count = 0;
  const std::u16string once = ConvertSpecialChars(count, u"Grüße © 2024 €", false, Markup("&<>"));
  EXPECT_EQ(count, 4);
  EXPECT_EQ(ConvertSpecialChars(count, once, false, Markup("&<>")), once);
  EXPECT_EQ(count, 0);
}

// Every one of the 65,536 code units on its own: exactly the table's code
// units are replaced, by an ASCII entity "&name;" of 2 to 6 characters.
TEST(HTMTools, SweepOverAllCodeUnits) {
  int replaced = 0;
  for (std::uint32_t u = 0; u <= 0xFFFF; ++u) {
    const char16_t c = static_cast<char16_t>(u);
    const bool inTable = (u >= 0xA0 && u <= 0xFF) || u == 0x20AC || u == 0x2122;
    std::int32_t count = -1;
    const std::u16string source(1, c);
    const std::u16string result = ConvertSpecialChars(count, source, false, Markup("&<>"));
    ASSERT_EQ(count, inTable ? 1 : 0) << std::hex << u;
    if (!inTable) {
      ASSERT_EQ(result, source) << std::hex << u;
      continue;
    }
    ++replaced;
    ASSERT_GE(result.size(), 4u);
    ASSERT_LE(result.size(), 8u);
    ASSERT_EQ(result.front(), u'&');
    ASSERT_EQ(result.back(), u';');
    for (std::size_t i = 1; i + 1 < result.size(); ++i) {
      ASSERT_TRUE(std::isalnum(static_cast<int>(result[i]))) << std::hex << u;
    }
  }
  EXPECT_EQ(replaced, 98);
}

// A slow model: one code unit at a time, a piece per unit, appended.
std::u16string ModelConvert(std::int32_t& count, std::u16string_view source, bool markup,
                            const TCharCodeSet& chars) {
  count = 0;
  std::u16string result;
  for (char16_t c : source) {
    const std::u16string_view entity = EntityFor(c, markup, chars);
    if (entity.empty()) {
      result += c;
    } else {
      result += entity;
      ++count;
    }
  }
  return result;
}

// The fast path skips ASCII four units at a time; random texts with specials
// at every alignment and run length check it against the model.
TEST(HTMTools, AgreesWithModelOnRandomTexts) {
  std::mt19937 rng(20261210);
  const char16_t alphabet[] = {u'a', u' ', u'<', u'>', u'&', 0x7F, 0x80, 0x9F, 0xA0, 0xE4, 0xFF, 0x100,
                               0x20AC, 0x2122, 0xD800, 0xDC00, 0};
  for (int round = 0; round < 2000; ++round) {
    std::u16string text(rng() % 40, u'x');
    for (char16_t& c : text) {
      c = (rng() % 3 == 0) ? alphabet[rng() % std::size(alphabet)] : static_cast<char16_t>(u'a' + rng() % 26);
    }
    const bool markup = rng() % 2 == 0;
    const TCharCodeSet chars = Markup(round % 3 == 0 ? "&" : "&<>");
    std::int32_t fastCount = -1, modelCount = -1;
    const std::u16string fast = ConvertSpecialChars(fastCount, text, markup, chars);
    const std::u16string model = ModelConvert(modelCount, text, markup, chars);
    ASSERT_EQ(fast, model) << "round " << round;
    ASSERT_EQ(fastCount, modelCount) << "round " << round;
  }
}

// The scans copy up to sixteen units at a time and stop at units from U+00A0
// on and at the markup characters whose row is on. One unit of each kind at
// every offset of plain texts of every length up to a few vectors, and of
// long ones, with the other rows off and on.
TEST(HTMTools, EveryUnitKindAtEveryOffset) {
  const char16_t kinds[] = {0xE4, 0xA0, 0xFF, 0x20AC, 0x2122, 0x9F, 0x100, 0x2013, 0xFFFF, u'&', u'<', u'>', 0};
  const char16_t fillers[] = {u'x', u' ', 0x7F};
  std::vector<std::size_t> lengths;
  for (std::size_t n = 1; n <= 70; ++n) lengths.push_back(n);
  for (std::size_t n : {127, 128, 129, 1000}) lengths.push_back(n);
  for (const char16_t filler : fillers) {
    for (const std::size_t n : lengths) {
      for (std::size_t at = 0; at < n; ++at) {
        for (const char16_t kind : kinds) {
          for (const bool markup : {false, true}) {
            std::u16string text(n, filler);
            text[at] = kind;
            const TCharCodeSet chars = Markup("&<>");
            std::int32_t fastCount = -1, modelCount = -1;
            const std::u16string fast = ConvertSpecialChars(fastCount, text, markup, chars);
            const std::u16string model = ModelConvert(modelCount, text, markup, chars);
            ASSERT_EQ(fast, model) << "length " << n << " offset " << at << " unit " << std::hex << +kind
                                   << " markup " << markup;
            ASSERT_EQ(fastCount, modelCount) << "length " << n << " offset " << at;
          }
        }
      }
    }
  }
}

// The result is reserved for a moderate share of replacements and grows
// once when the text needs more: dense specials from every point of long
// texts, and sparse ones, agree with the model.
TEST(HTMTools, LongTextsOfEveryDensity) {
  std::mt19937 rng(4096);
  const char16_t specials[] = {0xE4, 0xDF, 0x20AC, 0x2122, 0xA9, 0x2013, u'&', u'<'};
  for (int round = 0; round < 300; ++round) {
    const std::size_t n = 1 + rng() % 30000;
    const std::size_t denseFrom = rng() % (n + 1);
    const auto sparse = static_cast<unsigned>(2 + rng() % 200);
    std::u16string text(n, u'a');
    for (std::size_t i = 0; i < n; ++i) {
      if (i >= denseFrom || rng() % sparse == 0) text[i] = specials[rng() % std::size(specials)];
      else text[i] = static_cast<char16_t>(u' ' + rng() % 95);
    }
    const bool markup = round % 2 == 0;
    std::int32_t fastCount = -1, modelCount = -1;
    const std::u16string fast = ConvertSpecialChars(fastCount, text, markup, Markup("&<>"));
    const std::u16string model = ModelConvert(modelCount, text, markup, Markup("&<>"));
    ASSERT_EQ(fast, model) << "round " << round << " length " << n << " dense from " << denseFrom;
    ASSERT_EQ(fastCount, modelCount) << "round " << round;
  }
}

// Whichever allocation fails, the failure passes on and the count is 0.
TEST(HTMTools, FailedAllocationLeavesCountAtZero) {
  std::u16string text;
  for (int i = 0; i < 3000; ++i) text += u"K\u00F6ln \u20AC ";
  text += std::u16string(20000, 0xE4);
  std::int32_t expectedCount = -1;
  const std::u16string expected = ModelConvert(expectedCount, text, false, Markup("&<>"));
  bool succeeded = false;
  int failures = 0;
  for (long failAt = 0; failAt < 20 && !succeeded; ++failAt) {
    std::int32_t count = 7;
    gAllocationsLeft = failAt;
    try {
      const std::u16string result = ConvertSpecialChars(count, text, false, Markup("&<>"));
      gAllocationsLeft = -1;
      succeeded = true;
      EXPECT_EQ(result, expected);
      EXPECT_EQ(count, expectedCount);
    } catch (const std::bad_alloc&) {
      gAllocationsLeft = -1;
      ++failures;
      EXPECT_EQ(count, 0) << "failure at allocation " << failAt;
    }
  }
  gAllocationsLeft = -1;
  EXPECT_TRUE(succeeded);
  EXPECT_GE(failures, 1);
}

}  // namespace
}  // namespace tavi
