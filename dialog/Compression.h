// The compression run of the dialog: compresses HTML text outside its script
// and pre sections, moving the dialog's progress bar and letting window
// messages through as it goes. One TCompressionRun lives for one
// TMainSonderZPlugin::DoCompress call and reaches the window through IMainView.
#pragma once

#include <string>

#include "dialog/MainView.h"

namespace tavi {

class TCompressionRun {
 public:
  explicit TCompressionRun(IMainView& view) : view_(view) {}

  // Compresses text in place; replaces it only when a counted change was made
  // and no section end was missing. Raises nothing.
  void DoCompress(std::u16string& text);

 private:
  IMainView& view_;
};

}  // namespace tavi
