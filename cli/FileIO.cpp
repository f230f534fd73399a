#include "cli/FileIO.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ios>
#include <random>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tavi::cli {
namespace {

namespace fs = std::filesystem;

// Reads go straight into the caller's buffer in pieces this large.
constexpr std::size_t kPieceSize = 256 * 1024;

// A copy over a file that stopped part-way: the temporary file is kept.
class TCopyInterrupted : public TFileError {
 public:
  using TFileError::TFileError;
};

// The C library's reason for a failed stream operation.
std::string StreamReason() { return errno != 0 ? std::strerror(errno) : "read error"; }

std::filesystem::path TemporaryBeside(const std::filesystem::path& target, unsigned attempt) {
  std::random_device seed;
  const unsigned long long tag = (static_cast<unsigned long long>(seed()) << 16) ^ attempt;
  std::filesystem::path name = target.filename();
  name += ".tavi-" + std::to_string(tag) + ".tmp";
  return target.parent_path() / name;
}

#ifdef _WIN32

std::string SystemReason(DWORD code) {
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = "system error " + std::to_string(code);
  if (text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(std::strlen(utf8.c_str()));
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == '.')) utf8.pop_back();
    reason = utf8;
    LocalFree(text);
  }
  return reason;
}

void WriteNewFile(const std::filesystem::path& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw TFileError("cannot create " + Utf8Path(path) + ": " + SystemReason(GetLastError()));
  bool ok = true;
  std::size_t done = 0;
  while (ok && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
    done += written;
  }
  const DWORD error = GetLastError();
  ok = ok && FlushFileBuffers(file);
  CloseHandle(file);
  if (!ok) throw TFileError("cannot write " + Utf8Path(path) + ": " + SystemReason(error));
}

void Commit(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw TFileError("cannot replace " + Utf8Path(to) + ": " + SystemReason(GetLastError()));
  }
}

#else

std::string SystemReason(int code) { return std::strerror(code); }

// The owner, group and permissions a rewritten file keeps.
struct TOwnership {
  mode_t mode = 0644;
  uid_t owner = static_cast<uid_t>(-1);
  gid_t group = static_cast<gid_t>(-1);
};

TOwnership OwnershipOf(const fs::path& target) {
  TOwnership ownership;
  struct stat info = {};
  if (::stat(target.c_str(), &info) == 0) {
    ownership = {static_cast<mode_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
  }
  return ownership;
}

void WriteNewFile(const std::filesystem::path& path, std::string_view bytes, const TOwnership& ownership) {
  const mode_t mode = ownership.mode;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) throw TFileError("cannot create " + Utf8Path(path) + ": " + SystemReason(errno));
  std::size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // The rename must not reach the disk before the data it names.
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  // Only a privileged user may give the file away; a group may be kept
  // where the user belongs to it. Either is kept where the system lets us.
  if (error == 0 && ::fchown(fd, ownership.owner, ownership.group) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), ownership.group) != 0) {
  }
  // umask (and fchown) may have narrowed the mode given to open.
  if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw TFileError("cannot write " + Utf8Path(path) + ": " + SystemReason(error));
}

void Commit(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    throw TFileError("cannot replace " + Utf8Path(to) + ": " + SystemReason(errno));
  }
}

#endif

fs::path FreeTemporaryBeside(const fs::path& target) {
  fs::path temporary;
  for (unsigned attempt = 0;; ++attempt) {
    temporary = TemporaryBeside(target, attempt);
    std::error_code ignored;
    if (!fs::exists(temporary, ignored)) return temporary;
  }
}

#ifdef _WIN32

// The C runtime's stat, under std::filesystem here, always answers one link.
std::uintmax_t LinkCount(const fs::path& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool known = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  return known ? info.nNumberOfLinks : 1;
}

// Writes bytes over the start of an open file, then cuts it to their size.
void OverwriteInPlace(const fs::path& target, std::string_view bytes, const std::function<void()>& interrupted,
                      const fs::path& temporary) {
  HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw TFileError("cannot open " + Utf8Path(target) + ": " + SystemReason(GetLastError()));
  LARGE_INTEGER size = {};
  size.QuadPart = static_cast<LONGLONG>(bytes.size());
  LARGE_INTEGER start = {};
  // Room for the new size first: a full disk stops us before any byte changes.
  LARGE_INTEGER old = {};
  if (!GetFileSizeEx(file, &old) ||
      (old.QuadPart < size.QuadPart && (!SetFilePointerEx(file, size, nullptr, FILE_BEGIN) || !SetEndOfFile(file))) ||
      !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
    const DWORD error = GetLastError();
    CloseHandle(file);
    throw TFileError("cannot make room in " + Utf8Path(target) + ": " + SystemReason(error));
  }
  std::string failure;
  try {
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
      DWORD written = 0;
      ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
      done += written;
    }
    if (ok && interrupted) interrupted();
    ok = ok && SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file) && FlushFileBuffers(file);
    if (!ok) failure = SystemReason(GetLastError());
  } catch (const std::exception& error) {
    failure = error.what();
  }
  CloseHandle(file);
  if (!failure.empty()) {
    throw TCopyInterrupted("cannot rewrite " + Utf8Path(target) + " in place: " + failure + "; its new text is in " +
                     Utf8Path(temporary));
  }
}

#else

std::uintmax_t LinkCount(const fs::path& path) {
  struct stat info = {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_nlink : 1;
}

void OverwriteInPlace(const fs::path& target, std::string_view bytes, const std::function<void()>& interrupted,
                      const fs::path& temporary) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) throw TFileError("cannot open " + Utf8Path(target) + ": " + SystemReason(errno));
  struct stat info = {};
  int error = ::fstat(fd, &info) != 0 ? errno : 0;
  // Room for the new size first: a full disk stops us before any byte
  // changes. File systems without reservation write on as they can.
  if (error == 0 && static_cast<std::uintmax_t>(info.st_size) < bytes.size()) {
    const int reserved = ::posix_fallocate(fd, info.st_size, static_cast<off_t>(bytes.size()) - info.st_size);
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) error = reserved;
  }
  if (error != 0) {
    ::close(fd);
    throw TFileError("cannot make room in " + Utf8Path(target) + ": " + SystemReason(error));
  }
  std::string failure;
  try {
    std::size_t done = 0;
    while (error == 0 && done < bytes.size()) {
      const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      if (n < 0 && errno != EINTR) error = errno;
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (error == 0 && interrupted) interrupted();
    if (error == 0 && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) error = errno;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (error != 0) failure = SystemReason(error);
  } catch (const std::exception& caught) {
    failure = caught.what();
  }
  if (::close(fd) != 0 && failure.empty()) failure = SystemReason(errno);
  if (!failure.empty()) {
    throw TCopyInterrupted("cannot rewrite " + Utf8Path(target) + " in place: " + failure + "; its new text is in " +
                     Utf8Path(temporary));
  }
}

#endif

}  // namespace

fs::path PathFromUtf8(std::string_view utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Path(const fs::path& path) {
  try {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
  } catch (const std::exception&) {
    return "(a name that cannot be shown)";
  }
}

void ReadFileInPieces(const fs::path& path, const std::function<void(std::size_t)>& sized,
                      const std::function<std::size_t(std::string_view, bool)>& consume) {
  std::error_code error;
  if (fs::is_directory(path, error)) throw TFileError("cannot read " + Utf8Path(path) + ": it is a folder");
  errno = 0;
  std::ifstream in;
  // The stream's own buffer would be a second copy of every byte.
  in.rdbuf()->pubsetbuf(nullptr, 0);
  in.open(path, std::ios::binary);
  if (!in) throw TFileError("cannot read " + Utf8Path(path) + ": " + StreamReason());
  const auto size = fs::file_size(path, error);
  if (!error && sized) sized(static_cast<std::size_t>(size));
  std::string buffer(kPieceSize, '\0');
  std::size_t held = 0;
  try {
    for (bool last = false; !last;) {
      in.read(buffer.data() + held, static_cast<std::streamsize>(buffer.size() - held));
      if (in.bad()) throw TFileError("cannot read " + Utf8Path(path) + ": " + StreamReason());
      held += static_cast<std::size_t>(in.gcount());
      last = in.eof();
      const std::size_t used = consume(std::string_view(buffer.data(), held), last);
      std::memmove(buffer.data(), buffer.data() + used, held - used);
      held -= used;
    }
  } catch (const std::ios_base::failure&) {
    // The stream reports some read errors (a folder, a device) by throwing.
    throw TFileError("cannot read " + Utf8Path(path) + ": " + StreamReason());
  }
}

std::string ReadWholeFile(const fs::path& path) {
  std::string bytes;
  ReadFileInPieces(
      path, [&](std::size_t size) { bytes.reserve(size); },
      [&](std::string_view piece, bool) {
        bytes.append(piece);
        return piece.size();
      });
  return bytes;
}

void ReplaceFileAtomically(const fs::path& target, std::string_view bytes, const std::function<void()>& beforeCommit) {
#ifndef _WIN32
  const TOwnership ownership = OwnershipOf(target);
#endif
  const fs::path temporary = FreeTemporaryBeside(target);
  try {
#ifdef _WIN32
    WriteNewFile(temporary, bytes);
#else
    WriteNewFile(temporary, bytes, ownership);
#endif
    if (beforeCommit) beforeCommit();
    Commit(temporary, target);
  } catch (...) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
}

void RewriteInPlace(const fs::path& target, std::string_view bytes, const std::function<void()>& interrupted) {
  const fs::path temporary = FreeTemporaryBeside(target);
  try {
#ifdef _WIN32
    WriteNewFile(temporary, bytes);
#else
    WriteNewFile(temporary, bytes, OwnershipOf(target));
#endif
  } catch (...) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
  try {
    OverwriteInPlace(target, bytes, interrupted, temporary);
  } catch (const TCopyInterrupted&) {
    // Until target is whole again, the temporary file is the only full copy.
    throw;
  } catch (...) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    throw;
  }
  std::error_code ignored;
  fs::remove(temporary, ignored);
}

void RewriteFile(const fs::path& path, std::string_view bytes) {
  std::error_code error;
  fs::path target = path;
  if (fs::is_symlink(path, error)) {
    target = fs::canonical(path, error);
    if (error) throw TFileError("cannot follow the link " + Utf8Path(path) + ": " + error.message());
  }
  if (LinkCount(target) > 1) {
    RewriteInPlace(target, bytes);
  } else {
    ReplaceFileAtomically(target, bytes);
  }
}

}  // namespace tavi::cli

