// Where the Windows programs load DLLs from. The installer runs elevated from the user's
// Downloads folder, where anyone could put a DLL of a well-known name; Windows would load it
// from the program's folder first. So, before any other static initializer runs, the DLL
// search is restricted to System32; every DLL the programs import that is not one of Windows'
// KnownDLLs (which always come from System32) is delay-loaded (cmake/delay_imports.cmake), so
// it is loaded on first use, under this rule. A DLL that cannot be loaded then ends the
// program with a message naming it, instead of an anonymous crash.
//
// The linker is told to pull this file into every program (CMakeLists.txt, -u of the failure
// hook): nothing else refers to it.
#include <windows.h>
#include <delayimp.h>

#include <cstdio>

namespace {

// An error the user sees before the program ends: in a message box (the window program has
// no console) and on the standard error stream (the console programs and the tests).
[[noreturn]] void EndWithMessage(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  MessageBoxA(nullptr, text, "Orvex Installer", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);  // not reached: TerminateProcess of the own process does not return
}

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);

// SetDefaultDllDirectories came to Windows 7 with an update (KB2533623); it is looked up so
// that the program still starts without it and can say what is missing.
__attribute__((constructor(101))) void RestrictDllSearchToSystem32() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  auto setDefault =
      kernel32 ? reinterpret_cast<SetDefaultDllDirectoriesFunction>(
                     reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")))
               : nullptr;
  if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
  // Without the restriction a DLL beside the program could run with its rights.
  EndWithMessage(
      "This program cannot restrict where Windows loads its libraries from. "
      "Please install the Windows updates (KB2533623) and run it again.");
}

FARPROC WINAPI DelayLoadFailed(unsigned notify, PDelayLoadInfo info) {
  char text[512];
  const char* dll = info && info->szDll ? info->szDll : "?";
  if (notify == dliFailGetProc && info && info->dlp.fImportByName && info->dlp.szProcName) {
    std::snprintf(text, sizeof text, "The system library %s has no function %s (error %lu).", dll,
                  info->dlp.szProcName, static_cast<unsigned long>(info->dwLastError));
  } else {
    std::snprintf(text, sizeof text,
                  "The system library %s could not be loaded from the system folder (error %lu).",
                  dll, info ? static_cast<unsigned long>(info->dwLastError) : 0ul);
  }
  EndWithMessage(text);
}

}  // namespace

// The delay-load helper calls this when a DLL or one of its functions cannot be found
// (declared extern "C" by <delayimp.h>).
PfnDliHook __pfnDliFailureHook2 = DelayLoadFailed;
