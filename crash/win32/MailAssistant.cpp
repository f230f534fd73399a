#include "crash/win32/MailAssistant.h"

namespace tavi::crash {

void ShowMailAssistant(HWND owner, std::string_view, std::string_view, const wchar_t* path) {
  // Until the mail assistant is in place, the box says where the report is.
  wchar_t text[MAX_PATH + 200];
  wsprintfW(text, L"Bitte senden Sie die Datei\n%s\nan den Hersteller des Plug-ins.", path);
  MessageBoxW(owner, text, L"Bericht senden", MB_OK | MB_ICONINFORMATION);
}

}  // namespace tavi::crash
