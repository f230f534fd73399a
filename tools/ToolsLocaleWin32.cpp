#include <windows.h>

#include "tools/ToolsLocale.h"

namespace tavi {

namespace {

// The first code unit of a locale value, or Fallback when it is empty. The
// separators are at most a few characters; the first is the one shown.
char16_t FirstCodeUnit(LCTYPE Type, char16_t Fallback) {
  wchar_t value[8] = {};
  if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, Type, value, 8) <= 1) return Fallback;
  return static_cast<char16_t>(value[0]);
}

}  // namespace

LocaleSeparators ReadUserLocaleSeparators() {
  LocaleSeparators result;
  result.Group = FirstCodeUnit(LOCALE_STHOUSAND, result.Group);
  result.Decimal = FirstCodeUnit(LOCALE_SDECIMAL, result.Decimal);
  return result;
}

}  // namespace tavi
