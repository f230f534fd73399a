// scrivlex-host.exe: plays the Scrivlex editor for a plug-in DLL. It loads
// the DLL by path, resolves its three exports by name and calls them in the
// editor's order: the display name, the dialog on a document, the result
// with a retry when the buffer is too small. Every buffer it hands over has
// guard units or an inaccessible page behind it (Guarded.h), and every call
// is reported on standard output as one line, for the Windows tests.
// With --script a second thread drives the dialog as a person would
// (Driver.h).

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Driver.h"
#include "Guarded.h"
#include "HostIO.h"
#include "Win32Handles.h"

namespace host {
namespace {

using RegisterPluginFn = void (*)(wchar_t** name, std::int32_t limit);
using DoWorkFn = void (*)(void* hostValue, const wchar_t* text, std::int32_t hostNumber,
                          std::uint8_t* changed);
using GetResultFn = std::uint8_t (*)(wchar_t** buffer, std::uint32_t* size);

constexpr wchar_t kUsage[] =
    L"usage: scrivlex-host.exe [options] PLUGIN.dll [DOCUMENT]\n"
    L"\n"
    L"Plays the Scrivlex editor: ScrivlexPlugInRegisterPlugin, ScrivlexPlugInDoWork on\n"
    L"DOCUMENT (UTF-8, or UTF-16LE with its BOM), ScrivlexPluginGetResult (again with\n"
    L"a larger buffer when the first is too small). Paths are Windows paths; under\n"
    L"Wine the Linux tree is drive Z:.\n"
    L"\n"
    L"  --name-limit N      one ScrivlexPlugInRegisterPlugin with limit N (a buffer of\n"
    L"                      N + 1 units, at least 1); repeatable, in order; default 255\n"
    L"  --result-first SIZE one ScrivlexPluginGetResult before any work; repeatable\n"
    L"  --result-size SIZE  one ScrivlexPluginGetResult after the work instead of the\n"
    L"                      editor's own two tries; repeatable, in order\n"
    L"                      SIZE: a number, L, L-N, L+N (L: the result's length, learnt\n"
    L"                      first with a size 0 call when not known) or max (4294967295).\n"
    L"                      The buffer has room for SIZE + 1 units; a SIZE above 2^26\n"
    L"                      gets room for L + 1 only, so any write past that shows\n"
    L"  --null-text         passes a null text (no DOCUMENT)\n"
    L"  --no-work           no ScrivlexPlugInDoWork (and no result calls after it)\n"
    L"  --work-again        a second ScrivlexPlugInDoWork on the same document after\n"
    L"                      the first and its results, its message boxes answered\n"
    L"                      (\"work: again\" before it)\n"
    L"  --deny-window CLASS refuses, during ScrivlexPlugInDoWork, the creation of every\n"
    L"                      window of that class (a failing dialog, as on a system out\n"
    L"                      of window resources)\n"
    L"  --page-guard        every buffer ends where an inaccessible page begins, so an\n"
    L"                      overrun faults at once (\"fault: ...\", exit code 3); the\n"
    L"                      default puts 16 guard units behind each buffer\n"
    L"  --output FILE       writes the last result copied, in the document's encoding\n"
    L"  --print-result      prints every result copied as \"text: ...\"\n"
    L"  --script STEPS      drives the dialog from a second thread (below)\n"
    L"  --timeout MS        for every wait of the script (default 20000)\n"
    L"  --dpi-aware         runs DPI-aware per monitor, as current editors do (the\n"
    L"                      plug-in's dialog then scales itself); default: DPI-unaware\n"
    L"  --timing            prints \"timing: N ms ...\" from the last click to each\n"
    L"                      message box\n"
    L"\n"
    L"Exit code: 0 all well (an unwritten flag is reported, not judged), 1 a broken\n"
    L"guard, a changed pointer or input, a flag other than 0 or 1, a script error;\n"
    L"2 a usage or loading error; 3 a fault behind a buffer.\n\n";

// The class --deny-window refuses; read by the creation hook.
const std::wstring* gDeniedClass = nullptr;

constexpr wchar_t kFillUnit = 0xFDFD;   // what a buffer holds before the call
constexpr wchar_t kGuardUnit = 0xFEEE;  // what stands behind it
constexpr std::uint8_t kFlagFill = 0xCC;
constexpr std::uint8_t kFlagGuard = 0xA5;
constexpr std::uint32_t kLargestRoom = 1u << 26;

struct SizeSpec {
  enum class Kind { Number, LengthPlus, Max } kind = Kind::Number;
  std::int64_t value = 0;  // the number, or the offset from L
  std::wstring text;
};

struct Options {
  std::wstring plugin;
  std::wstring document;
  std::vector<std::int32_t> nameLimits;
  std::vector<SizeSpec> resultsFirst;
  std::vector<SizeSpec> results;
  bool nullText = false;
  bool work = true;
  bool workAgain = false;
  std::wstring denyClass;
  Placement placement = Placement::GuardUnits;
  std::wstring output;
  bool printResult = false;
  bool hasScript = false;
  std::wstring script;
  DWORD timeoutMs = 20000;
  bool timing = false;
  bool dpiAware = false;
};

bool ParseInteger(std::wstring_view text, std::int64_t low, std::int64_t high, std::int64_t& value) {
  bool negative = false;
  if (!text.empty() && (text.front() == L'-' || text.front() == L'+')) {
    negative = text.front() == L'-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 12) return false;
  std::int64_t result = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    result = result * 10 + (c - L'0');
  }
  if (negative) result = -result;
  if (result < low || result > high) return false;
  value = result;
  return true;
}

bool ParseSize(std::wstring_view text, SizeSpec& spec) {
  spec.text = std::wstring(text);
  if (text == L"max") {
    spec.kind = SizeSpec::Kind::Max;
    return true;
  }
  if (!text.empty() && text.front() == L'L') {
    spec.kind = SizeSpec::Kind::LengthPlus;
    spec.value = 0;
    return text.size() == 1 || ParseInteger(text.substr(1), -1000000, 1000000, spec.value);
  }
  spec.kind = SizeSpec::Kind::Number;
  return ParseInteger(text, 0, std::numeric_limits<std::uint32_t>::max(), spec.value);
}

// Returns false after printing why; help sets exit code 0.
bool ParseOptions(int argc, wchar_t** argv, Options& options, bool& help) {
  std::vector<std::wstring> positional;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view arg = argv[i];
    auto next = [&](std::wstring_view& value) {
      if (i + 1 >= argc) {
        PrintError(L"scrivlex-host: " + std::wstring(arg) + L" needs a value");
        return false;
      }
      value = argv[++i];
      return true;
    };
    std::wstring_view value;
    if (arg == L"--help" || arg == L"-h") {
      help = true;
      return false;
    } else if (arg == L"--name-limit") {
      std::int64_t limit = 0;
      if (!next(value)) return false;
      if (!ParseInteger(value, std::numeric_limits<std::int32_t>::min(), 100000, limit)) {
        PrintError(L"scrivlex-host: --name-limit takes a number up to 100000: " + std::wstring(value));
        return false;
      }
      options.nameLimits.push_back(static_cast<std::int32_t>(limit));
    } else if (arg == L"--result-first" || arg == L"--result-size") {
      SizeSpec spec;
      if (!next(value)) return false;
      if (!ParseSize(value, spec)) {
        PrintError(L"scrivlex-host: a size is a number, L, L-N, L+N or max: " + std::wstring(value));
        return false;
      }
      (arg == L"--result-first" ? options.resultsFirst : options.results).push_back(spec);
    } else if (arg == L"--null-text") {
      options.nullText = true;
    } else if (arg == L"--deny-window") {
      std::wstring_view className;
      if (!next(className)) return false;
      options.denyClass = std::wstring(className);
    } else if (arg == L"--work-again") {
      options.workAgain = true;
    } else if (arg == L"--no-work") {
      options.work = false;
    } else if (arg == L"--page-guard") {
      options.placement = Placement::PageEnd;
    } else if (arg == L"--output") {
      if (!next(value)) return false;
      options.output = std::wstring(value);
    } else if (arg == L"--print-result") {
      options.printResult = true;
    } else if (arg == L"--script") {
      if (!next(value)) return false;
      options.hasScript = true;
      options.script = std::wstring(value);
    } else if (arg == L"--timeout") {
      std::int64_t ms = 0;
      if (!next(value)) return false;
      if (!ParseInteger(value, 1, 3600000, ms)) {
        PrintError(L"scrivlex-host: --timeout takes milliseconds: " + std::wstring(value));
        return false;
      }
      options.timeoutMs = static_cast<DWORD>(ms);
    } else if (arg == L"--dpi-aware") {
      options.dpiAware = true;
    } else if (arg == L"--timing") {
      options.timing = true;
    } else if (arg.size() > 1 && arg.front() == L'-') {
      PrintError(L"scrivlex-host: unknown option " + std::wstring(arg));
      return false;
    } else {
      positional.emplace_back(arg);
    }
  }
  const std::size_t wanted = options.work && !options.nullText ? 2 : 1;
  if (positional.size() < 1 || positional.size() > 2 ||
      (positional.size() != wanted && !(positional.size() == 2 && !options.work))) {
    PrintError(wanted == 2 ? L"scrivlex-host: give the plug-in and a document"
                           : L"scrivlex-host: give the plug-in (and no document with --null-text)");
    return false;
  }
  options.plugin = positional[0];
  if (positional.size() == 2) options.document = positional[1];
  if (options.nameLimits.empty()) options.nameLimits.push_back(255);
  return true;
}

std::wstring WindowsPath(std::wstring path) {
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

// The text before the first NUL among the first count units.
std::wstring_view TextBeforeNul(const wchar_t* units, std::size_t count) {
  std::size_t length = 0;
  while (length < count && units[length] != L'\0') ++length;
  return std::wstring_view(units, length);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) return 0;  // the editor's window stays while a plug-in runs
  return DefWindowProcW(window, message, wParam, lParam);
}

// The editor's own main window: the plug-in's dialog must disable it while
// it is open and enable it again when it closes, as a modal dialog does.
HWND CreateHostWindow(const std::wstring& document) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = HostWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = L"ScrivlexHostWindow";
  RegisterClassExW(&wc);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"Scrivlex (Testhost)", WS_OVERLAPPEDWINDOW,
                                16, 16, 360, 160, nullptr, nullptr, wc.hInstance, nullptr);
  if (window == nullptr) return nullptr;
  const std::wstring caption = L"Dokument: " + (document.empty() ? L"(kein Text)" : document);
  CreateWindowExW(0, L"STATIC", caption.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 12,
                  12, 330, 90, window, nullptr, wc.hInstance, nullptr);
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  return window;
}

void PumpPending() {
  MSG msg = {};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class Host {
 public:
  Host(const Options& options, RegisterPluginFn registerPlugin, DoWorkFn doWork,
       GetResultFn getResult)
      : options_(options), register_(registerPlugin), doWork_(doWork), getResult_(getResult) {}

  int Run() {
    for (const std::int32_t limit : options_.nameLimits) CallRegister(limit);
    for (const SizeSpec& spec : options_.resultsFirst) CallGetResult(spec);
    if (options_.work) {
      if (!Work()) return Exit();
      if (options_.results.empty()) {
        GetResultAsEditor();
      } else {
        for (const SizeSpec& spec : options_.results) CallGetResult(spec);
      }
      if (options_.workAgain) {
        PrintLine(L"work: again");
        again_ = true;
        if (!Work()) return Exit();
        GetResultAsEditor();
      }
    }
    if (haveResult_ && !options_.output.empty()) {
      std::wstring error;
      if (!WriteDocument(WindowsPath(options_.output), result_, document_.encoding, error)) {
        PrintLine(L"error: " + error);
        failed_ = true;
      }
    }
    return Exit();
  }

 private:
  int Exit() const { return failed_ ? 1 : 0; }

  void Violation(const std::wstring& what) {
    PrintLine(L"violation: " + what);
    failed_ = true;
  }

  void CallRegister(std::int32_t limit) {
    const std::size_t room = static_cast<std::size_t>(std::max<std::int32_t>(limit, 0)) + 1;
    GuardedBuffer<wchar_t> buffer(room, kFillUnit, kGuardUnit, options_.placement, L"name");
    wchar_t* pointer = buffer.data();
    register_(&pointer, limit);
    const std::size_t units = buffer.WrittenExtent();
    PrintLine(L"name: limit=" + std::to_wstring(limit) + L" -> \"" +
              EscapeForLine(TextBeforeNul(buffer.data(), units)) + L"\" units=" +
              std::to_wstring(units) + L" guard=" + buffer.GuardWord() +
              (pointer == buffer.data() ? L" pointer=kept" : L" pointer=changed"));
    if (!buffer.GuardIntact()) Violation(L"the display name ran past its buffer");
    if (pointer != buffer.data()) Violation(L"the plug-in changed the host's name pointer");
  }

  bool Work() {
    if (!options_.nullText) {
      std::wstring error;
      if (!ReadDocument(WindowsPath(options_.document), document_, error)) {
        PrintLine(L"error: " + error);
        failed_ = true;
        return false;
      }
    }
    // The text the plug-in reads, NUL-terminated, with its end at the guard.
    std::optional<GuardedBuffer<wchar_t>> input;
    if (!options_.nullText) {
      input.emplace(document_.text.size() + 1, kFillUnit, kGuardUnit, options_.placement, L"input text");
      std::wmemcpy(input->data(), document_.text.data(), document_.text.size());
      input->data()[document_.text.size()] = L'\0';
      PrintLine(L"work: " + std::to_wstring(document_.text.size()) + L" units");
    } else {
      PrintLine(L"work: null text");
    }
    GuardedBuffer<std::uint8_t> flag(1, kFlagFill, kFlagGuard, options_.placement, L"changed flag");

    UniqueWindow window(CreateHostWindow(options_.nullText ? std::wstring() : options_.document));
    if (!window) {
      PrintLine(L"error: cannot create the host's window (error " + std::to_wstring(GetLastError()) + L")");
      failed_ = true;
      return false;
    }
    PumpPending();

    bool driverFailed = false;
    if (options_.hasScript || again_) {
      std::vector<Step> steps;
      std::wstring error;
      if (!ParseScript(again_ ? std::wstring(L"no-dialog") : options_.script, steps, error)) {
        PrintError(L"scrivlex-host: " + error);
        failed_ = true;
        return false;
      }
      DriverSettings settings;
      settings.hostWindow = window.get();
      settings.timeoutMs = options_.timeoutMs;
      settings.timing = options_.timing;
      ScriptDriver driver(std::move(steps), settings);
      UniqueFile thread(CreateThread(
          nullptr, 0,
          [](void* self) -> DWORD {
            static_cast<ScriptDriver*>(self)->Run();
            return 0;
          },
          &driver, 0, nullptr));
      if (!thread) {
        PrintLine(L"error: cannot start the script's thread");
        failed_ = true;
        return false;
      }
      CallDoWork(input ? input->data() : nullptr, flag.data());
      driver.PluginReturned();
      // The driver may still be asking this thread something: keep answering.
      HANDLE handle = thread.get();
      while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        PumpPending();
      }
      driverFailed = driver.Failed();
    } else {
      CallDoWork(input ? input->data() : nullptr, flag.data());
    }
    // After the driver's last line, so that the report's order is stable.
    PrintLine(L"returned");

    const std::uint8_t value = flag.data()[0];
    if (value == kFlagFill) {
      PrintLine(L"changed: unwritten");
    } else if (value <= 1) {
      PrintLine(L"changed: " + std::to_wstring(value));
    } else {
      PrintLine(L"changed: invalid " + std::to_wstring(value));
      Violation(L"the changed flag is neither 0 nor 1");
    }
    PrintLine(std::wstring(L"flag-guard: ") + flag.GuardWord());
    if (!flag.GuardIntact()) Violation(L"the plug-in wrote past the changed flag");
    if (input) {
      const bool kept = std::wmemcmp(input->data(), document_.text.data(), document_.text.size()) == 0 &&
                        input->data()[document_.text.size()] == L'\0' && input->GuardIntact();
      PrintLine(kept ? L"input: kept" : L"input: changed");
      if (!kept) Violation(L"the plug-in wrote into the host's text");
    }
    PrintLine(IsWindowEnabled(window.get()) ? L"host-window: enabled" : L"host-window: disabled");
    if (driverFailed) failed_ = true;
    knownLength_.reset();  // a new result from here on
    return true;
  }

  void CallDoWork(const wchar_t* text, std::uint8_t* flag) {
    UniqueHook deny;
    if (!options_.denyClass.empty()) {
      gDeniedClass = &options_.denyClass;
      deny.reset(SetWindowsHookExW(WH_CBT, &DenyCreation, nullptr, GetCurrentThreadId()));
      if (!deny) PrintLine(L"error: cannot watch window creation");
    }
    // The two values the editor passes for its own use; the plug-in ignores them.
    doWork_(reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5C71u)), text, 0x5C71, flag);
  }

  // A CBT hook that answers "no" to the creation of the denied class: the
  // creating call then fails as it would on a system out of resources.
  static LRESULT CALLBACK DenyCreation(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && gDeniedClass) {
      wchar_t name[256] = {};
      GetClassNameW(reinterpret_cast<HWND>(wParam), name, 256);
      if (*gDeniedClass == name) {
        PrintLine(L"denied: " + *gDeniedClass);
        return 1;
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  // The editor's way: a buffer as large as the text it gave, and a second
  // try with the length it learnt when that is too small.
  void GetResultAsEditor() {
    SizeSpec first;
    first.value = static_cast<std::int64_t>(document_.text.size());
    first.text = std::to_wstring(first.value);
    if (CallGetResult(first) == 1) return;
    if (!knownLength_) return;
    SizeSpec retry;
    retry.value = *knownLength_;
    retry.text = std::to_wstring(retry.value);
    if (CallGetResult(retry) != 1) Violation(L"the second try with the length reported failed");
  }

  int CallGetResult(const SizeSpec& spec) {
    std::uint32_t size = 0;
    std::size_t room = 0;
    auto needLength = [&]() -> std::int64_t {
      if (!knownLength_) {
        SizeSpec probe;
        probe.text = L"0";
        CallGetResult(probe);
      }
      return knownLength_.value_or(0);
    };
    switch (spec.kind) {
      case SizeSpec::Kind::Number:
        size = static_cast<std::uint32_t>(spec.value);
        break;
      case SizeSpec::Kind::Max:
        size = std::numeric_limits<std::uint32_t>::max();
        break;
      case SizeSpec::Kind::LengthPlus: {
        const std::int64_t wanted = needLength() + spec.value;
        if (wanted < 0 || wanted > std::numeric_limits<std::uint32_t>::max()) {
          PrintLine(L"error: size " + spec.text + L" is out of range");
          failed_ = true;
          return -1;
        }
        size = static_cast<std::uint32_t>(wanted);
        break;
      }
    }
    room = size <= kLargestRoom ? std::size_t{size} + 1
                                : static_cast<std::size_t>(needLength()) + 1;
    GuardedBuffer<wchar_t> buffer(room, kFillUnit, kGuardUnit, options_.placement, L"result");
    wchar_t* pointer = buffer.data();
    const std::uint32_t sizeIn = size;
    const std::uint8_t answer = getResult_(&pointer, &size);
    const std::size_t units = buffer.WrittenExtent();
    std::wstring line = L"result: size=" + spec.text;
    if (spec.kind != SizeSpec::Kind::Number) line += L"=" + std::to_wstring(sizeIn);
    line += L" room=" + std::to_wstring(room) + L" -> " + std::to_wstring(answer) +
            L" size=" + std::to_wstring(size) + L" units=" + std::to_wstring(units);
    if (units > 0) line += buffer.data()[units - 1] == L'\0' ? L" end=nul" : L" end=other";
    line += std::wstring(L" guard=") + buffer.GuardWord();
    line += pointer == buffer.data() ? L" pointer=kept" : L" pointer=changed";
    PrintLine(line);
    if (!buffer.GuardIntact()) Violation(L"the result ran past its buffer");
    if (pointer != buffer.data()) Violation(L"the plug-in changed the host's result pointer");
    knownLength_ = size;
    if (answer == 1 && size < room) {
      result_.assign(buffer.data(), size);
      haveResult_ = true;
      if (options_.printResult) PrintLine(L"text: " + EscapeForLine(result_));
    }
    return answer;
  }

  const Options& options_;
  RegisterPluginFn register_;
  DoWorkFn doWork_;
  GetResultFn getResult_;
  Document document_;
  std::optional<std::int64_t> knownLength_;
  std::wstring result_;
  bool haveResult_ = false;
  bool failed_ = false;
  bool again_ = false;  // the second work answers boxes and expects no dialog
};

// The editor's DPI mode, looked up at run time as an editor built for older
// systems would: per-monitor aware (version 2 where the system has it), or
// unaware, where the system scales the windows itself. A process whose
// awareness is already fixed (Wine makes every process per-monitor aware)
// still gets an unaware UI thread, which is what decides for the windows it
// creates. Returns false when the wanted mode cannot be had.
bool ApplyDpiMode(bool aware) {
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  using SetThreadContextFn = HANDLE(WINAPI*)(HANDLE);
  using GetThreadContextFn = HANDLE(WINAPI*)();
  using AwarenessFn = int(WINAPI*)(HANDLE);
  const HMODULE user32 = GetModuleHandleW(L"user32.dll");
  auto lookup = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(user32, name)); };
  const auto setProcess = reinterpret_cast<SetContextFn>(lookup("SetProcessDpiAwarenessContext"));
  const auto setThread = reinterpret_cast<SetThreadContextFn>(lookup("SetThreadDpiAwarenessContext"));
  const auto getThread = reinterpret_cast<GetThreadContextFn>(lookup("GetThreadDpiAwarenessContext"));
  const auto awareness = reinterpret_cast<AwarenessFn>(lookup("GetAwarenessFromDpiAwarenessContext"));
  if (!setProcess || !setThread || !getThread || !awareness) return !aware;  // a system before DPI contexts
  const auto unaware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-1));
  const auto perMonitor = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
  const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
  if (aware) {
    if (!setProcess(perMonitorV2) && !setProcess(perMonitor)) setThread(perMonitor);
    return awareness(getThread()) == 2;
  }
  if (!setProcess(unaware)) setThread(unaware);
  return awareness(getThread()) == 0;
}

int Main(int argc, wchar_t** argv) {
  Options options;
  bool help = false;
  if (!ParseOptions(argc, argv, options, help)) {
    if (help) {
      PrintLine(std::wstring(kUsage) + kScriptHelp);
      return 0;
    }
    PrintError(L"scrivlex-host: --help lists the options");
    return 2;
  }
  InstallGuardPageHandler();
  if (!ApplyDpiMode(options.dpiAware)) {
    PrintLine(std::wstring(L"error: cannot become DPI-") + (options.dpiAware ? L"aware" : L"unaware"));
    return 2;
  }
  PrintLine(options.dpiAware ? L"dpi: per-monitor aware" : L"dpi: unaware");

  const std::wstring path = WindowsPath(options.plugin);
  UniqueModule plugin(LoadLibraryW(path.c_str()));
  if (!plugin) {
    PrintLine(L"error: cannot load " + path + L" (error " + std::to_wstring(GetLastError()) + L")");
    return 2;
  }
  // Through void* first: FARPROC carries no signature of its own.
  auto resolve = [&](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(plugin.get(), name));
  };
  const auto registerPlugin = reinterpret_cast<RegisterPluginFn>(resolve("ScrivlexPlugInRegisterPlugin"));
  const auto doWork = reinterpret_cast<DoWorkFn>(resolve("ScrivlexPlugInDoWork"));
  const auto getResult = reinterpret_cast<GetResultFn>(resolve("ScrivlexPluginGetResult"));
  if (!registerPlugin || !doWork || !getResult) {
    PrintLine(L"error: " + path + L" lacks one of the three Scrivlex exports");
    return 2;
  }
  PrintLine(L"plugin: loaded");
  Host host(options, registerPlugin, doWork, getResult);
  const int code = host.Run();
  plugin.reset();
  PrintLine(L"plugin: unloaded");
  return code;
}

}  // namespace
}  // namespace host

int wmain(int argc, wchar_t** argv) {
  try {
    return host::Main(argc, argv);
  } catch (const std::exception& failure) {
    host::PrintLine(L"error: " + host::Utf8ToWide(failure.what()));
    return 2;
  }
}
