#include "tools/NumberText.h"

#include <charconv>
#include <cmath>

namespace tavi::number_text {

namespace {
bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }
}  // namespace

std::u16string DecimalText(std::int64_t Value) {
  // The magnitude is taken unsigned so that the most negative value has one.
  std::uint64_t magnitude = Value < 0 ? 0 - static_cast<std::uint64_t>(Value)
                                      : static_cast<std::uint64_t>(Value);
  char16_t buffer[20];
  char16_t* const end = buffer + sizeof buffer / sizeof buffer[0];
  char16_t* first = end;
  do {
    *--first = static_cast<char16_t>(u'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (Value < 0) *--first = u'-';
  return std::u16string(first, end);
}

std::u16string Grouped(std::u16string_view Text, char16_t Separator) {
  const std::size_t digitsBegin = !Text.empty() && Text[0] == u'-' ? 1 : 0;
  std::size_t digitsEnd = digitsBegin;
  while (digitsEnd < Text.size() && IsDigit(Text[digitsEnd])) ++digitsEnd;
  const std::size_t digits = digitsEnd - digitsBegin;
  const std::size_t separators = digits == 0 ? 0 : (digits - 1) / 3;

  std::u16string result;
  result.reserve(Text.size() + separators);
  result.append(Text.substr(0, digitsBegin));
  for (std::size_t i = 0; i < digits; ++i) {
    // i digits are written, digits - i remain: a group starts whenever the
    // remainder is a multiple of three, except at the very first digit.
    if (i != 0 && (digits - i) % 3 == 0) result.push_back(Separator);
    result.push_back(Text[digitsBegin + i]);
  }
  result.append(Text.substr(digitsEnd));
  return result;
}

std::u16string GeneralText(double Value, char16_t DecimalSeparator) {
  if (std::isnan(Value)) return u"NAN";
  if (std::isinf(Value)) return Value < 0 ? u"-INF" : u"INF";
  if (Value == 0) return u"0";

  // Scientific form with 15 significant digits does the rounding once, in
  // the C++ library rather than by hand, and is locale-independent:
  // "-d.dddddddddddddde+XX".
  char buffer[32];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::scientific, 14);
  (void)error;  // 32 characters always suffice for 15 digits and an exponent.
  const char* p = buffer;
  const bool negative = *p == '-';
  if (negative) ++p;
  char digits[15];
  std::size_t count = 0;
  for (; p != end && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits[count++] = *p;
  // to_chars writes no terminating NUL, so the exponent is read within
  // [p, end) only; from_chars does not take the "+" that to_chars writes.
  const char* exponentText = p + 1;
  if (exponentText != end && *exponentText == '+') ++exponentText;
  int exponent = 0;
  std::from_chars(exponentText, end, exponent);
  while (count > 1 && digits[count - 1] == '0') --count;

  std::u16string result;
  result.reserve(24);
  if (negative) result.push_back(u'-');
  if (exponent >= 15 || exponent < -5) {
    result.push_back(static_cast<char16_t>(digits[0]));
    if (count > 1) result.push_back(DecimalSeparator);
    for (std::size_t i = 1; i < count; ++i) result.push_back(static_cast<char16_t>(digits[i]));
    result.push_back(u'E');
    for (char c : std::to_string(exponent)) result.push_back(static_cast<char16_t>(c));
  } else if (exponent >= 0) {
    const std::size_t whole = static_cast<std::size_t>(exponent) + 1;
    for (std::size_t i = 0; i < whole; ++i)
      result.push_back(i < count ? static_cast<char16_t>(digits[i]) : u'0');
    if (count > whole) result.push_back(DecimalSeparator);
    for (std::size_t i = whole; i < count; ++i) result.push_back(static_cast<char16_t>(digits[i]));
  } else {
    result.push_back(u'0');
    result.push_back(DecimalSeparator);
    result.append(static_cast<std::size_t>(-exponent - 1), u'0');
    for (std::size_t i = 0; i < count; ++i) result.push_back(static_cast<char16_t>(digits[i]));
  }
  return result;
}

double RoundHalfEven(double Value) {
  // floor and the subtraction below are exact, so this does not depend on
  // the FPU's rounding mode, which a host may have changed.
  const double below = std::floor(Value);
  const double fraction = Value - below;
  if (fraction < 0.5) return below;
  if (fraction > 0.5) return below + 1;
  return std::fmod(below, 2.0) == 0 ? below : below + 1;
}

}  // namespace tavi::number_text
