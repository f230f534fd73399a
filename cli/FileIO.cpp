#include "cli/FileIO.h"

#include <cerrno>
#include <cstring>
#include <fstream>
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
  if (file == INVALID_HANDLE_VALUE) throw TFileError("cannot create " + path.string() + ": " + SystemReason(GetLastError()));
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
  if (!ok) throw TFileError("cannot write " + path.string() + ": " + SystemReason(error));
}

void Commit(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw TFileError("cannot replace " + to.string() + ": " + SystemReason(GetLastError()));
  }
}

#else

std::string SystemReason(int code) { return std::strerror(code); }

void WriteNewFile(const std::filesystem::path& path, std::string_view bytes, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) throw TFileError("cannot create " + path.string() + ": " + SystemReason(errno));
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
  // umask may have narrowed the mode given to open.
  if (error == 0 && ::fchmod(fd, mode) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) throw TFileError("cannot write " + path.string() + ": " + SystemReason(error));
}

void Commit(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    throw TFileError("cannot replace " + to.string() + ": " + SystemReason(errno));
  }
}

#endif

}  // namespace

std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw TFileError("cannot read " + path.string() + ": " + SystemReason(errno));
  std::string bytes;
  std::error_code sizeUnknown;
  const auto size = std::filesystem::file_size(path, sizeUnknown);
  if (!sizeUnknown) {
    bytes.resize(static_cast<std::size_t>(size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
  }
  // Whatever the size said, read on to the real end (a file that grew, a pipe).
  if (!in.eof()) {
    in.clear();
    bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (in.bad()) throw TFileError("cannot read " + path.string());
  return bytes;
}

void ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           const std::function<void()>& beforeCommit) {
#ifndef _WIN32
  struct stat info = {};
  // The new file keeps the old one's permissions.
  const mode_t mode = ::stat(target.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
#endif
  std::filesystem::path temporary;
  for (unsigned attempt = 0;; ++attempt) {
    temporary = TemporaryBeside(target, attempt);
    std::error_code ignored;
    if (!std::filesystem::exists(temporary, ignored)) break;
  }
  try {
#ifdef _WIN32
    WriteNewFile(temporary, bytes);
#else
    WriteNewFile(temporary, bytes, mode);
#endif
    if (beforeCommit) beforeCommit();
    Commit(temporary, target);
  } catch (...) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw;
  }
}

}  // namespace tavi::cli
