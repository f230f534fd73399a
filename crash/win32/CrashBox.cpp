#include "crash/win32/CrashBox.h"

#include <cwchar>

#include "crash/win32/MailAssistant.h"

namespace tavi::crash {
namespace {

constexpr wchar_t kClassName[] = L"TaviCrashBox";
constexpr wchar_t kTitle[] = L"Fehler im Sonderzeichen Plug-in";
enum : int { kShowId = 101, kSendId = 102, kCloseId = IDCANCEL, kReportId = 103 };
constexpr int kWidth = 520;
constexpr int kShortHeight = 190;
constexpr int kTallHeight = 520;

struct TBoxState {
  std::string_view report;
  std::string_view summary;
  const wchar_t* path = nullptr;
  HWND edit = nullptr;
  bool done = false;
  bool expanded = false;
  HFONT font = nullptr;
};

// Up to units - 1 code units and a NUL, converted without the heap.
void Widen(std::string_view text, wchar_t* out, int units) {
  const int count = text.empty() ? 0
                                 : MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                       out, units - 1);
  out[count > 0 ? count : 0] = L'\0';
}

// The report as an edit control wants it: CR LF line ends.
void SetReportText(HWND edit, std::string_view report) {
  static wchar_t wide[120000];
  static wchar_t lines[240000];
  Widen(report, wide, 120000);
  std::size_t at = 0;
  for (const wchar_t* c = wide; *c && at + 2 < 240000; ++c) {
    if (*c == L'\n') lines[at++] = L'\r';
    lines[at++] = *c;
  }
  lines[at] = L'\0';
  SetWindowTextW(edit, lines);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
           HFONT font) {
  HWND child = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (child) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return child;
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<TBoxState*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kShowId:
          if (!state->expanded) {
            state->expanded = true;
            RECT frame = {0, 0, kWidth, kTallHeight};
            AdjustWindowRectEx(&frame, WS_CAPTION | WS_SYSMENU, FALSE, 0);
            SetWindowPos(hwnd, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                         SWP_NOMOVE | SWP_NOZORDER);
            ShowWindow(state->edit, SW_SHOW);
          }
          return 0;
        case kSendId:
          ShowMailAssistant(hwnd, state->summary, state->report, state->path);
          return 0;
        case kCloseId:
          DestroyWindow(hwnd);
          return 0;
        default:
          return 0;
      }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      state->done = true;
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

HFONT MessageFont() {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    return CreateFontIndirectW(&metrics.lfMessageFont);
  }
  return nullptr;
}

}  // namespace

void ShowCrashBox(std::string_view summary, std::string_view report, const wchar_t* path, bool saved) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = BoxProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_ERROR);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // fails harmlessly when registered before

  TBoxState state;
  state.report = report;
  state.summary = summary;
  state.path = path;
  state.font = MessageFont();
  HFONT font = state.font ? state.font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

  RECT frame = {0, 0, kWidth, kShortHeight};
  AdjustWindowRectEx(&frame, WS_CAPTION | WS_SYSMENU, FALSE, WS_EX_TOPMOST);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  // Topmost: the box must be seen above a dialog that no longer answers.
  HWND box = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kClassName, kTitle, WS_CAPTION | WS_SYSMENU,
                             (GetSystemMetrics(SM_CXSCREEN) - width) / 2, (GetSystemMetrics(SM_CYSCREEN) - kTallHeight) / 2,
                             width, height, nullptr, nullptr, wc.hInstance, &state);
  if (!box) {
    if (state.font) DeleteObject(state.font);
    return;
  }
  wchar_t sentence[1024];
  Widen(summary, sentence, 1024);
  wchar_t where[MAX_PATH + 200];
  if (saved) {
    std::swprintf(where, MAX_PATH + 200, L"Der Bericht wurde gespeichert in:\n%ls", path);
  } else {
    std::swprintf(where, MAX_PATH + 200,
                  L"Der Bericht konnte nicht gespeichert werden in:\n%ls\nSie können ihn trotzdem anzeigen und senden.",
                  path[0] ? path : L"(kein Ordner für Anwendungsdaten)");
  }
  Child(box, L"STATIC", sentence, SS_LEFT | SS_NOPREFIX, 16, 14, kWidth - 32, 40, 0, font);
  Child(box, L"STATIC", where, SS_LEFT | SS_NOPREFIX, 16, 60, kWidth - 32, 60, 0, font);
  const int top = kShortHeight - 44;
  Child(box, L"BUTTON", L"Bericht anzeigen", BS_PUSHBUTTON | WS_TABSTOP, 16, top, 150, 28, kShowId, font);
  Child(box, L"BUTTON", L"Bericht senden…", BS_PUSHBUTTON | WS_TABSTOP, 176, top, 150, 28, kSendId, font);
  Child(box, L"BUTTON", L"Schließen", BS_DEFPUSHBUTTON | WS_TABSTOP, kWidth - 116, top, 100, 28, kCloseId, font);
  state.edit = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                               WS_CHILD | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL |
                                   ES_AUTOHSCROLL,
                               16, kShortHeight, kWidth - 32, kTallHeight - kShortHeight - 16, box,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(kReportId)), wc.hInstance, nullptr);
  if (state.edit) {
    SendMessageW(state.edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
    SendMessageW(state.edit, EM_SETLIMITTEXT, 0, 0);
    SetReportText(state.edit, report);
  }
  // Not activated: activation would wait for the host's thread to answer,
  // which may be stuck or waiting for this very box.
  ShowWindow(box, SW_SHOWNOACTIVATE);
  UpdateWindow(box);

  MSG msg = {};
  while (!state.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(box, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (state.font) DeleteObject(state.font);
}

}  // namespace tavi::crash
