// The dialog's window in the test host, under Wine: its layout scaled by the
// screen's DPI (each DPI in a Wine prefix of its own, named by
// TAVI_TEST_DPI), and the Esc key as the window's close command.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "windows/HostProcess.h"
#include "windows/LargeDocument.h"

namespace {

using hosttest::HostRun;
using hosttest::Native;

std::wstring DataFile(const std::wstring& name) {
  const std::wstring dir = Native(TAVI_TEST_DIR) + L"\\data";
  CreateDirectoryW(dir.c_str(), nullptr);
  return dir + L"\\" + name;
}

// The DPI of the Wine prefix this run was given; 96 for the build's own.
int PrefixDpi() {
  wchar_t value[16] = {};
  const DWORD length = GetEnvironmentVariableW(L"TAVI_TEST_DPI", value, 16);
  return length > 0 && length < 16 ? std::stoi(value) : 96;
}

HostRun RunHost(std::vector<std::wstring> options, const std::wstring& script, const std::u16string& text,
                const std::wstring& name) {
  const std::wstring document = DataFile(name + L".txt");
  EXPECT_TRUE(hosttest::WriteBytes(document, hosttest::Utf8(text)));
  options.insert(options.end(), {L"--script", script, Native(TAVI_DLL_PATH), document});
  return hosttest::RunProgram(Native(TAVI_HOST_PATH), options);
}

struct TRect {
  int left = 0, top = 0, width = 0, height = 0;
  int right() const { return left + width; }
};

TRect ParseRect(const std::string& text) {
  TRect r;
  char comma = 0;
  std::istringstream in(text);
  in >> r.left >> comma >> r.top >> comma >> r.width >> comma >> r.height;
  return r;
}

// What the host's "layout" step reports.
struct TLayout {
  int dpi = 0;
  int clientWidth = 0, clientHeight = 0;
  TRect toolBar;
  struct TButton {
    std::string caption;
    TRect rect;
    int text = 0;
    int icon = 0;
    int font = 0;
  };
  struct TLabelSeen {
    TRect rect;
    int text = 0;
    int font = 0;
  };
  std::vector<TButton> buttons;
  std::map<std::string, TLabelSeen> labels;  // by caption
  TRect progress;
};

std::string After(const std::string& line, const std::string& prefix) { return line.substr(prefix.size()); }

TLayout ParseLayout(const HostRun& run) {
  TLayout layout;
  for (const std::string& line : run.lines) {
    if (line.rfind("layout: client=", 0) == 0) {
      std::istringstream in(After(line, "layout: client="));
      char x = 0;
      in >> layout.clientWidth >> x >> layout.clientHeight;
      const std::size_t bar = line.find("toolbar=");
      layout.toolBar = ParseRect(line.substr(bar + 8));
    } else if (line.rfind("layout-dpi: ", 0) == 0) {
      layout.dpi = std::stoi(After(line, "layout-dpi: "));
    } else if (line.rfind("layout-button: ", 0) == 0) {
      // "layout-button: CAPTION L,T,W,H text=E icon=I font=F"; the caption may hold blanks.
      const std::string rest = After(line, "layout-button: ");
      const std::size_t font = rest.rfind(" font=");
      const std::size_t icon = rest.rfind(" icon=");
      const std::size_t text = rest.rfind(" text=");
      const std::size_t rect = rest.rfind(' ', text - 1);
      layout.buttons.push_back({rest.substr(0, rect), ParseRect(rest.substr(rect + 1, text - rect - 1)),
                                std::stoi(rest.substr(text + 6, icon - text - 6)),
                                std::stoi(rest.substr(icon + 6, font - icon - 6)), std::stoi(rest.substr(font + 6))});
    } else if (line.rfind("layout-label: \"", 0) == 0) {
      const std::string rest = After(line, "layout-label: \"");
      const std::size_t quote = rest.rfind("\" ");
      const std::size_t text = rest.rfind(" text=");
      const std::size_t font = rest.rfind(" font=");
      layout.labels[rest.substr(0, quote)] = {ParseRect(rest.substr(quote + 2, text - quote - 2)),
                                              std::stoi(rest.substr(text + 6, font - text - 6)),
                                              std::stoi(rest.substr(font + 6))};
    } else if (line.rfind("layout-progress: ", 0) == 0) {
      layout.progress = ParseRect(After(line, "layout-progress: "));
    }
  }
  return layout;
}

// A length of the 96-DPI layout at another DPI, rounded as the window does.
int Scaled(int pixels, int dpi) { return (pixels * dpi + 48) / 96; }

// 8 point at the DPI: 11 pixels at 96.
int FontPixels(int dpi) { return (8 * dpi + 36) / 72; }

// What a list-style tool button takes beside its icon and caption (the
// gaps before the icon, between icon and caption, after the caption), at
// 96 DPI: a button with less cuts its caption short.
constexpr int kButtonMargins = 10;

struct TLabelSpec {
  std::string caption;
  int left, top;
};

const TLabelSpec kLabels[] = {
    {"Status aktueller Text:", 8, 40}, {"Textlänge:", 8, 88}, {"1", 64, 88},
    {"Script enthalten", 8, 110},      {"<PRE>-formatierter Text", 120, 110},
};
const int kButtonLefts[] = {0, 74, 176, 270};
const char* const kCaptions[] = {"Beenden", "Sonderzeichen", "Komprimieren", "Sonderzeichen & Komprimieren"};

// The layout table scaled by DPI/96, to a pixel of rounding: client area,
// tool bar, buttons, labels and progress bar. Buttons and labels are as
// wide as their captions need in the font at hand; a caption wider than
// the layout's room moves the later buttons along and, where the bar then
// needs more than the layout's width, widens the client area.
std::string LayoutProblems(const TLayout& layout, int dpi) {
  std::ostringstream problems;
  auto within = [&](const std::string& what, int actual, int expected) {
    if (actual < expected - 1 || actual > expected + 1) {
      problems << what << " is " << actual << ", expected " << expected << " (within a pixel)\n";
    }
  };
  auto atLeast = [&](const std::string& what, int actual, int least) {
    if (actual < least) problems << what << " is " << actual << ", expected at least " << least << "\n";
  };
  within("the DPI", layout.dpi, dpi);
  if (layout.buttons.size() != 4) {
    problems << layout.buttons.size() << " tool buttons\n";
    return problems.str();
  }
  const int barRight = layout.buttons.back().rect.right();
  within("the client width", layout.clientWidth, std::max(Scaled(504, dpi), barRight));
  within("the client height", layout.clientHeight, Scaled(129, dpi));
  within("the tool bar's left", layout.toolBar.left, 0);
  within("the tool bar's top", layout.toolBar.top, 0);
  within("the tool bar's width", layout.toolBar.width, layout.clientWidth);
  within("the tool bar's height", layout.toolBar.height, Scaled(29, dpi));
  for (std::size_t i = 0; i < 4; ++i) {
    const TLayout::TButton& button = layout.buttons[i];
    const std::string name = "button \"" + button.caption + "\"";
    if (button.caption != kCaptions[i]) problems << name << " where \"" << kCaptions[i] << "\" belongs\n";
    within(name + "'s icon", button.icon, Scaled(16, dpi));
    within(name + "'s font height", button.font, FontPixels(dpi));
    within(name + "'s top", button.rect.top, 0);
    atLeast(name + "'s width for icon and caption", button.rect.width,
            button.text + button.icon + Scaled(kButtonMargins, dpi));
    const int tableLeft = Scaled(kButtonLefts[i], dpi);
    if (i == 0) {
      within(name + "'s left", button.rect.left, 0);
      continue;
    }
    const TLayout::TButton& before = layout.buttons[i - 1];
    within(name + "'s left", button.rect.left, before.rect.right());
    atLeast(name + "'s left", button.rect.left, tableLeft - 1);
    // Further right than the table only where the caption before needs it.
    const int roomBefore = tableLeft - before.rect.left;
    if (button.rect.left > tableLeft + 1 && before.text + before.icon + Scaled(kButtonMargins, dpi) <= roomBefore) {
      problems << name << " starts at " << button.rect.left << ", though \"" << before.caption
               << "\" fits into the layout's " << roomBefore << " pixels\n";
    }
  }
  atLeast("the client width right of the last button", layout.clientWidth, barRight);
  for (const TLabelSpec& spec : kLabels) {
    const auto found = layout.labels.find(spec.caption);
    if (found == layout.labels.end()) {
      problems << "no label \"" << spec.caption << "\"\n";
      continue;
    }
    const TRect& rect = found->second.rect;
    const int extent = found->second.text;
    const std::string name = "label \"" + spec.caption + "\"";
    within(name + "'s top", rect.top, Scaled(spec.top, dpi));
    within(name + "'s width", rect.width, extent);
    atLeast(name + "'s height", rect.height, Scaled(13, dpi) - 1);
    within(name + "'s font height", found->second.font, FontPixels(dpi));
    // The length and the pre label give way to a wider caption before them.
    const std::string beforeCaption = spec.caption == "1"                         ? "Textlänge:"
                                      : spec.caption == "<PRE>-formatierter Text" ? "Script enthalten"
                                                                                  : "";
    const auto beforeLabel = layout.labels.find(beforeCaption);
    const TRect before = beforeLabel != layout.labels.end() ? beforeLabel->second.rect : TRect{};
    if (before.width > 0 && before.right() + Scaled(6, dpi) > Scaled(spec.left, dpi)) {
      within(name + "'s left", rect.left, before.right() + Scaled(6, dpi));
    } else {
      within(name + "'s left", rect.left, Scaled(spec.left, dpi));
    }
  }
  within("the progress bar's left", layout.progress.left, Scaled(8, dpi));
  within("the progress bar's top", layout.progress.top, Scaled(56, dpi));
  within("the progress bar's width", layout.progress.width, Scaled(489, dpi));
  within("the progress bar's height", layout.progress.height, Scaled(16, dpi));
  return problems.str();
}

class HostDpi : public ::testing::TestWithParam<int> {};

// The host's layout step lists every label, hidden ones included.
TEST_P(HostDpi, AwareHostGetsTheLayoutScaled) {
  const int dpi = GetParam();
  if (dpi != PrefixDpi()) GTEST_SKIP() << "runs in the prefix of " << dpi << " DPI";
  const HostRun run = RunHost({L"--dpi-aware"}, L"layout; esc", u"x", L"dpi-aware");
  ASSERT_EQ(run.exitCode, 0u) << run.all;
  const std::string problems = LayoutProblems(ParseLayout(run), dpi);
  EXPECT_TRUE(problems.empty()) << "at " << dpi << " DPI:\n" << problems << "--- host output:\n" << run.all;
}

// An unaware host sees the layout at 96 DPI whatever the screen's; the
// system scales its windows.
TEST_P(HostDpi, UnawareHostKeepsTheLayoutUnscaled) {
  const int dpi = GetParam();
  if (dpi != PrefixDpi()) GTEST_SKIP() << "runs in the prefix of " << dpi << " DPI";
  const HostRun run = RunHost({}, L"layout; esc", u"x", L"dpi-unaware");
  ASSERT_EQ(run.exitCode, 0u) << run.all;
  const TLayout layout = ParseLayout(run);
  EXPECT_EQ(layout.dpi, 96) << run.all;
  EXPECT_EQ(layout.clientWidth, 504) << run.all;
  EXPECT_EQ(layout.clientHeight, 129) << run.all;
  ASSERT_EQ(layout.buttons.size(), 4u) << run.all;
  EXPECT_EQ(layout.buttons[0].icon, 16) << run.all;
}

INSTANTIATE_TEST_SUITE_P(Dpi, HostDpi, ::testing::Values(96, 120, 144, 192),
                         [](const ::testing::TestParamInfo<int>& param) { return "dpi" + std::to_string(param.param); });

// Moved to a monitor of another DPI, the dialog lays itself out at the new
// scale in the frame the system suggests (the host sends the message as the
// system would; the window's own DPI stays the screen's).
TEST(HostDpiChange, LaysOutAgainAtTheNewDpi) {
  for (const int dpi : {144, 96}) {
    const HostRun run = RunHost({L"--dpi-aware"}, L"dpi-changed:120; dpi-changed:" + std::to_wstring(dpi) +
                                                      L"; layout; esc",
                                u"x", L"dpi-changed");
    ASSERT_EQ(run.exitCode, 0u) << run.all;
    TLayout layout = ParseLayout(run);
    layout.dpi = dpi;
    const std::string problems = LayoutProblems(layout, dpi);
    EXPECT_TRUE(problems.empty()) << "after a change to " << dpi << " DPI:\n" << problems << "--- host output:\n"
                                  << run.all;
  }
}

// The screen this run was given has the DPI its prefix claims, or the
// cases above would measure the wrong scale.
TEST(HostDpiPrefix, ScreenHasThePrefixDpi) {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(dpi, PrefixDpi());
}

bool HasLine(const HostRun& run, const std::string& line) {
  return std::find(run.lines.begin(), run.lines.end(), line) != run.lines.end();
}

// Esc in an idle dialog closes it, and the text goes back unchanged.
TEST(HostEscape, ClosesAnIdleDialog) {
  const HostRun run = RunHost({L"--print-result"}, L"esc", u"a ä b", L"esc-idle");
  EXPECT_EQ(run.exitCode, 0u) << run.all;
  for (const char* line : {"esc: pressed -> TMainSonderZPlugin", "returned", "changed: 0", "text: a ä b"}) {
    EXPECT_TRUE(HasLine(run, line)) << "missing: " << line << "\n" << run.all;
  }
  EXPECT_EQ(run.all.find("message:"), std::string::npos) << run.all;
}

// Esc during a long compression is the close command: it takes effect only
// once the compression has ended and its message has been answered, and the
// host receives the compressed text.
TEST(HostEscape, DuringALongCompressionClosesAfterIt) {
  const std::u16string document = hosttest::LargeDocument();
  const std::u16string expected = hosttest::CompressedByEngine(document);
  const std::wstring output = DataFile(L"esc-large-out.html");
  DeleteFileW(output.c_str());
  const HostRun run = RunHost({L"--output", output, L"--result-size", L"L", L"--timeout", L"60000"},
                              L"hold; click:Komprimieren; esc; state; answer", document, L"esc-large");
  EXPECT_EQ(run.exitCode, 0u) << run.all;
  // The dialog takes the key while it compresses (a message box would take
  // it after), and the host's window is the dialog's or its disabled tool bar.
  const auto esc = std::find_if(run.lines.begin(), run.lines.end(), [](const std::string& line) {
    return line == "esc: pressed -> TMainSonderZPlugin" || line == "esc: pressed -> ToolbarWindow32";
  });
  ASSERT_NE(esc, run.lines.end()) << "Esc not taken by the dialog\n" << run.all;
  const std::vector<std::string> order = {"click: Komprimieren -> ToolbarWindow32", *esc,
                                          "message: Informationen: Komprimierung beendet.", "returned",
                                          "changed: 1"};
  auto at = run.lines.begin();
  for (const std::string& line : order) {
    at = std::find(at, run.lines.end(), line);
    ASSERT_NE(at, run.lines.end()) << "missing (in this order): " << line << "\n" << run.all;
  }
  // After Esc the dialog is still there, its action running.
  const auto state = std::find_if(esc, run.lines.end(), [](const std::string& line) {
    return line.rfind("state: ", 0) == 0;
  });
  ASSERT_NE(state, run.lines.end()) << run.all;
  EXPECT_EQ(state->rfind("state: toolbar=off", 0), 0u) << *state;
  EXPECT_EQ(run.all.find("error:"), std::string::npos) << run.all;
  std::string bytes;
  ASSERT_TRUE(hosttest::ReadBytes(output, bytes));
  EXPECT_TRUE(bytes == hosttest::Utf8(expected)) << "the text handed back is not the engine's result ("
                                                 << bytes.size() << " bytes)";
}

}  // namespace
