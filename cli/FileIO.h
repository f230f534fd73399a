// Whole-file reading and the atomic replacement of a file, for the tavi
// command-line program: a file is rewritten through a temporary file in the
// same folder and a rename, so it is never left half-written or empty.
#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tavi::cli {

class TFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the whole file; throws TFileError with the system's reason.
std::string ReadWholeFile(const std::filesystem::path& path);

// Replaces target's content by bytes: writes a new temporary file beside it,
// flushes it to disk, then renames it over target. beforeCommit runs just
// before the rename (tests use it to fail there). On any failure the
// temporary file is removed, target keeps its old content and TFileError
// (or the hook's exception) is thrown.
void ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           const std::function<void()>& beforeCommit = {});

}  // namespace tavi::cli
