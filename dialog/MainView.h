// The narrow view of the conversion dialog: the user-interface operations
// that the dialog's logic (TaviMainPluginUnit.h) and the compression run
// (Compression.h) need. The Win32 window (win32/Win32MainView.h) implements
// it; the tests implement it with a recording fake.
#pragma once

#include <string_view>

namespace tavi {

enum class TToolButton { ExitBtn, TaviBtn, CompBtn, SonderZAndCompBtn };
enum class TLabel { StateLabel, ScriptLabel, PreLabel, Label1, TextLenLabel };
enum class TMessageKind { Information, Error };

class IMainView {
 public:
  virtual ~IMainView() = default;

  virtual void SetToolBarEnabled(bool enabled) = 0;
  virtual void SetButtonEnabled(TToolButton button, bool enabled) = 0;
  virtual void SetLabelCaption(TLabel label, std::u16string_view caption) = 0;
  virtual void SetLabelVisible(TLabel label, bool visible) = 0;
  // Position 0 to 100.
  virtual void SetProgress(int position) = 0;
  virtual void SetWaitCursor(bool wait) = 0;
  // Modal; returns when the user has dismissed the box. Information boxes are
  // captioned "Informationen", error boxes "Fehler".
  virtual void ShowMessage(TMessageKind kind, std::u16string_view text) = 0;
  // Lets pending window messages through (repaint, the close command).
  virtual void ProcessMessages() = 0;
  // Ends the modal loop once the current handler has returned.
  virtual void Close() = 0;
};

}  // namespace tavi
