#pragma once
// The modal question box: a message, a detail line coloured by severity, and up to two
// buttons (a button whose caption is empty is hidden).

#include <windows.h>

#include <string>

#include "app/dialog_model.h"

namespace orvex {

class CPrompt {
 public:
  explicit CPrompt(const PromptRequest& request);
  ~CPrompt();
  CPrompt(const CPrompt&) = delete;
  CPrompt& operator=(const CPrompt&) = delete;

  // Shows the prompt over owner and waits: 1 when the accepting button was chosen, 0 for the
  // declining button, Esc or a closed prompt.
  int DoModal(HWND owner);

  // The same, telling the declining button from Esc and a closed prompt.
  PromptChoice Choose(HWND owner);

  // How the window ended: IDOK, kPromptDeclined (the declining button), kPromptDismissed, or
  // -1 when it could not be shown. PromptChoiceOf reads it.
  INT_PTR Show(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog(HWND window);
  // The declining button's command: chosen, or Esc (the dialog turns Esc into the same
  // command).
  static int DecliningResult();

  HFONT detailFont_ = nullptr;
  std::wstring message_;
  std::wstring detail_;
  std::wstring cancelCaption_;
  std::wstring okCaption_;
  int severity_ = 0;
  bool showOk_ = true;
  bool showCancel_ = true;
  HBRUSH whiteBrush_ = nullptr;
};

}  // namespace orvex
