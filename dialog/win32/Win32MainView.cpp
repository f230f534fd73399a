#include "dialog/win32/Win32MainView.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "plugin/resource.h"

namespace tavi {
namespace {

constexpr wchar_t kWindowClass[] = L"TMainSonderZPlugin";
constexpr wchar_t kCaption[] = L"Scrivlex Sonderzeichen PlugIn";
constexpr int kClientWidth = 504;
constexpr int kClientHeight = 129;
constexpr int kToolBarHeight = 29;

struct TButtonSpec {
  int id;
  int image;
  const wchar_t* caption;
  int width;  // at least: the buttons then start at 0, 74, 176 and 270
};

// The tool bar draws its texts without prefix processing, so the fourth
// button reads "Sonderzeichen & Komprimieren" with its one ampersand and no
// caption defines an access key.
constexpr TButtonSpec kButtons[] = {
    {IDC_EXITBTN, 0, L"Beenden", 74},
    {IDC_TAVIBTN, 1, L"Sonderzeichen", 102},
    {IDC_COMPBTN, 2, L"Komprimieren", 94},
    {IDC_SONDERZANDCOMPBTN, 3, L"Sonderzeichen & Komprimieren", 0},  // as wide as it needs
};
constexpr int kIcons[] = {IDI_EXIT, IDI_SONDERZEICHEN, IDI_KOMPRIMIEREN, IDI_SONDERZ_KOMP};

int ButtonId(TToolButton button) {
  switch (button) {
    case TToolButton::ExitBtn: return IDC_EXITBTN;
    case TToolButton::TaviBtn: return IDC_TAVIBTN;
    case TToolButton::CompBtn: return IDC_COMPBTN;
    case TToolButton::SonderZAndCompBtn: return IDC_SONDERZANDCOMPBTN;
  }
  return 0;
}

const wchar_t* AsWide(std::u16string_view text) { return reinterpret_cast<const wchar_t*>(text.data()); }

std::wstring WideFromUtf8(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (length <= 1) return L"Unbekannter Fehler";
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

// "MS Sans Serif", 8 point at 96 dots per inch: 11 pixels high.
HFONT CreateDialogFont(int weight) {
  return CreateFontW(-11, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"MS Sans Serif");
}

long long Ticks() {
  LARGE_INTEGER now = {};
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Runs its action when the scope ends, however it ends.
template <typename Action>
class TScopeExit {
 public:
  explicit TScopeExit(Action action) : action_(action) {}
  ~TScopeExit() { action_(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  Action action_;
};

}  // namespace

TWin32MainView::TWin32MainView(HINSTANCE resources) : resources_(resources) {
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  // Looking at the message queue costs tens of microseconds; a millisecond
  // between looks is invisible to a person and keeps long runs fast.
  peekInterval_ = frequency.QuadPart / 1000;
  progressInterval_ = frequency.QuadPart / 60;
}

TWin32MainView::~TWin32MainView() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (imageList_) ImageList_Destroy(imageList_);
  // A class registered by a DLL outlives the DLL unless it is unregistered;
  // a later load at another address would then call a stale procedure.
  UnregisterClassW(kWindowClass, resources_);
}

void TWin32MainView::Create() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TWin32MainView::WindowProc;
  wc.hInstance = resources_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw std::runtime_error("Das Fenster konnte nicht angelegt werden.");
  }

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT frame = {0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  CreateWindowExW(exStyle, kWindowClass, kCaption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                  frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, resources_, this);
  if (!hwnd_) throw std::runtime_error("Das Fenster konnte nicht angelegt werden.");
  // The system menu keeps only what a fixed dialog offers: move and close.
  if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) {
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
  }
  CreateControls();
}

void TWin32MainView::CreateControls() {
  font_.reset(CreateDialogFont(FW_NORMAL));
  boldFont_.reset(CreateDialogFont(FW_BOLD));
  CreateToolBar();

  labels_[static_cast<int>(TLabel::StateLabel)] =
      CreateLabel(IDC_STATELABEL, L"Status aktueller Text:", 8, 40, true, font_.get());
  progressBar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 8, 56, 489, 16, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESSBAR)), resources_, nullptr);
  SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar_, PBM_SETPOS, 0, 0);
  shownProgress_ = 0;
  pendingProgress_ = 0;
  labels_[static_cast<int>(TLabel::Label1)] = CreateLabel(IDC_LABEL1, L"Textlänge:", 8, 88, true, font_.get());
  // The length stands at 64, six pixels after "Textlänge:" in the layout's
  // font; a wider font pushes it along rather than over the colon.
  RECT label1 = {};
  GetClientRect(Label(TLabel::Label1), &label1);
  const int lengthLeft = std::max<int>(64, 8 + label1.right + 6);
  labels_[static_cast<int>(TLabel::TextLenLabel)] =
      CreateLabel(IDC_TEXTLENLABEL, L"99", lengthLeft, 88, true, font_.get());
  labels_[static_cast<int>(TLabel::ScriptLabel)] =
      CreateLabel(IDC_SCRIPTLABEL, L"Script enthalten", 8, 110, false, boldFont_.get());
  labels_[static_cast<int>(TLabel::PreLabel)] =
      CreateLabel(IDC_PRELABEL, L"<PRE>-formatierter Text", 120, 110, false, boldFont_.get());
}

void TWin32MainView::CreateToolBar() {
  toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_LIST |
                                 CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                             0, 0, kClientWidth, kToolBarHeight, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)), resources_, nullptr);
  if (!toolBar_) throw std::runtime_error("Die Werkzeugleiste konnte nicht angelegt werden.");
  SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  SendMessageW(toolBar_, TB_SETDRAWTEXTFLAGS, DT_NOPREFIX, DT_NOPREFIX);

  imageList_ = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 4, 0);
  for (int icon : kIcons) {
    HICON handle = static_cast<HICON>(LoadImageW(resources_, MAKEINTRESOURCEW(icon), IMAGE_ICON, 16, 16, 0));
    ImageList_AddIcon(imageList_, handle);
    if (handle) DestroyIcon(handle);
  }
  SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(imageList_));

  TBBUTTON buttons[std::size(kButtons)] = {};
  for (std::size_t i = 0; i < std::size(kButtons); ++i) {
    buttons[i].iBitmap = kButtons[i].image;
    buttons[i].idCommand = kButtons[i].id;
    buttons[i].fsState = kButtons[i].id == IDC_EXITBTN ? TBSTATE_ENABLED : 0;
    buttons[i].fsStyle = BTNS_BUTTON | BTNS_SHOWTEXT | BTNS_AUTOSIZE;
    buttons[i].iString = reinterpret_cast<INT_PTR>(kButtons[i].caption);
  }
  SendMessageW(toolBar_, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));

  // The tool bar first measures each button as wide as its icon and caption
  // need; a button that needs less than the room up to the next one's left
  // of the layout (0, 74, 176, 270) is widened to it. A font wider than the
  // one the layout was drawn for (a substitute, a larger system font) thus
  // moves the later buttons along instead of cutting captions short.
  // A classic tool button's margins: the platform's newer default pads each
  // button more than the layout has room for.
  SendMessageW(toolBar_, TB_SETPADDING, 0, MAKELPARAM(8, 6));
  SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
  for (const TButtonSpec& spec : kButtons) {
    RECT natural = {};
    const LRESULT index = SendMessageW(toolBar_, TB_COMMANDTOINDEX, spec.id, 0);
    SendMessageW(toolBar_, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&natural));
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_SIZE | TBIF_STYLE;
    info.fsStyle = BTNS_BUTTON | BTNS_SHOWTEXT;
    info.cx = static_cast<WORD>(std::max<LONG>(spec.width, natural.right - natural.left));
    SendMessageW(toolBar_, TB_SETBUTTONINFOW, spec.id, reinterpret_cast<LPARAM>(&info));
  }

  CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ, 0, kToolBarHeight - 2, kClientWidth,
                  2, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBARLINE)), resources_, nullptr);
}

HWND TWin32MainView::CreateLabel(int id, const wchar_t* caption, int left, int top, bool visible, HFONT font) {
  HWND label = CreateWindowExW(0, L"STATIC", caption, WS_CHILD | SS_LEFT | SS_NOPREFIX | (visible ? WS_VISIBLE : 0),
                               left, top, 10, 13, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               resources_, nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  FitLabel(label);
  return label;
}

// Labels size themselves to their caption, as the layout asks.
void TWin32MainView::FitLabel(HWND label) {
  const int length = GetWindowTextLengthW(label);
  std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(label, caption.data(), length + 1);
  HDC dc = GetDC(label);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE extent = {};
  GetTextExtentPoint32W(dc, caption.c_str(), length, &extent);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  SetWindowPos(label, nullptr, 0, 0, extent.cx, 13, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND TWin32MainView::Label(TLabel label) const { return labels_[static_cast<int>(label)]; }

void TWin32MainView::CenterOnScreen() {
  RECT window = {};
  GetWindowRect(hwnd_, &window);
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32MainView::ShowModal() {
  // Modal as the platform does it: the thread's other top-level windows take
  // no input until the dialog closes.
  std::vector<HWND> disabled;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM context) -> BOOL {
        auto& list = *reinterpret_cast<std::vector<HWND>*>(context);
        if (IsWindowVisible(window) && IsWindowEnabled(window)) list.push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&disabled));
  std::erase(disabled, hwnd_);
  for (HWND window : disabled) EnableWindow(window, FALSE);
  // Enabled again before the dialog hides, so that activation returns to
  // the host's window and not to some other application.
  TScopeExit restore([&] {
    for (HWND window : disabled) EnableWindow(window, TRUE);
    if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
  });

  CenterOnScreen();
  closeRequested_ = false;
  RunHandler([this] { form_.FormShow(); });
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  SetForegroundWindow(hwnd_);
  UpdateWindow(hwnd_);

  MSG msg = {};
  while (!closeRequested_) {
    FlushProgress();
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      terminated_ = true;
      quitCode_ = static_cast<int>(msg.wParam);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // A quit seen here belongs to the host's own loop.
  if (terminated_) PostQuitMessage(quitCode_);
}

// Failures that leave an event handler are shown, and the dialog goes on.
template <typename Handler>
void TWin32MainView::RunHandler(Handler handler) {
  try {
    handler();
  } catch (const std::exception& failure) {
    ReportFailure(failure.what());
  } catch (...) {
    ReportFailure("Unbekannter Fehler");
  }
}

void TWin32MainView::ReportFailure(const char* what) {
  const std::wstring text = WideFromUtf8(what);
  MessageBoxW(hwnd_, text.c_str(), L"Fehler", MB_OK | MB_ICONERROR);
}

LRESULT CALLBACK TWin32MainView::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  TWin32MainView* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<TWin32MainView*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TWin32MainView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  return self->HandleMessage(msg, wParam, lParam);
}

LRESULT TWin32MainView::HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND: return OnCommand(wParam, lParam);
    case WM_CTLCOLORSTATIC: return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR: return OnSetCursor(wParam, lParam);
    case WM_CLOSE: return OnClose();
    default: return DefWindowProcW(hwnd_, msg, wParam, lParam);
  }
}

LRESULT TWin32MainView::OnCommand(WPARAM wParam, LPARAM lParam) {
  if (reinterpret_cast<HWND>(lParam) != toolBar_) return DefWindowProcW(hwnd_, WM_COMMAND, wParam, lParam);
  switch (LOWORD(wParam)) {
    case IDC_EXITBTN: RunHandler([this] { form_.ExitBtnClick(); }); return 0;
    case IDC_TAVIBTN: RunHandler([this] { form_.TaviBtnClick(); }); return 0;
    case IDC_COMPBTN: RunHandler([this] { form_.CompBtnClick(); }); return 0;
    case IDC_SONDERZANDCOMPBTN: RunHandler([this] { form_.SonderZAndCompBtnClick(); }); return 0;
    default: return 0;
  }
}

LRESULT TWin32MainView::OnCtlColorStatic(HDC dc, HWND control) {
  const bool red = control == Label(TLabel::ScriptLabel);
  SetTextColor(dc, red ? RGB(255, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT TWin32MainView::OnSetCursor(WPARAM wParam, LPARAM lParam) {
  if (!waitCursor_) return DefWindowProcW(hwnd_, WM_SETCURSOR, wParam, lParam);
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return TRUE;
}

// The close command never interrupts an action: it is remembered, and the
// modal loop ends when the running handler has returned.
LRESULT TWin32MainView::OnClose() {
  closeRequested_ = true;
  return 0;
}

void TWin32MainView::SetToolBarEnabled(bool enabled) { EnableWindow(toolBar_, enabled ? TRUE : FALSE); }

void TWin32MainView::SetButtonEnabled(TToolButton button, bool enabled) {
  SendMessageW(toolBar_, TB_ENABLEBUTTON, ButtonId(button), MAKELPARAM(enabled ? TRUE : FALSE, 0));
}

void TWin32MainView::SetLabelCaption(TLabel label, std::u16string_view caption) {
  const std::u16string text(caption);
  HWND control = Label(label);
  SetWindowTextW(control, AsWide(text));
  FitLabel(control);
}

void TWin32MainView::SetLabelVisible(TLabel label, bool visible) {
  ShowWindow(Label(label), visible ? SW_SHOWNA : SW_HIDE);
}

// A long compression moves the bar hundreds of thousands of times, and one
// position costs the control about a millisecond to draw: it is told at most
// once a screen frame, since a position replaced within a frame is never
// seen. The latest position is always shown before the dialog waits or
// opens a box.
void TWin32MainView::SetProgress(int position) {
  pendingProgress_ = position;
  if (position == shownProgress_) return;
  const long long now = Ticks();
  if (now - lastProgressSent_ >= progressInterval_) {
    lastProgressSent_ = now;
    FlushProgress();
  }
}

void TWin32MainView::FlushProgress() {
  if (pendingProgress_ == shownProgress_) return;
  shownProgress_ = pendingProgress_;
  SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(shownProgress_), 0);
}

void TWin32MainView::SetWaitCursor(bool wait) {
  waitCursor_ = wait;
  SetCursor(LoadCursorW(nullptr, wait ? IDC_WAIT : IDC_ARROW));
}

void TWin32MainView::ShowMessage(TMessageKind kind, std::u16string_view text) {
  FlushProgress();
  const std::u16string message(text);
  const bool error = kind == TMessageKind::Error;
  MessageBoxW(hwnd_, AsWide(message), error ? L"Fehler" : L"Informationen",
              MB_OK | (error ? MB_ICONERROR : MB_ICONINFORMATION));
}

void TWin32MainView::ProcessMessages() {
  const long long now = Ticks();
  if (lastPeek_ != 0 && now - lastPeek_ < peekInterval_) return;
  lastPeek_ = now;
  if (now - lastProgressSent_ >= progressInterval_) {
    lastProgressSent_ = now;
    FlushProgress();
  }
  MSG msg = {};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The application is told to quit: the modal loop ends after the
      // action, and the quit is posted again for the host's loop.
      terminated_ = true;
      quitCode_ = static_cast<int>(msg.wParam);
      closeRequested_ = true;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TWin32MainView::Close() { closeRequested_ = true; }

}  // namespace tavi
