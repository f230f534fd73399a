// Reading files and rewriting them safely, for the tavi command-line program:
// a file is rewritten through a temporary file in the same folder and a
// rename, so it is never left half-written or empty; a link is followed to
// the file it names, and a file of several names is rewritten in place.
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

// A path from UTF-8 text and back, whatever the system's code page.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

// Reads the whole file; throws TFileError with the system's reason.
std::string ReadWholeFile(const std::filesystem::path& path);

// Reads the file in pieces: consume gets the bytes not yet used (at its
// start what it left last time) and whether they are the last, and returns
// how many it used. The file's size, when known, is given first to sized.
// Throws TFileError with the system's reason, or what consume throws.
void ReadFileInPieces(const std::filesystem::path& path, const std::function<void(std::size_t)>& sized,
                      const std::function<std::size_t(std::string_view, bool)>& consume);

// Gives a file new content the way -i does: a symbolic link is followed to
// its target, which is replaced beside itself (the link stays); a file with
// several hard links is rewritten in place (RewriteInPlace) so that all its
// names see the new text; any other file is replaced atomically.
void RewriteFile(const std::filesystem::path& path, std::string_view bytes);

// Overwrites target's content in place, keeping the file itself (its links,
// owner and mode): the new text is first written and flushed to a temporary
// file beside it, room for the new size is reserved, then the text is copied
// over target and flushed, and only then is the temporary file removed. If
// the copy fails, the error names the temporary file, which holds the whole
// new text. beforeCopy runs just before target is first written.
void RewriteInPlace(const std::filesystem::path& target, std::string_view bytes,
                    const std::function<void()>& beforeCopy = {});

// Replaces target's content by bytes: writes a new temporary file beside it,
// flushes it to disk, then renames it over target. beforeCommit runs just
// before the rename (tests use it to fail there). On any failure the
// temporary file is removed, target keeps its old content and TFileError
// (or the hook's exception) is thrown.
void ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           const std::function<void()>& beforeCommit = {});

}  // namespace tavi::cli
