// The conversion dialog's logic: TMainSonderZPlugin holds the document text,
// applies the refresh rule and runs the tool-bar actions. It sees the window
// only through IMainView (MainView.h), so it runs unchanged in the Win32
// dialog (win32/Win32MainView.h) and in the tests' recording fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dialog/MainView.h"

namespace tavi {

inline constexpr std::u16string_view kStateCaption = u"Status aktueller Text:";
inline constexpr std::u16string_view kConvertedSuffix = u" Sonderzeichen konvertiert.";
inline constexpr std::u16string_view kCompressedMessage = u"Komprimierung beendet.";

class TMainSonderZPlugin {
 public:
  explicit TMainSonderZPlugin(IMainView& view) : view_(view) {}
  TMainSonderZPlugin(const TMainSonderZPlugin&) = delete;
  TMainSonderZPlugin& operator=(const TMainSonderZPlugin&) = delete;

  // The document text being worked on (UTF-16 code units).
  std::u16string Text;

  void FormShow();
  void ExitBtnClick();
  void TaviBtnClick();
  void CompBtnClick();
  void SonderZAndCompBtnClick();

  // True while an action runs; the view may use it to hold back the close
  // command until the action has ended.
  bool Running() const { return running_; }

 private:
  void Refresh();
  void RunActions(bool convert, bool compress);
  void EndActions() noexcept;
  std::int32_t DoConvert(std::u16string& text);
  void DoCompress(std::u16string& text);

  IMainView& view_;
  bool running_ = false;
};

}  // namespace tavi
