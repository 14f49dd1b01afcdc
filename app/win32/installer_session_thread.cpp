#include "app/win32/installer_session_thread.h"

#include "app/installer_session.h"
#include "app/win32/main_dialog.h"
#include "common/session_cells.h"

namespace orvex {

void RunInstallerSessionThread(COrvexInstallerDlg* dialog) {
  g_mainDialog = dialog;
  SessionSettings settings;
  settings.ui = "dialog";
  settings.progress = "PIDialog";
  settings.indicator = dialog;
  settings.onPlanFinished = [dialog](bool completed) {
    g_installCompleted = completed;
    g_sessionFinished = true;
    dialog->MarkDone();
  };
  SessionResult result = RunInstallerSession(settings);
  switch (result.outcome) {
    case SessionResult::kNoConfiguration:  // the user chose Quit; the status says so
      dialog->MarkDone();
      g_sessionFinished = true;
      break;
    case SessionResult::kInvalidConfiguration:  // nothing to run or report
      dialog->SetStatus("Installation aborted");
      dialog->MarkDone();
      g_sessionFinished = true;
      break;
    case SessionResult::kRan:
      // The plan stays alive for the rest of the process (the crash report reads it).
      result.KeepPlanForProcess();
      break;
  }
}

}  // namespace orvex
