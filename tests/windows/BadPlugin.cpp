// A plug-in that breaks the buffer rules on purpose, one way at a time as
// TAVI_BAD_PLUGIN says, so that the tests can show the test host catches
// each kind of overrun: the host's checks are only worth what they find.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

bool Mode(const wchar_t* wanted) {
  wchar_t mode[64] = {};
  const DWORD length = GetEnvironmentVariableW(L"TAVI_BAD_PLUGIN", mode, 64);
  return length > 0 && length < 64 && std::wcscmp(mode, wanted) == 0;
}

const wchar_t kName[] = L"Scrivlex Sonderzeichen Plug-in";
const wchar_t kResult[] = L"abc";

}  // namespace

extern "C" {

__declspec(dllexport) void ScrivlexPlugInRegisterPlugin(wchar_t** name, std::int32_t limit) {
  const std::size_t count = limit <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(limit), 30);
  // name-over: the NUL lands one unit behind the room the host gave.
  const std::size_t end = Mode(L"name-over") ? count + 1 : count;
  std::wmemcpy(*name, kName, count);
  if (end > count) (*name)[count] = L'!';
  (*name)[end] = L'\0';
  if (Mode(L"name-pointer")) *name = nullptr;
}

__declspec(dllexport) void ScrivlexPlugInDoWork(void*, const wchar_t* text, std::int32_t,
                                                std::uint8_t* changed) {
  if (text != nullptr) {
    const std::size_t length = std::wcslen(text);
    // input-over: reads one unit past the NUL.
    if (Mode(L"input-over")) {
      const volatile wchar_t* unit = text + length + 1;
      (void)*unit;
    }
    if (Mode(L"input-write") && length > 0) const_cast<wchar_t*>(text)[0] = L'X';
  }
  changed[0] = 1;
  if (Mode(L"flag-over")) changed[1] = 1;
}

__declspec(dllexport) std::uint8_t ScrivlexPluginGetResult(wchar_t** buffer, std::uint32_t* size) {
  const std::uint32_t length = 3;
  if (*size < length) {
    *size = length;
    return 0;
  }
  *size = length;
  std::wmemcpy(*buffer, kResult, length);
  // result-over: one unit too many before the NUL.
  if (Mode(L"result-over")) {
    (*buffer)[length] = L'!';
    (*buffer)[length + 1] = L'\0';
  } else {
    (*buffer)[length] = L'\0';
  }
  return 1;
}

}  // extern "C"
