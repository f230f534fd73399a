#include "dialog/win32/Win32MainView.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "plugin/resource.h"

namespace tavi {
namespace {

constexpr wchar_t kWindowClass[] = L"TMainSonderZPlugin";
constexpr wchar_t kCaption[] = L"Scrivlex Sonderzeichen PlugIn";
// The layout in pixels at 96 dots per inch; the window scales it by its DPI.
constexpr int kBaseDpi = 96;
constexpr int kClientWidth = 504;
constexpr int kClientHeight = 129;
constexpr int kToolBarHeight = 29;
constexpr int kIconSize = 16;
constexpr int kLabelHeight = 13;
constexpr int kLabelGap = 6;
// What a list-style tool button needs beside its icon and caption: the gaps
// before the icon, between icon and caption, and after the caption.
constexpr int kButtonMargins = 10;

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

// The DPI functions of newer systems, looked up at run time so that the
// library still loads where they are missing.
struct TDpiFunctions {
  UINT(WINAPI* forWindow)(HWND) = nullptr;
  UINT(WINAPI* forSystem)() = nullptr;
  BOOL(WINAPI* adjustWindowRect)(RECT*, DWORD, BOOL, DWORD, UINT) = nullptr;

  TDpiFunctions() {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return;
    Lookup(user32, "GetDpiForWindow", forWindow);
    Lookup(user32, "GetDpiForSystem", forSystem);
    Lookup(user32, "AdjustWindowRectExForDpi", adjustWindowRect);
  }
  template <typename Function>
  static void Lookup(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

const TDpiFunctions& DpiFunctions() {
  static const TDpiFunctions functions;
  return functions;
}

// The DPI the window is shown at: its monitor's for a per-monitor aware
// thread, the system's otherwise; 96 for an unaware one, which the system
// scales itself.
int WindowDpi(HWND window) {
  const TDpiFunctions& dpi = DpiFunctions();
  UINT value = 0;
  if (dpi.forWindow) value = dpi.forWindow(window);
  if (!value && dpi.forSystem) value = dpi.forSystem();
  if (!value) {
    HDC screen = GetDC(nullptr);
    value = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
    ReleaseDC(nullptr, screen);
  }
  return value ? static_cast<int>(value) : kBaseDpi;
}

// "MS Sans Serif", 8 point at the window's DPI: 11 pixels high at 96.
HFONT CreateDialogFont(int weight, int dpi) {
  return CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
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
  // Created on the primary screen, where it is shown centred, so that it
  // starts with that monitor's DPI; sized when the layout is applied.
  CreateWindowExW(exStyle, kWindowClass, kCaption, style, 0, 0, kClientWidth, kClientHeight, nullptr, nullptr,
                  resources_, this);
  if (!hwnd_) throw std::runtime_error("Das Fenster konnte nicht angelegt werden.");
  // The system menu keeps only what a fixed dialog offers: move and close.
  if (HMENU menu = GetSystemMenu(hwnd_, FALSE)) {
    DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
  }
  CreateControls();
  dpi_ = WindowDpi(hwnd_);
  ApplyLayout(true);
}

void TWin32MainView::CreateControls() {
  CreateToolBar();
  labels_[static_cast<int>(TLabel::StateLabel)] = CreateLabel(IDC_STATELABEL, L"Status aktueller Text:", true);
  progressBar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESSBAR)), resources_, nullptr);
  SendMessageW(progressBar_, PBM_SETRANGE32, 0, 100);
  SendMessageW(progressBar_, PBM_SETPOS, 0, 0);
  shownProgress_ = 0;
  pendingProgress_ = 0;
  labels_[static_cast<int>(TLabel::Label1)] = CreateLabel(IDC_LABEL1, L"Textlänge:", true);
  labels_[static_cast<int>(TLabel::TextLenLabel)] = CreateLabel(IDC_TEXTLENLABEL, L"99", true);
  labels_[static_cast<int>(TLabel::ScriptLabel)] = CreateLabel(IDC_SCRIPTLABEL, L"Script enthalten", false);
  labels_[static_cast<int>(TLabel::PreLabel)] = CreateLabel(IDC_PRELABEL, L"<PRE>-formatierter Text", false);
  toolBarLine_ = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ, 0, 0, 0, 0, hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBARLINE)), resources_, nullptr);
}

int TWin32MainView::Scaled(int pixels) const { return MulDiv(pixels, dpi_, kBaseDpi); }

// Lays the window out at dpi_: fonts, icons, the tool bar's buttons, every
// control's place and, unless the system has chosen the frame (a change of
// monitor), the client size. The other controls keep their places when the
// tool bar's buttons need more room than the layout's width: the client
// area grows to fit them instead of cutting the last caption.
void TWin32MainView::ApplyLayout(bool resizeWindow) {
  font_.reset(CreateDialogFont(FW_NORMAL, dpi_));
  boldFont_.reset(CreateDialogFont(FW_BOLD, dpi_));
  const int barRight = LayOutToolBar();
  const int clientWidth = std::max(Scaled(kClientWidth), barRight);
  SetWindowPos(toolBar_, nullptr, 0, 0, clientWidth, Scaled(kToolBarHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(toolBarLine_, nullptr, 0, Scaled(kToolBarHeight) - 2, clientWidth, 2, SWP_NOZORDER | SWP_NOACTIVATE);

  SetWindowPos(progressBar_, nullptr, Scaled(8), Scaled(56), Scaled(489), Scaled(16), SWP_NOZORDER | SWP_NOACTIVATE);
  PlaceLabel(TLabel::StateLabel, Scaled(8), Scaled(40), font_.get());
  PlaceLabel(TLabel::Label1, Scaled(8), Scaled(88), font_.get());
  PlaceLabel(TLabel::TextLenLabel, LengthLeft(), Scaled(88), font_.get());
  PlaceLabel(TLabel::ScriptLabel, Scaled(8), Scaled(110), boldFont_.get());
  // A wider font may not lay the two section labels over each other.
  RECT script = {};
  GetWindowRect(Label(TLabel::ScriptLabel), &script);
  const int preLeft = std::max<int>(Scaled(120), Scaled(8) + (script.right - script.left) + Scaled(kLabelGap));
  PlaceLabel(TLabel::PreLabel, preLeft, Scaled(110), boldFont_.get());

  if (resizeWindow) {
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    RECT frame = {0, 0, clientWidth, Scaled(kClientHeight)};
    const TDpiFunctions& dpi = DpiFunctions();
    if (!dpi.adjustWindowRect || !dpi.adjustWindowRect(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi_))) {
      AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    }
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  InvalidateRect(hwnd_, nullptr, TRUE);
}

// The length stands at 64, six pixels after "Textlänge:" in the layout's
// font; a wider font pushes it along rather than over the colon.
int TWin32MainView::LengthLeft() const {
  RECT label1 = {};
  GetWindowRect(Label(TLabel::Label1), &label1);
  return std::max<int>(Scaled(64), Scaled(8) + (label1.right - label1.left) + Scaled(kLabelGap));
}

void TWin32MainView::PlaceLabel(TLabel label, int left, int top, HFONT font) {
  HWND control = Label(label);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  SetWindowPos(control, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  FitLabel(control);
}

void TWin32MainView::CreateToolBar() {
  toolBar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                             WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_LIST |
                                 CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER,
                             0, 0, kClientWidth, kToolBarHeight, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TOOLBAR)), resources_, nullptr);
  if (!toolBar_) throw std::runtime_error("Die Werkzeugleiste konnte nicht angelegt werden.");
  SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(toolBar_, TB_SETDRAWTEXTFLAGS, DT_NOPREFIX, DT_NOPREFIX);

  TBBUTTON buttons[std::size(kButtons)] = {};
  for (std::size_t i = 0; i < std::size(kButtons); ++i) {
    buttons[i].iBitmap = kButtons[i].image;
    buttons[i].idCommand = kButtons[i].id;
    buttons[i].fsState = kButtons[i].id == IDC_EXITBTN ? TBSTATE_ENABLED : 0;
    buttons[i].fsStyle = BTNS_BUTTON | BTNS_SHOWTEXT | BTNS_AUTOSIZE;
    buttons[i].iString = reinterpret_cast<INT_PTR>(kButtons[i].caption);
  }
  SendMessageW(toolBar_, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
}

// The icons at the size the DPI asks for, each drawn from the artwork of
// that size (or the nearest), never a 16-pixel image stretched.
void TWin32MainView::LoadIcons() {
  const int size = Scaled(kIconSize);
  HIMAGELIST images = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 4, 0);
  for (int icon : kIcons) {
    HICON handle = static_cast<HICON>(LoadImageW(resources_, MAKEINTRESOURCEW(icon), IMAGE_ICON, size, size, 0));
    ImageList_AddIcon(images, handle);
    if (handle) DestroyIcon(handle);
  }
  SendMessageW(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
  if (imageList_) ImageList_Destroy(imageList_);
  imageList_ = images;
}

// The tool bar first measures each button as wide as its icon and caption
// need; a button that needs less than the room up to the next one's left
// of the layout (0, 74, 176, 270, scaled) is widened to it. A font wider
// than the one the layout was drawn for (a substitute, a larger system
// font) thus moves the later buttons along instead of cutting captions
// short. Returns the right edge of the last button.
// Some tool bars measure a long caption short of what it takes to draw it
// (Wine's cuts "Sonderzeichen & Komprimieren"), so each button is also
// given its caption's own extent in the bar's font.
int TWin32MainView::CaptionWidth(const wchar_t* caption) const {
  HDC dc = GetDC(toolBar_);
  HGDIOBJ old = SelectObject(dc, font_.get());
  SIZE extent = {};
  GetTextExtentPoint32W(dc, caption, static_cast<int>(std::wcslen(caption)), &extent);
  SelectObject(dc, old);
  ReleaseDC(toolBar_, dc);
  return extent.cx;
}

int TWin32MainView::LayOutToolBar() {
  SendMessageW(toolBar_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  LoadIcons();
  // A classic tool button's margins: the platform's newer default pads each
  // button more than the layout has room for.
  SendMessageW(toolBar_, TB_SETPADDING, 0, MAKELPARAM(Scaled(8), Scaled(6)));
  for (const TButtonSpec& spec : kButtons) {
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_SIZE | TBIF_STYLE;
    info.fsStyle = BTNS_BUTTON | BTNS_SHOWTEXT | BTNS_AUTOSIZE;
    info.cx = 0;
    SendMessageW(toolBar_, TB_SETBUTTONINFOW, spec.id, reinterpret_cast<LPARAM>(&info));
  }
  SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
  int right = 0;
  for (const TButtonSpec& spec : kButtons) {
    RECT natural = {};
    const LRESULT index = SendMessageW(toolBar_, TB_COMMANDTOINDEX, spec.id, 0);
    SendMessageW(toolBar_, TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&natural));
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_SIZE | TBIF_STYLE;
    info.fsStyle = BTNS_BUTTON | BTNS_SHOWTEXT;
    const int width = std::max({Scaled(spec.width), static_cast<int>(natural.right - natural.left),
                                CaptionWidth(spec.caption) + Scaled(kIconSize) + Scaled(kButtonMargins)});
    info.cx = static_cast<WORD>(width);
    SendMessageW(toolBar_, TB_SETBUTTONINFOW, spec.id, reinterpret_cast<LPARAM>(&info));
    right += width;
  }
  return right;
}

HWND TWin32MainView::CreateLabel(int id, const wchar_t* caption, bool visible) {
  return CreateWindowExW(0, L"STATIC", caption, WS_CHILD | SS_LEFT | SS_NOPREFIX | (visible ? WS_VISIBLE : 0), 0, 0,
                         10, kLabelHeight, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), resources_,
                         nullptr);
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
  // The layout's height, or the font's where it is taller.
  const int height = std::max<int>(Scaled(kLabelHeight), extent.cy);
  SetWindowPos(label, nullptr, 0, 0, extent.cx, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    if (HandleEscape(msg)) continue;
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
    case WM_DPICHANGED: return OnDpiChanged(wParam, lParam);
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

// Moved to a monitor of another DPI: laid out again at the new scale, in
// the frame the system suggests for it.
LRESULT TWin32MainView::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
  const int dpi = LOWORD(wParam);
  if (dpi <= 0 || dpi == dpi_) return 0;
  dpi_ = dpi;
  ApplyLayout(false);
  const auto* suggested = reinterpret_cast<const RECT*>(lParam);
  if (suggested) {
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return 0;
}

// Esc is the window's close command, as in any dialog. It arrives as a key
// of the window with the focus, or, when no window has it (a disabled tool
// bar loses it), as a system key of the active window; Alt+Esc stays the
// system's.
bool TWin32MainView::IsEscape(const MSG& msg) const {
  if (msg.wParam != VK_ESCAPE || !hwnd_) return false;
  const bool key = msg.message == WM_KEYDOWN || (msg.message == WM_SYSKEYDOWN && !(msg.lParam & (1 << 29)));
  return key && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd));
}

bool TWin32MainView::HandleEscape(const MSG& msg) {
  if (!IsEscape(msg)) return false;
  SendMessageW(hwnd_, WM_SYSCOMMAND, SC_CLOSE, 0);
  return true;
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
    if (HandleEscape(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void TWin32MainView::Close() { closeRequested_ = true; }

}  // namespace tavi
