#include "Driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

#include "HostIO.h"
#include "Screenshot.h"

namespace host {

const wchar_t kScriptHelp[] =
    L"Script steps (--script), separated by \";\", run in order once the dialog\n"
    L"(a visible captioned top-level window of the process other than the host's\n"
    L"own) has appeared; it is announced as \"dialog: <caption>\":\n"
    L"  click:CAPTION  clicks the tool-bar button with that caption at the centre of\n"
    L"                 its rectangle with real mouse input (move, down, up) and\n"
    L"                 waits until the UI thread has handled the click; \"&&\" and \"&\"\n"
    L"                 match each other. A disabled bar or button ignores it, as it\n"
    L"                 would a person's click. Prints \"click: CAPTION -> CLASS\",\n"
    L"                 the class of the window that took the button-up, or nobody.\n"
    L"                 Unless hold is in force it then answers the action's message\n"
    L"                 boxes and waits until the action has ended\n"
    L"  hold           stops answering message boxes as they appear\n"
    L"  answer         waits for a message box and answers it with OK\n"
    L"  box            waits for a message box and leaves it open (after hold)\n"
    L"  auto           answers message boxes again as they appear (the default)\n"
    L"  idle           waits until no message box is open and the tool bar is\n"
    L"                 enabled (the action has ended)\n"
    L"  state          prints \"state: toolbar=on|off [CAPTION:on|off]...\n"
    L"                 progress=N labels=[\"TEXT\" shown|hidden]...\"\n"
    L"  layout         prints \"layout: client=WxH toolbar=L,T,W,H buttons=L1,L2,...\"\n"
    L"                 (the dialog's client size, the tool bar and its buttons' lefts\n"
    L"                 in client pixels), then the details in client pixels:\n"
    L"                 \"layout-dpi: N\" (the dialog's DPI, 0 where unknown),\n"
    L"                 \"layout-button: CAPTION L,T,W,H text=E icon=I font=F\" (E: the\n"
    L"                 caption's extent in the bar's font, I: the image list's icon\n"
    L"                 width, F: the font's character height),\n"
    L"                 \"layout-label: \"TEXT\" L,T,W,H text=E font=F\" for every caption\n"
    L"                 label,\n"
    L"                 \"layout-progress: L,T,W,H\"\n"
    L"  host-window    prints \"host-window: enabled|disabled\" (the host's window)\n"
    L"  close          posts the window's close command (SC_CLOSE) to the dialog\n"
    L"  esc            presses and releases Esc with real keyboard input on the\n"
    L"                 dialog and waits until the UI thread has taken the key;\n"
    L"                 prints \"esc: pressed -> CLASS\", the class of the window\n"
    L"                 that took it (a message box's #32770 when one is open), or\n"
    L"                 nobody\n"
    L"  dpi-changed:N  tells the dialog it was moved to a monitor of N DPI\n"
    L"                 (WM_DPICHANGED), suggesting its frame with the client area\n"
    L"                 scaled from its current DPI, at the same top left\n"
    L"  sleep:MS       waits MS milliseconds\n"
    L"  shot:FILE      saves the whole screen as FILE, .png or .bmp (24 bits)\n"
    L"  press:CAPTION  waits for a push button with that caption in any visible\n"
    L"                 top-level window of the process (of any thread, so also\n"
    L"                 while the UI thread is stuck), prints \"press: CAPTION in\n"
    L"                 \"TITLE\": TEXT | TEXT...\" (the window's static texts) and\n"
    L"                 presses it (BM_CLICK)\n"
    L"  no-dialog      as the first step: the script does not wait for a dialog\n"
    L"Every answered message box prints \"message: <caption>: <text>\". A step that\n"
    L"fails or times out prints \"error: ...\"; the driver then closes the dialog\n"
    L"and the host exits with 1 once the plug-in has returned. At the end of the\n"
    L"script the driver waits for the plug-in to return, answering message boxes.\n";

namespace {

// Every WM_LBUTTONUP that the UI thread takes out of its queue, in the
// dialog's loop or in a message box's. SendInput returns as soon as the
// input is queued, so a click is known to have been handled only once its
// button-up has been taken and a message sent after it has been answered.
// The window it was meant for tells where the click landed: a disabled
// child passes the click to its parent.
std::atomic<unsigned> g_buttonUpsTaken{0};
wchar_t g_lastButtonUpClass[64];  // written before the count goes up, read after

// The same for the Esc key: the window it went to tells whether the dialog
// or a message box took it.
std::atomic<unsigned> g_escapesTaken{0};
wchar_t g_lastEscapeClass[64];

LRESULT CALLBACK CountButtonUps(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if ((message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN) && message->wParam == VK_ESCAPE) {
      if (GetClassNameW(message->hwnd, g_lastEscapeClass, 64) == 0) g_lastEscapeClass[0] = L'\0';
      ++g_escapesTaken;
    }
    if (message->message == WM_LBUTTONUP || message->message == WM_NCLBUTTONUP) {
      // Named here, on the UI thread: a click on "Beenden" destroys the
      // window soon after.
      if (GetClassNameW(message->hwnd, g_lastButtonUpClass, 64) == 0) g_lastButtonUpClass[0] = L'\0';
      ++g_buttonUpsTaken;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A button-up that the UI thread has not taken within this time was dropped
// (it fell on a disabled window), which is what a disabled window does.
constexpr DWORD kClickSettleMs = 1000;
constexpr DWORD kPollMs = 20;
constexpr int kMessageBoxTextId = 0xFFFF;  // the static control holding a message box's text

long long Ticks() {
  LARGE_INTEGER now = {};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

long long TicksToMs(long long ticks) {
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  return ticks * 1000 / frequency.QuadPart;
}

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<std::size_t>(std::max(length, 0)));
}

bool IsMessageBox(HWND window) {
  return ClassName(window) == L"#32770" && GetDlgItem(window, kMessageBoxTextId) != nullptr;
}

std::vector<HWND> VisibleProcessWindows() {
  struct Collected {
    DWORD process = GetCurrentProcessId();
    std::vector<HWND> windows;
  } collected;
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& into = *reinterpret_cast<Collected*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == into.process && IsWindowVisible(window)) into.windows.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&collected));
  return collected.windows;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

HWND FirstOfClass(HWND parent, std::wstring_view className) {
  for (HWND child : Descendants(parent)) {
    if (_wcsicmp(ClassName(child).c_str(), std::wstring(className).c_str()) == 0) return child;
  }
  return nullptr;
}

// A caption as a person reads it: the toolkit writes one "&" as "&&".
std::wstring ReadableCaption(std::wstring_view caption) {
  std::wstring readable;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    readable += caption[i];
    if (caption[i] == L'&' && i + 1 < caption.size() && caption[i + 1] == L'&') ++i;
  }
  return readable;
}

bool ParseUnsigned(std::wstring_view text, unsigned& value) {
  if (text.empty() || text.size() > 9) return false;
  unsigned result = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    result = result * 10 + static_cast<unsigned>(c - L'0');
  }
  value = result;
  return true;
}

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
  return text;
}

bool IsTextStatic(HWND window) {
  switch (GetWindowLongPtrW(window, GWL_STYLE) & SS_TYPEMASK) {
    case SS_LEFT:
    case SS_CENTER:
    case SS_RIGHT:
    case SS_SIMPLE:
    case SS_LEFTNOWORDWRAP:
    case SS_OWNERDRAW:
      return true;
    default:
      return false;  // lines, frames, icons and bitmaps carry no caption
  }
}

std::wstring RectText(const RECT& rect) {
  return std::to_wstring(rect.left) + L"," + std::to_wstring(rect.top) + L"," +
         std::to_wstring(rect.right - rect.left) + L"," + std::to_wstring(rect.bottom - rect.top);
}

// A child's rectangle in its dialog's client pixels.
RECT ClientRectOf(HWND child, HWND dialog) {
  RECT rect = {};
  GetWindowRect(child, &rect);
  MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

// A font's character height in pixels (its em height, 8 point being 11
// pixels at 96 DPI); 0 for the system font.
int FontHeight(HFONT font) {
  LOGFONTW description = {};
  if (font == nullptr || GetObjectW(font, sizeof description, &description) == 0) return 0;
  return description.lfHeight < 0 ? -description.lfHeight : description.lfHeight;
}

// The width a caption takes in a font, as the control would draw it.
int TextExtent(HWND window, HFONT font, const std::wstring& text) {
  HDC dc = GetDC(window);
  if (dc == nullptr) return -1;
  const HGDIOBJ old = font != nullptr ? SelectObject(dc, font) : nullptr;
  SIZE extent = {};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  if (old != nullptr) SelectObject(dc, old);
  ReleaseDC(window, dc);
  return extent.cx;
}

}  // namespace

bool ParseScript(std::wstring_view script, std::vector<Step>& steps, std::wstring& error) {
  struct Name {
    std::wstring_view name;
    StepKind kind;
    bool takesArgument;
  };
  static constexpr Name kNames[] = {
      {L"click", StepKind::Click, true},          {L"hold", StepKind::Hold, false},
      {L"auto", StepKind::Auto, false},           {L"answer", StepKind::Answer, false},
      {L"box", StepKind::Box, false},
      {L"idle", StepKind::Idle, false},           {L"state", StepKind::State, false},
      {L"layout", StepKind::Layout, false},
      {L"host-window", StepKind::HostWindow, false}, {L"close", StepKind::Close, false},
      {L"esc", StepKind::Escape, false},         {L"dpi-changed", StepKind::DpiChanged, true},
      {L"sleep", StepKind::Sleep, true},          {L"shot", StepKind::Shot, true},
      {L"press", StepKind::Press, true},          {L"no-dialog", StepKind::NoDialog, false},
  };
  steps.clear();
  while (!script.empty()) {
    const std::size_t end = std::min(script.find(L';'), script.size());
    const std::wstring_view text = Trim(script.substr(0, end));
    script.remove_prefix(std::min(end + 1, script.size()));
    if (text.empty()) continue;
    const std::size_t colon = text.find(L':');
    const std::wstring_view name = text.substr(0, colon);
    const std::wstring_view argument =
        colon == std::wstring_view::npos ? std::wstring_view() : text.substr(colon + 1);
    const auto known = std::find_if(std::begin(kNames), std::end(kNames),
                                    [&](const Name& n) { return n.name == name; });
    if (known == std::end(kNames)) {
      error = L"unknown script step \"" + std::wstring(text) + L"\"";
      return false;
    }
    if (known->takesArgument != (colon != std::wstring_view::npos) ||
        (known->takesArgument && argument.empty())) {
      error = known->takesArgument ? L"script step \"" + std::wstring(name) + L"\" needs \":ARGUMENT\""
                                   : L"script step \"" + std::wstring(name) + L"\" takes no argument";
      return false;
    }
    Step step;
    step.kind = known->kind;
    step.text = std::wstring(text);
    step.argument = std::wstring(argument);
    if (step.kind == StepKind::Sleep && !ParseUnsigned(argument, step.milliseconds)) {
      error = L"sleep takes milliseconds: \"" + std::wstring(text) + L"\"";
      return false;
    }
    if (step.kind == StepKind::DpiChanged &&
        (!ParseUnsigned(argument, step.milliseconds) || step.milliseconds < 48 || step.milliseconds > 960)) {
      error = L"dpi-changed takes a DPI from 48 to 960: \"" + std::wstring(text) + L"\"";
      return false;
    }
    steps.push_back(std::move(step));
  }
  return true;
}

ScriptDriver::ScriptDriver(std::vector<Step> steps, DriverSettings settings)
    : steps_(std::move(steps)),
      settings_(settings),
      // A thread hook of our own process needs no module handle.
      inputHook_(SetWindowsHookExW(WH_GETMESSAGE, CountButtonUps, nullptr, GetCurrentThreadId())) {
  using GetThreadContextFn = HANDLE(WINAPI*)();
  const auto getThread = reinterpret_cast<GetThreadContextFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetThreadDpiAwarenessContext")));
  if (getThread != nullptr) dpiContext_ = getThread();
}

void ScriptDriver::Run() {
  // Measures in the UI thread's pixels: aware, physical; unaware, the 96-DPI
  // pixels the system shows such a program.
  using SetThreadContextFn = HANDLE(WINAPI*)(HANDLE);
  const auto setThread = reinterpret_cast<SetThreadContextFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext")));
  if (setThread != nullptr && dpiContext_ != nullptr) setThread(dpiContext_);
  std::size_t number = 0;
  const Step* current = nullptr;
  try {
    if (!inputHook_) throw StepError{L"cannot watch the UI thread's input"};
    if (steps_.empty() || steps_.front().kind != StepKind::NoDialog) FindDialog();
    for (const Step& step : steps_) {
      ++number;
      current = &step;
      Execute(step);
    }
  } catch (const StepError& failure) {
    std::wstring line = L"error: ";
    if (current != nullptr) line += L"step " + std::to_wstring(number) + L" (" + current->text + L"): ";
    PrintLine(line + failure.what);
    failed_ = true;
  }
  Finish();
}

void ScriptDriver::FindDialog() {
  WaitFor(
      [&] {
        for (HWND window : VisibleProcessWindows()) {
          const auto style = GetWindowLongPtrW(window, GWL_STYLE);
          if (window != settings_.hostWindow && (style & WS_CAPTION) == WS_CAPTION &&
              !IsMessageBox(window)) {
            dialog_ = window;
            return true;
          }
        }
        return false;
      },
      L"the plug-in's dialog", true);
  // Shown is not yet ready: wait until the UI thread is back in its loop.
  Barrier();
  toolBar_ = FirstOfClass(dialog_, L"ToolbarWindow32");
  progressBar_ = FirstOfClass(dialog_, L"msctls_progress32");
  PrintLine(L"dialog: " + EscapeForLine(WindowText(dialog_)));
}

void ScriptDriver::Execute(const Step& step) {
  switch (step.kind) {
    case StepKind::Click: Click(step.argument); return;
    case StepKind::Hold: autoAnswer_ = false; return;
    case StepKind::Auto: autoAnswer_ = true; ServiceMessageBoxes(false); return;
    case StepKind::Answer: AnswerOne(); return;
    case StepKind::Box: AwaitBox(); return;
    case StepKind::Idle: WaitIdle(); return;
    case StepKind::State: PrintState(); return;
    case StepKind::Layout: PrintLayout(); return;
    case StepKind::HostWindow:
      PrintLine(IsWindowEnabled(settings_.hostWindow) ? L"host-window: enabled"
                                                      : L"host-window: disabled");
      return;
    case StepKind::Close:
      PostMessageW(Dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
      closePosted_ = true;
      Barrier();
      return;
    case StepKind::Escape: PressEscape(); return;
    case StepKind::DpiChanged: ChangeDpi(step.milliseconds); return;
    case StepKind::Sleep: SleepServicing(step.milliseconds); return;
    case StepKind::Press: Press(step.argument); return;
    case StepKind::NoDialog: return;
    case StepKind::Shot: {
      // A window just shown may not have painted yet: have every window of
      // the process paint now, and give the X server a moment to show it.
      // A window whose thread is stuck (a crash box's host thread) cannot
      // paint on demand: it is left as it is.
      bool uiAnswers = false;
      for (HWND window : VisibleProcessWindows()) {
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored)) continue;
        if (GetWindowThreadProcessId(window, nullptr) == GetWindowThreadProcessId(settings_.hostWindow, nullptr)) {
          uiAnswers = true;
        }
        RedrawWindow(window, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
      }
      if (uiAnswers) Barrier();
      Sleep(200);
      std::wstring error;
      if (!SaveScreenshot(step.argument, error)) throw StepError{error};
      PrintLine(L"shot: " + step.argument);
      return;
    }
  }
}

void ScriptDriver::Finish() {
  if (failed_ && dialog_ != nullptr && IsWindow(dialog_) && !closePosted_) {
    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    closePosted_ = true;
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD start = GetTickCount();
    while (!pluginReturned_ && GetTickCount() - start < settings_.timeoutMs) {
      // Whatever the script held, nothing can end while a box stays open.
      try {
        ServiceMessageBoxes(true);
      } catch (const StepError&) {
        // The box went while it was being read (its dialog was torn down).
      }
      Sleep(kPollMs);
    }
    if (pluginReturned_) return;
    failed_ = true;
    if (attempt == 0) {
      PrintLine(L"error: the dialog is still open after the script; closing it");
      if (dialog_ != nullptr) PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
  }
  PrintLine(L"error: the plug-in does not return; ending the process");
  // The UI thread is stuck inside the plug-in, so an orderly exit would hang.
  TerminateProcess(GetCurrentProcess(), 1);
}

void ScriptDriver::Click(const std::wstring& caption) {
  const std::vector<ToolButton> buttons = ReadButtons();
  const std::wstring wanted = ReadableCaption(caption);
  const auto button = std::find_if(buttons.begin(), buttons.end(), [&](const ToolButton& b) {
    return ReadableCaption(b.caption) == wanted;
  });
  if (button == buttons.end()) {
    std::wstring known;
    for (const ToolButton& b : buttons) known += L" \"" + b.caption + L"\"";
    throw StepError{L"no tool-bar button \"" + caption + L"\"; the bar has" + known};
  }
  POINT centre = {(button->rect.left + button->rect.right) / 2,
                  (button->rect.top + button->rect.bottom) / 2};
  MapWindowPoints(toolBar_, HWND_DESKTOP, &centre, 1);

  // Wine without a window manager gives no window the focus by itself.
  SetForegroundWindow(Dialog());
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  INPUT input[3] = {};
  for (INPUT& one : input) one.type = INPUT_MOUSE;
  // Absolute coordinates run from 0 to 65535 across the primary screen; the
  // half pixel lands the pointer inside the intended pixel, not on its edge.
  input[0].mi.dx = static_cast<LONG>((centre.x * 65536LL + width / 2) / width);
  input[0].mi.dy = static_cast<LONG>((centre.y * 65536LL + height / 2) / height);
  input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  const unsigned before = g_buttonUpsTaken;
  clickTicks_ = Ticks();
  if (SendInput(3, input, sizeof(INPUT)) != 3) {
    throw StepError{L"SendInput failed (error " + std::to_wstring(GetLastError()) + L")"};
  }
  const DWORD start = GetTickCount();
  while (g_buttonUpsTaken == before && !pluginReturned_ &&
         GetTickCount() - start < kClickSettleMs) {
    Barrier();
    Sleep(5);
  }
  PrintLine(L"click: " + EscapeForLine(ReadableCaption(caption)) + L" -> " +
            (g_buttonUpsTaken != before ? std::wstring(g_lastButtonUpClass) : std::wstring(L"nobody")));
  Barrier();
  if (!autoAnswer_) return;
  // As a person would: answer what the action shows and go on once it has
  // ended (the tool bar stays disabled for the whole of an action).
  WaitFor(
      [&] {
        if (pluginReturned_ || !IsWindow(dialog_)) return true;
        return FirstMessageBox() == nullptr && IsWindowEnabled(toolBar_);
      },
      L"the action to end", true);
}

void ScriptDriver::Press(const std::wstring& caption) {
  const std::wstring wanted = ReadableCaption(caption);
  HWND button = nullptr;
  HWND window = nullptr;
  WaitFor(
      [&] {
        for (HWND top : VisibleProcessWindows()) {
          for (HWND child : Descendants(top)) {
            if (_wcsicmp(ClassName(child).c_str(), L"Button") == 0 && IsWindowVisible(child) &&
                ReadableCaption(WindowText(child)) == wanted) {
              button = child;
              window = top;
              return true;
            }
          }
        }
        return false;
      },
      L"a button \"" + caption + L"\"", false);
  std::wstring texts;
  for (HWND child : Descendants(window)) {
    if (_wcsicmp(ClassName(child).c_str(), L"Static") != 0 || !IsTextStatic(child)) continue;
    if (!texts.empty()) texts += L" | ";
    texts += EscapeForLine(WindowText(child));
  }
  PrintLine(L"press: " + EscapeForLine(wanted) + L" in \"" + EscapeForLine(WindowText(window)) + L"\": " + texts);
  PostMessageW(button, BM_CLICK, 0, 0);
  // Handled once the button's thread answers a message sent after it.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(button, WM_NULL, 0, 0, SMTO_NORMAL, settings_.timeoutMs, &ignored);
}

void ScriptDriver::PrintState() {
  const HWND dialog = Dialog();
  std::wstring line = L"state: toolbar=";
  line += toolBar_ != nullptr && IsWindowEnabled(toolBar_) ? L"on" : L"off";
  for (const ToolButton& button : ReadButtons()) {
    line += L" [" + EscapeForLine(button.caption) + (button.enabled ? L":on]" : L":off]");
  }
  line += L" progress=";
  line += progressBar_ != nullptr ? std::to_wstring(Query(progressBar_, PBM_GETPOS, 0, 0)) : L"none";
  line += L" labels=";
  for (HWND child : Descendants(dialog)) {
    if (_wcsicmp(ClassName(child).c_str(), L"Static") != 0 || !IsTextStatic(child)) continue;
    const bool shown = (GetWindowLongPtrW(child, GWL_STYLE) & WS_VISIBLE) != 0;
    line += L"[\"" + EscapeForLine(WindowText(child)) + (shown ? L"\" shown] " : L"\" hidden] ");
  }
  while (!line.empty() && line.back() == L' ') line.pop_back();
  PrintLine(line);
}

void ScriptDriver::PrintLayout() {
  const HWND dialog = Dialog();
  RECT client = {};
  GetClientRect(dialog, &client);
  RECT bar = {};
  if (toolBar_ != nullptr) {
    GetWindowRect(toolBar_, &bar);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&bar), 2);
  }
  std::wstring line = L"layout: client=" + std::to_wstring(client.right) + L"x" + std::to_wstring(client.bottom) +
                      L" toolbar=" + std::to_wstring(bar.left) + L"," + std::to_wstring(bar.top) + L"," +
                      std::to_wstring(bar.right - bar.left) + L"," + std::to_wstring(bar.bottom - bar.top) +
                      L" buttons=";
  bool first = true;
  for (const ToolButton& button : ReadButtons()) {
    if (!first) line += L",";
    line += std::to_wstring(button.rect.left);
    first = false;
  }
  PrintLine(line);

  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  PrintLine(L"layout-dpi: " + std::to_wstring(getDpi != nullptr ? getDpi(dialog) : 0));
  int icon = 0;
  int iconHeight = 0;
  if (toolBar_ != nullptr) {
    const auto images = reinterpret_cast<HIMAGELIST>(Query(toolBar_, TB_GETIMAGELIST, 0, 0));
    if (images != nullptr) ImageList_GetIconSize(images, &icon, &iconHeight);
  }
  const auto barFont = toolBar_ != nullptr ? reinterpret_cast<HFONT>(Query(toolBar_, WM_GETFONT, 0, 0)) : nullptr;
  for (const ToolButton& button : ReadButtons()) {
    PrintLine(L"layout-button: " + EscapeForLine(button.caption) + L" " + RectText(button.rect) +
              L" text=" + std::to_wstring(TextExtent(toolBar_, barFont, button.caption)) + L" icon=" +
              std::to_wstring(icon) + L" font=" + std::to_wstring(FontHeight(barFont)));
  }
  for (HWND child : Descendants(dialog)) {
    if (_wcsicmp(ClassName(child).c_str(), L"Static") != 0 || !IsTextStatic(child)) continue;
    const std::wstring caption = WindowText(child);
    const auto font = reinterpret_cast<HFONT>(Query(child, WM_GETFONT, 0, 0));
    PrintLine(L"layout-label: \"" + EscapeForLine(caption) + L"\" " + RectText(ClientRectOf(child, dialog)) +
              L" text=" + std::to_wstring(TextExtent(child, font, caption)) + L" font=" +
              std::to_wstring(FontHeight(font)));
  }
  if (progressBar_ != nullptr) PrintLine(L"layout-progress: " + RectText(ClientRectOf(progressBar_, dialog)));
}

// Real key strokes, as a person presses Esc: they go to the window that has
// the keyboard focus in the dialog's thread, or to the dialog when none has.
void ScriptDriver::PressEscape() {
  SetForegroundWindow(Dialog());
  INPUT input[2] = {};
  for (INPUT& one : input) {
    one.type = INPUT_KEYBOARD;
    one.ki.wVk = VK_ESCAPE;
    one.ki.wScan = static_cast<WORD>(MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC));
  }
  input[1].ki.dwFlags = KEYEVENTF_KEYUP;
  const unsigned before = g_escapesTaken;
  if (SendInput(2, input, sizeof(INPUT)) != 2) {
    throw StepError{L"SendInput failed (error " + std::to_wstring(GetLastError()) + L")"};
  }
  const DWORD start = GetTickCount();
  while (g_escapesTaken == before && !pluginReturned_ && GetTickCount() - start < kClickSettleMs) {
    Barrier();
    Sleep(5);
  }
  PrintLine(std::wstring(L"esc: pressed -> ") +
            (g_escapesTaken != before ? std::wstring(g_lastEscapeClass) : std::wstring(L"nobody")));
  Barrier();
}

void ScriptDriver::ChangeDpi(unsigned dpi) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const HWND dialog = Dialog();
  const int current = static_cast<int>(currentDpi_ != 0 ? currentDpi_ : (getDpi ? getDpi(dialog) : 96));
  RECT window = {};
  RECT client = {};
  GetWindowRect(dialog, &window);
  GetClientRect(dialog, &client);
  const int frameWidth = (window.right - window.left) - client.right;
  const int frameHeight = (window.bottom - window.top) - client.bottom;
  RECT suggested = {window.left, window.top,
                    window.left + frameWidth + MulDiv(client.right, static_cast<int>(dpi), current),
                    window.top + frameHeight + MulDiv(client.bottom, static_cast<int>(dpi), current)};
  Query(dialog, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  currentDpi_ = dpi;
  PrintLine(L"dpi-changed: " + std::to_wstring(dpi));
}

void ScriptDriver::AnswerOne() { Answer(AwaitBox()); }

HWND ScriptDriver::AwaitBox() {
  HWND box = nullptr;
  WaitFor(
      [&] {
        box = FirstMessageBox();
        return box != nullptr;
      },
      L"a message box", false);
  // Visible is not yet modal: wait until the box's own loop runs, by which
  // time the dialog under it is disabled.
  Barrier();
  return box;
}

void ScriptDriver::WaitIdle() {
  WaitFor(
      [&] {
        Dialog();  // a closed dialog never becomes idle
        return FirstMessageBox() == nullptr && toolBar_ != nullptr && IsWindowEnabled(toolBar_);
      },
      L"the action to end", true);
}

void ScriptDriver::SleepServicing(unsigned milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    ServiceMessageBoxes(false);
    Sleep(std::min<DWORD>(kPollMs, milliseconds - (GetTickCount() - start) + 1));
  }
}

HWND ScriptDriver::Dialog() const {
  if (dialog_ == nullptr || !IsWindow(dialog_)) throw StepError{L"the dialog is closed"};
  return dialog_;
}

HWND ScriptDriver::FirstMessageBox() const {
  for (HWND window : VisibleProcessWindows()) {
    if (IsMessageBox(window)) return window;
  }
  return nullptr;
}

void ScriptDriver::ServiceMessageBoxes(bool force) {
  if (!autoAnswer_ && !force) return;
  while (const HWND box = FirstMessageBox()) Answer(box);
}

void ScriptDriver::Answer(HWND box) {
  const long long seen = Ticks();
  const std::wstring caption = WindowText(box);
  const std::wstring text = WindowText(GetDlgItem(box, kMessageBoxTextId));
  PrintLine(L"message: " + EscapeForLine(caption) + L": " + EscapeForLine(text));
  if (settings_.timing && clickTicks_ != 0) {
    PrintLine(L"timing: " + std::to_wstring(TicksToMs(seen - clickTicks_)) +
              L" ms from the last click to \"" + EscapeForLine(text) + L"\"");
  }
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  const DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (GetTickCount() - start >= settings_.timeoutMs) {
      throw StepError{L"the message box \"" + caption + L"\" does not close on OK"};
    }
    Sleep(kPollMs / 4);
  }
}

std::vector<ScriptDriver::ToolButton> ScriptDriver::ReadButtons() const {
  Dialog();
  if (toolBar_ == nullptr) throw StepError{L"the dialog has no ToolbarWindow32"};
  std::vector<ToolButton> buttons;
  const auto count = static_cast<int>(Query(toolBar_, TB_BUTTONCOUNT, 0, 0));
  for (int index = 0; index < count; ++index) {
    TBBUTTON raw = {};
    // Same process: the tool bar writes straight into this thread's memory.
    if (!Query(toolBar_, TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&raw)) ||
        (raw.fsStyle & BTNS_SEP) != 0) {
      continue;
    }
    ToolButton button;
    button.index = index;
    button.command = raw.idCommand;
    const auto command = static_cast<WPARAM>(raw.idCommand);
    const auto length = static_cast<long long>(Query(toolBar_, TB_GETBUTTONTEXTW, command, 0));
    if (length > 0 && length < 1024) {
      std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
      Query(toolBar_, TB_GETBUTTONTEXTW, command, reinterpret_cast<LPARAM>(caption.data()));
      caption.resize(std::wcslen(caption.c_str()));
      button.caption = caption;
    }
    button.enabled = Query(toolBar_, TB_ISBUTTONENABLED, command, 0) != 0;
    Query(toolBar_, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button.rect));
    buttons.push_back(std::move(button));
  }
  return buttons;
}

LRESULT ScriptDriver::Query(HWND window, UINT message, WPARAM wParam, LPARAM lParam) const {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, settings_.timeoutMs,
                           &result)) {
    throw StepError{L"the dialog does not answer (error " + std::to_wstring(GetLastError()) + L")"};
  }
  return static_cast<LRESULT>(result);
}

std::wstring ScriptDriver::WindowText(HWND window) const {
  if (window == nullptr) return {};
  const auto length = static_cast<long long>(Query(window, WM_GETTEXTLENGTH, 0, 0));
  if (length <= 0) return {};
  std::wstring text(static_cast<std::size_t>(std::min(length, 65535LL)) + 1, L'\0');
  Query(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(std::wcslen(text.c_str()));
  return text;
}

// Returns once the UI thread has handled everything queued before, by
// sending it a message through the host's window, which outlives the dialog.
// Short tries, because after the dialog closes the UI thread stops pumping.
void ScriptDriver::Barrier() {
  const DWORD start = GetTickCount();
  while (!pluginReturned_) {
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutW(settings_.hostWindow, WM_NULL, 0, 0, SMTO_NORMAL, 100, &ignored)) return;
    if (GetTickCount() - start >= settings_.timeoutMs) {
      throw StepError{L"the UI thread does not answer"};
    }
  }
}

template <typename Done>
void ScriptDriver::WaitFor(Done done, std::wstring_view what, bool service) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (service) ServiceMessageBoxes(false);
    if (done()) return;
    if (pluginReturned_) {
      throw StepError{L"the plug-in returned while waiting for " + std::wstring(what)};
    }
    if (GetTickCount() - start >= settings_.timeoutMs) {
      throw StepError{L"timed out after " + std::to_wstring(settings_.timeoutMs / 1000) +
                      L" s waiting for " + std::wstring(what)};
    }
    Sleep(kPollMs);
  }
}

}  // namespace host
