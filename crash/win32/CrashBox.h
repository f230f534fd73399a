// The exception box, "Fehler im Sonderzeichen Plug-in": what happened, where
// the report was saved, and "Bericht anzeigen", "Bericht senden…" and
// "Schließen". A window of its own with its own loop, run by the reporter
// thread, so it works while the host's thread is frozen or broken.
#pragma once

#include <string_view>

namespace tavi::crash {

// summary and report are UTF-8; returns when the user closes the box.
void ShowCrashBox(std::string_view summary, std::string_view report, const wchar_t* path, bool saved);

}  // namespace tavi::crash
