// Runs scrivlex-host.exe as the Windows tests need it: a child process whose
// report lines (UTF-8 on its standard output) are collected, and files for
// the documents it reads and writes.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace hosttest {

struct HostRun {
  DWORD exitCode = 0;
  std::vector<std::string> lines;  // the report, one entry a line, UTF-8
  std::string all;                 // the whole output, for failure messages
};

// A path as Windows writes it: the build gives them with forward slashes.
inline std::wstring Native(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// Quotes one argument so that the child's CommandLineToArgvW gives it back.
inline std::wstring QuoteArgument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count double only before a quote.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

inline HostRun RunProgram(const std::wstring& program, const std::vector<std::wstring>& arguments) {
  HostRun run;
  std::wstring commandLine = QuoteArgument(program);
  for (const std::wstring& argument : arguments) commandLine += L" " + QuoteArgument(argument);

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    run.exitCode = 0xFFFFFFFF;
    run.all = "cannot create a pipe";
    return run;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    run.exitCode = 0xFFFFFFFF;
    run.all = "cannot start the host (error " + std::to_string(GetLastError()) + ")";
    return run;
  }
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) run.all.append(chunk, got);
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  GetExitCodeProcess(process.hProcess, &run.exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  std::size_t start = 0;
  while (start < run.all.size()) {
    std::size_t end = run.all.find('\n', start);
    if (end == std::string::npos) end = run.all.size();
    std::string line = run.all.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run.lines.push_back(std::move(line));
    start = end + 1;
  }
  return run;
}

inline std::string Utf8(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(count), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), bytes.data(), count, nullptr,
                      nullptr);
  return bytes;
}

inline bool WriteBytes(const std::wstring& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

inline bool ReadBytes(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  GetFileSizeEx(file, &size);
  bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  DWORD read = 0;
  const BOOL ok = bytes.empty() || ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  return ok && read == bytes.size();
}

}  // namespace hosttest
