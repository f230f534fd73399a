// Tavi.dll seen from outside: what a host and Windows' file properties see.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>
#include <vector>

namespace {

std::wstring DllPath() {
  std::wstring path = TAVI_DLL_PATH;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

class TaviModule : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { module_ = LoadLibraryW(DllPath().c_str()); }
  static void TearDownTestSuite() {
    if (module_) FreeLibrary(module_);
  }
  static HMODULE module_;
};
HMODULE TaviModule::module_ = nullptr;

TEST_F(TaviModule, ExportsNamesAtOrdinalsOneToFour) {
  ASSERT_NE(module_, nullptr);
  const char* names[] = {"ScrivlexPlugInRegisterPlugin", "ScrivlexPlugInDoWork", "ScrivlexPluginGetResult",
                         "TaviWriteBugReport"};
  for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
    FARPROC byName = GetProcAddress(module_, names[ordinal - 1]);
    ASSERT_NE(byName, nullptr) << names[ordinal - 1];
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module_, MAKEINTRESOURCEA(ordinal))),
              reinterpret_cast<void*>(byName))
        << names[ordinal - 1];
  }
}

// Walks the loaded image's import directory.
std::vector<std::string> ImportedDlls(HMODULE module) {
  auto* base = reinterpret_cast<const BYTE*>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  EXPECT_EQ(nt->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::vector<std::string> dlls;
  for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); entry->Name;
       ++entry) {
    std::string name = reinterpret_cast<const char*>(base + entry->Name);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    dlls.push_back(name);
  }
  return dlls;
}

TEST_F(TaviModule, ImportsOnlyWindowsSystemDlls) {
  ASSERT_NE(module_, nullptr);
  const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll",
                                        "msvcrt.dll",   "advapi32.dll", "oleaut32.dll", "ole32.dll",
                                        "shell32.dll",  "ntdll.dll"};
  const std::vector<std::string> dlls = ImportedDlls(module_);
  EXPECT_FALSE(dlls.empty());
  for (const std::string& dll : dlls) EXPECT_TRUE(system.count(dll)) << dll;
}

std::wstring VersionString(const std::vector<BYTE>& info, const wchar_t* key) {
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904E4\\") + key;
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return L"?";
  return std::wstring(value);
}

TEST(TaviVersion, ResourceDescribesThePlugIn) {
  const std::wstring path = DllPath();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  struct Field {
    const wchar_t* key;
    const wchar_t* value;
  };
  const Field fields[] = {
      {L"FileDescription", L"Scrivlex Sonderzeichen Plug-in (x64)"},
      {L"Comments", L"Scrivlex Sonderzeichen Plug-in"},
      {L"ProductName", L"Scrivlex"},
      {L"InternalName", L"Tavi"},
      {L"OriginalFilename", L"Tavi.dll"},
      {L"FileVersion", L"1.1.0.13"},
      {L"ProductVersion", L"1.1"},
  };
  for (const Field& field : fields) EXPECT_EQ(VersionString(info, field.key), field.value);

  struct Translation {
    WORD language, codePage;
  }* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  ASSERT_EQ(length, sizeof(Translation));
  EXPECT_EQ(translation->language, 0x0409);
  EXPECT_EQ(translation->codePage, 0x04E4);

  VS_FIXEDFILEINFO* fixed = nullptr;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x0000000Du);
}

}  // namespace
