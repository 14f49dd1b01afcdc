/* The product's executable in the demonstration package: a window program that says which
   edition and version it is. The web installer only checks that it is installed (and, during
   an upgrade, whether a process of this name runs). */
#include <windows.h>

#ifndef ORVEX_VERSION
#define ORVEX_VERSION "0.0.0.0"
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)show;
  /* "Orvex.exe /wait" stays until it is ended, standing for a running product. */
  if (lstrcmpA(commandLine, "/wait") == 0) {
    Sleep(INFINITE);
    return 0;
  }
  /* "Orvex.exe /setup": the package's set-up step, which here only takes a few seconds,
     without a window, so that the installation's progress can be watched. */
  if (lstrcmpA(commandLine, "/setup") == 0) {
    Sleep(4000);
    return 0;
  }
  MessageBoxA(NULL, "Orvex " ORVEX_VERSION, "Orvex", MB_OK | MB_ICONINFORMATION);
  return 0;
}
