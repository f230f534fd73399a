#include "plugin/Tavi.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "dialog/win32/Win32MainView.h"
#include "plugin/HostBuffers.h"
#include "plugin/resource.h"

namespace {

// The text the dialog ended with, held from one DoWork to the next.
std::u16string ResultText;
HINSTANCE gModule = nullptr;
bool gDialogOpen = false;

std::u16string_view HostText(const wchar_t* text) {
  if (!text) return {};
  return std::u16string_view(reinterpret_cast<const char16_t*>(text));
}

// Makes the library's own manifest active while the dialog lives, so its
// controls are those of common controls 6 whatever the host declares.
class TActivationContext {
 public:
  explicit TActivationContext(HINSTANCE module) {
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = module;
    request.lpResourceName = MAKEINTRESOURCEW(IDR_TAVI_MANIFEST);
    context_ = CreateActCtxW(&request);
    if (context_ != INVALID_HANDLE_VALUE && !ActivateActCtx(context_, &cookie_)) cookie_ = 0;
  }
  ~TActivationContext() {
    if (cookie_) DeactivateActCtx(0, cookie_);
    if (context_ != INVALID_HANDLE_VALUE) ReleaseActCtx(context_);
  }
  TActivationContext(const TActivationContext&) = delete;
  TActivationContext& operator=(const TActivationContext&) = delete;

 private:
  HANDLE context_ = INVALID_HANDLE_VALUE;
  ULONG_PTR cookie_ = 0;
};

class TDialogGuard {
 public:
  TDialogGuard() { gDialogOpen = true; }
  ~TDialogGuard() { gDialogOpen = false; }
  TDialogGuard(const TDialogGuard&) = delete;
  TDialogGuard& operator=(const TDialogGuard&) = delete;
};

void RunDialog(const wchar_t* text, std::uint8_t* changed) {
  TDialogGuard guard;
  TActivationContext context(gModule);
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_BAR_CLASSES | ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&controls);

  tavi::TWin32MainView dialog(gModule);
  dialog.Create();
  dialog.Form().Text = std::u16string(HostText(text));
  dialog.ShowModal();

  // Built aside first, so a failure here leaves ResultText and the flag alone.
  std::u16string result = dialog.Form().Text;
  const bool differs = result != HostText(text);
  ResultText.swap(result);
  if (changed) *changed = differs ? 1 : 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    gModule = module;
    DisableThreadLibraryCalls(module);
  }
  return TRUE;
}

extern "C" {

void ScrivlexPlugInRegisterPlugin(wchar_t** name, std::int32_t limit) noexcept {
  if (!name || !*name) return;
  tavi::WriteDisplayName(reinterpret_cast<char16_t*>(*name), limit);
}

void ScrivlexPlugInDoWork(void*, const wchar_t* text, std::int32_t, std::uint8_t* changed) noexcept {
  // The host calls again only after a dialog has closed; a call from inside
  // the dialog's own message processing must not open a second one.
  if (gDialogOpen) return;
  try {
    RunDialog(text, changed);
  } catch (...) {
    // Nothing may cross into the host: the dialog is gone, the flag is not
    // written and ResultText keeps what it held.
  }
}

std::uint8_t ScrivlexPluginGetResult(wchar_t** buffer, std::uint32_t* size) noexcept {
  if (!size) return 0;
  char16_t* target = buffer ? reinterpret_cast<char16_t*>(*buffer) : nullptr;
  return tavi::WriteResult(ResultText, target, *size) ? 1 : 0;
}

}  // extern "C"
