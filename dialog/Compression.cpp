#include "dialog/Compression.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "tools/Tools.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace tavi {
namespace {

constexpr std::size_t kNotFound = std::u16string_view::npos;
// Positions and lengths are signed 32-bit in the progress percentage.
constexpr std::size_t kMaxLength = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

bool IsBlank(char16_t c) { return c <= u' '; }

// The scans below take sixteen code units at a time where the processor has
// AVX2 and eight (SSE2, which every x86-64 processor has) otherwise.
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TAVI_NO_AVX2)
#define TAVI_AVX2 1
#define TAVI_TARGET_AVX2 __attribute__((target("avx2")))
bool HasAvx2() {
  static const bool has = [] {
    // The library may be loaded before libgcc has looked at the processor.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return has;
}
#endif

// --- Whitespace pass ----------------------------------------------------------
//
// Collapsing double spaces, replacing CR LF, lone CR and lone LF, and deleting
// tabs are five searches from the start of the block in the step-by-step
// reading, but each of them only ever changes the block at or after the place
// it found, so one left-to-right pass over the original block gives the same
// text. A line break gets a space when the character that follows it at the
// moment it is replaced needs one. That character is the next one in the
// original block unless it begins a line break of a kind replaced earlier (CR
// LF before lone CR before lone LF): such a break has by then become a space or
// vanished in front of a space, "=", "<" or ">", so the first break gets none.
// A break of the same or a later kind is still there and gets it a space.

enum TBreakKind { kCrLf = 1, kLoneCr = 2, kLoneLf = 3 };

bool BreakNeedsSpace(const char16_t* s, std::size_t next, std::size_t n, int kind) {
  if (next >= n) return false;
  const char16_t c = s[next];
  if (c == u'\r') {
    const int nextKind = (next + 1 < n && s[next + 1] == u'\n') ? kCrLf : kLoneCr;
    return nextKind >= kind;
  }
  if (c == u'\n') return true;
  return c != u' ' && c != u'=' && c != u'<' && c != u'>';
}

// True for the code units the whitespace pass copies as they are: everything
// above U+0020, a control character other than tab, CR and LF, and a space
// that no other space follows.
bool IsPlain(const char16_t* s, std::size_t j, std::size_t n) {
  const char16_t c = s[j];
  if (c > u' ') return true;
  if (c == u' ') return !(j + 1 < n && s[j + 1] == u' ');
  return c != u'\t' && c != u'\r' && c != u'\n';
}

// What the whitespace pass found, and the length it wrote.
struct TSqueezed {
  std::size_t length = 0;
  bool doubleSpace = false;
  bool crLf = false;
  bool loneCr = false;
  bool loneLf = false;
  bool tab = false;
};

// Handles the code unit at s[j], which is not plain: a run of spaces, a tab
// or a line break with the indentation after it.
[[gnu::always_inline]] inline void SqueezeSpecial(const char16_t* s, std::size_t& j, std::size_t n, char16_t*& w,
                                                  TSqueezed& found) {
  const char16_t c = s[j];
  switch (c) {
    case u' ':
      *w++ = u' ';
      ++j;
      if (j < n && s[j] == u' ') {
        found.doubleSpace = true;
        while (j < n && s[j] == u' ') ++j;
      }
      break;
    case u'\t':
      found.tab = true;
      ++j;
      break;
    case u'\r':
    case u'\n': {
      int kind = kLoneLf;
      if (c == u'\n') {
        found.loneLf = true;
        j += 1;
      } else if (j + 1 < n && s[j + 1] == u'\n') {
        kind = kCrLf;
        found.crLf = true;
        j += 2;
      } else {
        kind = kLoneCr;
        found.loneCr = true;
        j += 1;
      }
      if (BreakNeedsSpace(s, j, n, kind)) {
        *w++ = u' ';
      } else if (j < n && s[j] == u' ') {
        // The indentation of the next line, taken here to save a round.
        *w++ = u' ';
        ++j;
        if (j < n && s[j] == u' ') {
          found.doubleSpace = true;
          while (j < n && s[j] == u' ') ++j;
        }
      }
      break;
    }
    default:
      *w++ = c;
      ++j;
      break;
  }
}

// The pass copies plain code units many at a time and handles the others
// one by one; a vector is stored whole before it is looked at, which the
// caller's output has room for (the whole block fits at w).
#if defined(TAVI_AVX2)
TAVI_TARGET_AVX2 TSqueezed SqueezeWhitespaceAvx2(const char16_t* s, std::size_t n, char16_t* out) {
  TSqueezed found;
  const __m256i space = _mm256_set1_epi16(u' ');
  const __m256i zero = _mm256_setzero_si256();
  char16_t* w = out;
  std::size_t j = 0;
  while (j < n) {
    while (j + 17 <= n) {
      const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + j));
      const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + j + 1));
      const __m256i blank = _mm256_cmpeq_epi16(_mm256_subs_epu16(v, space), zero);
      const __m256i single = _mm256_andnot_si256(_mm256_cmpeq_epi16(next, space), _mm256_cmpeq_epi16(v, space));
      const __m256i special = _mm256_andnot_si256(single, blank);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(w), v);
      const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(special));
      if (mask != 0) {
        const std::size_t plain = static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
        j += plain;
        w += plain;
        goto found_special;
      }
      j += 16;
      w += 16;
    }
    while (j < n && IsPlain(s, j, n)) *w++ = s[j++];
    if (j >= n) break;
  found_special:
    SqueezeSpecial(s, j, n, w, found);
  }
  found.length = static_cast<std::size_t>(w - out);
  return found;
}
#endif

TSqueezed SqueezeWhitespace(const char16_t* s, std::size_t n, char16_t* out) {
#if defined(TAVI_AVX2)
  if (HasAvx2()) return SqueezeWhitespaceAvx2(s, n, out);
#endif
  TSqueezed found;
  char16_t* w = out;
  std::size_t j = 0;
  while (j < n) {
#if defined(__SSE2__)
    const __m128i space = _mm_set1_epi16(u' ');
    const __m128i zero = _mm_setzero_si128();
    while (j + 9 <= n) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + j + 1));
      const __m128i blank = _mm_cmpeq_epi16(_mm_subs_epu16(v, space), zero);
      const __m128i single = _mm_andnot_si128(_mm_cmpeq_epi16(next, space), _mm_cmpeq_epi16(v, space));
      const __m128i special = _mm_andnot_si128(single, blank);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(special));
      if (mask != 0) {
        const std::size_t plain = static_cast<std::size_t>(__builtin_ctz(mask)) / 2;
        j += plain;
        w += plain;
        break;
      }
      j += 8;
      w += 8;
    }
#endif
    while (j < n && IsPlain(s, j, n)) *w++ = s[j++];
    if (j >= n) break;
    SqueezeSpecial(s, j, n, w, found);
  }
  found.length = static_cast<std::size_t>(w - out);
  return found;
}

// --- Tag gaps -------------------------------------------------------------------
//
// A space at u[k] goes when u[k - 1] is ">", u[k + 1] is "<" and u[k + 2] is
// not "a". Deleting it changes none of these tests for later positions (the
// "<" that moves up is passed over, and it is no space), so the decisions
// depend only on the text the whitespace pass left.

bool IsGapAt(const char16_t* u, std::size_t k, std::size_t n) {
  return k >= 1 && k + 1 < n && u[k] == u' ' && u[k - 1] == u'>' && u[k + 1] == u'<' &&
         !(k + 2 < n && u[k + 2] == u'a');
}

// The gaps are closed in batches of at most kGapBatch, whose passes the
// progress then follows; a window of sixteen units holds at most six gaps
// (two gaps are at least three units apart).
constexpr std::size_t kWindowGaps = 6;

// Where the closing stands: u[k, length) is still to be read, u[0, w) is
// written. Reads stay ahead of writes by the skipped blanks and the gaps
// closed so far.
struct TGapCursor {
  std::size_t k = 0;
  std::size_t w = 0;
  std::size_t count = 0;
};

#if defined(TAVI_AVX2)
// Byte shuffles that close the gaps of eight units: for a mask of gap lanes,
// the kept lanes in order, and in the last lane that lane itself. The last
// lane keeps the unit that the next window reads as its "before" when
// nothing has moved yet.
struct TCloseShuffles {
  alignas(16) unsigned char bytes[256][16];
};

constexpr TCloseShuffles MakeCloseShuffles() {
  TCloseShuffles table{};
  for (int mask = 0; mask < 256; ++mask) {
    int out = 0;
    for (int lane = 0; lane < 8; ++lane) {
      if ((mask >> lane) & 1) continue;
      table.bytes[mask][2 * out] = static_cast<unsigned char>(2 * lane);
      table.bytes[mask][2 * out + 1] = static_cast<unsigned char>(2 * lane + 1);
      ++out;
    }
    for (; out < 8; ++out) {
      table.bytes[mask][2 * out] = 14;
      table.bytes[mask][2 * out + 1] = 15;
    }
  }
  return table;
}

constexpr TCloseShuffles kCloseShuffles = MakeCloseShuffles();

// Closes the gaps of eight units already loaded (here) whose gap lanes are
// mask, storing the kept ones at u[w]; records the passes of the gaps.
TAVI_TARGET_AVX2 inline void CloseEight(char16_t* u, __m128i here, unsigned mask, std::size_t skip,
                                        TGapCursor& c, std::uint32_t* passes) {
  const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(kCloseShuffles.bytes[mask]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(u + c.w), _mm_shuffle_epi8(here, shuffle));
  std::size_t closed = 0;
  while (mask != 0) {
    const auto lane = static_cast<std::size_t>(__builtin_ctz(mask));
    passes[c.count++] = static_cast<std::uint32_t>(c.w + lane - closed + skip + 1);
    ++closed;
    mask &= mask - 1;
  }
  c.w += 8 - closed;
}

TAVI_TARGET_AVX2 void CloseGapsAvx2(char16_t* u, std::size_t n, std::size_t skip, TGapCursor& c,
                                    std::uint32_t* passes, std::size_t capacity) {
  const __m256i gt = _mm256_set1_epi16(u'>');
  const __m256i space = _mm256_set1_epi16(u' ');
  const __m256i lt = _mm256_set1_epi16(u'<');
  const __m256i letterA = _mm256_set1_epi16(u'a');
  const __m128i zero = _mm_setzero_si128();
  while (c.k + 18 <= n && c.count + kWindowGaps <= capacity) {
    const char16_t* at = u + c.k;
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at - 1));
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
    const __m256i after = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
    const __m256i third = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 2));
    const __m256i hit = _mm256_andnot_si256(
        _mm256_cmpeq_epi16(third, letterA),
        _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi16(before, gt), _mm256_cmpeq_epi16(here, space)),
                         _mm256_cmpeq_epi16(after, lt)));
    if (_mm256_testz_si256(hit, hit)) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(u + c.w), here);
      c.w += 16;
      c.k += 16;
      continue;
    }
    const auto low = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(_mm256_castsi256_si128(hit), zero)));
    const auto high =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(_mm256_extracti128_si256(hit, 1), zero)));
    CloseEight(u, _mm256_castsi256_si128(here), low, skip, c, passes);
    CloseEight(u, _mm256_extracti128_si256(here, 1), high, skip, c, passes);
    c.k += 16;
  }
}
#endif

// Closes the tag gaps from c.k on, in place, until the text ends or the batch
// of passes has no room left for another window's gaps. Every unit is read
// before a write can reach it: the writes trail the reads, and a vector's
// store ends before the next window's first read.
void CloseGapsBatch(char16_t* u, std::size_t n, std::size_t skip, TGapCursor& c, std::uint32_t* passes,
                    std::size_t capacity) {
  c.count = 0;
  if (c.k == 0 && n > 0) {
    // The first unit is never a gap.
    c.k = 1;
    c.w = 1;
  }
#if defined(TAVI_AVX2)
  if (HasAvx2()) CloseGapsAvx2(u, n, skip, c, passes, capacity);
#endif
#if defined(__SSE2__)
  const __m128i gt = _mm_set1_epi16(u'>');
  const __m128i space = _mm_set1_epi16(u' ');
  const __m128i lt = _mm_set1_epi16(u'<');
  const __m128i letterA = _mm_set1_epi16(u'a');
  while (c.k + 10 <= n && c.count + kWindowGaps <= capacity) {
    const char16_t* at = u + c.k;
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at - 1));
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i after = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
    const __m128i third = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2));
    const __m128i hit =
        _mm_andnot_si128(_mm_cmpeq_epi16(third, letterA),
                         _mm_and_si128(_mm_and_si128(_mm_cmpeq_epi16(before, gt), _mm_cmpeq_epi16(here, space)),
                                       _mm_cmpeq_epi16(after, lt)));
    if (_mm_movemask_epi8(hit) == 0) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(u + c.w), here);
      c.w += 8;
      c.k += 8;
      continue;
    }
    for (const std::size_t end = c.k + 8; c.k < end; ++c.k) {
      if (IsGapAt(u, c.k, n)) {
        passes[c.count++] = static_cast<std::uint32_t>(c.w + skip + 1);
      } else {
        u[c.w++] = u[c.k];
      }
    }
  }
#endif
  for (; c.k < n && c.count + kWindowGaps <= capacity; ++c.k) {
    if (IsGapAt(u, c.k, n)) {
      passes[c.count++] = static_cast<std::uint32_t>(c.w + skip + 1);
    } else {
      u[c.w++] = u[c.k];
    }
  }
}

// --- Progress ---------------------------------------------------------------------
//
// The tag-gap step shows CalculateGauge(pass, 0, current length) on every
// pass. For one length the percentage (half to even) rises past g at the
// first pass p with 200 p > (2 g + 1) length, or at equality when g is odd;
// that is a division by a constant. So the run carries the percentage from
// one change to the next instead of computing it on every pass, and works
// the next change out afresh when a deletion shortens the block.

// The first pass at which the percentage rises above g for this length
// (pass 1 for g = -1, before the first pass).
inline std::int64_t NextGaugeChange(int g, std::int64_t length) {
  if (g >= 100) return std::numeric_limits<std::int64_t>::max();
  const std::int64_t limit = (2 * std::int64_t{g} + 1) * length;
  if (limit < 0) return 1;
  if (limit % 200 == 0 && (g & 1) != 0) return limit / 200;
  return limit / 200 + 1;
}

// --- Section tags -------------------------------------------------------------------

enum TTagKind { kScriptOpen = 0, kScriptClose = 1, kPreOpen = 2, kPreClose = 3 };

// Matches lower (lower-case letters) at s[at] in either case; upper tells
// whether a capital was among them.
bool MatchLetters(const char16_t* s, std::size_t n, std::size_t at, std::u16string_view lower, bool& upper) {
  if (at + lower.size() > n) return false;
  bool capital = false;
  for (std::size_t i = 0; i < lower.size(); ++i) {
    const char16_t c = s[at + i];
    if (c == lower[i]) continue;
    if (c == lower[i] - (u'a' - u'A')) {
      capital = true;
      continue;
    }
    return false;
  }
  upper = capital;
  return true;
}

#if defined(TAVI_AVX2)
// Hands at() every place in s before about n - 18 where a "<" is followed by
// s or p, or by "/" and s or p, in either case; returns where it stopped.
template <typename At>
TAVI_TARGET_AVX2 std::size_t ScanTagCandidatesAvx2(const char16_t* s, std::size_t n, At& at) {
  const __m256i lt = _mm256_set1_epi16(u'<');
  const __m256i slash = _mm256_set1_epi16(u'/');
  const __m256i caseBit = _mm256_set1_epi16(0x20);
  const __m256i letterS = _mm256_set1_epi16(u's');
  const __m256i letterP = _mm256_set1_epi16(u'p');
  std::size_t i = 0;
  for (; i + 18 <= n; i += 16) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 1));
    const __m256i v2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i + 2));
    const __m256i l1 = _mm256_or_si256(v1, caseBit);
    const __m256i l2 = _mm256_or_si256(v2, caseBit);
    const __m256i opens = _mm256_or_si256(_mm256_cmpeq_epi16(l1, letterS), _mm256_cmpeq_epi16(l1, letterP));
    const __m256i closes = _mm256_and_si256(
        _mm256_cmpeq_epi16(v1, slash), _mm256_or_si256(_mm256_cmpeq_epi16(l2, letterS), _mm256_cmpeq_epi16(l2, letterP)));
    const __m256i hit = _mm256_and_si256(_mm256_cmpeq_epi16(v0, lt), _mm256_or_si256(opens, closes));
    unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(hit));
    while (mask != 0) {
      at(i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2);
      mask &= mask - 1;
      mask &= mask - 1;
    }
  }
  return i;
}
#endif

// Calls visit(kind, position, lettersAt, letterCount, hasCapital, closed) for
// every "<script", "</script", "<pre" and "</pre" in any letter case, in text
// order; closed tells whether a ">" follows a closing tag's name. Only a "<"
// followed by s, p, or "/" and s or p is looked at closely.
template <typename Visit>
void ForEachSectionTag(const char16_t* s, std::size_t n, Visit&& visit) {
  auto at = [&](std::size_t p) {
    bool capital = false;
    if (p + 1 < n && s[p + 1] == u'/') {
      if (MatchLetters(s, n, p + 2, u"script", capital)) {
        visit(kScriptClose, p, p + 2, std::size_t{6}, capital, p + 8 < n && s[p + 8] == u'>');
      } else if (MatchLetters(s, n, p + 2, u"pre", capital)) {
        visit(kPreClose, p, p + 2, std::size_t{3}, capital, p + 5 < n && s[p + 5] == u'>');
      }
    } else if (MatchLetters(s, n, p + 1, u"script", capital)) {
      visit(kScriptOpen, p, p + 1, std::size_t{6}, capital, false);
    } else if (MatchLetters(s, n, p + 1, u"pre", capital)) {
      visit(kPreOpen, p, p + 1, std::size_t{3}, capital, false);
    }
  };
  std::size_t i = 0;
#if defined(TAVI_AVX2)
  if (HasAvx2()) i = ScanTagCandidatesAvx2(s, n, at);
#endif
#if defined(__SSE2__)
  const __m128i lt = _mm_set1_epi16(u'<');
  const __m128i slash = _mm_set1_epi16(u'/');
  const __m128i caseBit = _mm_set1_epi16(0x20);
  const __m128i letterS = _mm_set1_epi16(u's');
  const __m128i letterP = _mm_set1_epi16(u'p');
  while (i + 10 <= n) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 2));
    const __m128i l1 = _mm_or_si128(v1, caseBit);
    const __m128i l2 = _mm_or_si128(v2, caseBit);
    const __m128i opens = _mm_or_si128(_mm_cmpeq_epi16(l1, letterS), _mm_cmpeq_epi16(l1, letterP));
    const __m128i closes = _mm_and_si128(_mm_cmpeq_epi16(v1, slash),
                                         _mm_or_si128(_mm_cmpeq_epi16(l2, letterS), _mm_cmpeq_epi16(l2, letterP)));
    const __m128i hit = _mm_and_si128(_mm_cmpeq_epi16(v0, lt), _mm_or_si128(opens, closes));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    while (mask != 0) {
      at(i + static_cast<std::size_t>(__builtin_ctz(mask)) / 2);
      mask &= mask - 1;
      mask &= mask - 1;
    }
    i += 8;
  }
#endif
  for (; i < n; ++i)
    if (s[i] == u'<') at(i);
}

}  // namespace

// --- The run ------------------------------------------------------------------------

void TCompressionRun::DoCompress(std::u16string& text) {
  try {
    try {
      SetProgress(0);
      changed_ = false;
      replace_ = false;
      if (!text.empty()) {
        if (text.size() > kMaxLength) throw std::length_error("text too long for the compression");
        work_ = text;
        view_.ProcessMessages();

        // The section tags are brought to lower case only when an opening
        // tag is there; the pieces are then cut at the lower-case tags.
        bool anyOpening = false;
        bool anyCapital = false;
        for (auto& list : tags_) list.clear();
        ForEachSectionTag(text.data(), text.size(),
                          [&](int kind, std::size_t p, std::size_t, std::size_t, bool capital, bool closed) {
                            anyCapital = anyCapital || capital;
                            if (kind == kScriptOpen || kind == kPreOpen) anyOpening = true;
                            if (kind == kScriptOpen || kind == kPreOpen || closed)
                              tags_[kind].push_back(static_cast<std::uint32_t>(p));
                          });
        std::fill(std::begin(cursor_), std::end(cursor_), std::size_t{0});
        // Reserved whole; resize fills only the part about to be written,
        // while it is in the cache.
        out_.clear();
        out_.reserve(text.size());
        outLength_ = 0;

        bool finished = true;
        if (anyOpening) {
          if (anyCapital) {
            lowered_ = text;
            char16_t* w = lowered_.data();
            ForEachSectionTag(text.data(), text.size(),
                              [&](int, std::size_t, std::size_t letters, std::size_t count, bool capital, bool) {
                                if (!capital) return;
                                for (std::size_t i = letters; i < letters + count; ++i)
                                  if (w[i] >= u'A' && w[i] <= u'Z') w[i] = static_cast<char16_t>(w[i] + (u'a' - u'A'));
                              });
            work_ = lowered_;
          }
          finished = CompressScripts();
        } else {
          CompressBlockInto(work_, false);
          if (changed_) replace_ = true;
        }
        if (finished) {
          view_.SetLabelVisible(TLabel::ScriptLabel, false);
          if (replace_) {
            out_.resize(outLength_);
            text.swap(out_);
          }
        }
      }
    } catch (...) {
      view_.SetLabelVisible(TLabel::ScriptLabel, false);
    }
  } catch (...) {
  }
  try {
    view_.SetLabelVisible(TLabel::ScriptLabel, false);
  } catch (...) {
  }
  try {
    view_.SetLabelVisible(TLabel::PreLabel, false);
  } catch (...) {
  }
  work_ = {};
  std::u16string().swap(out_);
  std::u16string().swap(lowered_);
  for (auto& list : tags_) std::vector<std::uint32_t>().swap(list);
  outLength_ = 0;
}

std::size_t TCompressionRun::NextTag(int kind, std::size_t from) {
  const std::vector<std::uint32_t>& list = tags_[kind];
  std::size_t& i = cursor_[kind];
  while (i < list.size() && list[i] < from) ++i;
  return i < list.size() ? list[i] : kNotFound;
}

bool TCompressionRun::CompressScripts() {
  view_.SetLabelVisible(TLabel::ScriptLabel, true);
  const std::size_t n = work_.size();
  std::size_t offset = 0;
  for (;;) {
    const std::size_t s = NextTag(kScriptOpen, offset);
    if (s == kNotFound) break;
    if (NextTag(kScriptClose, offset) == kNotFound) {
      view_.ShowMessage(TMessageKind::Error, kMissingScriptEndMessage);
      return false;
    }
    // When the only "</script>" left stands before this "<script", the
    // section is the opening's first eight characters.
    const std::size_t close = NextTag(kScriptClose, s);
    const std::size_t sectionEnd = close != kNotFound ? close + 9 : std::min(s + 8, n);

    std::size_t mark = outLength_;
    if (NextTag(kPreOpen, offset) < s) {
      bool differs = false;
      if (!CompressOutsidePre(offset, s, true, differs)) return false;
      if (differs) replace_ = true;
    } else {
      CompressBlockInto(work_.substr(offset, s - offset), true);
    }
    TrimOutputRight(mark);
    if (changed_) replace_ = true;

    mark = outLength_;
    Append(work_.substr(s, sectionEnd - s));
    TrimOutputRight(mark);
    offset = sectionEnd;
  }
  if (offset >= n) return true;
  if (NextTag(kPreOpen, offset) != kNotFound) {
    bool differs = false;
    if (!CompressOutsidePre(offset, n, true, differs)) return false;
    if (differs) replace_ = true;
  } else {
    CompressBlockInto(work_.substr(offset), true);
  }
  if (changed_) replace_ = true;
  return true;
}

// A tag found before end lies wholly before it: end is the "<" of a script
// opening or the end of the text, and no tag has a "<" after its first place.
bool TCompressionRun::CompressOutsidePre(std::size_t begin, std::size_t end, bool trimLeft, bool& differs) {
  differs = false;
  view_.SetLabelVisible(TLabel::PreLabel, true);
  std::size_t pos = begin;
  bool first = true;
  for (;;) {
    const std::size_t s = NextTag(kPreOpen, pos);
    if (s == kNotFound || s >= end) break;
    const std::size_t anyClose = NextTag(kPreClose, pos);
    if (anyClose == kNotFound || anyClose >= end) {
      view_.ShowMessage(TMessageKind::Error, kMissingPreEndMessage);
      return false;
    }
    const std::size_t close = NextTag(kPreClose, s);
    const std::size_t sectionEnd = (close != kNotFound && close < end) ? close + 6 : std::min(s + 5, end);
    if (CompressBlockInto(work_.substr(pos, s - pos), trimLeft && first)) differs = true;
    Append(work_.substr(s, sectionEnd - s));
    pos = sectionEnd;
    first = false;
  }
  if (pos < end) {
    if (CompressBlockInto(work_.substr(pos, end - pos), trimLeft && first)) differs = true;
  }
  return true;
}

void TCompressionRun::CompressBlock(std::u16string& block, bool& changed) {
  changed = false;
  try {
    out_.clear();
    out_.reserve(block.size());
  } catch (...) {
    changed_ = false;
    view_.ShowMessage(TMessageKind::Error, kBlockFailedMessage);
    return;
  }
  outLength_ = 0;
  CompressBlockInto(block, false);
  block.assign(out_.data(), outLength_);
  changed = changed_;
  std::u16string().swap(out_);
  outLength_ = 0;
}

bool TCompressionRun::CompressBlockInto(std::u16string_view block, bool trimLeft) {
  const std::size_t mark = outLength_;
  changed_ = false;
  try {
    if (block.size() > kMaxLength) throw std::length_error("block too long for the compression");
    Reserve(block.size());
    char16_t* const u = out_.data() + mark;
    const TSqueezed found = SqueezeWhitespace(block.data(), block.size(), u);
    if (found.doubleSpace) changed_ = true;
    SetProgress(1);
    if (found.crLf) {
      changed_ = true;
      view_.ProcessMessages();
    }
    if (found.loneCr) {
      changed_ = true;
      view_.ProcessMessages();
    }
    if (found.loneLf) {
      changed_ = true;
      view_.ProcessMessages();
    }
    SetProgress(2);
    if (found.tab) {
      changed_ = true;
      view_.ProcessMessages();
    }
    // Leading blanks are never a tag gap, so a left trim can drop them on
    // the way; their passes still count.
    std::size_t skip = 0;
    if (trimLeft) {
      while (skip < found.length && IsBlank(u[skip])) ++skip;
    }
    const std::size_t kept = CloseTagGaps(u, found.length, skip);
    std::size_t end = kept;
    while (end > 0 && IsBlank(u[end - 1])) --end;
    const bool trimmedRight = end < kept || (kept == 0 && skip > 0);
    outLength_ = mark + end;
    return changed_ || trimmedRight;
  } catch (...) {
    outLength_ = mark;
    std::size_t from = 0;
    if (trimLeft) {
      while (from < block.size() && IsBlank(block[from])) ++from;
    }
    Append(block.substr(from));
    changed_ = false;
    view_.ShowMessage(TMessageKind::Error, kBlockFailedMessage);
    return false;
  }
}

// Pass p of the tag-gap step looks at the p-th code unit of the block as it
// stands then; since a gap's "<" is passed over, the passes run over the final
// text's positions 1 to its length, and a gap's pass is the one of its "<".
// The gaps are closed a batch at a time, and the progress follows each batch
// with the block's length as it was at every pass.
std::size_t TCompressionRun::CloseTagGaps(char16_t* u, std::size_t length, std::size_t skip) {
  gauge_ = -1;
  gaugeBoundary_ = 1;
  next50_ = 50;
  nextEvent_ = 1;
  firstPass_ = true;
  auto current = static_cast<std::int64_t>(length);
  std::int64_t shown = 0;  // the passes handed to the progress so far
  TGapCursor cursor;
  cursor.k = skip;
  for (;;) {
    CloseGapsBatch(u, length, skip, cursor, gapPasses_.data(), gapPasses_.size());
    for (std::size_t g = 0; g < cursor.count; ++g) {
      const std::int64_t pass = gapPasses_[g];
      if (pass - 1 >= nextEvent_) EmitPasses(shown + 1, pass - 1, current);
      --current;
      changed_ = true;
      gaugeBoundary_ = NextGaugeChange(gauge_, current);
      nextEvent_ = std::min(nextEvent_, gaugeBoundary_);
      if (pass >= nextEvent_) EmitPasses(pass, pass, current);
      shown = pass;
    }
    // Every unit written has its pass settled.
    // Every unit written has its pass settled (the "<" after a gap in the
    // batch's last lane may still be to come).
    const auto settled = static_cast<std::int64_t>(cursor.w + skip);
    if (settled > shown) {
      if (settled >= nextEvent_) EmitPasses(shown + 1, settled, current);
      shown = settled;
    }
    if (cursor.k >= length) break;
  }
  return cursor.w;
}

// Hands the passes first to last to HandlePass where something is to be
// shown: the percentage changes, a 50th pass comes, or the bar's position is
// not known after a failed update.
void TCompressionRun::EmitPasses(std::int64_t first, std::int64_t last, std::int64_t length) {
  for (;;) {
    const std::int64_t p = std::max(first, nextEvent_);
    if (p > last) return;
    HandlePass(p, length);
    first = p + 1;
    nextEvent_ = (progressKnown_ && !gaugeEveryPass_) ? std::min(gaugeBoundary_, next50_) : first;
  }
}

void TCompressionRun::HandlePass(std::int64_t pass, std::int64_t length) {
  try {
    if (gaugeEveryPass_) {
      gauge_ = MyTools->CalculateGauge(static_cast<std::int32_t>(pass), 0, static_cast<std::int32_t>(length));
    } else if (pass >= gaugeBoundary_) {
      // The percentage has risen; blocks shorter than 100 rise by more.
      int g = gauge_ + 1;
      std::int64_t next = NextGaugeChange(g, length);
      while (next <= pass) next = NextGaugeChange(++g, length);
      gauge_ = g;
      gaugeBoundary_ = next;
      if (firstPass_ || g == 50 || g == 100) CheckGauge(pass, length);
    }
    SetProgress(gauge_);
  } catch (...) {
    // The bar is only a display; the pass goes on without it.
  }
  if (pass >= next50_) {
    next50_ += 50;
    view_.ProcessMessages();
  }
}

// The bar must show what CalculateGauge says. It is asked at the block's
// first change and when the arithmetic reaches 50 and 100; should it ever
// disagree, it is asked on every pass for the rest of the run.
void TCompressionRun::CheckGauge(std::int64_t pass, std::int64_t length) {
  firstPass_ = false;
  const std::int32_t shown =
      MyTools->CalculateGauge(static_cast<std::int32_t>(pass), 0, static_cast<std::int32_t>(length));
  if (shown != gauge_) {
    gaugeEveryPass_ = true;
    gauge_ = shown;
  }
}

void TCompressionRun::SetProgress(int position) {
  if (progressKnown_ && position == progress_) return;
  progressKnown_ = false;
  view_.SetProgress(position);
  progress_ = position;
  progressKnown_ = true;
}

void TCompressionRun::Reserve(std::size_t count) {
  if (out_.size() < outLength_ + count) out_.resize(outLength_ + count);
}

void TCompressionRun::Append(std::u16string_view text) {
  Reserve(text.size());
  if (!text.empty()) std::memcpy(out_.data() + outLength_, text.data(), text.size() * sizeof(char16_t));
  outLength_ += text.size();
}

void TCompressionRun::TrimOutputRight(std::size_t mark) {
  while (outLength_ > mark && IsBlank(out_[outLength_ - 1])) --outLength_;
}

}  // namespace tavi
