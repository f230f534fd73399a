// The toolbox's system operations under Windows (Wine in CI): real
// processes, files, string resources, message queues and list boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/ResourceFormat.h"
#include "tools/TestText.h"
#include "tools/Tools.h"
#include "tools/ToolsSystem_test_res.h"
#include "ToolsSystemPaths.h"

namespace tavi {
namespace {

using test::Utf8;
using Clock = std::chrono::steady_clock;

std::u16string U16(const std::wstring& Text) { return {Text.begin(), Text.end()}; }
const char16_t* P(const std::u16string& Text) { return Text.c_str(); }

std::int64_t MillisecondsSince(Clock::time_point Start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - Start).count();
}

// A fresh directory under the temporary folder, removed with its files.
class TempDir {
 public:
  TempDir() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    static int serial = 0;
    path_ = std::wstring(base) + L"tavi-tools-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++serial);
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::wstring Path(const std::wstring& Name = L"") const {
    return Name.empty() ? path_ : path_ + L"\\" + Name;
  }
  std::wstring Write(const std::wstring& Name, std::size_t Bytes) const {
    const std::wstring file = Path(Name);
    const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE);
    const std::string content(Bytes, 'x');
    DWORD written = 0;
    if (Bytes != 0) WriteFile(handle, content.data(), static_cast<DWORD>(Bytes), &written, nullptr);
    CloseHandle(handle);
    return file;
  }

 private:
  static void RemoveTree(const std::wstring& Dir) {
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW((Dir + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = Dir + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveTree(path);
        else
          DeleteFileW(path.c_str());
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    RemoveDirectoryW(Dir.c_str());
  }
  std::wstring path_;
};

// --- WinExecEx ---------------------------------------------------------------

const std::wstring kHelperName = L"tavi_trace_helper.exe";
const std::wstring kHelperDir = TAVI_TRACE_HELPER_DIR;

// The trace the helper leaves: its command line, then "show=<n>". Empty
// when it has not appeared within Timeout.
std::wstring ReadTrace(const std::wstring& Path, int TimeoutMs = 10000) {
  const auto start = Clock::now();
  for (;;) {
    const HANDLE file = CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      wchar_t buffer[4096] = {};
      DWORD read = 0;
      ReadFile(file, buffer, sizeof buffer - sizeof(wchar_t), &read, nullptr);
      CloseHandle(file);
      return std::wstring(buffer, read / sizeof(wchar_t));
    }
    if (MillisecondsSince(start) > TimeoutMs) return {};
    Sleep(20);
  }
}

bool Exists(const std::wstring& Path) {
  return GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class WinExecExTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::wstring trace_ = dir_.Path(L"trace.txt");
  std::wstring helper_ = kHelperDir + L"\\" + kHelperName;
};

TEST_F(WinExecExTest, FirstAttemptUsesProgramAndCommandLineAsGiven) {
  const std::wstring line = L"helper \"" + trace_ + L"\" one \"two words\"";
  ASSERT_TRUE(MyTools->WinExecEx(P(U16(helper_)), P(U16(line)), SW_SHOWMINNOACTIVE, false));
  EXPECT_EQ(Utf8(U16(ReadTrace(trace_))), Utf8(U16(line + L"\nshow=7")));
}

TEST_F(WinExecExTest, SecondAttemptFindsAProgramAlongTheSearchPath) {
  // The program is neither in the current directory nor next to this one,
  // only in a directory of PATH, so the first attempt (program file
  // "tavi_trace_helper.exe" as it is) fails and the joined line finds it.
  wchar_t oldPath[32767] = {};
  GetEnvironmentVariableW(L"PATH", oldPath, 32767);
  wchar_t oldDir[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, oldDir);
  ASSERT_FALSE(Exists(dir_.Path(kHelperName)));
  SetEnvironmentVariableW(L"PATH", (kHelperDir + L";" + oldPath).c_str());
  SetCurrentDirectoryW(dir_.Path().c_str());

  const std::wstring arguments = L"\"" + trace_ + L"\" second";
  const bool started =
      MyTools->WinExecEx(P(U16(kHelperName)), P(U16(arguments)), SW_SHOWNORMAL, false);
  SetCurrentDirectoryW(oldDir);
  SetEnvironmentVariableW(L"PATH", oldPath);

  ASSERT_TRUE(started);
  EXPECT_EQ(Utf8(U16(ReadTrace(trace_))), Utf8(U16(kHelperName + L" " + arguments + L"\nshow=1")));
}

TEST_F(WinExecExTest, WholeCommandLineInCmdAlone) {
  // A null CmdLine: the first attempt takes Cmd as a program file with
  // arguments and fails; the second runs "Cmd " with the empty text joined.
  const std::wstring cmd = L"\"" + helper_ + L"\" \"" + trace_ + L"\"";
  ASSERT_TRUE(MyTools->WinExecEx(P(U16(cmd)), nullptr, SW_SHOWNORMAL, false));
  EXPECT_EQ(Utf8(U16(ReadTrace(trace_))), Utf8(U16(cmd + L" \nshow=1")));
}

TEST_F(WinExecExTest, NothingToStartGivesFalse) {
  EXPECT_FALSE(MyTools->WinExecEx(nullptr, nullptr, SW_SHOWNORMAL, false));
  EXPECT_FALSE(MyTools->WinExecEx(nullptr, u"", SW_SHOWNORMAL, false));
  EXPECT_FALSE(MyTools->WinExecEx(u"", u"", SW_SHOWNORMAL, true));
  const std::u16string missing = U16(dir_.Path(L"missing.exe"));
  EXPECT_FALSE(MyTools->WinExecEx(P(missing), u"missing.exe", SW_SHOWNORMAL, false));
}

TEST_F(WinExecExTest, CommandLineMayBeReadOnly) {
  // CreateProcessW on Windows writes into the command line it is given; a
  // read-only one there faults unless WinExecEx hands over its own copy.
  const std::wstring line = L"helper \"" + trace_ + L"\" read-only";
  const std::size_t bytes = (line.size() + 1) * sizeof(wchar_t);
  void* page = VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(page, nullptr);
  std::memcpy(page, line.c_str(), bytes);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(page, bytes, PAGE_READONLY, &old));
  EXPECT_TRUE(MyTools->WinExecEx(P(U16(helper_)), static_cast<const char16_t*>(page), SW_SHOWNORMAL,
                                 false));
  EXPECT_EQ(std::memcmp(page, line.c_str(), bytes), 0);
  EXPECT_EQ(Utf8(U16(ReadTrace(trace_))), Utf8(U16(line + L"\nshow=1")));
  VirtualFree(page, 0, MEM_RELEASE);
}

TEST_F(WinExecExTest, WaitReturnsOnceTheProgramWaitsForInput) {
  // The helper writes the trace after a second, then opens its window and
  // waits for input.
  const std::wstring line = L"helper \"" + trace_ + L"\" window";
  const auto start = Clock::now();
  ASSERT_TRUE(MyTools->WinExecEx(P(U16(helper_)), P(U16(line)), SW_SHOWNORMAL, true));
  const std::int64_t elapsed = MillisecondsSince(start);
  EXPECT_TRUE(Exists(trace_)) << "returned after " << elapsed << " ms, before the window";
  EXPECT_GE(elapsed, 900);
  EXPECT_LT(elapsed, 60000);
}

TEST_F(WinExecExTest, WithoutWaitReturnsAtOnce) {
  const std::wstring line = L"helper \"" + trace_ + L"\" window";
  const auto start = Clock::now();
  ASSERT_TRUE(MyTools->WinExecEx(P(U16(helper_)), P(U16(line)), SW_SHOWNORMAL, false));
  EXPECT_LT(MillisecondsSince(start), 900);
  EXPECT_FALSE(Exists(trace_));
  // It did start: the trace comes once its window is open.
  EXPECT_EQ(Utf8(U16(ReadTrace(trace_))), Utf8(U16(line + L"\nshow=1")));
}

// --- GetFileSize -------------------------------------------------------------

TEST(ToolsSystem, GetFileSize) {
  TempDir dir;
  dir.Write(L"empty.txt", 0);
  dir.Write(L"data.bin", 1234);
  CreateDirectoryW(dir.Path(L"sub").c_str(), nullptr);
  TempDir patterns;
  patterns.Write(L"a.txt", 77);
  patterns.Write(L"b.log", 5);

  struct Case {
    const char* name;
    std::wstring fileName;
    std::int64_t expected;
  };
  const Case kCases[] = {
      {"empty file", dir.Path(L"empty.txt"), 0},
      {"file", dir.Path(L"data.bin"), 1234},
      {"missing file", dir.Path(L"missing.txt"), -1},
      {"missing directory", dir.Path(L"nowhere\\data.bin"), -1},
      {"directory", dir.Path(L"sub"), -1},
      {"directory, trailing backslash", dir.Path(L"sub\\"), -1},
      {"empty name", L"", -1},
      // Wildcards: the first match counts.
      {"star pattern", patterns.Path(L"*.txt"), 77},
      {"question mark", patterns.Path(L"?.log"), 5},
      {"pattern without match", patterns.Path(L"*.doc"), -1},
      {"invalid pattern", patterns.Path(L"a<>|.txt"), -1},
      // "." comes first and is a directory, though files match after it.
      {"everything in a directory", patterns.Path(L"*"), -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MyTools->GetFileSize(U16(c.fileName)), c.expected);
  }
  // A NUL would otherwise end the name at "data.bin".
  EXPECT_EQ(MyTools->GetFileSize(U16(dir.Path(L"data.bin")) + std::u16string(1, u'\0') + u"x"), -1);
}

TEST(ToolsSystem, GetFileSizeOfFiveGiB) {
  // ctest makes the sparse file on the Linux side with truncate; Wine shows
  // the Linux file system as drive Z:.
  const char* path = std::getenv("TAVI_TEST_SPARSE_FILE");
  if (path == nullptr) GTEST_SKIP() << "made by ctest's fixture";
  const std::string narrow = path;
  EXPECT_EQ(MyTools->GetFileSize(std::u16string(narrow.begin(), narrow.end())),
            std::int64_t{5'368'709'120});
}

// --- LoadStrResource ---------------------------------------------------------

TEST(ToolsSystem, LoadStrResource) {
  struct Case {
    const char* name;
    std::int32_t id;
    std::u16string value, expected;
  };
  const Case kCases[] = {
      {"no placeholder", IDS_PLAIN, u"abc", u"Ohne Platzhalter"},
      {"in a sentence", IDS_FILE, u"a.txt", u"Datei a.txt nicht gefunden"},
      {"width", IDS_RIGHT, u"abc", u"[   abc]"},
      {"width, value longer", IDS_RIGHT, u"abcdefgh", u"[abcdefgh]"},
      {"minus and width", IDS_LEFT, u"abc", u"[abc   ]"},
      {"precision", IDS_PRECISION, u"abc", u"[ab]"},
      {"precision, value shorter", IDS_PRECISION, u"a", u"[a]"},
      {"index twice, all parts", IDS_INDEXED, u"xyz", u"[xyz|x   ]"},
      {"percent", IDS_PERCENT, u"Hundert", u"100% von Hundert"},
      {"umlauts and euro", IDS_UMLAUT, u"ä", u"Größe ä €"},
      {"empty value", IDS_FILE, u"", u"Datei  nicht gefunden"},
      {"cut at 1023 code units", IDS_LONG, u"abc", std::u16string(1023, u'x')},
      // Numbers the program lacks.
      {"missing", 999, u"abc", u""},
      {"zero", 0, u"abc", u""},
      {"negative", -1, u"abc", u""},
      {"past 16 bits", 65536 + IDS_WRAPPED, u"abc", u""},
      {"16 bits", IDS_WRAPPED, u"abc", u"Nummer 4464"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8(MyTools->LoadStrResource(c.id, c.value)), Utf8(c.expected));
  }
}

TEST(ToolsSystem, LoadStrResourceConversionErrors) {
  struct Case {
    const char* name;
    std::int32_t id;
    std::u16string message;
  };
  const Case kCases[] = {
      {"number placeholder", IDS_NUMBER,
       u"Format 'Eine Vorlage mit der Zahl %d, d' ungültig oder nicht kompatibel mit Argument"},
      {"second argument", IDS_SECOND,
       u"Kein Argument für Format 'Zwei Argumente: %s und %s, aber'"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    try {
      MyTools->LoadStrResource(c.id, u"abc");
      ADD_FAILURE() << "no error";
    } catch (const TConvertError& e) {
      EXPECT_EQ(Utf8(e.Message()), Utf8(c.message));
      EXPECT_STREQ(e.what(), ToUtf8(c.message).c_str());
    }
  }
}

// An export of the probe DLL as the function type it has; through
// void (*)(), the generic function pointer, as GCC asks.
template <typename Function>
Function ProbeExport(HMODULE dll, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

TEST(ToolsSystem, LoadStrResourceReadsTheModuleHoldingTheToolbox) {
  // The probe DLL links the toolbox in and has its own string under
  // IDS_FILE; this program's toolbox keeps reading this program's.
  const HMODULE dll = LoadLibraryW(L"tavi_tools_probe.dll");
  ASSERT_NE(dll, nullptr) << GetLastError();
  const auto toolsAtAttach = ProbeExport<int (*)()>(dll, "ToolsProbeToolsAtAttach");
  const auto load = ProbeExport<int (*)(int, const char16_t*, char16_t*, int)>(dll, "ToolsProbeLoadStrResource");
  ASSERT_NE(toolsAtAttach, nullptr);
  ASSERT_NE(load, nullptr);

  EXPECT_EQ(toolsAtAttach(), 1);
  char16_t buffer[64] = {};
  ASSERT_GT(load(IDS_FILE, u"abc", buffer, 64), 0);
  EXPECT_EQ(Utf8(buffer), Utf8(u"Aus der DLL: abc"));
  EXPECT_EQ(load(IDS_PLAIN, u"abc", buffer, 64), 0);  // Only the program has it.
  EXPECT_EQ(Utf8(MyTools->LoadStrResource(IDS_FILE, u"abc")), Utf8(u"Datei abc nicht gefunden"));
  FreeLibrary(dll);
}

TEST(ToolsSystem, MyToolsOutlivesTheOtherStaticObjectsOfADll) {
  const HMODULE dll = LoadLibraryW(L"tavi_tools_probe.dll");
  ASSERT_NE(dll, nullptr) << GetLastError();
  const auto toolsAtStart = ProbeExport<int (*)()>(dll, "ToolsProbeToolsAtStart");
  const auto watchUnload = ProbeExport<void (*)(int*)>(dll, "ToolsProbeWatchUnload");
  ASSERT_NE(toolsAtStart, nullptr);
  ASSERT_NE(watchUnload, nullptr);
  EXPECT_EQ(toolsAtStart(), 1);
  static int toolsAtEnd = -1;
  watchUnload(&toolsAtEnd);
  ASSERT_TRUE(FreeLibrary(dll));
  ASSERT_EQ(GetModuleHandleW(L"tavi_tools_probe.dll"), nullptr) << "still loaded";
  EXPECT_EQ(toolsAtEnd, 1);
}

// --- Delay -------------------------------------------------------------------

// A window whose WM_APP runs a test's handler inside Delay's message loop.
class DelayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &DelayTest::WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TaviDelayTest";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(0, L"TaviDelayTest", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                              windowClass.hInstance, nullptr);
    ASSERT_NE(window_, nullptr);
    handler_ = nullptr;
  }
  void TearDown() override {
    DestroyWindow(window_);
    // Leave no quit behind for the next test.
    MSG message = {};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  static LRESULT CALLBACK WindowProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
    if (Message == WM_APP && handler_ != nullptr) {
      handler_();
      return 0;
    }
    return DefWindowProcW(Window, Message, WParam, LParam);
  }
  // The quit Delay posted again, if any: its exit code, else -1.
  static int PendingQuit() {
    MSG message = {};
    if (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
      return static_cast<int>(message.wParam);
    return -1;
  }

  HWND window_ = nullptr;
  static inline void (*handler_)() = nullptr;
};

TEST_F(DelayTest, ZeroSleepsOnce) {
  const auto start = Clock::now();
  MyTools->Delay(0);
  const std::int64_t elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 5);
  EXPECT_LT(elapsed, 250);
}

TEST_F(DelayTest, ReturnsAfterAboutTheTimeAsked) {
  const auto start = Clock::now();
  MyTools->Delay(300);
  const std::int64_t elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 290);
  EXPECT_LT(elapsed, 1000);
}

TEST_F(DelayTest, ProcessesMessagesWhileWaiting) {
  static int calls;
  calls = 0;
  handler_ = [] { ++calls; };
  PostMessageW(window_, WM_APP, 0, 0);
  PostMessageW(window_, WM_APP, 0, 0);
  MyTools->Delay(50);
  EXPECT_EQ(calls, 2);
}

TEST_F(DelayTest, ReturnsEarlyOnceTheApplicationIsToldToQuit) {
  PostQuitMessage(5);
  const auto start = Clock::now();
  MyTools->Delay(5000);
  EXPECT_LT(MillisecondsSince(start), 1000);
  // Posted again, so the application's own loop still ends.
  EXPECT_EQ(PendingQuit(), 5);
}

TEST_F(DelayTest, HandlersMayDelayAgain) {
  // A handler inside the pause pauses itself; a quit posted in there ends
  // the inner pause and, posted again, the outer one too.
  static std::int64_t innerMs;
  innerMs = -1;
  handler_ = [] {
    const auto start = Clock::now();
    MyTools->Delay(50);
    PostQuitMessage(9);
    MyTools->Delay(5000);
    innerMs = MillisecondsSince(start);
  };
  PostMessageW(window_, WM_APP, 0, 0);
  const auto start = Clock::now();
  MyTools->Delay(5000);
  const std::int64_t outerMs = MillisecondsSince(start);
  EXPECT_GE(innerMs, 45);
  EXPECT_LT(innerMs, 1000);
  EXPECT_LT(outerMs, 1500);
  EXPECT_EQ(PendingQuit(), 9);
}

// --- GetFirstSelection -------------------------------------------------------

// Real list-box controls, message-only windows: they need no display, so
// the tests do not depend on the X server Wine draws on.
class ListBoxTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (HWND window : windows_) DestroyWindow(window);
  }
  HWND Window(const wchar_t* ClassName, DWORD Style) {
    const HWND window = CreateWindowExW(0, ClassName, L"", Style, 0, 0, 100, 100, HWND_MESSAGE,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
    EXPECT_NE(window, nullptr) << GetLastError();
    windows_.push_back(window);
    return window;
  }
  HWND List(DWORD Style, int Items) {
    const HWND list = Window(L"LISTBOX", Style);
    for (int i = 0; i < Items; ++i)
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(std::to_wstring(i).c_str()));
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), Items);
    return list;
  }
  std::vector<HWND> windows_;
};

TEST_F(ListBoxTest, MultipleSelection) {
  const HWND empty = List(LBS_MULTIPLESEL, 0);
  EXPECT_EQ(MyTools->GetFirstSelection(empty), -1);

  const HWND list = List(LBS_MULTIPLESEL, 8);
  EXPECT_EQ(MyTools->GetFirstSelection(list), -1);
  SendMessageW(list, LB_SETSEL, TRUE, 5);
  SendMessageW(list, LB_SETSEL, TRUE, 2);
  EXPECT_EQ(MyTools->GetFirstSelection(list), 2);
  SendMessageW(list, LB_SETSEL, FALSE, 2);
  EXPECT_EQ(MyTools->GetFirstSelection(list), 5);
  SendMessageW(list, LB_SETSEL, TRUE, 0);
  EXPECT_EQ(MyTools->GetFirstSelection(list), 0);
  SendMessageW(list, LB_SETSEL, FALSE, -1);  // -1: every item.
  SendMessageW(list, LB_SETSEL, TRUE, 7);
  EXPECT_EQ(MyTools->GetFirstSelection(list), 7);

  const HWND extended = List(LBS_EXTENDEDSEL, 6);
  SendMessageW(extended, LB_SELITEMRANGE, TRUE, MAKELPARAM(3, 4));
  EXPECT_EQ(MyTools->GetFirstSelection(extended), 3);
}

TEST_F(ListBoxTest, SingleSelection) {
  const HWND list = List(0, 6);
  EXPECT_EQ(MyTools->GetFirstSelection(list), -1);
  SendMessageW(list, LB_SETCURSEL, 4, 0);
  EXPECT_EQ(MyTools->GetFirstSelection(list), 4);
  SendMessageW(list, LB_SETCURSEL, 0, 0);
  EXPECT_EQ(MyTools->GetFirstSelection(list), 0);
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  EXPECT_EQ(MyTools->GetFirstSelection(list), -1);
}

TEST_F(ListBoxTest, NoListBox) {
  EXPECT_EQ(MyTools->GetFirstSelection(nullptr), -1);
  EXPECT_EQ(MyTools->GetFirstSelection(Window(L"STATIC", 0)), -1);
}

}  // namespace
}  // namespace tavi
