#include "platform/win32/gui/crash_dialog.h"

#include "app/crash_handler.h"
#include "platform/win32/gui/resource.h"
#include "platform/win32/gui/white_background.h"

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

INT_PTR CALLBACK CCrashDialog::DialogProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
  auto* self = reinterpret_cast<CCrashDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  return self ? self->Handle(window, message, wParam, lParam) : FALSE;
}

BOOL CCrashDialog::OnInitDialog(HWND window) {
  // The dialog keeps the font until it closes (the destructor releases it).
  titleFont_ = CreateFontW(48, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, nullptr);
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
