#include <langinfo.h>
#include <locale.h>

#include <cstring>

#include "tools/ToolsLocale.h"

namespace tavi {

namespace {

// One character of the locale's text as a UTF-16 code unit, or Fallback when
// the text is empty or not exactly one character of the BMP. Locales other
// than UTF-8 ones are taken only when the character is plain ASCII.
char16_t SingleCodeUnit(const char* Text, bool Utf8, char16_t Fallback) {
  const auto* s = reinterpret_cast<const unsigned char*>(Text);
  if (s == nullptr || s[0] == 0) return Fallback;
  if (s[0] < 0x80) return s[1] == 0 ? static_cast<char16_t>(s[0]) : Fallback;
  if (!Utf8) return Fallback;
  if ((s[0] & 0xE0) == 0xC0 && (s[1] & 0xC0) == 0x80 && s[2] == 0)
    return static_cast<char16_t>(((s[0] & 0x1F) << 6) | (s[1] & 0x3F));
  if ((s[0] & 0xF0) == 0xE0 && (s[1] & 0xC0) == 0x80 && (s[2] & 0xC0) == 0x80 && s[3] == 0)
    return static_cast<char16_t>(((s[0] & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
  return Fallback;
}

}  // namespace

LocaleSeparators ReadUserLocaleSeparators() {
  LocaleSeparators result;
  // A locale object of our own: setlocale would change the whole program's
  // C locale behind its back.
  const locale_t locale = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (locale == static_cast<locale_t>(0)) return result;
  const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, locale), "UTF-8") == 0;
  result.Group = SingleCodeUnit(nl_langinfo_l(THOUSEP, locale), utf8, result.Group);
  result.Decimal = SingleCodeUnit(nl_langinfo_l(RADIXCHAR, locale), utf8, result.Decimal);
  freelocale(locale);
  return result;
}

}  // namespace tavi
