#include "cli/FolderWalk.h"

#include <gtest/gtest.h>

namespace tavi::cli {
namespace {

struct PatternCase {
  const char* pattern;
  const char* name;
  bool matches;
};

const PatternCase kPatterns[] = {
    // Stars and question marks
    {"*.html", "index.html", true},
    {"*.html", "index.htm", false},
    {"*.html", "a.html.bak", false},
    {"*", "", true},
    {"a*b*c", "axxbyyc", true},
    {"a*b*c", "axxbyy", false},
    {"*a*a", "banana", true},
    {"?.htm", "\xC3\xA4.htm", true},  // one character, two bytes
    {"??.htm", "\xC3\xA4.htm", false},
    // Sets
    {"[ab].html", "b.html", true},
    {"[!ab].html", "b.html", false},
    {"[a-c]x", "bx", true},
    {"[a-c]x", "dx", false},
    {"[]]", "]", true},
    {"[x", "[x", true},  // an unclosed set is an ordinary "["
    // A leading dot only matches a dot
    {"*.html", ".hidden.html", false},
    {".*.html", ".hidden.html", true},
    {"?x", ".x", false},
};

TEST(FolderWalk, MatchesShellPatterns) {
  for (const PatternCase& c : kPatterns) {
    EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.matches) << c.pattern << " on " << c.name;
  }
}

}  // namespace
}  // namespace tavi::cli
