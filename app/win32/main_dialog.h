#pragma once
// The installer's window: logo, status line, a progress bar shown while a transfer reports,
// one square per stage, and a Cancel button that becomes "Done". It is also the progress
// indicator ("PIDialog") and callback handler ("CBDialog") of the stages, which run on the
// installer session's thread and reach the window through posted and sent messages.

#include <windows.h>

#include <atomic>
#include <string>

#include "engine/progress.h"

namespace orvex {

class COrvexInstallerDlg : public CBasicPI, public CBasicCB {
 public:
  COrvexInstallerDlg();
  ~COrvexInstallerDlg() override;
  COrvexInstallerDlg(const COrvexInstallerDlg&) = delete;
  COrvexInstallerDlg& operator=(const COrvexInstallerDlg&) = delete;

  // Runs the window modally; the installer session starts while it initialises.
  INT_PTR DoModal(HINSTANCE instance);

  // Progress indicator, called from the session thread.
  void SetStatus(std::string text) override;
  void ShowProgressBar() override;
  void HideProgressBar() override;
  void SetProgress(int percent) override;
  void SetStep(int index, int count) override;
  int Prompt(std::string message, std::string okCaption, std::string cancelCaption,
             std::string detail, int severity) override;
  PromptChoice PromptForChoice(std::string message, std::string okCaption,
                               std::string cancelCaption, std::string detail,
                               int severity) override;

  // Callback handler: a failed module opens the help article and stops the stage.
  int OnModuleFailed(Json::Value* doc, std::string stageName, std::string moduleName) override;
  void OnStageDone(Json::Value*, std::string) override {}

  // The button becomes "Done" (blocks until the window has changed it).
  virtual void MarkDone();

  HWND Window() const { return window_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnCancelOrDone();
  void Paint();
  void ShowBar(bool visible);

  HWND window_ = nullptr;
  HICON icon_ = nullptr;
  HBRUSH whiteBrush_ = nullptr;
  std::atomic<int> stepCount_{0};
  std::atomic<int> stepIndex_{0};
};

// The window, for modules that disable its Cancel button around work that must not stop.
extern COrvexInstallerDlg* g_mainDialog;

}  // namespace orvex
