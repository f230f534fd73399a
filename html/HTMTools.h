// Replacement of special characters by HTML named entities. Pure C++ on
// UTF-16 code units; the dialog (dialog/TaviMainPluginUnit.h) is its caller.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavi {

// A set over the character codes 0 to 255.
using TCharCodeSet = std::bitset<256>;

// Returns Source with every code unit U+00A0..U+00FF, U+20AC and U+2122
// replaced by its HTML 4 named entity, and, when ConvertMarkup is true,
// "&", "<" and ">" by "&amp;", "&lt;", "&gt;" where MarkupChars holds them.
// Count receives the number of code units replaced. Surrogates and every
// other code unit, U+0000 included, are copied unchanged. Throws only
// std::bad_alloc, in which case Count is 0 and nothing else has changed.
std::u16string ConvertSpecialChars(std::int32_t& Count, std::u16string_view Source,
                                   bool ConvertMarkup, const TCharCodeSet& MarkupChars);

// The entity that replaces a code unit under the given markup rule, or an
// empty view when the code unit is copied unchanged.
std::u16string_view EntityFor(char16_t c, bool ConvertMarkup, const TCharCodeSet& MarkupChars);

}  // namespace tavi
