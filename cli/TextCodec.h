// Byte encodings of the tavi command-line program: decodes files into the
// UTF-16 text the engine works on and encodes the result back, reporting the
// first byte or character that the encoding cannot carry.
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavi::cli {

enum class TEncoding { Utf8, Utf16Le, Windows1252, Iso88591 };

// "utf-8", "utf-16le", "windows-1252", "iso-8859-1" and their usual aliases,
// in any letter case.
std::optional<TEncoding> ParseEncoding(std::string_view name);
const char* EncodingName(TEncoding encoding);

class TCodecError : public std::runtime_error {
 public:
  TCodecError(const std::string& message, std::size_t where) : std::runtime_error(message), where_(where) {}
  // Byte offset (decoding) or code-unit index (encoding), from 0.
  std::size_t where() const { return where_; }

 private:
  std::size_t where_;
};


struct TDecoded {
  std::u16string text;
  TEncoding encoding;
  bool byteOrderMark = false;
};

// Decodes bytes as they arrive, straight into the text the engine works on:
// no copy of the whole input is needed. Without a requested encoding, a
// UTF-16LE byte-order mark selects UTF-16LE and anything else is read as
// UTF-8; the mark of UTF-8 or UTF-16LE is left out of the text and reported.
class TDecoder {
 public:
  // expectedBytes, when known, sizes the text once.
  explicit TDecoder(std::optional<TEncoding> requested, std::size_t expectedBytes = 0);

  // Decodes from the start of bytes and returns how many were used; the rest
  // (a character cut off, at most three bytes) must come again at the start
  // of the next call. last marks the end of the input. Throws TCodecError at
  // the first invalid byte, its offset counted from the start of the input.
  std::size_t Feed(std::string_view bytes, bool last);
  TDecoded Finish() &&;

 private:
  std::optional<TEncoding> requested_;
  std::size_t expected_;
  std::size_t offset_ = 0;
  bool started_ = false;
  TDecoded result_;
};

// Decodes bytes. Without a requested encoding, a UTF-16LE byte-order mark
// selects UTF-16LE and anything else is read as UTF-8. The mark of UTF-8 or
// UTF-16LE is recognised, left out of the text, and reported so that it can
// be written back. Throws TCodecError at the first invalid byte.
TDecoded Decode(std::string_view bytes, std::optional<TEncoding> requested);

// Encodes text, with the byte-order mark when asked. Throws TCodecError at
// the first code unit that the encoding cannot hold.
std::string Encode(std::u16string_view text, TEncoding encoding, bool byteOrderMark);

}  // namespace tavi::cli
