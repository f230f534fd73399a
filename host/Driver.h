// Drives a plug-in's dialog from a second thread of the test host as a person
// would: finds the dialog, clicks its tool-bar buttons with real mouse input,
// answers message boxes, and prints what it sees (HostIO.h). HostMain.cpp
// runs it while the UI thread sits in ScrivlexPlugInDoWork.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "Win32Handles.h"

namespace host {

enum class StepKind { Click, Hold, Auto, Answer, Box, Idle, State, Layout, HostWindow, Close, Escape, DpiChanged, Sleep,
                      Shot, Press, NoDialog };

struct Step {
  StepKind kind = StepKind::Idle;
  std::wstring text;           // as written in the script, for error lines
  std::wstring argument;       // click: the caption; shot: the file
  unsigned milliseconds = 0;   // sleep; dpi-changed: the new DPI
};

// Parses steps separated by ";", e.g. "click:Sonderzeichen; idle; state".
bool ParseScript(std::wstring_view script, std::vector<Step>& steps, std::wstring& error);

// The help text's list of steps, shared with the usage text.
extern const wchar_t kScriptHelp[];

struct DriverSettings {
  HWND hostWindow = nullptr;   // the host's own main window, never the dialog
  DWORD timeoutMs = 20000;     // for every wait of a step
  bool timing = false;         // print the time from the last click to each message box
};

class ScriptDriver {
 public:
  // Construct on the UI thread: it watches that thread's input from here on.
  ScriptDriver(std::vector<Step> steps, DriverSettings settings);
  ScriptDriver(const ScriptDriver&) = delete;
  ScriptDriver& operator=(const ScriptDriver&) = delete;

  // The driver thread's body. Returns once the plug-in has returned.
  void Run();
  // Called by the UI thread when ScrivlexPlugInDoWork has returned.
  void PluginReturned() { pluginReturned_ = true; }
  bool Failed() const { return failed_; }

 private:
  struct StepError {
    std::wstring what;
  };
  struct ToolButton {
    int index = 0;
    int command = 0;
    std::wstring caption;
    bool enabled = false;
    RECT rect = {};  // tool-bar client coordinates
  };

  void FindDialog();
  void Execute(const Step& step);
  void Finish();

  void Click(const std::wstring& caption);
  void Press(const std::wstring& caption);
  void PrintState();
  void PrintLayout();
  void PressEscape();
  void ChangeDpi(unsigned dpi);
  void AnswerOne();
  HWND AwaitBox();
  void WaitIdle();
  void SleepServicing(unsigned milliseconds);

  HWND Dialog() const;
  HWND FirstMessageBox() const;
  void ServiceMessageBoxes(bool force);
  void Answer(HWND box);
  std::vector<ToolButton> ReadButtons() const;
  LRESULT Query(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const;
  std::wstring WindowText(HWND window) const;
  void Barrier();

  template <typename Done>
  void WaitFor(Done done, std::wstring_view what, bool service);

  std::vector<Step> steps_;
  DriverSettings settings_;
  UniqueHook inputHook_;
  std::atomic<bool> pluginReturned_{false};
  std::atomic<bool> failed_{false};
  bool autoAnswer_ = true;
  bool closePosted_ = false;
  HWND dialog_ = nullptr;
  HWND toolBar_ = nullptr;
  HWND progressBar_ = nullptr;
  unsigned currentDpi_ = 0;      // the DPI the last dpi-changed step gave
  HANDLE dpiContext_ = nullptr;  // the UI thread's DPI awareness, taken on by the driver
  long long clickTicks_ = 0;  // QueryPerformanceCounter at the last click
};

}  // namespace host
