#include "app/win32/prompt_dialog.h"

#include "app/win32/resource.h"
#include "app/win32/white_background.h"

namespace orvex {

CPrompt::CPrompt(const PromptRequest& request)
    : message_(WidenBytes(request.message)),
      detail_(WidenBytes(request.detail)),
      cancelCaption_(WidenBytes(request.cancelCaption)),
      okCaption_(WidenBytes(request.okCaption)),
      severity_(request.severity),
      showOk_(PromptButtonShown(request.okCaption)),
      showCancel_(PromptButtonShown(request.cancelCaption)),
      whiteBrush_(CreateSolidBrush(RGB(255, 255, 255))) {}

CPrompt::~CPrompt() {
  if (detailFont_) DeleteObject(detailFont_);
  if (whiteBrush_) DeleteObject(whiteBrush_);
}

int CPrompt::DoModal(HWND owner) {
  INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROMPT), owner,
                                   &CPrompt::DialogProc, reinterpret_cast<LPARAM>(this));
  static_assert(IDOK == kPromptAccepted, "the accepting button is the dialog's IDOK");
  return PromptAnswer(result);
}

INT_PTR CALLBACK CPrompt::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
  auto* self = reinterpret_cast<CPrompt*>(GetWindowLongPtrW(window, DWLP_USER));
  return self ? self->Handle(window, message, wParam, lParam) : FALSE;
}

void CPrompt::OnInitDialog(HWND window) {
  SetDlgItemTextW(window, IDC_PROMPT_MESSAGE, message_.c_str());
  SetDlgItemTextW(window, IDC_PROMPT_DETAIL, detail_.c_str());
  detailFont_ = CreateFontW(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, nullptr);
  SendDlgItemMessageW(window, IDC_PROMPT_DETAIL, WM_SETFONT, reinterpret_cast<WPARAM>(detailFont_),
                      TRUE);
  SetDlgItemTextW(window, IDOK, okCaption_.c_str());
  SetDlgItemTextW(window, IDCANCEL, cancelCaption_.c_str());
  if (!showOk_) ShowWindow(GetDlgItem(window, IDOK), SW_HIDE);
  if (!showCancel_) ShowWindow(GetDlgItem(window, IDCANCEL), SW_HIDE);
}

INT_PTR CPrompt::Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return TRUE;
    case WM_CTLCOLORSTATIC:
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) == IDC_PROMPT_DETAIL) {
        Rgb colour = SeverityColour(severity_);
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(colour.red, colour.green, colour.blue));
      }
      return WhiteControlBackground(wParam, whiteBrush_);
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
      return WhiteControlBackground(wParam, whiteBrush_);
    case WM_ERASEBKGND:
      return EraseWithBrush(window, wParam, whiteBrush_);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace orvex
