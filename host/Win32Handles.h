// Small owner types for the Win32 handles the test host holds: each closes
// its handle in its destructor and cannot be copied.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace host {

template <typename Handle, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return Traits::IsValid(handle_); }
  void reset(Handle handle = Traits::Invalid()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

struct FileTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(HANDLE h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE h) { return h != nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static bool IsValid(HWND h) { return h != nullptr; }
  static void Close(HWND h) { DestroyWindow(h); }
};
struct HookTraits {
  static HHOOK Invalid() { return nullptr; }
  static bool IsValid(HHOOK h) { return h != nullptr; }
  static void Close(HHOOK h) { UnhookWindowsHookEx(h); }
};
struct MemoryDcTraits {
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC h) { return h != nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
struct GdiObjectTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static bool IsValid(HGDIOBJ h) { return h != nullptr; }
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};

using UniqueFile = UniqueHandle<HANDLE, FileTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
using UniqueWindow = UniqueHandle<HWND, WindowTraits>;
using UniqueHook = UniqueHandle<HHOOK, HookTraits>;
using UniqueMemoryDc = UniqueHandle<HDC, MemoryDcTraits>;
using UniqueGdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;

// The screen's device context, released (not deleted) when done.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace host
