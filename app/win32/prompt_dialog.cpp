#include "app/win32/prompt_dialog.h"

#include "app/win32/resource.h"
#include "app/win32/white_background.h"

namespace orvex {

CPrompt::CPrompt(const PromptRequest& request)
    : message_(DisplayText(request.message)),
      detail_(DisplayText(request.detail)),
      cancelCaption_(DisplayText(request.cancelCaption)),
      okCaption_(DisplayText(request.okCaption)),
      severity_(request.severity),
      showOk_(PromptButtonShown(request.okCaption)),
      showCancel_(PromptButtonShown(request.cancelCaption)),
      whiteBrush_(CreateSolidBrush(RGB(255, 255, 255))) {}

CPrompt::~CPrompt() {
  if (detailFont_) DeleteObject(detailFont_);
  if (whiteBrush_) DeleteObject(whiteBrush_);
}

int CPrompt::DoModal(HWND owner) { return Choose(owner) == PromptChoice::kAccepted ? 1 : 0; }

PromptChoice CPrompt::Choose(HWND owner) { return PromptChoiceOf(Show(owner)); }

INT_PTR CPrompt::Show(HWND owner) {
  static_assert(IDOK == kPromptAccepted, "the accepting button is the dialog's IDOK");
  static_assert(IDCANCEL == kPromptDeclined, "the declining button is the dialog's IDCANCEL");
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROMPT), owner,
                         &CPrompt::DialogProc, reinterpret_cast<LPARAM>(this));
}

int CPrompt::DecliningResult() {
  // The dialog manager sends IDCANCEL for Esc while it handles the key's WM_KEYDOWN, so the
  // key is down then; a click or Space on the button arrives with Esc up.
  return (GetKeyState(VK_ESCAPE) & 0x8000) ? kPromptDismissed : kPromptDeclined;
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
      if (LOWORD(wParam) == IDOK) {
        EndDialog(window, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, DecliningResult());
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      // Alt+F4 or the system menu: no button was chosen.
      EndDialog(window, kPromptDismissed);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace orvex
