// Reads the separators of the user's locale for the toolbox (Tools.h), once,
// when the library loads. One implementation per platform.
#pragma once

namespace tavi {

struct LocaleSeparators {
  char16_t Group = u'.';
  char16_t Decimal = u'.';
};

// The user's thousands and decimal separators, each "." when the locale
// gives none or one that is not a single UTF-16 code unit.
LocaleSeparators ReadUserLocaleSeparators();

}  // namespace tavi
