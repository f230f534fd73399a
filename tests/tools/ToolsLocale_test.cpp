// The separators the toolbox reads when it loads must be the ones of the
// locale the process was started in. ctest runs this program once per
// locale: TAVI_TEST_GROUP_SEPARATOR and TAVI_TEST_DECIMAL_SEPARATOR (UTF-8,
// one character each) say what that locale must give, and on Windows
// TAVI_TEST_LOCALE_NAME the user locale Wine must have derived from LC_ALL.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tools/TestText.h"
#include "tools/Tools.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tavi {
namespace {

using test::Utf8;

// The one character of an expected separator, as UTF-16.
char16_t FromUtf8(const std::string& Text) {
  const auto* s = reinterpret_cast<const unsigned char*>(Text.c_str());
  if (Text.size() == 1) return s[0];
  if (Text.size() == 2) return static_cast<char16_t>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
  if (Text.size() == 3)
    return static_cast<char16_t>(((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
  ADD_FAILURE() << "not one character: " << Text;
  return 0;
}

TEST(ToolsLocale, SeparatorsFollowTheStartLocale) {
  const char* group = std::getenv("TAVI_TEST_GROUP_SEPARATOR");
  const char* decimal = std::getenv("TAVI_TEST_DECIMAL_SEPARATOR");
  if (group == nullptr || decimal == nullptr) GTEST_SKIP() << "run by ctest with a locale set";

#ifdef _WIN32
  // Without this a Wine that ignored LC_ALL would pass for en-US.
  if (const char* name = std::getenv("TAVI_TEST_LOCALE_NAME")) {
    wchar_t actual[LOCALE_NAME_MAX_LENGTH] = {};
    ASSERT_GT(GetUserDefaultLocaleName(actual, LOCALE_NAME_MAX_LENGTH), 0);
    std::string narrow;
    for (const wchar_t* p = actual; *p != 0; ++p) narrow.push_back(static_cast<char>(*p));
    ASSERT_EQ(narrow, name);
  }
#endif

  const char16_t expectedGroup = FromUtf8(group);
  EXPECT_EQ(GroupSeparator(), expectedGroup);
  EXPECT_EQ(DecimalSeparator(), FromUtf8(decimal));
  // And the public operations use it without being told.
  const std::u16string expected =
      u"-1" + std::u16string(1, expectedGroup) + u"234" + std::u16string(1, expectedGroup) + u"567";
  EXPECT_EQ(Utf8(MyTools->CurrencyPointInsert(-1'234'567)), Utf8(expected));
}

}  // namespace
}  // namespace tavi
