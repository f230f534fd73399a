// Saves a report into %LOCALAPPDATA%\Tavi\bugreport.txt by the file rules of
// crash/ReportFile.h: a temporary file in the same folder replaces the old
// one in one step, and writers of all processes take turns through a named
// lock. Allocates nothing on the heap.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string_view>

namespace tavi::crash {

// The report file's full path into path (MAX_PATH units); false when the
// user's folder is unknown.
bool ReportFilePath(wchar_t* path);

// Appends report; path receives the file's path even when saving fails.
bool SaveReport(std::string_view report, wchar_t* path);

}  // namespace tavi::crash
