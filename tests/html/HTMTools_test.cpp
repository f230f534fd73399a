#include "html/HTMTools.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tavi {
namespace {

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

}  // namespace
}  // namespace tavi
