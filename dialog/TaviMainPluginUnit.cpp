#include "dialog/TaviMainPluginUnit.h"

#include "dialog/Compression.h"
#include "html/HTMTools.h"

#include <utility>

namespace tavi {
namespace {

std::u16string DecimalText(std::int64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Runs its action when the scope ends, however it ends.
template <typename Action>
class TScopeExit {
 public:
  explicit TScopeExit(Action action) : action_(std::move(action)) {}
  ~TScopeExit() { action_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Action action_;
};

}  // namespace

void TMainSonderZPlugin::FormShow() { Refresh(); }

void TMainSonderZPlugin::ExitBtnClick() {
  if (running_) return;
  view_.Close();
}

void TMainSonderZPlugin::TaviBtnClick() { RunActions(true, false); }
void TMainSonderZPlugin::CompBtnClick() { RunActions(false, true); }
void TMainSonderZPlugin::SonderZAndCompBtnClick() { RunActions(true, true); }

void TMainSonderZPlugin::Refresh() {
  const bool hasText = !Text.empty();
  view_.SetButtonEnabled(TToolButton::TaviBtn, hasText);
  view_.SetButtonEnabled(TToolButton::CompBtn, hasText);
  view_.SetButtonEnabled(TToolButton::SonderZAndCompBtn, hasText);
  view_.SetLabelCaption(TLabel::TextLenLabel, DecimalText(static_cast<std::int64_t>(Text.size())));
}

void TMainSonderZPlugin::RunActions(bool convert, bool compress) {
  // A click that slips through while an action runs (a message let through
  // by the compression, say) must not start a second one.
  if (running_ || Text.empty()) return;
  running_ = true;
  // Restores the tool bar, the cursor and the refresh however the action
  // ends, even when disabling the tool bar was what failed, so the dialog is
  // usable again before a failure reaches the loop.
  TScopeExit restore([this] { EndActions(); });
  view_.SetToolBarEnabled(false);
  view_.SetWaitCursor(true);

  if (convert) {
    const std::int32_t count = DoConvert(Text);
    view_.ShowMessage(TMessageKind::Information, DecimalText(count) + std::u16string(kConvertedSuffix));
  }
  if (compress) {
    DoCompress(Text);
    view_.ShowMessage(TMessageKind::Information, kCompressedMessage);
  }
  view_.SetProgress(0);
  view_.SetLabelCaption(TLabel::StateLabel, kStateCaption);
}

void TMainSonderZPlugin::EndActions() noexcept {
  running_ = false;
  // Each step on its own, so that one failing call cannot leave the tool bar
  // disabled or the wait cursor on. A failure here has nowhere to go: the
  // action's own failure may already be on its way out.
  const auto attempt = [](auto step) {
    try {
      step();
    } catch (...) {
    }
  };
  attempt([this] { view_.SetToolBarEnabled(true); });
  attempt([this] { view_.SetWaitCursor(false); });
  attempt([this] { Refresh(); });
}

std::int32_t TMainSonderZPlugin::DoConvert(std::u16string& text) {
  TCharCodeSet markup;
  markup.set('&').set('<').set('>');
  std::int32_t count = 0;
  std::u16string converted = ConvertSpecialChars(count, text, false, markup);
  text = std::move(converted);
  return count;
}

void TMainSonderZPlugin::DoCompress(std::u16string& text) {
  TCompressionRun run(view_);
  run.DoCompress(text);
}

}  // namespace tavi
