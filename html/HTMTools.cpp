#include "html/HTMTools.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tavi {
namespace {

// Entities of U+00A0..U+00FF, indexed by code unit - 0xA0 (HTML 4 names).
constexpr std::array<std::u16string_view, 96> kLatin1Entities = {
    u"&nbsp;",
    u"&iexcl;",
    u"&cent;",
    u"&pound;",
    u"&curren;",
    u"&yen;",
    u"&brvbar;",
    u"&sect;",
    u"&uml;",
    u"&copy;",
    u"&ordf;",
    u"&laquo;",
    u"&not;",
    u"&shy;",
    u"&reg;",
    u"&macr;",
    u"&deg;",
    u"&plusmn;",
    u"&sup2;",
    u"&sup3;",
    u"&acute;",
    u"&micro;",
    u"&para;",
    u"&middot;",
    u"&cedil;",
    u"&sup1;",
    u"&ordm;",
    u"&raquo;",
    u"&frac14;",
    u"&frac12;",
    u"&frac34;",
    u"&iquest;",
    u"&Agrave;",
    u"&Aacute;",
    u"&Acirc;",
    u"&Atilde;",
    u"&Auml;",
    u"&Aring;",
    u"&AElig;",
    u"&Ccedil;",
    u"&Egrave;",
    u"&Eacute;",
    u"&Ecirc;",
    u"&Euml;",
    u"&Igrave;",
    u"&Iacute;",
    u"&Icirc;",
    u"&Iuml;",
    u"&ETH;",
    u"&Ntilde;",
    u"&Ograve;",
    u"&Oacute;",
    u"&Ocirc;",
    u"&Otilde;",
    u"&Ouml;",
    u"&times;",
    u"&Oslash;",
    u"&Ugrave;",
    u"&Uacute;",
    u"&Ucirc;",
    u"&Uuml;",
    u"&Yacute;",
    u"&THORN;",
    u"&szlig;",
    u"&agrave;",
    u"&aacute;",
    u"&acirc;",
    u"&atilde;",
    u"&auml;",
    u"&aring;",
    u"&aelig;",
    u"&ccedil;",
    u"&egrave;",
    u"&eacute;",
    u"&ecirc;",
    u"&euml;",
    u"&igrave;",
    u"&iacute;",
    u"&icirc;",
    u"&iuml;",
    u"&eth;",
    u"&ntilde;",
    u"&ograve;",
    u"&oacute;",
    u"&ocirc;",
    u"&otilde;",
    u"&ouml;",
    u"&divide;",
    u"&oslash;",
    u"&ugrave;",
    u"&uacute;",
    u"&ucirc;",
    u"&uuml;",
    u"&yacute;",
    u"&thorn;",
    u"&yuml;",};

constexpr std::u16string_view kEuro = u"&euro;";
constexpr std::u16string_view kTrade = u"&trade;";
constexpr std::u16string_view kAmp = u"&amp;";
constexpr std::u16string_view kLt = u"&lt;";
constexpr std::u16string_view kGt = u"&gt;";

// Which markup characters are switched on, read once per call.
struct MarkupRule {
  bool amp = false, lt = false, gt = false;
  MarkupRule(bool convert, const TCharCodeSet& chars)
      : amp(convert && chars.test('&')), lt(convert && chars.test('<')), gt(convert && chars.test('>')) {}
  bool Any() const { return amp || lt || gt; }
};

std::u16string_view Lookup(char16_t c, const MarkupRule& rule) {
  if (c >= 0xA0 && c <= 0xFF) return kLatin1Entities[c - 0xA0];
  switch (c) {
    case 0x20AC: return kEuro;
    case 0x2122: return kTrade;
    case u'&': return rule.amp ? kAmp : std::u16string_view{};
    case u'<': return rule.lt ? kLt : std::u16string_view{};
    case u'>': return rule.gt ? kGt : std::u16string_view{};
    default: return {};
  }
}

// Every replaced code unit is at least U+00A0 unless a markup row is on.
// Four units at a time: a block with no unit >= 0x80 holds nothing to replace.
bool MayNeedLookup(char16_t c, bool markup) {
  return c >= 0xA0 || (markup && (c == u'&' || c == u'<' || c == u'>'));
}

std::size_t SkipPlainAscii(const char16_t* p, std::size_t i, std::size_t n) {
  while (i + 4 <= n) {
    std::uint64_t block;
    std::memcpy(&block, p + i, sizeof block);
    if (block & 0xFF80FF80FF80FF80ULL) break;
    i += 4;
  }
  return i;
}

// Calls visit(position, entity) for each replaced code unit, in order.
template <typename Visit>
void ForEachReplacement(std::u16string_view source, const MarkupRule& rule, Visit&& visit) {
  const char16_t* p = source.data();
  const std::size_t n = source.size();
  const bool markup = rule.Any();
  std::size_t i = 0;
  while (i < n) {
    if (!markup) i = SkipPlainAscii(p, i, n);
    if (i >= n) break;
    const char16_t c = p[i];
    if (MayNeedLookup(c, markup)) {
      const std::u16string_view entity = Lookup(c, rule);
      if (!entity.empty()) visit(i, entity);
    }
    ++i;
  }
}

}  // namespace

std::u16string_view EntityFor(char16_t c, bool ConvertMarkup, const TCharCodeSet& MarkupChars) {
  return Lookup(c, MarkupRule(ConvertMarkup, MarkupChars));
}

// Two passes: the first measures the result, so that it is allocated once;
// the second copies the unchanged runs in bulk and the entities between them.
std::u16string ConvertSpecialChars(std::int32_t& Count, std::u16string_view Source,
                                   bool ConvertMarkup, const TCharCodeSet& MarkupChars) {
  Count = 0;
  const MarkupRule rule(ConvertMarkup, MarkupChars);

  std::size_t replaced = 0;
  std::size_t length = Source.size();
  ForEachReplacement(Source, rule, [&](std::size_t, std::u16string_view entity) {
    ++replaced;
    length += entity.size() - 1;
  });

  std::u16string result;
  if (replaced == 0) {
    result.assign(Source);
  } else {
    result.resize(length);
    char16_t* out = result.data();
    std::size_t copied = 0;
    ForEachReplacement(Source, rule, [&](std::size_t at, std::u16string_view entity) {
      out = std::copy(Source.data() + copied, Source.data() + at, out);
      out = std::copy(entity.begin(), entity.end(), out);
      copied = at + 1;
    });
    std::copy(Source.data() + copied, Source.data() + Source.size(), out);
  }
  Count = static_cast<std::int32_t>(replaced);
  return result;
}

}  // namespace tavi
