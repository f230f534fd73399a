#include "crash/win32/ReportStore.h"

#include <shlobj.h>

#include <cwchar>

#include "crash/ReportFile.h"

namespace tavi::crash {
namespace {

// Every editor of this user session writes through this one lock.
constexpr wchar_t kLockName[] = L"Local\\TaviBugReportLock";
constexpr DWORD kLockWaitMs = 10000;

bool Append(wchar_t* path, const wchar_t* part) {
  const std::size_t used = std::wcslen(path);
  const std::size_t length = std::wcslen(part);
  if (used + length >= MAX_PATH) return false;
  std::wmemcpy(path + used, part, length + 1);
  return true;
}

// Pages of their own, never the heap that a fault may have broken.
class TPages {
 public:
  explicit TPages(std::size_t bytes)
      : data_(static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE))) {}
  ~TPages() {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
  }
  TPages(const TPages&) = delete;
  TPages& operator=(const TPages&) = delete;
  char* get() const { return data_; }

 private:
  char* data_;
};

class THandle {
 public:
  explicit THandle(HANDLE handle) : handle_(handle) {}
  ~THandle() {
    if (valid()) CloseHandle(handle_);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

bool WriteAll(HANDLE file, const char* data, std::size_t bytes) {
  while (bytes > 0) {
    DWORD written = 0;
    const DWORD chunk = bytes > (1u << 20) ? (1u << 20) : static_cast<DWORD>(bytes);
    if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    bytes -= written;
  }
  return true;
}

// The last cap bytes of the old file at most: a longer one was not ours.
std::size_t ReadOld(const wchar_t* path, char* buffer, std::size_t cap) {
  THandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return 0;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size)) return 0;
  if (static_cast<unsigned long long>(size.QuadPart) > cap) {
    LARGE_INTEGER start = {};
    start.QuadPart = size.QuadPart - static_cast<LONGLONG>(cap);
    SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN);
  }
  std::size_t got = 0;
  DWORD read = 0;
  while (got < cap && ReadFile(file.get(), buffer + got, static_cast<DWORD>(cap - got), &read, nullptr) && read > 0) {
    got += read;
  }
  return got;
}

bool ReplaceFile(const wchar_t* folder, const wchar_t* path, std::string_view kept, bool newline,
                 std::string_view head) {
  wchar_t temp[MAX_PATH] = {};
  if (!GetTempFileNameW(folder, L"bug", 0, temp)) return false;
  bool ok = false;
  {
    THandle file(CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ok = file.valid() && WriteAll(file.get(), kept.data(), kept.size()) &&
         (!newline || WriteAll(file.get(), "\n", 1)) && WriteAll(file.get(), head.data(), head.size()) &&
         FlushFileBuffers(file.get());
  }
  // One step: a reader sees the old file or the new one, never half of it.
  ok = ok && MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temp);
  return ok;
}

}  // namespace

bool ReportFilePath(wchar_t* path) {
  path[0] = L'\0';
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
      path[0] = L'\0';
      return false;
    }
  }
  return Append(path, L"\\Tavi\\bugreport.txt");
}

bool SaveReport(std::string_view report, wchar_t* path) {
  if (!ReportFilePath(path)) return false;
  wchar_t folder[MAX_PATH] = {};
  std::wmemcpy(folder, path, std::wcslen(path) + 1);
  *std::wcsrchr(folder, L'\\') = L'\0';
  CreateDirectoryW(folder, nullptr);  // it may well exist; the write tells

  THandle lock(CreateMutexW(nullptr, FALSE, kLockName));
  if (!lock.valid()) return false;
  const DWORD waited = WaitForSingleObject(lock.get(), kLockWaitMs);
  // An abandoned lock is ours now: its owner died, the file is whole.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) return false;
  TPages old(kReportFileCap);
  bool saved = false;
  if (old.get()) {
    const std::size_t oldBytes = ReadOld(path, old.get(), kReportFileCap);
    const std::string_view existing(old.get(), oldBytes);
    const TFilePlan plan = PlanAppend(existing, report);
    saved = ReplaceFile(folder, path, existing.substr(plan.keepFrom), plan.newline,
                        report.substr(0, plan.reportBytes));
  }
  ReleaseMutex(lock.get());
  return saved;
}

}  // namespace tavi::crash
