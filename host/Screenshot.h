// Saves a picture of the whole screen as a 24-bit BMP or PNG file, chosen by
// the file name's ending. Used by the script step "shot" (Driver.cpp).
#pragma once

#include <string>

namespace host {

bool SaveScreenshot(const std::wstring& path, std::wstring& error);

}  // namespace host
