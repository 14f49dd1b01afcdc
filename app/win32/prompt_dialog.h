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

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog(HWND window);

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
