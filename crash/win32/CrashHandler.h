// Crash reporting inside Tavi.dll: a vectored handler for hardware faults
// of the library's own code, a reporter thread that writes the report and
// shows the exception box while the faulting thread waits, the freeze
// watchdog, and the request report of the fourth export. plugin/Tavi.cpp
// calls it at load and unload and at its export barriers; nothing else in
// the library knows of it.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

namespace tavi::crash {

// At load (DllMain may call it: no thread is started or waited for) and at
// unload. freezeMs: how long the host's thread may process no message
// inside the dialog before it counts as frozen.
void InstallCrashHandler(HMODULE library, std::uint32_t freezeMs);
void RemoveCrashHandler();

// True once a fault on the host's thread was recovered from: the library's
// state may be damaged, so ScrivlexPlugInDoWork only shows StoppedBox.
bool Stopped();
void ShowStoppedBox();

// Writes a report of kind "Anfrage" of the calling thread; no box.
bool WriteRequestReport(const wchar_t* reason) noexcept;

// One ScrivlexPlugInDoWork: runs the reporter thread and watches the host's
// thread for freezes from construction to destruction. The barrier captures
// ResumeContext() with RtlCaptureContext and then calls Arm(); after a
// recovered fault, execution continues behind that capture with
// Recovered() true, and the barrier calls TearDown().
class TWorkSession {
 public:
  explicit TWorkSession(std::int64_t textLength);
  ~TWorkSession();
  TWorkSession(const TWorkSession&) = delete;
  TWorkSession& operator=(const TWorkSession&) = delete;

  CONTEXT* ResumeContext();
  void Arm();
  void Disarm();
  bool Recovered() const;
  // Destroys the windows the dialog left, enables the host's windows again
  // and restores the stack's guard page after an overflow.
  void TearDown();
  // A C++ exception that reached the barrier: report and box, then return.
  void ReportCppException(const char* what, const char* barrier) noexcept;

 private:
  HWND before_[64] = {};  // the thread's top-level windows before the dialog
  bool enable_[64] = {};   // those that were enabled and shown
  int beforeCount_ = 0;
};

}  // namespace tavi::crash
