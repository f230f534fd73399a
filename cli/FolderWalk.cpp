#include "cli/FolderWalk.h"

#include <algorithm>
#include <system_error>

#include "cli/FileIO.h"

namespace tavi::cli {
namespace {

namespace fs = std::filesystem;

char Fold(char c) {
#ifdef _WIN32
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
#endif
  return c;
}

// The length of the UTF-8 character at the start of text (1 for a stray byte).
std::size_t CharLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  return std::min(length, text.size());
}

// Matches the set at pattern[p] ("[" already seen) against the character c;
// p moves past the set. An unclosed "[" is an ordinary character.
bool MatchSet(std::string_view pattern, std::size_t& p, std::string_view c, bool& valid) {
  std::size_t q = p + 1;
  const bool negate = q < pattern.size() && (pattern[q] == '!' || pattern[q] == '^');
  if (negate) ++q;
  bool found = false;
  bool first = true;
  while (q < pattern.size() && (pattern[q] != ']' || first)) {
    first = false;
    const std::string_view low = pattern.substr(q, CharLength(pattern.substr(q)));
    q += low.size();
    std::string_view high = low;
    if (q + 1 < pattern.size() && pattern[q] == '-' && pattern[q + 1] != ']') {
      high = pattern.substr(q + 1, CharLength(pattern.substr(q + 1)));
      q += 1 + high.size();
    }
    if (c.size() == 1 && low.size() == 1 && high.size() == 1) {
      const char x = Fold(c[0]);
      found = found || (Fold(low[0]) <= x && x <= Fold(high[0]));
    } else {
      found = found || c == low || c == high;
    }
  }
  valid = q < pattern.size();
  if (!valid) return false;
  p = q + 1;
  return found != negate;
}

bool Hidden(const fs::path& name) {
  const auto text = name.native();
  return !text.empty() && text[0] == '.';
}

bool AnyMatches(const std::vector<std::string>& patterns, const std::string& name) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](const std::string& pattern) { return MatchesPattern(pattern, name); });
}

class TWalk {
 public:
  TWalk(const TFolderFilter& filter, std::vector<TFolderEntry>& out) : filter_(filter), out_(out) {}

  void Visit(const fs::path& folder, const std::string& shown) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) entries.push_back(*it);
    if (error) {
      out_.push_back({folder, shown, "cannot read the folder: " + error.message()});
      return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& entry : entries) {
      const std::string name = Utf8Path(entry.path().filename());
      const std::string below = shown + "/" + name;
      std::error_code ignored;
      const bool link = entry.is_symlink(ignored);
      if (entry.is_directory(ignored)) {
        // Links to folders are not followed: they could lead round in a loop.
        if (!link && !Hidden(entry.path().filename()) && !AnyMatches(filter_.exclude, name)) Visit(entry.path(), below);
        continue;
      }
      // Pipes and devices would block or never end; a broken link is taken,
      // so that its error is told.
      if (!entry.is_regular_file(ignored) && !link) continue;
      if (AnyMatches(filter_.include, name) && !AnyMatches(filter_.exclude, name)) {
        out_.push_back({entry.path(), below, {}});
      }
    }
  }

 private:
  const TFolderFilter& filter_;
  std::vector<TFolderEntry>& out_;
};

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view name) {
  if (!name.empty() && name[0] == '.' && (pattern.empty() || pattern[0] != '.')) return false;
  // The usual backtracking match: only the last "*" needs to be retried.
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    const std::string_view c = name.substr(n, CharLength(name.substr(n)));
    if (p < pattern.size()) {
      const char q = pattern[p];
      if (q == '*') {
        starP = ++p;
        starN = n;
        continue;
      }
      if (q == '?') {
        ++p;
        n += c.size();
        continue;
      }
      if (q == '[') {
        std::size_t after = p;
        bool valid = false;
        const bool matched = MatchSet(pattern, after, c, valid);
        if (valid && matched) {
          p = after;
          n += c.size();
          continue;
        }
        if (!valid && c.size() == 1 && c[0] == '[') {
          ++p;
          ++n;
          continue;
        }
      } else {
        const std::size_t length = CharLength(pattern.substr(p));
        if (length == c.size() && (c.size() > 1 ? pattern.substr(p, length) == c : Fold(q) == Fold(c[0]))) {
          p += length;
          n += c.size();
          continue;
        }
      }
    }
    if (starP == std::string_view::npos) return false;
    p = starP;
    starN += CharLength(name.substr(starN));
    n = starN;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<TFolderEntry> ListFolder(const fs::path& folder, const std::string& shownAs, const TFolderFilter& filter) {
  std::vector<TFolderEntry> out;
  std::string shown = shownAs;
  while (shown.size() > 1 && (shown.back() == '/' || shown.back() == '\\')) shown.pop_back();
  if (shown == "/") shown.clear();
  TWalk(filter, out).Visit(folder, shown);
  return out;
}

}  // namespace tavi::cli
