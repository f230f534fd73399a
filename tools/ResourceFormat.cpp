#include "tools/ResourceFormat.h"

#include <cstdint>
#include <limits>

namespace tavi {

namespace {

constexpr std::size_t kTemplateShown = 31;

[[noreturn]] void ThrowInvalid(std::u16string_view Template) {
  std::u16string message = u"Format '";
  message.append(Template.substr(0, kTemplateShown));
  message.append(u"' ungültig oder nicht kompatibel mit Argument");
  throw TConvertError(std::move(message));
}

[[noreturn]] void ThrowMissing(std::u16string_view Template) {
  std::u16string message = u"Kein Argument für Format '";
  message.append(Template.substr(0, kTemplateShown));
  message.push_back(u'\'');
  throw TConvertError(std::move(message));
}

bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }

}  // namespace

TConvertError::TConvertError(std::u16string Message)
    : std::runtime_error(ToUtf8(Message)), message_(std::move(Message)) {}

std::string ToUtf8(std::u16string_view Text) {
  std::string out;
  out.reserve(Text.size());
  for (std::size_t i = 0; i < Text.size(); ++i) {
    std::uint32_t c = Text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < Text.size() && Text[i + 1] >= 0xDC00 &&
        Text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (Text[++i] - 0xDC00u);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::u16string FormatOneText(std::u16string_view Template, std::u16string_view InsertValue) {
  constexpr std::size_t kArguments = 1;
  const std::size_t n = Template.size();
  std::u16string result;
  result.reserve(n + InsertValue.size());
  std::size_t nextArgument = 0;
  std::size_t i = 0;

  // A "*" takes the next argument as a number; the only argument is a text,
  // so it never fits. Returns false when there is no "*".
  const auto star = [&] {
    if (i >= n || Template[i] != u'*') return false;
    ++i;
    if (nextArgument >= kArguments) ThrowMissing(Template);
    ThrowInvalid(Template);
  };
  // Digits saturate, so that a long run cannot overflow; a width that large
  // could not be filled anyway.
  const auto digits = [&](std::size_t& value) {
    const std::size_t begin = i;
    value = 0;
    for (; i < n && IsDigit(Template[i]); ++i) {
      const std::size_t digit = Template[i] - u'0';
      value = value > (std::numeric_limits<std::int32_t>::max() - digit) / 10
                  ? std::numeric_limits<std::int32_t>::max()
                  : value * 10 + digit;
    }
    return i != begin;
  };

  while (i < n) {
    // Copy the plain run up to the next "%" in one go.
    const std::size_t percent = Template.find(u'%', i);
    const std::size_t runEnd = percent == Template.npos ? n : percent;
    result.append(Template.substr(i, runEnd - i));
    i = runEnd;
    if (i == n) break;

    ++i;  // Past "%".
    if (i < n && Template[i] == u'%') {
      result.push_back(u'%');
      ++i;
      continue;
    }

    std::size_t number = 0;
    bool haveNumber = star() || digits(number);
    if (haveNumber && i < n && Template[i] == u':') {
      nextArgument = number;
      ++i;
      haveNumber = false;
    }
    bool leftAligned = false;
    if (!haveNumber && i < n && Template[i] == u'-') {
      leftAligned = true;
      ++i;
    }
    std::size_t width = 0;
    if (haveNumber) {
      width = number;
    } else if (!star()) {
      digits(width);
    }
    std::size_t precision = std::numeric_limits<std::size_t>::max();
    if (i < n && Template[i] == u'.') {
      ++i;
      if (!star()) digits(precision);  // "." alone is a precision of 0.
    }
    if (i == n) ThrowInvalid(Template);  // Cut short before its type.
    const char16_t type = Template[i++];
    if (nextArgument >= kArguments) ThrowMissing(Template);
    if (type != u's') ThrowInvalid(Template);
    ++nextArgument;

    const std::u16string_view value = InsertValue.substr(0, precision);
    const std::size_t fill = width > value.size() ? width - value.size() : 0;
    if (!leftAligned) result.append(fill, u' ');
    result.append(value);
    if (leftAligned) result.append(fill, u' ');
  }
  return result;
}

}  // namespace tavi
