// OrvexWebInstaller.exe: one installer at a time, the main window run modally, the process
// ending when it closes.
#include <windows.h>
#include <commctrl.h>

#include "app/crash_handler.h"
#include "app/module_table.h"
#include "app/win32/crash_dialog.h"
#include "app/win32/main_dialog.h"
#include "app/win32/telemetry_hook.h"
#include "platform/win32/scoped_handle.h"

namespace {

// Installed before anything else of this file runs: a crash from here on ends in the crash
// dialog and the crash files.
struct CrashHandlerInstaller {
  CrashHandlerInstaller() {
    orvex::SetCrashDialogHook(&orvex::ShowCrashDialog);
    orvex::InstallCrashHandler();
  }
};

CrashHandlerInstaller g_crashHandler;

// Created before anything else runs; a second installer finds it and ends at once.
struct SingleInstanceMutex {
  orvex::platform::ScopedKernelObject handle;
  DWORD lastError;
  SingleInstanceMutex()
      : handle(CreateMutexW(nullptr, FALSE, L"Global\\{02F214B2-3D6D-4B8B-AB51-470CDED6DF84}")),
        lastError(GetLastError()) {}
};

SingleInstanceMutex g_instanceMutex;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  if (g_instanceMutex.lastError == ERROR_ALREADY_EXISTS) return 0;
  orvex::RegisterModuleTable();
  orvex::InstallTelemetryHook();
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  orvex::COrvexInstallerDlg dialog;
  dialog.DoModal(instance);
  return 0;
}
