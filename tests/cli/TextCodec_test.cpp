#include "cli/TextCodec.h"

#include <gtest/gtest.h>

namespace tavi::cli {
namespace {

struct DecodeCase {
  const char* name;
  std::string bytes;
  std::optional<TEncoding> requested;
  std::u16string text;
  TEncoding encoding;
  bool mark;
};

const DecodeCase kDecodeCases[] = {
    {"utf-8 default", "Gr\xC3\xBC\xC3\x9F" "e", std::nullopt, u"Grüße", TEncoding::Utf8, false},
    {"utf-8 mark kept apart", "\xEF\xBB\xBFx", std::nullopt, u"x", TEncoding::Utf8, true},
    {"utf-8 astral", "\xF0\x9F\x98\x80", std::nullopt, u"\U0001F600", TEncoding::Utf8, false},
    {"utf-8 nul survives", std::string("a\0b", 3), std::nullopt, std::u16string(u"a\0b", 3), TEncoding::Utf8, false},
    {"utf-16le by its mark", std::string("\xFF\xFE" "a\0\xE4\0", 6), std::nullopt, u"aä", TEncoding::Utf16Le, true},
    {"utf-16le asked, no mark", std::string("a\0", 2), TEncoding::Utf16Le, u"a", TEncoding::Utf16Le, false},
    {"cp1252 euro and trade", "\x80\x99\xE4", TEncoding::Windows1252, u"\u20AC\u2122ä", TEncoding::Windows1252, false},
    {"cp1252 undefined bytes", "\x81\x9D", TEncoding::Windows1252, u"\u0081\u009D", TEncoding::Windows1252, false},
    {"latin-1 controls", "\x80\x99\xE4", TEncoding::Iso88591, u"\u0080\u0099ä", TEncoding::Iso88591, false},
};

TEST(TextCodec, DecodesAndEncodesBack) {
  for (const DecodeCase& c : kDecodeCases) {
    const TDecoded decoded = Decode(c.bytes, c.requested);
    EXPECT_EQ(decoded.text, c.text) << c.name;
    EXPECT_EQ(decoded.encoding, c.encoding) << c.name;
    EXPECT_EQ(decoded.byteOrderMark, c.mark) << c.name;
    EXPECT_EQ(Encode(decoded.text, decoded.encoding, decoded.byteOrderMark), c.bytes) << c.name;
  }
}

struct BadCase {
  const char* name;
  std::string bytes;
  std::optional<TEncoding> requested;
  std::size_t offset;
};

const BadCase kBadInput[] = {
    {"stray continuation", "ab\x80", std::nullopt, 2},
    {"overlong slash", "x\xC0\xAF", std::nullopt, 1},
    {"overlong three bytes", "\xE0\x80\x80", std::nullopt, 0},
    {"encoded surrogate", "\xED\xA0\x80", std::nullopt, 0},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", std::nullopt, 0},
    {"truncated at end", "abc\xE2\x82", std::nullopt, 3},
    {"bad second byte", "\xC3(", std::nullopt, 1},
    {"offset counts the mark", "\xEF\xBB\xBF\xFF", std::nullopt, 3},
    {"odd utf-16le", std::string("\xFF\xFE" "a\0b", 5), std::nullopt, 4},
};

TEST(TextCodec, RejectsInvalidInputAtItsOffset) {
  for (const BadCase& c : kBadInput) {
    try {
      Decode(c.bytes, c.requested);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const TCodecError& error) {
      EXPECT_EQ(error.where(), c.offset) << c.name;
    }
  }
}

TEST(TextCodec, RefusesCharactersTheEncodingCannotHold) {
  EXPECT_THROW(Encode(u"a\u0100", TEncoding::Iso88591, false), TCodecError);
  EXPECT_THROW(Encode(u"\u20AC", TEncoding::Iso88591, false), TCodecError);
  EXPECT_THROW(Encode(u"\u0100", TEncoding::Windows1252, false), TCodecError);
  EXPECT_THROW(Encode(u"\xD800", TEncoding::Utf8, false), TCodecError);
  try {
    Encode(u"ab\u4E2D", TEncoding::Windows1252, false);
  } catch (const TCodecError& error) {
    EXPECT_EQ(error.where(), 2u);
    EXPECT_STREQ(error.what(), "character U+4E2D cannot be written in windows-1252");
  }
}

TEST(TextCodec, ParsesEncodingNames) {
  EXPECT_EQ(ParseEncoding("UTF-8"), TEncoding::Utf8);
  EXPECT_EQ(ParseEncoding("utf-16le"), TEncoding::Utf16Le);
  EXPECT_EQ(ParseEncoding("Windows-1252"), TEncoding::Windows1252);
  EXPECT_EQ(ParseEncoding("latin1"), TEncoding::Iso88591);
  EXPECT_EQ(ParseEncoding("ebcdic"), std::nullopt);
}

}  // namespace
}  // namespace tavi::cli

namespace tavi::cli {
namespace {

// Input read in pieces may cut a character or a mark anywhere: every cut
// must give the text of the whole, and an error the offset of the whole.
TEST(TextCodec, PiecewiseDecodingMatchesTheWhole) {
  for (const DecodeCase& c : kDecodeCases) {
    for (std::size_t piece = 1; piece <= 4; ++piece) {
      TDecoder decoder(c.requested);
      std::string pending;
      for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
        pending += c.bytes.substr(at, piece);
        pending.erase(0, decoder.Feed(pending, at + piece >= c.bytes.size()));
      }
      if (c.bytes.empty()) decoder.Feed("", true);
      const TDecoded decoded = std::move(decoder).Finish();
      EXPECT_EQ(decoded.text, c.text) << c.name << " in pieces of " << piece;
      EXPECT_EQ(decoded.byteOrderMark, c.mark) << c.name << " in pieces of " << piece;
    }
  }
  for (const BadCase& c : kBadInput) {
    TDecoder decoder(c.requested);
    std::string pending;
    try {
      for (std::size_t at = 0; at < c.bytes.size(); ++at) {
        pending += c.bytes[at];
        pending.erase(0, decoder.Feed(pending, at + 1 == c.bytes.size()));
      }
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const TCodecError& error) {
      EXPECT_EQ(error.where(), c.offset) << c.name;
    }
  }
}

}  // namespace
}  // namespace tavi::cli
