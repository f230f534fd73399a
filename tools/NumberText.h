// The number-to-text building blocks behind the toolbox's formatting
// (Tools.h): decimal text, digit grouping and the general text of a double.
// Kept apart so that tests can reach the branches the public operations
// never take.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavi::number_text {

// Digits without leading zeros, "-" in front when negative, "0" for zero.
std::u16string DecimalText(std::int64_t Value);

// Text with the leading run of digits (after an optional "-") grouped by
// threes from the right with Separator; whatever follows the run is copied.
std::u16string Grouped(std::u16string_view Text, char16_t Separator);

// The shortest text of Value with at most 15 significant digits, using
// DecimalSeparator; exponent form ("1.5E20", "1E-7") when the rounded number
// has more than 15 digits before the point or is below 10^-5.
std::u16string GeneralText(double Value, char16_t DecimalSeparator);

// Value rounded to the nearest whole number, an exact half to the even one,
// whatever rounding mode the host left the FPU in.
double RoundHalfEven(double Value);

}  // namespace tavi::number_text
