// The Win32 window of the conversion dialog: builds the form with real
// common controls, shows it modally on the calling thread and implements
// IMainView (dialog/MainView.h) for the dialog's logic, TMainSonderZPlugin.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "dialog/MainView.h"
#include "dialog/TaviMainPluginUnit.h"

namespace tavi {

// Owns one GDI object and deletes it.
template <typename Handle>
class TGdiObject {
 public:
  TGdiObject() = default;
  explicit TGdiObject(Handle handle) : handle_(handle) {}
  ~TGdiObject() {
    if (handle_) DeleteObject(handle_);
  }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;
  Handle get() const { return handle_; }
  void reset(Handle handle) {
    if (handle_) DeleteObject(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = nullptr;
};

class TWin32MainView final : public IMainView {
 public:
  // resources: the module whose resources hold the tool-bar icons.
  explicit TWin32MainView(HINSTANCE resources);
  ~TWin32MainView() override;
  TWin32MainView(const TWin32MainView&) = delete;
  TWin32MainView& operator=(const TWin32MainView&) = delete;

  TMainSonderZPlugin& Form() { return form_; }

  // Creates the window hidden; throws std::runtime_error when it cannot.
  void Create();
  // Shows the window centred and runs its modal loop until it is closed.
  void ShowModal();

  // IMainView
  void SetToolBarEnabled(bool enabled) override;
  void SetButtonEnabled(TToolButton button, bool enabled) override;
  void SetLabelCaption(TLabel label, std::u16string_view caption) override;
  void SetLabelVisible(TLabel label, bool visible) override;
  void SetProgress(int position) override;
  void SetWaitCursor(bool wait) override;
  void ShowMessage(TMessageKind kind, std::u16string_view text) override;
  void ProcessMessages() override;
  void Close() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnCtlColorStatic(HDC dc, HWND control);
  LRESULT OnSetCursor(WPARAM wParam, LPARAM lParam);
  LRESULT OnClose();
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
  bool IsEscape(const MSG& msg) const;
  bool HandleEscape(const MSG& msg);

  void CreateControls();
  void CreateToolBar();
  HWND CreateLabel(int id, const wchar_t* caption, bool visible);
  int Scaled(int pixels) const;
  void ApplyLayout(bool resizeWindow);
  void LoadIcons();
  int LayOutToolBar();
  int CaptionWidth(const wchar_t* caption) const;
  int LengthLeft() const;
  void PlaceLabel(TLabel label, int left, int top, HFONT font);
  void FitLabel(HWND label);
  HWND Label(TLabel label) const;
  void CenterOnScreen();
  void ReportFailure(const char* what);
  void FlushProgress();
  template <typename Handler>
  void RunHandler(Handler handler);

  HINSTANCE resources_;
  TMainSonderZPlugin form_{*this};
  HWND hwnd_ = nullptr;
  HWND toolBar_ = nullptr;
  HWND toolBarLine_ = nullptr;
  HWND progressBar_ = nullptr;
  HWND labels_[5] = {};
  HIMAGELIST imageList_ = nullptr;
  TGdiObject<HFONT> font_;
  TGdiObject<HFONT> boldFont_;
  int dpi_ = 96;  // the DPI the window is laid out at
  bool waitCursor_ = false;
  bool closeRequested_ = false;
  bool terminated_ = false;
  int quitCode_ = 0;
  int shownProgress_ = -1;
  int pendingProgress_ = 0;
  long long lastProgressSent_ = 0;
  long long lastPeek_ = 0;
  long long peekInterval_ = 0;
  long long progressInterval_ = 0;
};

}  // namespace tavi
