#include "Screenshot.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>
#include <cwctype>

#include "HostIO.h"
#include "Win32Handles.h"

namespace host {
namespace {

struct Capture {
  int width = 0;
  int height = 0;
  std::size_t stride = 0;      // bytes per row, a multiple of 4 as in any DIB
  std::vector<uint8_t> bgr;    // top-down rows, blue green red
};

bool CaptureScreen(Capture& capture, std::wstring& error) {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  capture.width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  capture.height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (capture.width <= 0 || capture.height <= 0) {
    error = L"the screen has no size";
    return false;
  }
  const ScreenDc screen;
  UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = capture.width;
  info.bmiHeader.biHeight = -capture.height;  // negative: rows top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueGdiObject bitmap(CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!screen.get() || !memory || !bitmap || bits == nullptr) {
    error = L"cannot create a bitmap for the screen";
    return false;
  }
  const HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());
  // Under Wine the screen DC reads back what the X server shows, windows of
  // other X clients and the window manager's frames included.
  const BOOL copied = BitBlt(memory.get(), 0, 0, capture.width, capture.height, screen.get(), left,
                             top, SRCCOPY | CAPTUREBLT);
  GdiFlush();
  SelectObject(memory.get(), previous);
  if (!copied) {
    error = L"BitBlt from the screen failed (error " + std::to_wstring(GetLastError()) + L")";
    return false;
  }
  capture.stride = (static_cast<std::size_t>(capture.width) * 3 + 3) & ~static_cast<std::size_t>(3);
  const auto* first = static_cast<const uint8_t*>(bits);
  capture.bgr.assign(first, first + capture.stride * static_cast<std::size_t>(capture.height));
  return true;
}

void PutLe16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutLe32(std::vector<uint8_t>& out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}
void PutBe32(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value >> 24));
  out.push_back(static_cast<uint8_t>(value >> 16));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value));
}

std::vector<uint8_t> EncodeBmp(const Capture& capture) {
  const auto imageBytes = static_cast<uint32_t>(capture.bgr.size());
  std::vector<uint8_t> out;
  out.reserve(54 + imageBytes);
  out.push_back('B');
  out.push_back('M');
  PutLe32(out, 54 + imageBytes);
  PutLe32(out, 0);
  PutLe32(out, 54);                                     // offset of the pixels
  PutLe32(out, 40);                                     // BITMAPINFOHEADER
  PutLe32(out, static_cast<uint32_t>(capture.width));
  PutLe32(out, static_cast<uint32_t>(-capture.height)); // top-down rows
  PutLe16(out, 1);
  PutLe16(out, 24);
  PutLe32(out, BI_RGB);
  PutLe32(out, imageBytes);
  PutLe32(out, 3780);                                   // 96 dots per inch
  PutLe32(out, 3780);
  PutLe32(out, 0);
  PutLe32(out, 0);
  out.insert(out.end(), capture.bgr.begin(), capture.bgr.end());
  return out;
}

uint32_t Crc32(const uint8_t* data, std::size_t size, uint32_t crc = 0) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t = {};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], const std::vector<uint8_t>& data) {
  PutBe32(out, static_cast<uint32_t>(data.size()));
  const std::size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  PutBe32(out, Crc32(out.data() + start, out.size() - start));
}

// PNG with the image data in stored (uncompressed) deflate blocks: larger
// than a compressed file, but it needs no zlib and every viewer reads it.
std::vector<uint8_t> EncodePng(const Capture& capture) {
  std::vector<uint8_t> raw;
  const auto width = static_cast<std::size_t>(capture.width);
  raw.reserve((width * 3 + 1) * static_cast<std::size_t>(capture.height));
  for (int y = 0; y < capture.height; ++y) {
    raw.push_back(0);  // filter type None
    const uint8_t* row = capture.bgr.data() + capture.stride * static_cast<std::size_t>(y);
    for (std::size_t x = 0; x < width; ++x) {
      raw.push_back(row[3 * x + 2]);
      raw.push_back(row[3 * x + 1]);
      raw.push_back(row[3 * x]);
    }
  }

  std::vector<uint8_t> zlib = {0x78, 0x01};
  constexpr std::size_t kBlock = 65535;
  for (std::size_t at = 0; at < raw.size() || at == 0; at += kBlock) {
    const std::size_t size = std::min(kBlock, raw.size() - at);
    zlib.push_back(at + size >= raw.size() ? 1 : 0);
    PutLe16(zlib, static_cast<uint32_t>(size));
    PutLe16(zlib, static_cast<uint32_t>(~size & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                raw.begin() + static_cast<std::ptrdiff_t>(at + size));
    if (raw.empty()) break;
  }
  uint32_t a = 1, b = 0;
  for (const uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(zlib, (b << 16) | a);

  std::vector<uint8_t> header;
  PutBe32(header, static_cast<uint32_t>(capture.width));
  PutBe32(header, static_cast<uint32_t>(capture.height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter, no interlace

  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", zlib);
  PutChunk(out, "IEND", {});
  return out;
}

bool EndsWithNoCase(const std::wstring& text, std::wstring_view ending) {
  if (text.size() < ending.size()) return false;
  for (std::size_t i = 0; i < ending.size(); ++i) {
    if (std::towlower(text[text.size() - ending.size() + i]) != ending[i]) return false;
  }
  return true;
}

}  // namespace

bool SaveScreenshot(const std::wstring& path, std::wstring& error) {
  const bool png = EndsWithNoCase(path, L".png");
  if (!png && !EndsWithNoCase(path, L".bmp")) {
    error = L"a screenshot's file name ends in .png or .bmp: " + path;
    return false;
  }
  Capture capture;
  if (!CaptureScreen(capture, error)) return false;
  const std::vector<uint8_t> bytes = png ? EncodePng(capture) : EncodeBmp(capture);
  return WriteBytes(path, bytes.data(), bytes.size(), error);
}

}  // namespace host
