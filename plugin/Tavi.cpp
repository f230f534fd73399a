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

#include "crash/win32/CrashHandler.h"
#include "dialog/win32/Win32MainView.h"
#include "plugin/HostBuffers.h"
#include "plugin/resource.h"

// How long the host's thread may take no message inside the dialog before
// it counts as frozen; the test plug-in builds this file with a shorter one.
#ifndef TAVI_FREEZE_MS
#define TAVI_FREEZE_MS 300000
#endif

namespace {

// The text the dialog ended with, held from one DoWork to the next.
std::u16string ResultText;
HINSTANCE gModule = nullptr;
bool gDialogOpen = false;
// The dialog's activation cookie, for a barrier that comes back from a
// fault past the object that would have deactivated it.
ULONG_PTR gActiveCookie = 0;

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
    gActiveCookie = cookie_;
  }
  ~TActivationContext() {
    gActiveCookie = 0;
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
    tavi::crash::InstallCrashHandler(module, TAVI_FREEZE_MS);
  } else if (reason == DLL_PROCESS_DETACH) {
    tavi::crash::RemoveCrashHandler();
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
  if (tavi::crash::Stopped()) {
    tavi::crash::ShowStoppedBox();
    return;
  }
  tavi::crash::TWorkSession session(static_cast<std::int64_t>(HostText(text).size()));
  // A fault of our code on this thread comes back here, after its report,
  // with Recovered() set: the frames below are abandoned, not unwound.
  RtlCaptureContext(session.ResumeContext());
  if (session.Recovered()) {
    if (gActiveCookie) DeactivateActCtx(DEACTIVATE_ACTCTX_FLAG_FORCE_EARLY_DEACTIVATION, gActiveCookie);
    gActiveCookie = 0;
    gDialogOpen = false;
    session.TearDown();
    return;
  }
  session.Arm();
  try {
    RunDialog(text, changed);
  } catch (const std::exception& failure) {
    // Nothing may cross into the host: the dialog is gone, the flag is not
    // written and ResultText keeps what it held; the user learns of it.
    session.Disarm();
    session.ReportCppException(failure.what(), "ScrivlexPlugInDoWork");
  } catch (...) {
    session.Disarm();
    session.ReportCppException("", "ScrivlexPlugInDoWork");
  }
  session.Disarm();
}

std::uint8_t ScrivlexPluginGetResult(wchar_t** buffer, std::uint32_t* size) noexcept {
  if (!size) return 0;
  char16_t* target = buffer ? reinterpret_cast<char16_t*>(*buffer) : nullptr;
  return tavi::WriteResult(ResultText, target, *size) ? 1 : 0;
}

std::uint8_t TaviWriteBugReport(const wchar_t* reason) noexcept {
  try {
    return tavi::crash::WriteRequestReport(reason) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // extern "C"
