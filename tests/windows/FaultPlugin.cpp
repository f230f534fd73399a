// The fault switch of the test plug-in, which is Tavi.dll built again with
// this file and a freeze threshold of one second: when the dialog's action
// shows its first message box, a timer half a second later breaks the
// plug-in the way TAVI_FAULT says, from inside the plug-in's own image:
//   null-write  writes through a pointer to no memory
//   divide      divides an integer by zero
//   overflow    recurses until the stack runs out
//   thread      the same on a thread of its own
//   freeze      takes no message for three seconds
// The delay lets the test host's driver see the box before the fault.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cwchar>

namespace {

wchar_t gMode[32];
HHOOK gHook = nullptr;
bool gFired = false;

bool Mode(const wchar_t* wanted) { return std::wcscmp(gMode, wanted) == 0; }

// Through a pointer to memory that is not there. Not address 0 itself:
// Wine run as root may have the page at 0 mapped.
void NullWrite() {
  static void* nowhere = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_NOACCESS);
  int* volatile target = static_cast<int*>(nowhere);
  *target = 1;
}

volatile int gDepthLimit = 1 << 30;

__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (depth >= gDepthLimit) return frame[0];
  return Recurse(depth + 1) + frame[0];
}

void CALLBACK Fault(HWND window, UINT, UINT_PTR timer, DWORD) {
  KillTimer(window, timer);
  // The process is expected to end: without a crash dialog of the system.
  SetErrorMode(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS);
  if (Mode(L"null-write")) {
    NullWrite();
  } else if (Mode(L"divide")) {
    volatile int zero = 0;
    volatile int result = 7 / zero;
    (void)result;
  } else if (Mode(L"overflow")) {
    Recurse(0);
  } else if (Mode(L"thread")) {
    HANDLE worker = CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
          NullWrite();
          return 0;
        },
        nullptr, 0, nullptr);
    if (worker) CloseHandle(worker);
  } else if (Mode(L"freeze")) {
    Sleep(3000);
  }
}

LRESULT CALLBACK WatchCreation(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && !gFired) {
    wchar_t name[16] = {};
    GetClassNameW(reinterpret_cast<HWND>(wParam), name, 16);
    if (std::wcscmp(name, L"#32770") == 0) {
      gFired = true;
      // On the box's own window: its loop takes no thread messages.
      SetTimer(reinterpret_cast<HWND>(wParam), 0x7A11, 500, Fault);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Armed when the library loads, on the thread that loads it (the host's).
struct TFaultSwitch {
  TFaultSwitch() {
    const DWORD length = GetEnvironmentVariableW(L"TAVI_FAULT", gMode, 32);
    if (length == 0 || length >= 32) gMode[0] = L'\0';
    if (gMode[0]) gHook = SetWindowsHookExW(WH_CBT, WatchCreation, nullptr, GetCurrentThreadId());
  }
  ~TFaultSwitch() {
    if (gHook) UnhookWindowsHookEx(gHook);
  }
} gFaultSwitch;

}  // namespace
