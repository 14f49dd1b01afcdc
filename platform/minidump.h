#pragma once
// The last resort of the process: the filter Windows calls for an exception that nothing
// handled, the minidump of the process written through the debug helper library, and the
// end of the process. The crash handler (app/crash_handler.h) is their only user.

#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

// Called with the EXCEPTION_POINTERS of the unhandled exception (opaque here, may be null);
// returns the filter's disposition: 0 is EXCEPTION_CONTINUE_SEARCH (the system's own crash
// handling runs), 1 EXCEPTION_EXECUTE_HANDLER (the process ends).
using UnhandledExceptionFilter = long (*)(void* exceptionPointers);

// SetUnhandledExceptionFilter(filter). The simulated machine keeps the filter and calls it
// from RaiseNoncontinuableException.
void SetUnhandledExceptionFilter(UnhandledExceptionFilter filter);

// RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr): brings failures that Windows
// does not see as exceptions (std::terminate, abort) to the unhandled-exception filter.
// Simulated machine: calls the filter kept by SetUnhandledExceptionFilter with a record of the
// code; without a filter, or when it returns, the process aborts as Windows' default handling
// would end it.
[[noreturn]] void RaiseNoncontinuableException(uint32_t code);

// MiniDumpWriteDump of the debug helper library, loaded by its full path in the system
// directory (GetSystemDirectoryW + "\\dbghelp.dll"), never by a bare name: the installer runs
// elevated from the download folder, where a planted DLL would otherwise be loaded. The library
// stays loaded for the rest of the process.
class CMiniDumpWriter {
 public:
  // LoadLibraryW and GetProcAddress("MiniDumpWriteDump"); false when either fails.
  // Simulated machine: false when the profile's "dbghelp" is false (default true).
  [[nodiscard]] bool Load();

  // CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, no security, CREATE_NEW,
  // FILE_ATTRIBUTE_NORMAL): the caller removed the file first, and whatever stands at the name
  // again (a planted link) is not followed. Then MiniDumpWriteDump(current process, its id, the
  // file, type, {current thread id, exceptionPointers, FALSE} or none when exceptionPointers is
  // null, no user streams, no callback), then CloseHandle. False when Load has not succeeded or the
  // file cannot be created; true once the file was created, whatever the dump writer answered
  // (a partial dump is still worth sending).
  // Simulated machine: the file holds "MDMP" and one text line naming the type, the thread
  // and the exception code.
  [[nodiscard]] bool Write(const std::string& path, uint32_t type, void* exceptionPointers);

 private:
  void* function_ = nullptr;
};

// AddVectoredExceptionHandler (called first): from now on a fault raised on the calling
// thread (access violation, illegal or privileged instruction, division by zero, stack
// overflow, in-page error, a non-continuable exception, code) ends the process with exitCode
// at once, before any other handler or filter runs. For the crash path, whose own faults
// Windows would otherwise hand to nobody or back to it. Simulated machine: nothing to do (its
// faults all pass through the filter).
void TerminateOnFaultOfThisThread(uint32_t exitCode, uint32_t code);

// GetCurrentThreadId; never 0.
uint32_t CurrentThreadId();

// The exception code of EXCEPTION_POINTERS (0 for null).
uint32_t ExceptionCodeOf(void* exceptionPointers);

// TerminateProcess(GetCurrentProcess(), exitCode).
[[noreturn]] void TerminateCurrentProcess(uint32_t exitCode);

// Sleep(INFINITE), for a thread that must not go on until the process ends.
[[noreturn]] void SleepUntilProcessEnds();

}  // namespace platform
}  // namespace orvex
