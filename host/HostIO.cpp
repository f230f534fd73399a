#include "HostIO.h"

#include <mutex>
#include <vector>

#include "Win32Handles.h"

namespace host {
namespace {

// Far above any document a test uses; keeps a wrong path (a disk image, say)
// from filling the memory.
constexpr DWORD kMaxDocumentBytes = 64u * 1024u * 1024u;

std::mutex& OutputMutex() {
  static std::mutex mutex;
  return mutex;
}

void WriteLineTo(DWORD which, std::wstring_view line) {
  std::wstring whole(line);
  whole += L'\n';
  const std::lock_guard<std::mutex> lock(OutputMutex());
  HANDLE out = GetStdHandle(which);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    DWORD written = 0;
    WriteConsoleW(out, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
    return;
  }
  const std::string bytes = WideToUtf8(whole);
  DWORD written = 0;
  // A pipe takes the bytes at once; there is no stdio buffer to flush, so a
  // test that reads while the host waits sees every line already printed.
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

std::wstring Utf8ToWide(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                        static_cast<int>(bytes.size()), nullptr, 0);
  if (count <= 0) return {};
  std::wstring text(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                      text.data(), count);
  return text;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
  if (count <= 0) return {};
  std::string bytes(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), count,
                      nullptr, nullptr);
  return bytes;
}

bool ReadDocument(const std::wstring& path, Document& document, std::wstring& error) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    error = L"cannot open " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
    return false;
  }
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxDocumentBytes) {
    error = path + L" is larger than 64 MiB";
    return false;
  }
  std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  if (!bytes.empty() &&
      (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
       read != bytes.size())) {
    error = L"cannot read " + path;
    return false;
  }

  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    if (bytes.size() % 2 != 0) {
      error = path + L" is UTF-16LE with an odd number of bytes";
      return false;
    }
    document.encoding = Encoding::Utf16LeBom;
    document.text.assign((bytes.size() - 2) / 2, L'\0');
    for (std::size_t i = 0; i < document.text.size(); ++i) {
      const auto low = static_cast<unsigned char>(bytes[2 + 2 * i]);
      const auto high = static_cast<unsigned char>(bytes[3 + 2 * i]);
      document.text[i] = static_cast<wchar_t>(low | (high << 8));
    }
    return true;
  }
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    error = path + L" is UTF-16BE, which the host does not read";
    return false;
  }
  std::string_view body(bytes);
  document.encoding = Encoding::Utf8;
  if (body.size() >= 3 && body.substr(0, 3) == "\xEF\xBB\xBF") {
    body.remove_prefix(3);
    document.encoding = Encoding::Utf8Bom;
  }
  document.text = Utf8ToWide(body);
  if (document.text.empty() && !body.empty()) {
    error = path + L" is not valid UTF-8";
    return false;
  }
  return true;
}

bool WriteDocument(const std::wstring& path, std::wstring_view text, Encoding encoding,
                   std::wstring& error) {
  std::string bytes;
  switch (encoding) {
    case Encoding::Utf16LeBom:
      bytes = "\xFF\xFE";
      for (const wchar_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>((unit >> 8) & 0xFF);
      }
      break;
    case Encoding::Utf8Bom:
      bytes = "\xEF\xBB\xBF" + WideToUtf8(text);
      break;
    case Encoding::Utf8:
      bytes = WideToUtf8(text);
      break;
  }
  return WriteBytes(path, bytes.data(), bytes.size(), error);
}

bool WriteBytes(const std::wstring& path, const void* bytes, std::size_t size, std::wstring& error) {
  UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file || size > MAXDWORD ||
      !WriteFile(file.get(), bytes, static_cast<DWORD>(size), &written, nullptr) || written != size) {
    error = L"cannot write " + path + L" (error " + std::to_wstring(GetLastError()) + L")";
    return false;
  }
  return true;
}

std::wstring EscapeForLine(std::wstring_view text) {
  static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
  std::wstring line;
  line.reserve(text.size());
  for (const wchar_t unit : text) {
    switch (unit) {
      case L'\\': line += L"\\\\"; break;
      case L'\r': line += L"\\r"; break;
      case L'\n': line += L"\\n"; break;
      case L'\t': line += L"\\t"; break;
      default:
        if (unit < 0x20) {
          line += L"\\x";
          line += kHex[(unit >> 4) & 0xF];
          line += kHex[unit & 0xF];
        } else {
          line += unit;
        }
    }
  }
  return line;
}

void PrintLine(std::wstring_view line) { WriteLineTo(STD_OUTPUT_HANDLE, line); }

void PrintError(std::wstring_view line) { WriteLineTo(STD_ERROR_HANDLE, line); }

}  // namespace host
