#pragma once

namespace orvex {

class COrvexInstallerDlg;

// The installer session with the window: configuration (asking Retry/Quit through the
// window), the plan run, "Done", the completion flag and the state dump.
void RunInstallerSessionThread(COrvexInstallerDlg* dialog);

}  // namespace orvex
