#include "app/win32/crash_dialog.h"

#include "app/crash_handler.h"
#include "app/win32/resource.h"
#include "app/win32/white_background.h"

namespace orvex {

CCrashDialog::CCrashDialog() : whiteBrush_(CreateSolidBrush(RGB(255, 255, 255))) {}

CCrashDialog::~CCrashDialog() {
  if (titleFont_) DeleteObject(titleFont_);
  if (whiteBrush_) DeleteObject(whiteBrush_);
}

INT_PTR CCrashDialog::DoModal() {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_CRASH), nullptr,
                         &CCrashDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CCrashDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
  auto* self = reinterpret_cast<CCrashDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  return self ? self->Handle(window, message, wParam, lParam) : FALSE;
}

// The title's font: 48 pixels high, or, where the title would not fit its control at that
// size (its box is 127 by 13 dialog units), the largest height at which the whole text fits.
HFONT CCrashDialog::CreateTitleFont(HWND title) {
  RECT box;
  GetClientRect(title, &box);
  wchar_t text[128] = {0};
  const int length = GetWindowTextW(title, text, 128);
  HDC dc = GetDC(title);
  HFONT font = nullptr;
  for (int height = 48; height >= 8; height -= 2) {
    font = CreateFontW(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, text, length, &extent);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    if (extent.cx <= box.right && metrics.tmHeight <= box.bottom) break;
    if (height > 8) DeleteObject(font);
  }
  ReleaseDC(title, dc);
  return font;
}

BOOL CCrashDialog::OnInitDialog(HWND window) {
  // The dialog keeps the font until it closes (the destructor releases it).
  titleFont_ = CreateTitleFont(GetDlgItem(window, IDC_CRASH_TITLE));
  SendDlgItemMessageW(window, IDC_CRASH_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_),
                      TRUE);
  // The crash may come from a thread whose windows are gone or hidden: be seen.
  SetForegroundWindow(window);
  return TRUE;
}

INT_PTR CCrashDialog::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(window);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: {
      HDC dc = reinterpret_cast<HDC>(wParam);
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_CRASH_TITLE)
        SetTextColor(dc, RGB(255, 0, 0));
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    }
    case WM_ERASEBKGND:
      return EraseWithBrush(window, wParam, whiteBrush_);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDC_SEND_REPORT) {
        SendCrashReport();
        EndDialog(window, 0);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

void ShowCrashDialog() {
  CCrashDialog dialog;
  dialog.DoModal();
}

}  // namespace orvex
