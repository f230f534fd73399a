// The files below a folder that tavi processes with -r: names matched against
// include and exclude patterns, hidden folders and links to folders left out,
// in sorted order so that every run lists them alike.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::cli {

// A shell pattern on one name: "*" any run, "?" one character, "[a-z]" and
// "[!a-z]" one of a set. As in the shell, a leading "." must be matched by a
// "." in the pattern. Letter case counts, except on Windows, whose names
// ignore it.
bool MatchesPattern(std::string_view pattern, std::string_view name);

struct TFolderFilter {
  // A file is taken when its name matches one of these and none of exclude.
  std::vector<std::string> include = {"*.html", "*.htm", "*.xhtml"};
  // Folders whose name matches one of these are not entered.
  std::vector<std::string> exclude;
};

struct TFolderEntry {
  std::filesystem::path path;
  // The path as messages show it: the folder as given, then the path below it.
  std::string shown;
  // Why the entry could not be listed (a folder that cannot be read), or empty.
  std::string error;
};

// Every file below folder that the filter takes, folders entered in sorted
// order of their names. Links to files are taken like files; links to folders
// and folders whose name starts with "." are not entered. A folder that
// cannot be read becomes an entry with its error, and the walk goes on.
std::vector<TFolderEntry> ListFolder(const std::filesystem::path& folder, const std::string& shownAs,
                                     const TFolderFilter& filter);

}  // namespace tavi::cli
