// A small Windows program that the toolbox's WinExecEx tests start. It
// leaves a trace file, so that a test can see that it really ran and with
// which command line and show value:
//   tavi_trace_helper.exe <trace file> [window]
// The trace holds the command line as the program received it, a line
// break, and "show=<n>" with the show value from its startup record. With
// "window" it first waits a second, writes the trace, then opens a window,
// waits for input and ends itself after three seconds; so a caller that
// waits until it is ready for input finds the trace already written. (Wine
// counts the program as waiting for input as soon as it shows its window.)
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

// Written under another name and renamed, so that a reader never sees half.
void WriteTrace(const wchar_t* Path, const std::wstring& Text) {
  const std::wstring partial = std::wstring(Path) + L".part";
  const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, Text.data(), static_cast<DWORD>(Text.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
  MoveFileExW(partial.c_str(), Path, MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
    case WM_TIMER:
      DestroyWindow(Window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(Window, Message, WParam, LParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE Instance, HINSTANCE, LPSTR, int CmdShow) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count < 2) return 2;
  const std::wstring trace =
      std::wstring(GetCommandLineW()) + L"\nshow=" + std::to_wstring(CmdShow);
  if (count < 3 || std::wstring(arguments[2]) != L"window") {
    WriteTrace(arguments[1], trace);
    return 0;
  }

  Sleep(1000);
  WriteTrace(arguments[1], trace);
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = Instance;
  windowClass.lpszClassName = L"TaviTraceHelper";
  RegisterClassW(&windowClass);
  const HWND window =
      CreateWindowExW(0, L"TaviTraceHelper", L"Tavi trace helper", WS_OVERLAPPEDWINDOW,
                      CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, nullptr, nullptr, Instance, nullptr);
  if (window == nullptr) return 3;
  ShowWindow(window, CmdShow);
  SetTimer(window, 1, 3000, nullptr);
  MSG message = {};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  LocalFree(arguments);
  return 0;
}
