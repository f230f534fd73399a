// Text in and out of the test host: document files in UTF-8 or UTF-16LE,
// and the UTF-8 report lines on standard output that the tests read. Both
// threads of the host (HostMain.cpp, Driver.cpp) print through PrintLine.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace host {

enum class Encoding { Utf8, Utf8Bom, Utf16LeBom };

struct Document {
  std::wstring text;  // UTF-16 code units, without a terminating NUL
  Encoding encoding = Encoding::Utf8;
};

// Reads a document: UTF-16LE when it starts with FF FE, otherwise UTF-8 (a
// BOM EF BB BF is dropped). Returns false with a reason for anything else.
bool ReadDocument(const std::wstring& path, Document& document, std::wstring& error);

// Writes text in the given encoding, with its BOM where it has one.
bool WriteDocument(const std::wstring& path, std::wstring_view text, Encoding encoding,
                   std::wstring& error);

// Writes bytes to a new file (or over an old one); false with a reason.
bool WriteBytes(const std::wstring& path, const void* bytes, std::size_t size, std::wstring& error);

// Makes a text fit on one report line: backslash, CR, LF, TAB and the other
// control characters are written as escapes (\\, \r, \n, \t, \xHH).
std::wstring EscapeForLine(std::wstring_view text);

// Prints one whole line (a newline is added) to standard output and flushes
// it; safe to call from any thread. A pipe gets UTF-8, a console the text.
void PrintLine(std::wstring_view line);

// Prints to standard error, for usage mistakes.
void PrintError(std::wstring_view line);

std::wstring Utf8ToWide(std::string_view bytes);
std::string WideToUtf8(std::wstring_view text);

}  // namespace host
