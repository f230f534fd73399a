// The crash reporter under Wine: the real Tavi.dll in the test host, whose
// driver reads and closes the exception box.
// Every run gets a report folder of its own through LOCALAPPDATA.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "windows/HostProcess.h"

namespace {

using hosttest::HostRun;
using hosttest::Native;

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

// A fresh, empty folder standing for the user's LOCALAPPDATA.
std::wstring FreshFolder(const std::string& name) {
  const std::wstring root = Native(TAVI_TEST_DIR) + L"\\crash";
  CreateDirectoryW(root.c_str(), nullptr);
  const std::wstring folder = root + L"\\" + Wide(name);
  const std::wstring report = folder + L"\\Tavi\\bugreport.txt";
  DeleteFileW(report.c_str());
  RemoveDirectoryW((folder + L"\\Tavi").c_str());
  DeleteFileW((folder + L"\\Tavi").c_str());
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

std::string ReadReport(const std::wstring& folder) {
  std::string bytes;
  hosttest::ReadBytes(folder + L"\\Tavi\\bugreport.txt", bytes);
  return bytes;
}

// Lines in this order, others may stand between; a trailing "*" matches any rest.
std::string Missing(const HostRun& run, const std::vector<std::string>& expected) {
  std::string problems;
  std::size_t at = 0;
  for (const std::string& wanted : expected) {
    const bool prefix = !wanted.empty() && wanted.back() == '*';
    const std::string text = prefix ? wanted.substr(0, wanted.size() - 1) : wanted;
    const auto found = std::find_if(run.lines.begin() + static_cast<std::ptrdiff_t>(at), run.lines.end(),
                                    [&](const std::string& line) {
                                      return prefix ? line.rfind(text, 0) == 0 : line == text;
                                    });
    if (found == run.lines.end()) {
      problems += "missing (in this order): " + wanted + "\n";
      continue;
    }
    at = static_cast<std::size_t>(found - run.lines.begin()) + 1;
  }
  return problems;
}

const std::string kSecret = "GEHEIMER TEXT";
const std::string kBoxTitle = "press: Schließen in \"Fehler im Sonderzeichen Plug-in\": ";

HostRun RunHost(const std::wstring& plugin, const std::wstring& folder, const std::wstring& fault,
                std::vector<std::wstring> arguments, const std::string& name) {
  SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
  SetEnvironmentVariableW(L"TAVI_FAULT", fault.empty() ? nullptr : fault.c_str());
  const std::wstring document = folder + L"\\document.txt";
  EXPECT_TRUE(hosttest::WriteBytes(document, kSecret)) << name;
  arguments.push_back(Native(plugin));
  arguments.push_back(document);
  return hosttest::RunProgram(Native(TAVI_HOST_PATH), arguments);
}

// The real Tavi.dll: a dialog that cannot be created throws to the barrier.
TEST(CrashBarrier, CppExceptionIsReported) {
  const std::wstring folder = FreshFolder("CppException");
  const HostRun run = RunHost(TAVI_DLL_PATH, folder, L"",
                              {L"--deny-window", L"TMainSonderZPlugin", L"--script", L"no-dialog; press:Schließen"},
                              "cpp");
  const std::string problems = Missing(
      run, {"denied: TMainSonderZPlugin",
            kBoxTitle + "Im Plug-in ist ein unerwarteter Fehler aufgetreten: nicht behandelte C++-Ausnahme in "
                        "ScrivlexPlugInDoWork.*",
            "returned", "changed: unwritten", "host-window: enabled", "plugin: unloaded"});
  EXPECT_TRUE(problems.empty()) << problems << run.all;
  EXPECT_EQ(run.exitCode, 0u) << run.all;
  const std::string report = ReadReport(folder);
  EXPECT_NE(report.find("\nAusnahme: C++-Ausnahme ("), std::string::npos) << report;
  EXPECT_NE(report.find("\nBarriere: ScrivlexPlugInDoWork\n"), std::string::npos) << report;
  EXPECT_NE(report.find("\nAufruf: Tavi.dll+0x"), std::string::npos) << report;
}

// A run without trouble leaves no trace.
TEST(CrashBarrier, NormalRunWritesNothing) {
  const std::wstring folder = FreshFolder("NormalRun");
  const HostRun run = RunHost(TAVI_DLL_PATH, folder, L"", {L"--script", L"click:Komprimieren; click:Beenden"}, "normal");
  EXPECT_TRUE(Missing(run, {"returned", "changed: 0", "plugin: unloaded"}).empty()) << run.all;
  EXPECT_EQ(GetFileAttributesW((folder + L"\\Tavi").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The fourth export, called by ordinal in this process, as a support
// script would: reports of kind "Anfrage", the file kept under its cap.
TEST(CrashRequest, OrdinalFourWritesAndCaps) {
  HMODULE tavi = LoadLibraryW(Native(TAVI_DLL_PATH).c_str());
  ASSERT_NE(tavi, nullptr);
  using WriteFn = std::uint8_t (*)(const wchar_t*);
  const auto write = reinterpret_cast<WriteFn>(reinterpret_cast<void*>(GetProcAddress(tavi, MAKEINTRESOURCEA(4))));
  ASSERT_NE(write, nullptr);

  const std::wstring folder = FreshFolder("Request");
  SetEnvironmentVariableW(L"LOCALAPPDATA", folder.c_str());
  EXPECT_EQ(write(L"Support-Anfrage"), 1);
  EXPECT_EQ(write(nullptr), 1);
  std::string report = ReadReport(folder);
  for (const char* line : {"Bericht: Anfrage ", "\nGrund: Support-Anfrage\n", "\nGrund: (keiner)\n",
                           "\nAufruf: CrashHandler_test.exe+0x", "\nBibliotheksversion: 1.1.0.13\n",
                           "\nModul: 0x"}) {
    EXPECT_NE(report.find(line), std::string::npos) << line << "\n--- report:\n" << report;
  }
  EXPECT_EQ(report.find("\nRegister:"), std::string::npos);

  // Many reports: never over 100,000 bytes, the newest whole, only whole reports.
  const std::wstring filler(900, L'x');
  for (int i = 0; i < 120; ++i) ASSERT_EQ(write((L"Nummer " + std::to_wstring(i) + L" " + filler).c_str()), 1);
  report = ReadReport(folder);
  EXPECT_LE(report.size(), 100000u);
  EXPECT_GT(report.size(), 50000u);
  EXPECT_EQ(report.rfind("Bericht: Anfrage ", 0), 0u);
  const std::size_t last = report.rfind("Bericht: Anfrage ");
  EXPECT_NE(report.find("Grund: Nummer 119 ", last), std::string::npos);
  EXPECT_EQ(report.find("Grund: Nummer 0 "), std::string::npos);
  EXPECT_EQ(report.substr(report.size() - 2), "\n\n");

  // A folder that cannot be made: 0, and nothing else written.
  const std::wstring blocked = FreshFolder("RequestBlocked");
  hosttest::WriteBytes(blocked + L"\\Tavi", "a file where the folder should be");
  SetEnvironmentVariableW(L"LOCALAPPDATA", blocked.c_str());
  EXPECT_EQ(write(L"blockiert"), 0);
  FreeLibrary(tavi);
}

}  // namespace
