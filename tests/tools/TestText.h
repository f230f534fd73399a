// Test helpers for the toolbox tests: UTF-16 texts shown as UTF-8, so that a
// failing comparison prints readable text, and a fixture that pins the
// locale's separators.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tools/Tools.h"

namespace tavi::test {

// Code units as UTF-8, each on its own (a lone surrogate comes out as its
// three-byte form): good enough to read a failure.
inline std::string Utf8(std::u16string_view Text) {
  std::string out;
  out.reserve(Text.size() + 2);
  out.push_back('\'');
  for (char16_t c : Text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  out.push_back('\'');
  return out;
}

// German separators for the duration of a test, whatever the machine's
// locale, and the machine's own afterwards.
class GermanSeparators : public ::testing::Test {
 protected:
  void SetUp() override {
    SetGroupSeparator(u'.');
    SetDecimalSeparator(u',');
  }
  void TearDown() override {
    SetGroupSeparator(group_);
    SetDecimalSeparator(decimal_);
  }

 private:
  char16_t group_ = GroupSeparator();
  char16_t decimal_ = DecimalSeparator();
};

}  // namespace tavi::test
