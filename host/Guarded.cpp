#include "Guarded.h"

#include <atomic>
#include <string>

#include "HostIO.h"

namespace host {
namespace {

struct GuardPage {
  std::atomic<const std::uint8_t*> page{nullptr};
  std::size_t bytes = 0;
  const wchar_t* buffer = nullptr;
};

// The host passes a handful of buffers at a time; a fixed table keeps the
// fault handler free of locks and allocation.
GuardPage g_pages[64];

LONG CALLBACK ReportGuardPageFault(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (record.ExceptionCode != EXCEPTION_ACCESS_VIOLATION || record.NumberParameters < 2) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const auto* address = reinterpret_cast<const std::uint8_t*>(record.ExceptionInformation[1]);
  for (const GuardPage& entry : g_pages) {
    const std::uint8_t* page = entry.page.load();
    if (page == nullptr || address < page || address >= page + entry.bytes) continue;
    const wchar_t* kind = record.ExceptionInformation[0] == 1 ? L"wrote" : L"read";
    PrintLine(std::wstring(L"fault: the plug-in ") + kind + L" past the end of the " + entry.buffer +
              L" buffer (byte " + std::to_wstring(address - page) + L" behind it)");
    TerminateProcess(GetCurrentProcess(), 3);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void RememberGuardPage(const void* page, std::size_t bytes, const wchar_t* buffer) {
  for (GuardPage& entry : g_pages) {
    if (entry.page.load() != nullptr) continue;
    entry.bytes = bytes;
    entry.buffer = buffer;
    entry.page.store(static_cast<const std::uint8_t*>(page));
    return;
  }
  // A full table only means a fault there is reported as a plain crash.
}

void ForgetGuardPage(const void* page) {
  for (GuardPage& entry : g_pages) {
    if (entry.page.load() == page) entry.page.store(nullptr);
  }
}

void InstallGuardPageHandler() { AddVectoredExceptionHandler(1, ReportGuardPageFault); }

}  // namespace host
