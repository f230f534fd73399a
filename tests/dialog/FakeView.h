// A recording IMainView for the dialog's and the compression's tests: every
// call is logged as one readable line, and a call can be made to fail.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialog/MainView.h"

namespace tavi {

inline std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += "\\u" + std::to_string(static_cast<unsigned>(c));
    }
  }
  return out;
}

inline const char* Name(TToolButton b) {
  switch (b) {
    case TToolButton::ExitBtn: return "ExitBtn";
    case TToolButton::TaviBtn: return "TaviBtn";
    case TToolButton::CompBtn: return "CompBtn";
    case TToolButton::SonderZAndCompBtn: return "SonderZAndCompBtn";
  }
  return "?";
}

inline const char* Name(TLabel l) {
  switch (l) {
    case TLabel::StateLabel: return "StateLabel";
    case TLabel::ScriptLabel: return "ScriptLabel";
    case TLabel::PreLabel: return "PreLabel";
    case TLabel::Label1: return "Label1";
    case TLabel::TextLenLabel: return "TextLenLabel";
  }
  return "?";
}

class FakeView : public IMainView {
 public:
  std::vector<std::string> calls;
  // Called before each call is logged, with the call's line; it may throw to
  // inject a failure at a chosen point.
  std::function<void(const std::string&)> before;
  // Lets a test act inside a message box or a message-processing point.
  std::function<void(const std::string&)> onMessage;
  std::function<void()> onProcess;

  int progress = 0;
  bool toolBarEnabled = true;
  bool waitCursor = false;
  bool closed = false;
  bool buttons[4] = {true, false, false, false};
  bool visible[5] = {true, false, false, true, true};
  std::u16string captions[5];
  std::vector<std::string> messages;
  int processCount = 0;

  void SetToolBarEnabled(bool enabled) override {
    Log("ToolBar " + OnOff(enabled));
    toolBarEnabled = enabled;
  }
  void SetButtonEnabled(TToolButton button, bool enabled) override {
    Log(std::string(Name(button)) + " " + OnOff(enabled));
    buttons[static_cast<int>(button)] = enabled;
  }
  void SetLabelCaption(TLabel label, std::u16string_view caption) override {
    Log(std::string(Name(label)) + " '" + Narrow(caption) + "'");
    captions[static_cast<int>(label)] = std::u16string(caption);
  }
  void SetLabelVisible(TLabel label, bool show) override {
    Log(std::string(Name(label)) + (show ? " shown" : " hidden"));
    visible[static_cast<int>(label)] = show;
  }
  void SetProgress(int position) override {
    Log("Progress " + std::to_string(position));
    progress = position;
  }
  void SetWaitCursor(bool wait) override {
    Log(wait ? "Cursor wait" : "Cursor default");
    waitCursor = wait;
  }
  void ShowMessage(TMessageKind kind, std::u16string_view text) override {
    const std::string line = std::string(kind == TMessageKind::Error ? "Fehler: " : "Informationen: ") + Narrow(text);
    Log(line);
    messages.push_back(line);
    if (onMessage) onMessage(line);
  }
  void ProcessMessages() override {
    Log("Process");
    ++processCount;
    if (onProcess) onProcess();
  }
  void Close() override {
    Log("Close");
    closed = true;
  }

  bool Enabled(TToolButton b) const { return buttons[static_cast<int>(b)]; }
  bool Visible(TLabel l) const { return visible[static_cast<int>(l)]; }
  std::u16string Caption(TLabel l) const { return captions[static_cast<int>(l)]; }

 private:
  static std::string OnOff(bool on) { return on ? "on" : "off"; }
  void Log(const std::string& line) {
    if (before) before(line);
    calls.push_back(line);
  }
};

}  // namespace tavi
