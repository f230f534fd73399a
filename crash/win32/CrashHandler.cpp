#include "crash/win32/CrashHandler.h"

#include <commctrl.h>
#include <psapi.h>

#include <atomic>
#include <cstring>
#include <cwchar>

#include "crash/CrashReport.h"
#include "crash/ReportFile.h"
#include "crash/win32/CrashBox.h"
#include "crash/win32/ReportStore.h"

namespace tavi::crash {
namespace {

constexpr std::size_t kMaxFrames = 64;
constexpr std::size_t kMaxModules = 512;
constexpr std::size_t kTextBytes = kReportFileCap;
constexpr std::size_t kArenaBytes = 256 * 1024;
// Going back to the barrier after a fault on the host's thread is built but
// off: under Wine, once the context has left a window procedure that way,
// every later window call of the thread (DestroyWindow, ShowWindow) blocks,
// so the editor would hang instead of ending. Until that is solved the
// fault is reported and then left to the system, as before.
constexpr bool kRecoverOnHostThread = false;

// Everything a report needs, in pages of its own: the reporter never
// touches the heap that a fault may have broken.
struct TReportMemory {
  char text[kTextBytes];
  char summary[1024];
  char arena[kArenaBytes];  // module paths, versions, the time
  TModuleInfo modules[kMaxModules];
  std::uint64_t frames[kMaxFrames];
  std::uint64_t registers[kRegisterCount];
  wchar_t path[MAX_PATH];
};

TReportMemory* NewMemory() {
  return static_cast<TReportMemory*>(
      VirtualAlloc(nullptr, sizeof(TReportMemory), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
}

// What a faulting thread hands the reporter.
struct TRequest {
  TReportKind kind = TReportKind::Exception;
  EXCEPTION_RECORD record;
  CONTEXT context;
  DWORD threadId = 0;
  bool hostThread = false;
  bool cpp = false;
  char what[256];
  const char* barrier = "";
};

struct TState {
  HMODULE library = nullptr;
  std::uint64_t imageBase = 0;
  std::uint64_t imageSize = 0;
  std::uint32_t freezeMs = 300000;
  PVOID handler = nullptr;
  TReportMemory* memory = nullptr;  // the reporter's, from load to unload

  // The session of the running ScrivlexPlugInDoWork.
  std::atomic<bool> sessionActive{false};
  DWORD hostThreadId = 0;
  HANDLE hostThread = nullptr;
  HANDLE reporter = nullptr;
  HANDLE requestEvent = nullptr;
  HANDLE doneEvent = nullptr;
  HANDLE stopEvent = nullptr;
  HHOOK getMessageHook = nullptr;
  HHOOK callWndHook = nullptr;
  HWND probeWindow = nullptr;  // a message-only window of the host's thread
  std::int64_t textLength = -1;
  char lastAction[128] = {};

  // Hand-off: one request at a time.
  std::atomic<long> handOff{0};
  TRequest request;

  // Recovery on the host's thread.
  alignas(16) CONTEXT resume;
  std::atomic<bool> armed{false};
  std::atomic<bool> recovered{false};
  std::atomic<bool> stopped{false};
  std::atomic<DWORD> handlingThread{0};
  std::atomic<DWORD> reporterThread{0};  // a fault there is never reported

  // The freeze watchdog.
  std::atomic<unsigned long long> lastMessage{0};
  std::atomic<bool> probePending{false};
  std::atomic<bool> reporting{false};  // the host's thread waits for a report
};

TState g;

bool IsWatchedCode(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_STACK_OVERFLOW:
      return true;
    default:
      return false;
  }
}

bool InImage(const void* address) {
  const auto value = reinterpret_cast<std::uint64_t>(address);
  return value >= g.imageBase && value - g.imageBase < g.imageSize;
}

std::uint64_t ImageSize(HMODULE module) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.SizeOfImage;
}

// ---- gathering the facts, without the heap ----

class TArena {
 public:
  explicit TArena(char* data) : data_(data) {}
  // Copies text in; an empty view when the arena is full.
  std::string_view Keep(std::string_view text) {
    if (used_ + text.size() > kArenaBytes) return {};
    std::memcpy(data_ + used_, text.data(), text.size());
    const std::string_view kept(data_ + used_, text.size());
    used_ += text.size();
    return kept;
  }
  std::string_view KeepWide(const wchar_t* text) {
    const int room = static_cast<int>(kArenaBytes - used_);
    const int bytes = room > 0 ? WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(std::wcslen(text)),
                                                     data_ + used_, room, nullptr, nullptr)
                               : 0;
    const std::string_view kept(data_ + used_, bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    used_ += kept.size();
    return kept;
  }

 private:
  char* data_;
  std::size_t used_ = 0;
};

// The file version of a loaded module from its version resource, read in
// place (no version.dll, no allocation).
std::string_view ModuleVersion(HMODULE module, TArena& arena) {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));  // RT_VERSION
  if (!resource) return {};
  HGLOBAL loaded = LoadResource(module, resource);
  const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD size = SizeofResource(module, resource);
  if (!data) return {};
  for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, data + at, sizeof info);
    if (info.dwSignature != 0xFEEF04BD) continue;
    char text[64];
    TTextBuffer out(text, sizeof text);
    out.AppendDecimal(std::uint64_t{HIWORD(info.dwFileVersionMS)});
    out.Append(".");
    out.AppendDecimal(std::uint64_t{LOWORD(info.dwFileVersionMS)});
    out.Append(".");
    out.AppendDecimal(std::uint64_t{HIWORD(info.dwFileVersionLS)});
    out.Append(".");
    out.AppendDecimal(std::uint64_t{LOWORD(info.dwFileVersionLS)});
    return arena.Keep(out.View());
  }
  return {};
}

std::size_t GatherModules(TModuleInfo* modules, TArena& arena) {
  static HMODULE handles[kMaxModules];
  DWORD needed = 0;
  if (!K32EnumProcessModules(GetCurrentProcess(), handles, sizeof handles, &needed)) return 0;
  std::size_t count = needed / sizeof(HMODULE);
  if (count > kMaxModules) count = kMaxModules;
  for (std::size_t i = 0; i < count; ++i) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(handles[i], path, MAX_PATH);
    TModuleInfo& info = modules[i];
    info.path = arena.KeepWide(path);
    const std::size_t slash = info.path.rfind('\\');
    info.name = slash == std::string_view::npos ? info.path : info.path.substr(slash + 1);
    info.base = reinterpret_cast<std::uint64_t>(handles[i]);
    info.size = ImageSize(handles[i]);
    info.version = ModuleVersion(handles[i], arena);
  }
  return count;
}

bool Readable(std::uint64_t address) {
  MEMORY_BASIC_INFORMATION region = {};
  if (!VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region)) return false;
  const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                         PAGE_WRITECOPY | PAGE_EXECUTE_WRITECOPY;
  return region.State == MEM_COMMIT && (region.Protect & readable) && !(region.Protect & PAGE_GUARD);
}

// Walks a stack by the x64 unwind data of its code.
std::size_t WalkStack(CONTEXT context, std::uint64_t* frames) {
  std::size_t count = 0;
  while (count < kMaxFrames && context.Rip != 0) {
    frames[count++] = context.Rip;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(context.Rip, &imageBase, nullptr);
    const std::uint64_t before = context.Rsp;
    if (function) {
      PVOID handlerData = nullptr;
      DWORD64 frame = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, context.Rip, function, &context, &handlerData, &frame,
                       nullptr);
    } else {
      // A leaf function: the return address is on top of the stack.
      if (!Readable(context.Rsp)) break;
      context.Rip = *reinterpret_cast<const DWORD64*>(context.Rsp);
      context.Rsp += 8;
    }
    if (context.Rsp <= before && function) break;  // no progress: a broken stack
  }
  return count;
}

void LocalTime(TTextBuffer& out) {
  SYSTEMTIME local = {};
  SYSTEMTIME utc = {};
  GetLocalTime(&local);
  GetSystemTime(&utc);
  FILETIME localFile = {};
  FILETIME utcFile = {};
  SystemTimeToFileTime(&local, &localFile);
  SystemTimeToFileTime(&utc, &utcFile);
  const auto ticks = [](FILETIME t) {
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  };
  const long long minutes = (ticks(localFile) - ticks(utcFile) + 300000000LL) / 600000000LL;  // rounded
  const auto two = [&](unsigned value) {
    const char digits[2] = {static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
    out.Append(std::string_view(digits, 2));
  };
  out.AppendDecimal(std::uint64_t{local.wYear});
  out.Append("-");
  two(local.wMonth);
  out.Append("-");
  two(local.wDay);
  out.Append("T");
  two(local.wHour);
  out.Append(":");
  two(local.wMinute);
  out.Append(":");
  two(local.wSecond);
  out.Append(minutes < 0 ? "-" : "+");
  const auto offset = static_cast<unsigned>(minutes < 0 ? -minutes : minutes);
  two(offset / 60);
  out.Append(":");
  two(offset % 60);
}

void SystemVersions(TArena& arena, TReportFacts& facts) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  using WineVersionFn = const char*(CDECL*)();
  auto getVersion = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
  char text[64];
  TTextBuffer out(text, sizeof text);
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (getVersion && getVersion(&version) == 0) {
    out.AppendDecimal(std::uint64_t{version.dwMajorVersion});
    out.Append(".");
    out.AppendDecimal(std::uint64_t{version.dwMinorVersion});
    out.Append(".");
    out.AppendDecimal(std::uint64_t{version.dwBuildNumber});
  } else {
    out.Append("unbekannt");
  }
  facts.windowsVersion = arena.Keep(out.View());
  auto wine = reinterpret_cast<WineVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
  if (wine) {
    const char* name = wine();
    if (name) facts.wineVersion = arena.Keep(std::string_view(name, strnlen(name, 64)));
  }
}

void CopyRegisters(const CONTEXT& c, std::uint64_t* r) {
  const std::uint64_t values[kRegisterCount] = {c.Rax, c.Rbx, c.Rcx, c.Rdx, c.Rsi, c.Rdi, c.Rbp, c.Rsp, c.R8,
                                                c.R9,  c.R10, c.R11, c.R12, c.R13, c.R14, c.R15, c.Rip};
  std::memcpy(r, values, sizeof values);
}

// Builds the report of one request into memory->text; the facts point into memory.
void BuildReport(const TRequest& request, TReportMemory& memory, const char* reason) {
  TArena arena(memory.arena);
  TReportFacts facts;
  facts.kind = request.kind;
  char time[64];
  TTextBuffer timeText(time, sizeof time);
  LocalTime(timeText);
  facts.time = arena.Keep(timeText.View());
  const std::size_t moduleCount = GatherModules(memory.modules, arena);
  facts.modules = std::span<const TModuleInfo>(memory.modules, moduleCount);
  facts.libraryBase = g.imageBase;
  for (const TModuleInfo& module : facts.modules) {
    if (module.base == g.imageBase) {
      facts.libraryPath = module.path;
      facts.libraryVersion = module.version;
    }
    if (module.base == reinterpret_cast<std::uint64_t>(GetModuleHandleW(nullptr))) {
      facts.hostPath = module.path;
      facts.hostVersion = module.version;
    }
  }
  SystemVersions(arena, facts);
  facts.code = request.record.ExceptionCode;
  facts.address = reinterpret_cast<std::uint64_t>(request.record.ExceptionAddress);
  facts.cppException = request.cpp;
  facts.cppWhat = request.what;
  facts.barrier = request.barrier;
  if ((facts.code == EXCEPTION_ACCESS_VIOLATION || facts.code == EXCEPTION_IN_PAGE_ERROR) &&
      request.record.NumberParameters >= 2 && !request.cpp) {
    facts.hasAccess = true;
    facts.accessKind = request.record.ExceptionInformation[0];
    facts.accessAddress = request.record.ExceptionInformation[1];
  }
  facts.threadId = request.threadId;
  facts.hostThread = request.hostThread;
  if (request.kind == TReportKind::Exception && !request.cpp) {
    CopyRegisters(request.context, memory.registers);
    facts.registers = memory.registers;
  }
  facts.stack = std::span<const std::uint64_t>(memory.frames, WalkStack(request.context, memory.frames));
  facts.freezeMs = g.freezeMs;
  if (reason) facts.reason = reason;
  facts.lastAction = g.lastAction;
  facts.textLength = g.textLength;

  TTextBuffer text(memory.text, sizeof memory.text);
  AppendReport(text, facts);
  TTextBuffer summary(memory.summary, sizeof memory.summary - 1);
  AppendSummary(summary, facts);
  memory.summary[summary.Size()] = '\0';
  memory.text[text.Size() < sizeof memory.text ? text.Size() : sizeof memory.text - 1] = '\0';
}

std::size_t TextLength(const TReportMemory& memory) { return strnlen(memory.text, sizeof memory.text); }

void ReportAndShow(const TRequest& request) {
  TReportMemory& memory = *g.memory;
  BuildReport(request, memory, nullptr);
  const std::string_view report(memory.text, TextLength(memory));
  const bool saved = SaveReport(report, memory.path);
  ShowCrashBox(memory.summary, report, memory.path, saved);
}

// ---- the freeze watchdog ----

void NoteMessage() {
  g.lastMessage = GetTickCount64();
  g.probePending = false;
}

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) NoteMessage();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Sent messages count as well, and a tool-bar command names the action.
LRESULT CALLBACK CallWndHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    NoteMessage();
    const auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (message->message == WM_COMMAND && message->lParam != 0) {
      const auto bar = reinterpret_cast<HWND>(message->lParam);
      wchar_t name[32] = {};
      if (GetClassNameW(bar, name, 32) && std::wcscmp(name, L"ToolbarWindow32") == 0) {
        wchar_t caption[64] = {};
        const LRESULT length = SendMessageW(bar, TB_GETBUTTONTEXTW, LOWORD(message->wParam), 0);
        if (length > 0 && length < 64) {
          SendMessageW(bar, TB_GETBUTTONTEXTW, LOWORD(message->wParam), reinterpret_cast<LPARAM>(caption));
          const int bytes = WideCharToMultiByte(CP_UTF8, 0, caption, -1, g.lastAction,
                                                sizeof g.lastAction - 1, nullptr, nullptr);
          g.lastAction[bytes > 0 ? bytes - 1 : 0] = '\0';
        }
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The time the host's thread spent waiting for a box is not a freeze.
void EndReporting() {
  NoteMessage();
  g.reporting = false;
}

void ReportFreeze() {
  TRequest& request = g.request;
  std::memset(&request.record, 0, sizeof request.record);
  request.kind = TReportKind::Freeze;
  request.threadId = g.hostThreadId;
  request.hostThread = true;
  request.cpp = false;
  request.what[0] = '\0';
  request.barrier = "";
  request.context.ContextFlags = CONTEXT_FULL;
  // The frozen thread's stack, taken while it stands still; it runs on.
  if (SuspendThread(g.hostThread) == static_cast<DWORD>(-1)) return;
  const bool got = GetThreadContext(g.hostThread, &request.context);
  TReportMemory& memory = *g.memory;
  if (got) {
    memory.frames[0] = 0;
    BuildReport(request, memory, nullptr);
  }
  ResumeThread(g.hostThread);
  if (!got) return;
  const std::string_view report(memory.text, TextLength(memory));
  const bool saved = SaveReport(report, memory.path);
  ShowCrashBox(memory.summary, report, memory.path, saved);
}

DWORD WINAPI ReporterMain(void*) {
  g.reporterThread = GetCurrentThreadId();
  const DWORD poll = g.freezeMs / 4 < 250 ? (g.freezeMs / 4 > 20 ? g.freezeMs / 4 : 20) : 250;
  bool frozenReported = false;
  HANDLE events[2] = {g.requestEvent, g.stopEvent};
  for (;;) {
    // Messages too: once the box has been shown this thread has windows
    // (the input method's), and a thread that does not answer what other
    // threads send it would stall them.
    const DWORD woke = MsgWaitForMultipleObjects(2, events, FALSE, poll, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 + 2) {
      MSG msg = {};
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    if (woke == WAIT_OBJECT_0) {
      ReportAndShow(g.request);
      SetEvent(g.doneEvent);
      continue;
    }
    if (woke == WAIT_OBJECT_0 + 1) return 0;
    if (g.reporting) continue;
    // A thread that waits for input is idle, not frozen: it answers a sent
    // message (every message loop and box handles them) within the poll.
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutW(g.probeWindow, WM_NULL, 0, 0, SMTO_NORMAL, poll, &ignored)) NoteMessage();
    if (GetTickCount64() - g.lastMessage < g.freezeMs) {
      frozenReported = false;
      continue;
    }
    if (!frozenReported) {
      frozenReported = true;
      ReportFreeze();
    }
  }
}

// Hands a request to the reporter thread and waits until it has been
// reported and the box closed. Outside a session the reporter is started
// for this one request.
void HandOff() {
  if (g.sessionActive) {
    SetEvent(g.requestEvent);
    WaitForSingleObject(g.doneEvent, INFINITE);
    return;
  }
  // No session: a reporter of its own for this one request.
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        g.reporterThread = GetCurrentThreadId();
        ReportAndShow(g.request);
        return 0;
      },
      nullptr, 0, nullptr);
  if (thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
}

void LockHandOff() {
  while (g.handOff.exchange(1) != 0) Sleep(1);
}
void UnlockHandOff() { g.handOff = 0; }

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (!IsWatchedCode(record.ExceptionCode) || !InImage(record.ExceptionAddress)) return EXCEPTION_CONTINUE_SEARCH;
  const DWORD self = GetCurrentThreadId();
  // A second fault of the same thread while it is being reported.
  if (g.handlingThread == self || g.reporterThread == self) return EXCEPTION_CONTINUE_SEARCH;
  LockHandOff();
  g.handlingThread = self;
  const bool host = g.sessionActive && self == g.hostThreadId;
  if (host) g.reporting = true;
  TRequest& request = g.request;
  request.kind = TReportKind::Exception;
  std::memcpy(&request.record, &record, sizeof record);
  std::memcpy(&request.context, exception->ContextRecord, sizeof(CONTEXT));
  request.threadId = self;
  request.hostThread = host || self == g.hostThreadId;
  request.cpp = false;
  request.what[0] = '\0';
  request.barrier = "";
  HandOff();
  const bool recover = kRecoverOnHostThread && host && g.armed.exchange(false);
  if (host) EndReporting();
  g.handlingThread = 0;
  UnlockHandOff();
  if (!recover) return EXCEPTION_CONTINUE_SEARCH;
  // Back to the barrier of ScrivlexPlugInDoWork, as it was when it armed.
  g.recovered = true;
  g.stopped = true;
  std::memcpy(exception->ContextRecord, &g.resume, sizeof(CONTEXT));
  return EXCEPTION_CONTINUE_EXECUTION;
}

// After a stack overflow the stack has no guard page left: put one back
// below the frames still in use, as _resetstkoflw does, so that the next
// overflow is caught again instead of running off the stack's end.
void RestoreStackGuard() {
  // The thread's StackLimit, the lowest committed byte of its stack.
  std::uintptr_t stackLimit = 0;
  asm volatile("movq %%gs:0x10, %0" : "=r"(stackLimit));
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  const auto page = static_cast<std::uintptr_t>(system.dwPageSize);
  volatile char here = 0;
  const auto current = reinterpret_cast<std::uintptr_t>(&here) & ~(page - 1);
  const auto limit = stackLimit;
  if (limit + 2 * page > current) return;  // no room for a guard below us
  MEMORY_BASIC_INFORMATION region = {};
  if (!VirtualQuery(reinterpret_cast<void*>(limit), &region, sizeof region)) return;
  if (region.State != MEM_COMMIT || (region.Protect & PAGE_GUARD)) return;
  DWORD old = 0;
  VirtualProtect(reinterpret_cast<void*>(limit), page, PAGE_READWRITE | PAGE_GUARD, &old);
}

}  // namespace

void InstallCrashHandler(HMODULE library, std::uint32_t freezeMs) {
  g.library = library;
  g.imageBase = reinterpret_cast<std::uint64_t>(library);
  g.imageSize = ImageSize(library);
  g.freezeMs = freezeMs;
  g.memory = NewMemory();
  g.handler = AddVectoredExceptionHandler(1, OnException);
}

void RemoveCrashHandler() {
  if (g.handler) RemoveVectoredExceptionHandler(g.handler);
  g.handler = nullptr;
  if (g.memory) VirtualFree(g.memory, 0, MEM_RELEASE);
  g.memory = nullptr;
}

bool Stopped() { return g.stopped; }

void ShowStoppedBox() {
  MessageBoxW(GetActiveWindow(),
              L"Das Plug-in wurde nach einem schweren Fehler angehalten. Bitte starten Sie Scrivlex neu.",
              L"Fehler", MB_OK | MB_ICONERROR);
}

bool WriteRequestReport(const wchar_t* reason) noexcept {
  TReportMemory* memory = NewMemory();
  if (!memory) return false;
  static TRequest request;  // a CONTEXT is large; one request at a time
  LockHandOff();
  std::memset(&request.record, 0, sizeof request.record);
  request.kind = TReportKind::Request;
  request.threadId = GetCurrentThreadId();
  request.hostThread = g.sessionActive && request.threadId == g.hostThreadId;
  request.cpp = false;
  request.what[0] = '\0';
  request.barrier = "";
  RtlCaptureContext(&request.context);
  char why[1024] = {};
  if (reason) WideCharToMultiByte(CP_UTF8, 0, reason, -1, why, sizeof why - 1, nullptr, nullptr);
  BuildReport(request, *memory, why[0] ? why : nullptr);
  UnlockHandOff();
  const bool saved = SaveReport(std::string_view(memory->text, TextLength(*memory)), memory->path);
  VirtualFree(memory, 0, MEM_RELEASE);
  return saved;
}

TWorkSession::TWorkSession(std::int64_t textLength) {
  g.textLength = textLength;
  g.lastAction[0] = '\0';
  g.hostThreadId = GetCurrentThreadId();
  g.recovered = false;
  g.armed = false;
  // The host's windows that a modal dialog disables, to enable after a fault.
  EnumThreadWindows(
      g.hostThreadId,
      [](HWND window, LPARAM self) -> BOOL {
        auto& session = *reinterpret_cast<TWorkSession*>(self);
        // All of them, hidden ones too (the input method's, COM's): none
        // of those is the dialog's to destroy.
        if (session.beforeCount_ < 64) {
          session.enable_[session.beforeCount_] = IsWindowVisible(window) && IsWindowEnabled(window);
          session.before_[session.beforeCount_++] = window;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(this));
  g.hostThread = OpenThread(THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION, FALSE,
                            g.hostThreadId);
  g.requestEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g.doneEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  g.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g.lastMessage = GetTickCount64();
  g.probePending = false;
  if (!g.memory || !g.hostThread || !g.requestEvent || !g.doneEvent || !g.stopEvent) return;
  g.probeWindow = CreateWindowExW(0, L"Message", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  g.getMessageHook = SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, g.hostThreadId);
  g.callWndHook = SetWindowsHookExW(WH_CALLWNDPROC, CallWndHook, nullptr, g.hostThreadId);
  g.reporter = CreateThread(nullptr, 0, ReporterMain, nullptr, 0, nullptr);
  g.sessionActive = g.reporter != nullptr;
}

TWorkSession::~TWorkSession() {
  g.armed = false;
  if (g.reporter) {
    SetEvent(g.stopEvent);
    // A freeze box may still be open: keep the host's windows painting
    // until the user closes it.
    while (MsgWaitForMultipleObjects(1, &g.reporter, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
      MSG msg = {};
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    CloseHandle(g.reporter);
  }
  g.sessionActive = false;
  g.reporter = nullptr;
  if (g.getMessageHook) UnhookWindowsHookEx(g.getMessageHook);
  if (g.callWndHook) UnhookWindowsHookEx(g.callWndHook);
  g.getMessageHook = g.callWndHook = nullptr;
  if (g.probeWindow) DestroyWindow(g.probeWindow);
  g.probeWindow = nullptr;
  for (HANDLE* handle : {&g.hostThread, &g.requestEvent, &g.doneEvent, &g.stopEvent}) {
    if (*handle) CloseHandle(*handle);
    *handle = nullptr;
  }
}

CONTEXT* TWorkSession::ResumeContext() { return &g.resume; }
void TWorkSession::Arm() { g.armed = true; }
void TWorkSession::Disarm() { g.armed = false; }
bool TWorkSession::Recovered() const { return g.recovered; }

void TWorkSession::TearDown() {
  ReleaseCapture();
  // Every top-level window of this thread that was not there before is the
  // dialog's (the dialog itself, a message box over it).
  struct TWindows {
    HWND found[64];
    int count = 0;
  } windows;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM list) -> BOOL {
        auto& into = *reinterpret_cast<TWindows*>(list);
        if (into.count < 64) into.found[into.count++] = window;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  for (int i = 0; i < windows.count; ++i) {
    bool old = false;
    for (int j = 0; j < beforeCount_; ++j) old = old || before_[j] == windows.found[i];
    if (old || !IsWindow(windows.found[i])) continue;
    // The objects behind these windows lived in the abandoned frames: the
    // windows must not call them any more while they are destroyed.
    SetWindowLongPtrW(windows.found[i], GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcW));
    DestroyWindow(windows.found[i]);
  }
  for (int j = 0; j < beforeCount_; ++j) {
    if (enable_[j] && IsWindow(before_[j])) EnableWindow(before_[j], TRUE);
  }
  RestoreStackGuard();
}

void TWorkSession::ReportCppException(const char* what, const char* barrier) noexcept {
  LockHandOff();
  TRequest& request = g.request;
  std::memset(&request.record, 0, sizeof request.record);
  request.kind = TReportKind::Exception;
  request.threadId = GetCurrentThreadId();
  request.hostThread = true;
  request.cpp = true;
  std::strncpy(request.what, what ? what : "", sizeof request.what - 1);
  request.what[sizeof request.what - 1] = '\0';
  request.barrier = barrier;
  RtlCaptureContext(&request.context);
  g.reporting = true;
  HandOff();
  EndReporting();
  UnlockHandOff();
}

}  // namespace tavi::crash
