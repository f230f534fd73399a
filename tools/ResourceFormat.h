// The format rules of the toolbox's string resources (Tools.h,
// LoadStrResource): a template with exactly one text argument. Portable, so
// that the rules are tested on every build; only the loading of the
// resource is Windows code.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tavi {

// A template that does not fit its one text argument. Message() is the
// German text for the user, exactly as it must be shown; what() is the same
// text in UTF-8, for handlers that only know std::exception.
class TConvertError : public std::runtime_error {
 public:
  explicit TConvertError(std::u16string Message);
  const std::u16string& Message() const noexcept { return message_; }

 private:
  std::u16string message_;
};

// Template with each placeholder of the form
//   "%" [index ":"] ["-"] [width] ["." precision] "s"
// replaced by InsertValue, cut to precision code units and filled with
// spaces to width (on the left, on the right after "-"); "%%" stands for
// "%"; everything else is copied. The only argument has index 0, and each
// placeholder without an index takes the argument after the previous one.
// Throws TConvertError: "Kein Argument für Format '…'" when a placeholder (or
// a "*" for width, precision or index) asks for an argument past the first,
// and "Format '…' ungültig oder nicht kompatibel mit Argument" for any other
// conversion or a placeholder cut short; "…" is the template's first 31 code
// units.
std::u16string FormatOneText(std::u16string_view Template, std::u16string_view InsertValue);

// UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view Text);

}  // namespace tavi
