#include "html/HTMTools.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

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

// --- Entities as blocks ------------------------------------------------------------------

// The longest entity text. Entities are written as one block of this many
// units, so the writing needs that much room past what it keeps.
constexpr std::size_t kEntityMax = 8;

struct EntityBlock {
  char16_t text[kEntityMax] = {};
  std::size_t length = 0;
};

constexpr EntityBlock MakeBlock(std::u16string_view entity) {
  EntityBlock block;
  for (std::size_t i = 0; i < entity.size(); ++i) block.text[i] = entity[i];
  block.length = entity.size();
  return block;
}

// The fixed rows, U+00A0..U+00FF and then the euro and trade mark signs.
constexpr std::array<EntityBlock, 98> kFixedBlocks = [] {
  std::array<EntityBlock, 98> blocks{};
  for (std::size_t i = 0; i < kLatin1Entities.size(); ++i) blocks[i] = MakeBlock(kLatin1Entities[i]);
  blocks[96] = MakeBlock(kEuro);
  blocks[97] = MakeBlock(kTrade);
  return blocks;
}();
constexpr EntityBlock kAmpBlock = MakeBlock(kAmp);
constexpr EntityBlock kLtBlock = MakeBlock(kLt);
constexpr EntityBlock kGtBlock = MakeBlock(kGt);

static_assert([] {
  for (const EntityBlock& block : kFixedBlocks)
    if (block.length < 4 || block.length > kEntityMax) return false;
  return true;
}());

// The block that replaces c, or nullptr when c is copied.
const EntityBlock* BlockFor(char16_t c, const MarkupRule& rule) {
  if (c >= 0xA0 && c <= 0xFF) return &kFixedBlocks[c - 0xA0];
  switch (c) {
    case 0x20AC: return &kFixedBlocks[96];
    case 0x2122: return &kFixedBlocks[97];
    case u'&': return rule.amp ? &kAmpBlock : nullptr;
    case u'<': return rule.lt ? &kLtBlock : nullptr;
    case u'>': return rule.gt ? &kGtBlock : nullptr;
    default: return nullptr;
  }
}

// --- Stops ---------------------------------------------------------------------------
//
// Every code unit with a fixed row is U+00A0 or above, so a unit below it is
// copied unless it is a markup character whose row is on. The scans copy
// until such a "stop"; the table decides what a stop becomes (many units above
// U+00A0, the en dash for one, are copied after all).

// The markup characters to stop at; a row that is off stops at U+FFFF, which
// stops anyway.
struct StopUnits {
  char16_t amp, lt, gt;
  explicit StopUnits(const MarkupRule& rule)
      : amp(rule.amp ? u'&' : 0xFFFF), lt(rule.lt ? u'<' : 0xFFFF), gt(rule.gt ? u'>' : 0xFFFF) {}
};

template <bool kMarkup>
bool IsStop(char16_t c, const StopUnits& stops) {
  return c >= 0xA0 || (kMarkup && (c == stops.amp || c == stops.lt || c == stops.gt));
}

// The state of one conversion: source position i, write position w, and the
// end of the room that w may write into.
struct Cursor {
  std::size_t i = 0;
  char16_t* w = nullptr;
  char16_t* limit = nullptr;
  std::size_t replaced = 0;
};

// Writes what the stop unit c becomes at w.
inline char16_t* WriteStop(char16_t c, char16_t* w, const MarkupRule& rule, std::size_t& replaced) {
  if (const EntityBlock* block = BlockFor(c, rule)) {
    std::memcpy(w, block->text, sizeof block->text);
    ++replaced;
    return w + block->length;
  }
  *w = c;
  return w + 1;
}

// Room the vector loops keep ahead of w: a whole vector, then a whole entity
// block after a run of up to a vector's length.
constexpr std::size_t kVectorRoom = 16 + kEntityMax;

// The vector loops store a whole vector of the source at w before they look
// for a stop in it, and write the stop's entity at once: one pass over the
// source, and no separate copy of the unchanged runs. They return when the
// source or the room runs short.
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TAVI_NO_AVX2)
#define TAVI_HTM_AVX2 1
bool HasAvx2() {
  static const bool has = [] {
    // The library may be loaded before libgcc has looked at the processor.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}

template <bool kMarkup>
__attribute__((target("avx2"))) void ConvertAvx2(Cursor& cursor, const char16_t* s, std::size_t n,
                                                 const MarkupRule& rule, const StopUnits& stops) {
  const __m256i top = _mm256_set1_epi16(0x9F);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i amp = _mm256_set1_epi16(static_cast<short>(stops.amp));
  const __m256i lt = _mm256_set1_epi16(static_cast<short>(stops.lt));
  const __m256i gt = _mm256_set1_epi16(static_cast<short>(stops.gt));
  std::size_t i = cursor.i;
  char16_t* w = cursor.w;
  char16_t* const limit = cursor.limit;
  std::size_t replaced = cursor.replaced;
  while (i + 16 <= n && static_cast<std::size_t>(limit - w) >= kVectorRoom) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(w), v);
    __m256i plain = _mm256_cmpeq_epi16(_mm256_subs_epu16(v, top), zero);
    if constexpr (kMarkup) {
      const __m256i markup = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi16(v, amp), _mm256_cmpeq_epi16(v, lt)),
                                             _mm256_cmpeq_epi16(v, gt));
      plain = _mm256_andnot_si256(markup, plain);
    }
    const unsigned stop = ~static_cast<unsigned>(_mm256_movemask_epi8(plain));
    if (stop == 0) {
      i += 16;
      w += 16;
      continue;
    }
    const std::size_t run = static_cast<std::size_t>(__builtin_ctz(stop)) / 2;
    i += run;
    w = WriteStop(s[i], w + run, rule, replaced);
    ++i;
  }
  cursor.i = i;
  cursor.w = w;
  cursor.replaced = replaced;
}
#endif

template <bool kMarkup>
void ConvertVector(Cursor& cursor, const char16_t* s, std::size_t n, const MarkupRule& rule,
                   const StopUnits& stops, [[maybe_unused]] bool avx2) {
#if defined(TAVI_HTM_AVX2)
  if (avx2) {
    ConvertAvx2<kMarkup>(cursor, s, n, rule, stops);
    return;
  }
#endif
#if defined(__SSE2__)
  const __m128i top = _mm_set1_epi16(0x9F);
  const __m128i zero = _mm_setzero_si128();
  const __m128i amp = _mm_set1_epi16(static_cast<short>(stops.amp));
  const __m128i lt = _mm_set1_epi16(static_cast<short>(stops.lt));
  const __m128i gt = _mm_set1_epi16(static_cast<short>(stops.gt));
  std::size_t i = cursor.i;
  char16_t* w = cursor.w;
  char16_t* const limit = cursor.limit;
  std::size_t replaced = cursor.replaced;
  while (i + 8 <= n && static_cast<std::size_t>(limit - w) >= kVectorRoom) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
    __m128i plain = _mm_cmpeq_epi16(_mm_subs_epu16(v, top), zero);
    if constexpr (kMarkup) {
      const __m128i markup =
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, amp), _mm_cmpeq_epi16(v, lt)), _mm_cmpeq_epi16(v, gt));
      plain = _mm_andnot_si128(markup, plain);
    }
    const unsigned stop = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu;
    if (stop == 0) {
      i += 8;
      w += 8;
      continue;
    }
    const std::size_t run = static_cast<std::size_t>(__builtin_ctz(stop)) / 2;
    i += run;
    w = WriteStop(s[i], w + run, rule, replaced);
    ++i;
  }
  cursor.i = i;
  cursor.w = w;
  cursor.replaced = replaced;
#else
  (void)cursor, (void)s, (void)n, (void)rule, (void)stops;
#endif
}

// The exact length of the conversion of s[i, n).
template <bool kMarkup>
std::size_t ConvertedLength(const char16_t* s, std::size_t i, std::size_t n, const MarkupRule& rule) {
  const StopUnits stops(rule);
  std::size_t length = n - i;
  for (; i < n; ++i) {
    if (!IsStop<kMarkup>(s[i], stops)) continue;
    if (const EntityBlock* block = BlockFor(s[i], rule)) length += block->length - 1;
  }
  return length;
}

// --- The conversion ------------------------------------------------------------------------
//
// One pass: unchanged runs are copied by the scans, entities written in
// between. The result is reserved with a quarter more than the source, room
// for a text in which one unit in twenty is replaced; a text that needs more
// has the rest of its length measured exactly when the room runs out, so the
// result is reallocated at most once. The string's length follows the writing
// a few thousand units ahead, so that the zeros it is filled with are still
// in the cache when they are overwritten.

class ConvertedText {
 public:
  explicit ConvertedText(std::size_t n) { text_.reserve(n + n / 4 + kVectorRoom); }

  // Makes room for kVectorRoom units at cursor.w, which stands for the
  // source position cursor.i.
  template <bool kMarkup>
  void MakeRoom(Cursor& cursor, const char16_t* s, std::size_t n, const MarkupRule& rule) {
    const std::size_t written = cursor.w == nullptr ? 0 : static_cast<std::size_t>(cursor.w - text_.data());
    if (written + kVectorRoom > text_.capacity())
      text_.reserve(written + ConvertedLength<kMarkup>(s, cursor.i, n, rule) + kVectorRoom);
    text_.resize(std::min(text_.capacity(), written + kChunk));
    cursor.w = text_.data() + written;
    cursor.limit = text_.data() + text_.size();
  }

  std::u16string Finish(const Cursor& cursor) {
    text_.resize(static_cast<std::size_t>(cursor.w - text_.data()));
    return std::move(text_);
  }

 private:
  static constexpr std::size_t kChunk = 8192;
  std::u16string text_;
};

template <bool kMarkup>
std::u16string Convert(std::size_t& replaced, std::u16string_view source, const MarkupRule& rule) {
  const char16_t* const s = source.data();
  const std::size_t n = source.size();
  const StopUnits stops(rule);
#if defined(TAVI_HTM_AVX2)
  const bool avx2 = HasAvx2();
#else
  const bool avx2 = false;
#endif
  ConvertedText out(n);
  Cursor cursor;
  while (cursor.i < n) {
    if (cursor.w == nullptr || static_cast<std::size_t>(cursor.limit - cursor.w) < kVectorRoom)
      out.MakeRoom<kMarkup>(cursor, s, n, rule);
    ConvertVector<kMarkup>(cursor, s, n, rule, stops, avx2);
    // The tail shorter than a vector, or the last units before more room.
    const std::size_t end = std::min(n, cursor.i + 16);
    while (cursor.i < end && static_cast<std::size_t>(cursor.limit - cursor.w) >= kEntityMax) {
      const char16_t c = s[cursor.i++];
      if (IsStop<kMarkup>(c, stops)) {
        cursor.w = WriteStop(c, cursor.w, rule, cursor.replaced);
      } else {
        *cursor.w++ = c;
      }
    }
  }
  replaced = cursor.replaced;
  return out.Finish(cursor);
}

}  // namespace

std::u16string_view EntityFor(char16_t c, bool ConvertMarkup, const TCharCodeSet& MarkupChars) {
  return Lookup(c, MarkupRule(ConvertMarkup, MarkupChars));
}

std::u16string ConvertSpecialChars(std::int32_t& Count, std::u16string_view Source,
                                   bool ConvertMarkup, const TCharCodeSet& MarkupChars) {
  Count = 0;
  if (Source.empty()) return {};
  const MarkupRule rule(ConvertMarkup, MarkupChars);
  std::size_t replaced = 0;
  std::u16string result = rule.Any() ? Convert<true>(replaced, Source, rule) : Convert<false>(replaced, Source, rule);
  Count = static_cast<std::int32_t>(replaced);
  return result;
}

}  // namespace tavi
