// The buffer rules of the plug-in's exports, in portable C++: what is
// written into the host's buffers for the display name and the result text.
// plugin/Tavi.cpp applies them to the host's pointers; the tests and the
// fuzzer check them against a model of the host's memory.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace tavi {

inline constexpr std::u16string_view kDisplayName = u"Scrivlex Sonderzeichen Plug-in";

// Writes min(limit, 30) code units of the display name and a NUL: nothing
// but the NUL for a limit of 0 or below. buffer must hold limit + 1 units
// (31 at most are written).
inline void WriteDisplayName(char16_t* buffer, std::int32_t limit) {
  const std::size_t count =
      limit <= 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(limit), kDisplayName.size());
  std::memcpy(buffer, kDisplayName.data(), count * sizeof(char16_t));
  buffer[count] = u'\0';
}

// size: on entry the units the buffer takes without the NUL, on return the
// result's length. Copies the result and a NUL and returns true when it fits;
// otherwise leaves the buffer untouched and returns false. A null buffer
// takes nothing.
inline bool WriteResult(std::u16string_view result, char16_t* buffer, std::uint32_t& size) {
  const std::size_t length = result.size();
  const bool fits = buffer != nullptr && size >= length;
  size = static_cast<std::uint32_t>(std::min<std::size_t>(length, UINT32_MAX));
  if (!fits) return false;
  std::memcpy(buffer, result.data(), length * sizeof(char16_t));
  buffer[length] = u'\0';
  return true;
}

}  // namespace tavi
