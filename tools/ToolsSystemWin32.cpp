// The toolbox's operations on the Windows process, file, resource, message
// and list-box services (Tools.h).
#include <windows.h>

#include <cstdint>
#include <string>

#include "tools/DelayLoop.h"
#include "tools/ResourceFormat.h"
#include "tools/Tools.h"

namespace tavi {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

namespace {

const wchar_t* Wide(const char16_t* Text) { return reinterpret_cast<const wchar_t*>(Text); }

// The text of a text pointer; null is the empty text.
std::wstring TextOf(const char16_t* Text) { return Text != nullptr ? Wide(Text) : L""; }

// Any address inside this module, to find the module that holds the toolbox:
// the DLL in the plug-in, the program when the toolbox is linked into one.
HMODULE ToolboxModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ToolboxModule), &module))
    return nullptr;
  return module;
}

// Handles every pending message of this thread once. A quit message ends the
// round and is posted again, so that the application's own message loop,
// and every Delay further out, still sees it: true then.
bool ProcessPendingMessages() {
  MSG message = {};
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return true;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return false;
}

}  // namespace

bool TMyTools::WinExecEx(const char16_t* Cmd, const char16_t* CmdLine, std::int32_t CmdShow,
                         bool Wait) const {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(CmdShow & 0xFFFF);
  PROCESS_INFORMATION process = {};

  // CreateProcessW may write into the command line while it parses it, so it
  // always gets a copy of ours, never the caller's text, which may be
  // read-only. A null command line stays null on the first attempt.
  std::wstring line = TextOf(CmdLine);
  // With neither a program nor a command line there is nothing to start, and
  // Wine's CreateProcessW reads through the null command line; the joined
  // line below (a single space) fails cleanly instead.
  bool started = (Cmd != nullptr || CmdLine != nullptr) &&
                 CreateProcessW(Wide(Cmd), CmdLine != nullptr ? line.data() : nullptr, nullptr,
                                nullptr, FALSE, 0, nullptr, nullptr, &startup, &process) != 0;
  if (!started) {
    // A program without a path, or a command line split over the two
    // arguments: the platform finds the program from the joined line.
    line = TextOf(Cmd);
    line.push_back(L' ');
    line.append(TextOf(CmdLine));
    started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process) != 0;
  }
  if (!started) return false;

  if (Wait) {
    // Two minutes; a program that never waits for input (a console program,
    // one that is slow to start) must not hang the caller for good.
    constexpr DWORD kIdleTimeout = 120000;
    WaitForInputIdle(process.hProcess, kIdleTimeout);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

std::int64_t TMyTools::GetFileSize(std::u16string_view FileName) const {
  // A NUL would end the name early and find a different file.
  if (FileName.find(u'\0') != FileName.npos) return -1;
  const std::wstring name(FileName.begin(), FileName.end());
  WIN32_FIND_DATAW found = {};
  const HANDLE search = FindFirstFileW(name.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return -1;
  FindClose(search);
  // Only the first match counts, even when files would match after it.
  if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return -1;
  return static_cast<std::int64_t>((std::uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow);
}

std::u16string TMyTools::LoadStrResource(std::int32_t ResID,
                                         std::u16string_view InsertValue) const {
  // String resources are numbered in 16 bits; LoadStringW would take a
  // larger number modulo 65536 and find another string.
  if (ResID < 0 || ResID > 0xFFFF) return {};
  constexpr int kBufferUnits = 1024;  // At most 1023 code units and the NUL.
  wchar_t buffer[kBufferUnits] = {};
  const int length = LoadStringW(ToolboxModule(), static_cast<UINT>(ResID), buffer, kBufferUnits);
  if (length <= 0) return {};
  const std::u16string_view text(reinterpret_cast<const char16_t*>(buffer),
                                 static_cast<std::size_t>(length));
  return FormatOneText(text, InsertValue);
}

void TMyTools::Delay(std::uint32_t msecs) const {
  DelayLoop(
      msecs, [] { return static_cast<std::uint32_t>(GetTickCount()); }, ProcessPendingMessages,
      [](std::uint32_t Milliseconds) { Sleep(Milliseconds); });
}

std::int32_t TMyTools::GetFirstSelection(HWND List) const {
  // LB_GETCOUNT answers LB_ERR (-1) for a window that is no list box, and a
  // null window answers 0: no item either way.
  const LRESULT count = SendMessageW(List, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i)
    if (SendMessageW(List, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0)
      return static_cast<std::int32_t>(i);
  return -1;
}

}  // namespace tavi
