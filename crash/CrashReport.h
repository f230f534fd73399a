// The text of one crash report: the facts a crash handler gathered, written
// as plain UTF-8 "Schlüssel: Wert" lines into a fixed buffer, so that the
// reporter never allocates, even on a process whose heap is broken.
// ReportFile.h decides how reports share the file; crash/win32/ gathers the
// facts and shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tavi::crash {

enum class TReportKind { Exception, Freeze, Request };

// The first line of every report starts with this, so that the blocks of
// the report file can be told apart.
inline constexpr std::string_view kReportStart = "Bericht: ";

// Text appended to a buffer of fixed size; what does not fit is dropped and
// noted, never written past the end.
class TTextBuffer {
 public:
  TTextBuffer(char* data, std::size_t capacity) : data_(data), capacity_(capacity) {}

  void Append(std::string_view text);
  // Control characters become spaces, so a caller's text can never start a
  // line of its own (and so never a report of its own).
  void AppendOneLine(std::string_view text);
  void AppendHex(std::uint64_t value, int digits);  // "0x" and at least digits hex digits
  void AppendDecimal(std::uint64_t value);
  void AppendDecimal(std::int64_t value);

  std::string_view View() const { return {data_, size_}; }
  std::size_t Size() const { return size_; }
  bool Truncated() const { return truncated_; }
  void Clear() {
    size_ = 0;
    truncated_ = false;
  }

 private:
  char* data_;
  std::size_t capacity_;
  std::size_t size_ = 0;
  bool truncated_ = false;
};

struct TModuleInfo {
  std::string_view name;     // file name only, e.g. "Tavi.dll"
  std::string_view path;
  std::string_view version;  // "1.1.0.13", or empty when the module has none
  std::uint64_t base = 0;
  std::uint64_t size = 0;
};

// The x64 registers in the order the report lists them.
inline constexpr std::size_t kRegisterCount = 17;
inline constexpr std::string_view kRegisterNames[kRegisterCount] = {
    "RAX", "RBX", "RCX", "RDX", "RSI", "RDI", "RBP", "RSP", "R8",
    "R9",  "R10", "R11", "R12", "R13", "R14", "R15", "RIP"};

struct TReportFacts {
  TReportKind kind = TReportKind::Exception;
  std::string_view time;  // ISO 8601 local time with its UTC offset
  std::string_view libraryPath;
  std::string_view libraryVersion;
  std::uint64_t libraryBase = 0;
  std::string_view hostPath;
  std::string_view hostVersion;
  std::string_view windowsVersion;
  std::string_view wineVersion;  // empty on Windows itself

  // Exception: a structured exception's code, or a C++ exception (cppWhat
  // set, code 0) that reached an export barrier.
  std::uint32_t code = 0;
  bool cppException = false;
  std::string_view cppWhat;
  std::string_view barrier;      // the export whose barrier took it
  std::uint64_t address = 0;
  // Access violations and in-page errors: 0 read, 1 write, 8 execute.
  bool hasAccess = false;
  std::uint64_t accessKind = 0;
  std::uint64_t accessAddress = 0;
  std::uint32_t threadId = 0;
  bool hostThread = false;
  const std::uint64_t* registers = nullptr;  // kRegisterCount values, or none

  std::uint32_t freezeMs = 0;    // freeze: the threshold that was passed
  std::string_view reason;       // request: the caller's reason

  std::span<const std::uint64_t> stack;  // return addresses, innermost first
  std::span<const TModuleInfo> modules;

  std::string_view lastAction;   // the tool-bar button last clicked, or empty
  std::int64_t textLength = -1;  // the host's text in code units, -1 unknown
};

// The German name of a structured exception code, or "unbekannte Ausnahme".
std::string_view ExceptionName(std::uint32_t code);

// "Tavi.dll+0x1A2B", or the bare address when no module holds it.
void AppendLocation(TTextBuffer& out, std::uint64_t address, std::span<const TModuleInfo> modules);

// How long a freeze lasted in words: "fünf Minuten", "1 Sekunde", "90 Sekunden".
void AppendDuration(TTextBuffer& out, std::uint32_t milliseconds);

// The box's one sentence on what happened.
void AppendSummary(TTextBuffer& out, const TReportFacts& facts);

// The whole report, ending with an empty line.
void AppendReport(TTextBuffer& out, const TReportFacts& facts);

}  // namespace tavi::crash
