// orvex-prompt-window.exe: shows the installer's prompt window (the real CPrompt from the real
// dialog resource) with the texts and severity given on the command line, and exits with how
// it ended: 1 when the accepting button was chosen, 2 for the declining button, 0 for Esc or
// a closed window. The end-to-end harness uses it
// for the questions no module of the tree asks yet (severity 1, a hidden accepting button).
//
//   orvex-prompt-window.exe SEVERITY OK_CAPTION CANCEL_CAPTION MESSAGE DETAIL
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/dialog_model.h"
#include "app/win32/prompt_dialog.h"
#include "base/text.h"

// The texts come from the wide command line, as UTF-8: the narrow arguments would carry them
// in the ANSI code page.
int main() {
  int argc = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!wide || argc != 6) {
    std::fprintf(stderr,
                 "usage: orvex-prompt-window SEVERITY OK_CAPTION CANCEL_CAPTION MESSAGE DETAIL\n");
    return 2;
  }
  std::string argv[6];
  for (int i = 0; i < argc; ++i) argv[i] = orvex::WideToUtf8(wide[i]);
  LocalFree(wide);
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  orvex::PromptRequest request{argv[4], argv[5], argv[3], argv[2], std::atoi(argv[1].c_str())};
  orvex::CPrompt prompt(request);
  switch (prompt.Choose(nullptr)) {
    case orvex::PromptChoice::kAccepted:
      return 1;
    case orvex::PromptChoice::kDeclined:
      return 2;
    default:
      return 0;
  }
}
