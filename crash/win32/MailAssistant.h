// The three-page assistant that hands a report to the user's mail program
// through Simple MAPI: "Was ist passiert?", "Ihre Angaben", "Senden".
// Nothing is sent without the user's click on "Senden" in the mail program.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string_view>

namespace tavi::crash {

// Runs the assistant modally over owner; report and summary are UTF-8.
void ShowMailAssistant(HWND owner, std::string_view summary, std::string_view report, const wchar_t* path);

}  // namespace tavi::crash
