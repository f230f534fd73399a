#include "tools/ResourceFormat.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/TestText.h"

namespace tavi {
namespace {

using test::Utf8;

TEST(ResourceFormat, FormatOneText) {
  struct Case {
    const char* name;
    std::u16string templateText, value, expected;
  };
  const Case kCases[] = {
      // Copied as they are.
      {"empty", u"", u"abc", u""},
      {"no placeholder", u"Hallo Welt", u"abc", u"Hallo Welt"},
      {"percent signs", u"100%% sicher %%", u"abc", u"100% sicher %"},
      {"percent sign before s", u"%%s", u"abc", u"%s"},
      // The placeholder and its parts.
      {"alone", u"%s", u"abc", u"abc"},
      {"in a sentence", u"Datei %s fehlt", u"a.txt", u"Datei a.txt fehlt"},
      {"empty value", u"[%s]", u"", u"[]"},
      {"index 0", u"%0:s", u"abc", u"abc"},
      {"index 0 twice", u"%0:s-%0:s", u"abc", u"abc-abc"},
      {"index 0 with leading zeros", u"%000:s", u"abc", u"abc"},
      {"width fills on the left", u"[%6s]", u"abc", u"[   abc]"},
      {"width with a leading zero", u"[%06s]", u"abc", u"[   abc]"},
      {"width below the length", u"[%2s]", u"abc", u"[abc]"},
      {"width fills the empty value", u"[%3s]", u"", u"[   ]"},
      {"minus fills on the right", u"[%-6s]", u"abc", u"[abc   ]"},
      {"minus without width", u"[%-s]", u"abc", u"[abc]"},
      {"precision cuts", u"[%.2s]", u"abc", u"[ab]"},
      {"precision above the length", u"[%.9s]", u"abc", u"[abc]"},
      {"period alone is precision 0", u"[%.s]", u"abc", u"[]"},
      {"precision 0", u"[%.0s]", u"abc", u"[]"},
      {"width and precision", u"[%5.2s]", u"abc", u"[   ab]"},
      {"all parts", u"[%0:-5.1s]", u"abc", u"[a    ]"},
      {"code units, not characters", u"%.1s", u"\U0001F600", u"\xD83D"},
      {"value with percent signs", u"%s%%", u"%s", u"%s%"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(FormatOneText(c.templateText, c.value)), Utf8(c.expected));
  }
}

TEST(ResourceFormat, ConversionErrors) {
  enum class Error { Invalid, Missing };
  struct Case {
    const char* name;
    std::u16string templateText;
    Error error;
  };
  const Case kCases[] = {
      // Placeholders that take no text, or are cut short.
      {"number", u"%d", Error::Invalid},
      {"hex with width", u"%5x", Error::Invalid},
      {"capital S", u"%S", Error::Invalid},
      {"unknown letter", u"%y", Error::Invalid},
      {"space", u"% s", Error::Invalid},
      {"percent at the end", u"abc%", Error::Invalid},
      {"width at the end", u"%5", Error::Invalid},
      {"index at the end", u"%0:", Error::Invalid},
      {"period at the end", u"%.", Error::Invalid},
      {"minus twice", u"%--s", Error::Invalid},
      {"index after minus", u"%-0:s", Error::Invalid},
      {"star width takes the text as a number", u"%*s", Error::Invalid},
      {"star precision", u"%.*s", Error::Invalid},
      {"star index", u"%*:s", Error::Invalid},
      {"after a good one", u"%s %d", Error::Missing},
      // Placeholders that ask for a second argument, even of another type.
      {"two", u"%s und %s", Error::Missing},
      {"index 1", u"%1:s", Error::Missing},
      {"index 1 of a number", u"%1:d", Error::Missing},
      {"large index", u"%99999999999999999999:s", Error::Missing},
      {"next after index 0", u"%0:s%s", Error::Missing},
      {"star after the text", u"%s%*s", Error::Missing},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    try {
      FormatOneText(c.templateText, u"abc");
      ADD_FAILURE() << "no error";
    } catch (const TConvertError& e) {
      const std::u16string expected =
          c.error == Error::Invalid
              ? u"Format '" + c.templateText + u"' ungültig oder nicht kompatibel mit Argument"
              : u"Kein Argument für Format '" + c.templateText + u"'";
      EXPECT_EQ(Utf8(e.Message()), Utf8(expected));
    }
  }
}

TEST(ResourceFormat, MessagesShowTheFirst31CodeUnits) {
  const std::u16string thirtyOne = u"0123456789012345678901234567890";
  ASSERT_EQ(thirtyOne.size(), 31u);
  try {
    FormatOneText(thirtyOne + u"%d", u"");
    ADD_FAILURE() << "no error";
  } catch (const TConvertError& e) {
    EXPECT_EQ(Utf8(e.Message()),
              Utf8(u"Format '" + thirtyOne + u"' ungültig oder nicht kompatibel mit Argument"));
  }
  try {
    FormatOneText(u"%s%s" + thirtyOne, u"");
    ADD_FAILURE() << "no error";
  } catch (const TConvertError& e) {
    EXPECT_EQ(Utf8(e.Message()),
              Utf8(u"Kein Argument für Format '%s%s" + thirtyOne.substr(0, 27) + u"'"));
  }
}

TEST(ResourceFormat, WhatIsTheMessageInUtf8) {
  try {
    FormatOneText(u"Größe %d \U0001F600", u"");
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(),
                 "Format 'Gr\xC3\xB6\xC3\x9F"
                 "e %d \xF0\x9F\x98\x80' ung\xC3\xBCltig oder nicht "
                 "kompatibel mit Argument");
  }
  EXPECT_EQ(ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz");  // A lone surrogate.
}

}  // namespace
}  // namespace tavi
