// Tavi.dll in the test host, under Wine: the editor's calls with buffers
// that show any overrun, and the dialog driven with real mouse input.
// Each case runs scrivlex-host.exe and reads its report lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dialog/MainView.h"
#include "dialog/TaviMainPluginUnit.h"
#include "windows/HostProcess.h"
#include "windows/LargeDocument.h"

namespace {

using hosttest::HostRun;
using hosttest::Native;

const std::wstring& HostPath() {
  static const std::wstring path = Native(TAVI_HOST_PATH);
  return path;
}
// TAVI_PLUGIN_DLL runs the cases on another build of the plug-in.
const std::wstring& PluginPath() {
  static const std::wstring path = [] {
    wchar_t other[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"TAVI_PLUGIN_DLL", other, MAX_PATH);
    return Native(length > 0 && length < MAX_PATH ? std::wstring(other, length) : std::wstring(TAVI_DLL_PATH));
  }();
  return path;
}
const std::wstring& DataDir() {
  static const std::wstring path = [] {
    std::wstring dir = Native(TAVI_TEST_DIR) + L"\\data";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
  }();
  return path;
}

std::wstring Wide(const std::string& text) {
  std::wstring wide;
  for (const char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

enum class Doc { Utf8, Utf16, Null, None };

struct HostCase {
  std::string name;
  Doc doc = Doc::Utf8;
  std::u16string text;
  std::wstring script;
  std::vector<std::wstring> options;
  // Lines that must appear in this order, others may stand between them.
  // "{guard}" stands for "intact" (guard units) or "page" (--page-guard).
  std::vector<std::string> expected;
  // No line may begin with any of these.
  std::vector<std::string> absent;
  DWORD exitCode = 0;
  // Runs once more with every buffer at the end of a page.
  bool bothPlacements = false;
  // Not empty: the rule-breaking plug-in instead of Tavi.dll, told to break
  // the rule of that name.
  std::wstring badPlugin;
};

std::ostream& operator<<(std::ostream& out, const HostCase& c) { return out << c.name; }

std::string Replace(std::string text, const std::string& what, const std::string& with) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size())) {
    text.replace(at, what.size(), with);
  }
  return text;
}

// Empty when the run matches; otherwise what is wrong.
std::string Mismatch(const HostRun& run, const std::vector<std::string>& expected,
                     const std::vector<std::string>& absent, DWORD exitCode) {
  std::string problems;
  if (run.exitCode != exitCode) {
    problems += "exit code " + std::to_string(run.exitCode) + ", expected " + std::to_string(exitCode) + "\n";
  }
  std::size_t at = 0;
  for (const std::string& line : expected) {
    const auto found = std::find(run.lines.begin() + static_cast<std::ptrdiff_t>(at), run.lines.end(), line);
    if (found == run.lines.end()) {
      problems += "missing (in this order): " + line + "\n";
      continue;
    }
    at = static_cast<std::size_t>(found - run.lines.begin()) + 1;
  }
  for (const std::string& line : run.lines) {
    for (const std::string& prefix : absent) {
      if (line.rfind(prefix, 0) == 0) problems += "unexpected: " + line + "\n";
    }
  }
  return problems;
}

HostRun RunCase(const HostCase& c, bool pageGuard) {
  std::vector<std::wstring> arguments = c.options;
  if (pageGuard) arguments.push_back(L"--page-guard");
  if (!c.script.empty()) {
    arguments.push_back(L"--script");
    arguments.push_back(c.script);
  }
  // Crash reports of these runs stay in the test's own folder.
  SetEnvironmentVariableW(L"LOCALAPPDATA", DataDir().c_str());
  SetEnvironmentVariableW(L"TAVI_BAD_PLUGIN", c.badPlugin.empty() ? nullptr : c.badPlugin.c_str());
  arguments.push_back(c.badPlugin.empty() ? PluginPath() : Native(TAVI_BAD_PLUGIN_PATH));
  switch (c.doc) {
    case Doc::Utf8:
    case Doc::Utf16: {
      const std::wstring path = DataDir() + L"\\" + Wide(c.name) + L".txt";
      std::string bytes;
      if (c.doc == Doc::Utf16) {
        bytes = "\xFF\xFE";
        bytes.append(reinterpret_cast<const char*>(c.text.data()), c.text.size() * 2);
      } else {
        bytes = hosttest::Utf8(c.text);
      }
      EXPECT_TRUE(hosttest::WriteBytes(path, bytes)) << "cannot write " << c.name;
      arguments.push_back(path);
      break;
    }
    case Doc::Null: arguments.push_back(L"--null-text"); break;
    case Doc::None: break;
  }
  return hosttest::RunProgram(HostPath(), arguments);
}

class HostCases : public ::testing::TestWithParam<HostCase> {};

std::string CaseName(const ::testing::TestParamInfo<HostCase>& param) { return param.param.name; }

TEST_P(HostCases, ReportMatches) {
  const HostCase& c = GetParam();
  for (const bool pageGuard : {false, true}) {
    if (pageGuard && !c.bothPlacements) break;
    const std::string guard = pageGuard ? "page" : "intact";
    std::vector<std::string> expected;
    for (const std::string& line : c.expected) expected.push_back(Replace(line, "{guard}", guard));
    const HostRun run = RunCase(c, pageGuard);
    const std::string problems = Mismatch(run, expected, c.absent, c.exitCode);
    EXPECT_TRUE(problems.empty()) << "case " << c.name << (pageGuard ? " (page guard)" : " (guard units)")
                                  << ":\n" << problems << "--- host output:\n" << run.all;
  }
}

const std::string kStateTail =
    " progress=0 labels=[\"Status aktueller Text:\" shown] [\"Textlänge:\" shown] [\"{len}\" shown]"
    " [\"Script enthalten\" hidden] [\"<PRE>-formatierter Text\" hidden]";

std::string State(bool toolBar, bool actions, int length) {
  const std::string on = actions ? "on" : "off";
  return std::string("state: toolbar=") + (toolBar ? "on" : "off") + " [Beenden:on] [Sonderzeichen:" + on +
         "] [Komprimieren:" + on + "] [Sonderzeichen & Komprimieren:" + on + "]" +
         Replace(kStateTail, "{len}", std::to_string(length));
}

// The editor's calls and the dialog's special-character action.
const HostCase kBoundaryCases[] = {
    {.name = "NameLimits",
     .doc = Doc::None,
     .options = {L"--no-work", L"--name-limit", L"8", L"--name-limit", L"30", L"--name-limit", L"1000",
                 L"--name-limit", L"0", L"--name-limit", L"-5"},
     .expected = {"name: limit=8 -> \"Scrivlex\" units=9 guard={guard} pointer=kept",
                  "name: limit=30 -> \"Scrivlex Sonderzeichen Plug-in\" units=31 guard={guard} pointer=kept",
                  "name: limit=1000 -> \"Scrivlex Sonderzeichen Plug-in\" units=31 guard={guard} pointer=kept",
                  "name: limit=0 -> \"\" units=1 guard={guard} pointer=kept",
                  "name: limit=-5 -> \"\" units=1 guard={guard} pointer=kept", "plugin: unloaded"},
     .absent = {"work:", "error:", "violation:"},
     .bothPlacements = true},
    {.name = "ResultBeforeAnyWork",
     .doc = Doc::None,
     .options = {L"--no-work", L"--print-result", L"--result-first", L"0", L"--result-first", L"7"},
     .expected = {"result: size=0 room=1 -> 1 size=0 units=1 end=nul guard={guard} pointer=kept", "text: ",
                  "result: size=7 room=8 -> 1 size=0 units=1 end=nul guard={guard} pointer=kept", "text: "},
     .absent = {"error:", "violation:"},
     .bothPlacements = true},
    {.name = "ExitAtOnce",
     .text = u"a ä b",
     .script = L"click:Beenden",
     .options = {L"--print-result"},
     .expected = {"work: 5 units", "dialog: Scrivlex Sonderzeichen PlugIn", "click: Beenden -> ToolbarWindow32",
                  "returned", "changed: 0", "flag-guard: {guard}", "input: kept",
                  "result: size=5 room=6 -> 1 size=5 units=6 end=nul guard={guard} pointer=kept",
                  "text: a ä b"},
     .absent = {"message:", "error:", "violation:"},
     .bothPlacements = true},
    {.name = "NullText",
     .doc = Doc::Null,
     .script = L"state; click:Sonderzeichen; click:Komprimieren; state; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"work: null text", State(true, false, 0),
                  // A disabled button takes the click and does nothing.
                  "click: Sonderzeichen -> ToolbarWindow32", "click: Komprimieren -> ToolbarWindow32",
                  State(true, false, 0), "returned", "changed: 0", "flag-guard: {guard}",
                  "result: size=0 room=1 -> 1 size=0 units=1 end=nul guard={guard} pointer=kept", "text: "},
     .absent = {"message:", "error:", "violation:", "input:"},
     .bothPlacements = true},
    // The dialog cannot be created: the flag stays unwritten, the result is
    // the one held before (none yet), and the host goes on.
    {.name = "DialogCreationFails",
     .text = u"a ä b",
     // The exception that reaches the barrier is reported in a box.
     .script = L"no-dialog; press:Schließen",
     .options = {L"--deny-window", L"TMainSonderZPlugin", L"--print-result"},
     .expected = {"work: 5 units", "denied: TMainSonderZPlugin", "returned", "changed: unwritten",
                  "flag-guard: {guard}", "input: kept", "host-window: enabled",
                  "result: size=5 room=6 -> 1 size=0 units=1 end=nul guard={guard} pointer=kept", "text: ",
                  "plugin: unloaded"},
     .absent = {"message:", "error:", "violation:", "dialog:"},
     .bothPlacements = true},
    {.name = "ConvertUmlaut",
     .text = u"a ä b",
     .script = L"state; click:Sonderzeichen; state; click:Beenden",
     .options = {L"--print-result"},
     .expected = {State(true, true, 5), "message: Informationen: 1 Sonderzeichen konvertiert.",
                  State(true, true, 10), "returned", "changed: 1", "input: kept",
                  // The editor's first try with the text's own length is too small.
                  "result: size=5 room=6 -> 0 size=10 units=0 guard={guard} pointer=kept",
                  "result: size=10 room=11 -> 1 size=10 units=11 end=nul guard={guard} pointer=kept",
                  "text: a &auml; b"},
     .absent = {"error:", "violation:"},
     .bothPlacements = true},
    {.name = "ResultSizes",
     .text = u"a ä b",
     .script = L"click:Sonderzeichen; click:Beenden",
     .options = {L"--print-result", L"--result-size", L"L-1", L"--result-size", L"L", L"--result-size", L"max",
                 L"--result-size", L"L+5", L"--result-size", L"L"},
     .expected = {"changed: 1",
                  "result: size=0 room=1 -> 0 size=10 units=0 guard={guard} pointer=kept",
                  "result: size=L-1=9 room=10 -> 0 size=10 units=0 guard={guard} pointer=kept",
                  "result: size=L=10 room=11 -> 1 size=10 units=11 end=nul guard={guard} pointer=kept",
                  "text: a &auml; b",
                  // All 32 bits set is the largest buffer, not -1; the host
                  // gives room for L + 1 only, so a longer write shows.
                  "result: size=max=4294967295 room=11 -> 1 size=10 units=11 end=nul guard={guard} pointer=kept",
                  "text: a &auml; b",
                  "result: size=L+5=15 room=16 -> 1 size=10 units=11 end=nul guard={guard} pointer=kept",
                  "text: a &auml; b",
                  "result: size=L=10 room=11 -> 1 size=10 units=11 end=nul guard={guard} pointer=kept",
                  "text: a &auml; b"},
     .absent = {"error:", "violation:"},
     .bothPlacements = true},
    {.name = "ConvertTwice",
     .text = u"a ä b",
     .script = L"click:Sonderzeichen; click:Sonderzeichen; state; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"message: Informationen: 1 Sonderzeichen konvertiert.",
                  "message: Informationen: 0 Sonderzeichen konvertiert.", State(true, true, 10), "changed: 1",
                  "text: a &auml; b"},
     .absent = {"error:", "violation:"}},
    {.name = "NoCharacterToReplace",
     .text = u"<p>a &amp; b</p>",
     .script = L"click:Sonderzeichen; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"message: Informationen: 0 Sonderzeichen konvertiert.", "changed: 0", "text: <p>a &amp; b</p>"},
     .absent = {"error:", "violation:"}},
    {.name = "MarkupStays",
     .text = u"a < b & c > d ä",
     .script = L"click:Sonderzeichen; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"message: Informationen: 1 Sonderzeichen konvertiert.", "changed: 1",
                  "text: a < b & c > d &auml;"},
     .absent = {"error:", "violation:"}},
    {.name = "MessageBoxBlocksTheDialog",
     .text = u"a ä b",
     // The second click falls on the dialog while its box is open.
     .script = L"hold; click:Sonderzeichen; box; click:Sonderzeichen; state; answer; idle; state; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"click: Sonderzeichen -> ToolbarWindow32", "click: Sonderzeichen -> nobody",
                  State(false, true, 5), "message: Informationen: 1 Sonderzeichen konvertiert.",
                  State(true, true, 10), "changed: 1", "text: a &auml; b"},
     .absent = {"message: Informationen: 0", "error:", "violation:"}},
    {.name = "HostWindowDisabledWhileOpen",
     .text = u"x",
     .script = L"host-window; click:Beenden",
     .expected = {"host-window: disabled", "returned", "changed: 0", "host-window: enabled"},
     .absent = {"error:", "violation:"}},
    {.name = "CloseCommandAtOnce",
     .text = u"a ä b",
     .script = L"close",
     .options = {L"--print-result"},
     .expected = {"returned", "changed: 0", "text: a ä b"},
     .absent = {"error:", "violation:"}},
    {.name = "Utf16DocumentEuroAndTrademark",
     .doc = Doc::Utf16,
     .text = u"€ ™ ÿ\r\n\xA0",
     .script = L"click:Sonderzeichen; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"work: 8 units", "message: Informationen: 4 Sonderzeichen konvertiert.", "changed: 1",
                  "text: &euro; &trade; &yuml;\\r\\n&nbsp;"},
     .absent = {"error:", "violation:"}},
};

INSTANTIATE_TEST_SUITE_P(Boundary, HostCases, ::testing::ValuesIn(kBoundaryCases),
                         CaseName);

// The compression actions through the dialog.
const HostCase kCompressionCases[] = {
    {.name = "CompressScriptBlanks",
     .text = u"a <script>x</script>  b",
     .script = L"click:Komprimieren; state; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"click: Komprimieren -> ToolbarWindow32", "message: Informationen: Komprimierung beendet.",
                  State(true, true, 20), "changed: 1", "text: a<script>x</script>b"},
     .absent = {"message: Fehler", "error:", "violation:"}},
    {.name = "CompressPreSection",
     .text = u"a <pre> x  y </pre> b",
     .script = L"click:Komprimieren; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"message: Informationen: Komprimierung beendet.", "changed: 1", "text: a<pre> x  y </pre> b"},
     .absent = {"message: Fehler", "error:", "violation:"}},
    {.name = "CompressNothingToDo",
     .text = u"abc",
     .script = L"click:Komprimieren; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"message: Informationen: Komprimierung beendet.", "changed: 0", "text: abc"},
     .absent = {"message: Fehler", "error:", "violation:"}},
    {.name = "CompressMissingScriptEnd",
     .text = u"<script>a  b",
     .script = L"click:Komprimieren; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"message: Fehler: Im Text fehlt das Ende des Scripts! Bearbeitung abgebrochen!",
                  "message: Informationen: Komprimierung beendet.", "changed: 0", "text: <script>a  b"},
     .absent = {"error:", "violation:"}},
    {.name = "CompressToEmpty",
     .text = u"   ",
     .script = L"click:Komprimieren; state; click:Sonderzeichen; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"message: Informationen: Komprimierung beendet.", State(true, false, 0), "changed: 1",
                  "result: size=3 room=4 -> 1 size=0 units=1 end=nul guard=intact pointer=kept", "text: "},
     .absent = {"message: Informationen: 0", "error:", "violation:"}},
    {.name = "ConvertAndCompress",
     .text = u"ä  ü",
     .script = L"click:Sonderzeichen && Komprimieren; state; click:Beenden",
     .options = {L"--print-result"},
     .expected = {"click: Sonderzeichen & Komprimieren -> ToolbarWindow32",
                  "message: Informationen: 2 Sonderzeichen konvertiert.",
                  "message: Informationen: Komprimierung beendet.", State(true, true, 13), "changed: 1",
                  "text: &auml; &uuml;"},
     .absent = {"message: Fehler", "error:", "violation:"},
     .bothPlacements = true},
};

INSTANTIATE_TEST_SUITE_P(Compression, HostCases, ::testing::ValuesIn(kCompressionCases),
                         CaseName);

// The dialog's frame under Wine: client area and tool bar exactly; the
// buttons start at 0, 74, 176 and 270 where the font lets their captions
// fit, and a wider font may only push them to the right.
TEST(HostDialog, Layout) {
  const HostCase c{.name = "Layout", .text = u"x", .script = L"layout; click:Beenden"};
  const HostRun run = RunCase(c, false);
  const std::string prefix = "layout: client=504x129 toolbar=0,0,504,29 buttons=";
  const auto line = std::find_if(run.lines.begin(), run.lines.end(),
                                 [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  ASSERT_NE(line, run.lines.end()) << run.all;
  std::vector<int> lefts;
  std::size_t at = prefix.size();
  while (at < line->size()) {
    const std::size_t comma = std::min(line->find(',', at), line->size());
    lefts.push_back(std::stoi(line->substr(at, comma - at)));
    at = comma + 1;
  }
  const int kLefts[] = {0, 74, 176, 270};
  ASSERT_EQ(lefts.size(), 4u) << *line;
  EXPECT_EQ(lefts[0], 0) << *line;
  for (std::size_t i = 1; i < 4; ++i) {
    EXPECT_GE(lefts[i], kLefts[i]) << *line;
    EXPECT_GT(lefts[i], lefts[i - 1]) << *line;
  }
  EXPECT_LT(lefts[3], 504) << "the last button left the bar: " << *line;
}

// The host's checks against a plug-in that breaks each rule once: an
// overrun shows as a broken guard after the call, or faults at once when
// the buffer ends at an inaccessible page.
const HostCase kRuleBreakerCases[] = {
    {.name = "NameOverrunGuardUnits",
     .doc = Doc::None,
     .options = {L"--no-work", L"--name-limit", L"8"},
     .expected = {"name: limit=8 -> \"Scrivlex!\" units=9 guard=broken pointer=kept",
                  "violation: the display name ran past its buffer"},
     .exitCode = 1,
     .badPlugin = L"name-over"},
    {.name = "NameOverrunPage",
     .doc = Doc::None,
     .options = {L"--no-work", L"--name-limit", L"8", L"--page-guard"},
     .expected = {"fault: the plug-in wrote past the end of the name buffer (byte 0 behind it)"},
     .absent = {"name:"},
     .exitCode = 3,
     .badPlugin = L"name-over"},
    {.name = "NamePointerChanged",
     .doc = Doc::None,
     .options = {L"--no-work", L"--name-limit", L"30"},
     .expected = {"name: limit=30 -> \"Scrivlex Sonderzeichen Plug-in\" units=31 guard=intact pointer=changed",
                  "violation: the plug-in changed the host's name pointer"},
     .exitCode = 1,
     .badPlugin = L"name-pointer"},
    {.name = "ResultOverrunGuardUnits",
     .text = u"x",
     .expected = {"result: size=1 room=2 -> 0 size=3 units=0 guard=intact pointer=kept",
                  "result: size=3 room=4 -> 1 size=3 units=4 end=other guard=broken pointer=kept",
                  "violation: the result ran past its buffer"},
     .exitCode = 1,
     .badPlugin = L"result-over"},
    {.name = "ResultOverrunPage",
     .text = u"x",
     .options = {L"--page-guard"},
     .expected = {"result: size=1 room=2 -> 0 size=3 units=0 guard=page pointer=kept",
                  "fault: the plug-in wrote past the end of the result buffer (byte 0 behind it)"},
     .exitCode = 3,
     .badPlugin = L"result-over"},
    {.name = "InputReadPastNulPage",
     .text = u"x",
     .options = {L"--page-guard"},
     .expected = {"work: 1 units", "fault: the plug-in read past the end of the input text buffer (byte 0 behind it)"},
     .exitCode = 3,
     .badPlugin = L"input-over"},
    {.name = "InputWritten",
     .text = u"x",
     .expected = {"changed: 1", "input: changed", "violation: the plug-in wrote into the host's text"},
     .exitCode = 1,
     .badPlugin = L"input-write"},
    {.name = "FlagOverrunGuardUnits",
     .text = u"x",
     .expected = {"changed: 1", "flag-guard: broken", "violation: the plug-in wrote past the changed flag"},
     .exitCode = 1,
     .badPlugin = L"flag-over"},
    {.name = "FlagOverrunPage",
     .text = u"x",
     .options = {L"--page-guard"},
     .expected = {"fault: the plug-in wrote past the end of the changed flag buffer (byte 0 behind it)"},
     .exitCode = 3,
     .badPlugin = L"flag-over"},
};

INSTANTIATE_TEST_SUITE_P(RuleBreaker, HostCases, ::testing::ValuesIn(kRuleBreakerCases), CaseName);

// Every limit from 0 to 31, each name buffer ending where an inaccessible
// page begins: one unit written too many faults the host.
TEST(HostNames, EveryLimitAtThePageEnd) {
  HostCase c{.name = "EveryLimitAtThePageEnd", .doc = Doc::None, .options = {L"--no-work"}};
  const std::string name = "Scrivlex Sonderzeichen Plug-in";
  for (int limit = 0; limit <= 31; ++limit) {
    c.options.push_back(L"--name-limit");
    c.options.push_back(std::to_wstring(limit));
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(limit), name.size());
    c.expected.push_back("name: limit=" + std::to_string(limit) + " -> \"" + name.substr(0, count) +
                         "\" units=" + std::to_string(count + 1) + " guard=page pointer=kept");
  }
  c.absent = {"error:", "violation:", "fault:"};
  const HostRun run = RunCase(c, true);
  const std::string problems = Mismatch(run, c.expected, c.absent, 0);
  EXPECT_TRUE(problems.empty()) << problems << "--- host output:\n" << run.all;
}

// The close command during a long compression takes effect only after the
// action: the compression completes, its message is answered, then the
// dialog closes and hands back the compressed text. A click on the disabled
// tool bar meanwhile starts nothing.
TEST(HostCompression, CloseDuringLongCompression) {
  const std::u16string document = hosttest::LargeDocument();
  const std::u16string expected = hosttest::CompressedByEngine(document);

  const std::wstring input = DataDir() + L"\\large.html";
  const std::wstring output = DataDir() + L"\\large-out.html";
  ASSERT_TRUE(hosttest::WriteBytes(input, hosttest::Utf8(document)));
  DeleteFileW(output.c_str());
  const HostRun run = hosttest::RunProgram(
      HostPath(), {L"--output", output, L"--result-size", L"L", L"--timeout", L"60000", L"--script",
                   L"hold; click:Komprimieren; close; click:Sonderzeichen; state; answer", PluginPath(), input});

  std::string problems = Mismatch(
      run,
      {"click: Komprimieren -> ToolbarWindow32", "message: Informationen: Komprimierung beendet.", "returned",
       "changed: 1", "input: kept"},
      {"message: Fehler", "message: Informationen: 0", "message: Informationen: 1", "error:", "violation:"}, 0);
  // The click on "Sonderzeichen" falls on the disabled tool bar (the dialog
  // takes it) or, if the compression is already over, on the disabled dialog.
  const auto second = std::find_if(run.lines.begin(), run.lines.end(), [](const std::string& line) {
    return line.rfind("click: Sonderzeichen -> ", 0) == 0;
  });
  if (second == run.lines.end() || *second == "click: Sonderzeichen -> ToolbarWindow32") {
    problems += "the click during the compression reached the tool bar\n";
  }
  // After the close command the dialog is still there, its tool bar off.
  const auto state = std::find_if(run.lines.begin(), run.lines.end(), [](const std::string& line) {
    return line.rfind("state: toolbar=off", 0) == 0;
  });
  if (state == run.lines.end()) problems += "no state line with the tool bar off after the close command\n";
  EXPECT_TRUE(problems.empty()) << problems << "--- host output:\n" << run.all;

  std::string bytes;
  ASSERT_TRUE(hosttest::ReadBytes(output, bytes));
  EXPECT_LT(bytes.size(), hosttest::Utf8(document).size());
  EXPECT_TRUE(bytes == hosttest::Utf8(expected)) << "the text handed back is not the engine's result ("
                                                 << bytes.size() << " bytes, expected "
                                                 << hosttest::Utf8(expected).size() << ")";
}

}  // namespace
