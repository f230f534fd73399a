#include "cli/TextCodec.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace tavi::cli {
namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// undefined map to the control characters of the same value, as browsers do,
// so that every byte sequence decodes.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Words of ASCII are found eight bytes or four code units at a time.
constexpr std::uint64_t kHighBytes = 0x8080808080808080ull;
constexpr std::uint64_t kHighUnits = 0xFF80FF80FF80FF80ull;

std::uint64_t Load64(const void* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string Hex(unsigned value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
  return buffer;
}

// Decodes UTF-8 from p[0, n) to w, which has room for n code units (UTF-16
// never needs more code units than UTF-8 has bytes); runs of ASCII, most of
// any HTML page, are widened without further tests. A sequence cut off at
// the end is left for the next call unless last is set. Returns the end of
// what was written; consumed receives the bytes used.
char16_t* DecodeUtf8Into(const unsigned char* p, std::size_t n, std::size_t base, bool last, char16_t* w,
                         std::size_t& consumed) {
  std::size_t i = 0;
  while (i < n) {
    while (i + 8 <= n && (Load64(p + i) & kHighBytes) == 0) {
      for (int k = 0; k < 8; ++k) w[k] = p[i + static_cast<std::size_t>(k)];
      w += 8, i += 8;
    }
    while (i < n && p[i] < 0x80) *w++ = p[i++];
    if (i >= n) break;
    const unsigned lead = p[i];
    int length = 0;
    std::uint32_t cp = 0, minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
      throw TCodecError("invalid UTF-8 byte 0x" + Hex(lead, 2), base + i);
    }
    if (i + static_cast<std::size_t>(length) > n) {
      if (!last) break;
      // The bytes there are must still be continuation bytes.
      for (std::size_t k = i + 1; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80) throw TCodecError("invalid UTF-8 byte 0x" + Hex(p[k], 2), base + k);
      }
      throw TCodecError("truncated UTF-8 sequence", base + i);
    }
    for (int k = 1; k < length; ++k) {
      const unsigned next = p[i + static_cast<std::size_t>(k)];
      if ((next & 0xC0) != 0x80) {
        throw TCodecError("invalid UTF-8 byte 0x" + Hex(next, 2), base + i + static_cast<std::size_t>(k));
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      throw TCodecError("invalid UTF-8 sequence", base + i);
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *w++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *w++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *w++ = static_cast<char16_t>(cp);
    }
    i += static_cast<std::size_t>(length);
  }
  consumed = i;
  return w;
}

[[noreturn]] void Unencodable(std::u16string_view text, std::size_t i, TEncoding encoding) {
  throw TCodecError("character U+" + Hex(text[i], 4) + " cannot be written in " + EncodingName(encoding), i);
}

// One pass checks the text and measures it, the second writes it: the
// result is allocated once at its exact size.
std::string EncodeUtf8(std::u16string_view text, std::string_view mark) {
  const std::size_t n = text.size();
  // Without surrogates the size is a sum the compiler vectorises; a valid
  // pair counts 3 + 3 - 2 = 4 bytes, and any surrogate sends the text
  // through the exact pass that also finds the lone ones.
  std::size_t size = 0;
  std::size_t surrogates = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned c = text[i];
    const unsigned surrogate = (c & 0xF800) == 0xD800;
    size += 1 + (c >= 0x80) + (c >= 0x800) - surrogate;
    surrogates += surrogate;
  }
  if (surrogates != 0) {
    size = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const char16_t c = text[i];
      if (c < 0x80) {
        size += 1;
      } else if (c < 0x800) {
        size += 2;
      } else if (c < 0xD800 || c > 0xDFFF) {
        size += 3;
      } else if (c <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        size += 4;
        ++i;
      } else {
        Unencodable(text, i, TEncoding::Utf8);
      }
    }
  }
  std::string out(mark.size() + size, '\0');
  char* w = std::copy(mark.begin(), mark.end(), out.data());
  for (std::size_t i = 0; i < n; ++i) {
    while (i + 4 <= n && (Load64(text.data() + i) & kHighUnits) == 0) {
      for (int k = 0; k < 4; ++k) w[k] = static_cast<char>(text[i + static_cast<std::size_t>(k)]);
      w += 4, i += 4;
    }
    if (i >= n) break;
    std::uint32_t cp = text[i];
    if (cp < 0x80) {
      *w++ = static_cast<char>(cp);
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    }
    if (cp < 0x800) {
      *w++ = static_cast<char>(0xC0 | (cp >> 6));
      *w++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      *w++ = static_cast<char>(0xE0 | (cp >> 12));
      *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *w++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      *w++ = static_cast<char>(0xF0 | (cp >> 18));
      *w++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      *w++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      *w++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::string EncodeSingleByte(std::u16string_view text, TEncoding encoding) {
  const bool cp1252 = encoding == TEncoding::Windows1252;
  std::string out(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    int byte = -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF) || (!cp1252 && c <= 0xFF)) {
      byte = c;
    } else if (cp1252) {
      const auto* at = std::find(kCp1252High.begin(), kCp1252High.end(), c);
      if (at != kCp1252High.end()) byte = 0x80 + static_cast<int>(at - kCp1252High.begin());
    }
    if (byte < 0) Unencodable(text, i, encoding);
    out[i] = static_cast<char>(byte);
  }
  return out;
}

}  // namespace

std::optional<TEncoding> ParseEncoding(std::string_view name) {
  const std::string n = Lower(name);
  if (n == "utf-8" || n == "utf8") return TEncoding::Utf8;
  if (n == "utf-16le" || n == "utf16le" || n == "utf-16") return TEncoding::Utf16Le;
  if (n == "windows-1252" || n == "cp1252" || n == "win1252") return TEncoding::Windows1252;
  if (n == "iso-8859-1" || n == "iso8859-1" || n == "latin1" || n == "latin-1") return TEncoding::Iso88591;
  return std::nullopt;
}

const char* EncodingName(TEncoding encoding) {
  switch (encoding) {
    case TEncoding::Utf8: return "UTF-8";
    case TEncoding::Utf16Le: return "UTF-16LE";
    case TEncoding::Windows1252: return "windows-1252";
    case TEncoding::Iso88591: return "iso-8859-1";
  }
  return "?";
}

TDecoder::TDecoder(std::optional<TEncoding> requested, std::size_t expectedBytes)
    : requested_(requested), expected_(expectedBytes) {
  result_.encoding = requested.value_or(TEncoding::Utf8);
}

std::size_t TDecoder::Feed(std::string_view bytes, bool last) {
  std::size_t used = 0;
  if (!started_) {
    // Three bytes tell any mark apart; shorter input waits unless it is all.
    if (bytes.size() < kUtf8Mark.size() && !last) return 0;
    started_ = true;
    if (!requested_ && bytes.starts_with(kUtf16LeMark)) result_.encoding = TEncoding::Utf16Le;
    const std::string_view mark = result_.encoding == TEncoding::Utf8      ? kUtf8Mark
                                  : result_.encoding == TEncoding::Utf16Le ? kUtf16LeMark
                                                                           : std::string_view();
    result_.byteOrderMark = !mark.empty() && bytes.starts_with(mark);
    if (result_.byteOrderMark) used = mark.size();
    const std::size_t units = result_.encoding == TEncoding::Utf16Le ? expected_ / 2 : expected_;
    result_.text.reserve(units);
  }
  const std::string_view rest = bytes.substr(used);
  std::u16string& text = result_.text;
  const std::size_t before = text.size();
  const auto* p = reinterpret_cast<const unsigned char*>(rest.data());
  const std::size_t n = rest.size();
  std::size_t consumed = 0;
  switch (result_.encoding) {
    case TEncoding::Utf8: {
      text.resize(before + n);
      char16_t* end = DecodeUtf8Into(p, n, offset_ + used, last, text.data() + before, consumed);
      text.resize(static_cast<std::size_t>(end - text.data()));
      break;
    }
    case TEncoding::Utf16Le: {
      if (last && n % 2 != 0) throw TCodecError("odd number of bytes in UTF-16LE text", offset_ + used + n - 1);
      consumed = n - n % 2;
      text.resize(before + consumed / 2);
      char16_t* w = text.data() + before;
      for (std::size_t i = 0; i < consumed; i += 2) *w++ = static_cast<char16_t>(p[i] | (p[i + 1] << 8));
      break;
    }
    case TEncoding::Windows1252:
    case TEncoding::Iso88591: {
      const bool cp1252 = result_.encoding == TEncoding::Windows1252;
      consumed = n;
      text.resize(before + n);
      char16_t* w = text.data() + before;
      for (std::size_t i = 0; i < n; ++i) {
        const unsigned char b = p[i];
        *w++ = (cp1252 && b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
      }
      break;
    }
  }
  used += consumed;
  offset_ += used;
  return used;
}

TDecoded TDecoder::Finish() && { return std::move(result_); }

TDecoded Decode(std::string_view bytes, std::optional<TEncoding> requested) {
  TDecoder decoder(requested, bytes.size());
  decoder.Feed(bytes, true);
  return std::move(decoder).Finish();
}

std::string Encode(std::u16string_view text, TEncoding encoding, bool byteOrderMark) {
  switch (encoding) {
    case TEncoding::Utf8: return EncodeUtf8(text, byteOrderMark ? kUtf8Mark : std::string_view());
    case TEncoding::Utf16Le: {
      std::string out(byteOrderMark ? kUtf16LeMark : "");
      out.reserve(out.size() + 2 * text.size());
      for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
      }
      return out;
    }
    case TEncoding::Windows1252:
    case TEncoding::Iso88591: return EncodeSingleByte(text, encoding);
  }
  return {};
}

}  // namespace tavi::cli
