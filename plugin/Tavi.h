// The C interface of Tavi.dll that the Scrivlex editor calls: the display
// name, the dialog on the host's text, and the resulting text. Every export
// keeps C++ exceptions inside the library.
#pragma once

#include <cstdint>

extern "C" {

// Writes at most limit code units of the display name and a NUL into *name.
void ScrivlexPlugInRegisterPlugin(wchar_t** name, std::int32_t limit) noexcept;

// Shows the dialog on text (NUL-terminated, may be null) and sets *changed to
// 1 when the text handed back differs from text, else 0.
void ScrivlexPlugInDoWork(void* hostValue, const wchar_t* text, std::int32_t hostNumber,
                          std::uint8_t* changed) noexcept;

// Copies the resulting text and a NUL into *buffer when *size (in code units,
// without the NUL) is large enough and returns 1; otherwise returns 0. Either
// way *size becomes the resulting text's length.
std::uint8_t ScrivlexPluginGetResult(wchar_t** buffer, std::uint32_t* size) noexcept;

// Writes a report of kind "Anfrage" with reason (may be null) and the
// calling thread's stack into the report file; 1 when it was saved. No box.
std::uint8_t TaviWriteBugReport(const wchar_t* reason) noexcept;
}
