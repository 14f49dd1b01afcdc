#pragma once
// The crash dialog (resource 134): "Orvex Installer Crashed!" in large red letters on white,
// a request to send the crash report, "Send Report" and "Don't Send".

#include <windows.h>

namespace orvex {

class CCrashDialog {
 public:
  CCrashDialog();
  ~CCrashDialog();
  CCrashDialog(const CCrashDialog&) = delete;
  CCrashDialog& operator=(const CCrashDialog&) = delete;

  // Shows the dialog modally on the calling thread; "Send Report" uploads the crash files
  // before the dialog ends.
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog(HWND window);
  static HFONT CreateTitleFont(HWND title);

  HFONT titleFont_ = nullptr;
  HBRUSH whiteBrush_ = nullptr;
};

// The crash handler's dialog hook: shows CCrashDialog.
void ShowCrashDialog();

}  // namespace orvex
