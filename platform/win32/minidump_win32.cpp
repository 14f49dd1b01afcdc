#include "platform/minidump.h"

#include <windows.h>
#include <dbghelp.h>

#include "base/text.h"
#include "platform/win32/scoped_handle.h"

namespace orvex {
namespace platform {

namespace {

using MiniDumpWriteDumpFunction = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                                PMINIDUMP_EXCEPTION_INFORMATION,
                                                PMINIDUMP_USER_STREAM_INFORMATION,
                                                PMINIDUMP_CALLBACK_INFORMATION);

UnhandledExceptionFilter g_filter = nullptr;

DWORD g_faultThread = 0;
DWORD g_faultExitCode = 1;
DWORD g_privateCode = 0;

bool IsFault(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_NONCONTINUABLE_EXCEPTION:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case 0xC0000409:  // STATUS_STACK_BUFFER_OVERRUN
      return true;
    default:
      return code == g_privateCode;
  }
}

LONG WINAPI EndOnFault(EXCEPTION_POINTERS* pointers) {
  if (GetCurrentThreadId() == g_faultThread && pointers && pointers->ExceptionRecord &&
      IsFault(pointers->ExceptionRecord->ExceptionCode))
    TerminateProcess(GetCurrentProcess(), g_faultExitCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI CallFilter(EXCEPTION_POINTERS* pointers) {
  return g_filter ? g_filter(pointers) : EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) {
  g_filter = filter;
  ::SetUnhandledExceptionFilter(filter ? &CallFilter : nullptr);
}

void RaiseNoncontinuableException(uint32_t code) {
  RaiseException(code, EXCEPTION_NONCONTINUABLE, 0, nullptr);
  // A non-continuable exception does not come back; should a handler return anyway, the
  // process still ends as a crash.
  TerminateProcess(GetCurrentProcess(), 1);
  for (;;) Sleep(INFINITE);
}

bool CMiniDumpWriter::Load() {
  wchar_t directory[MAX_PATH];
  UINT length = GetSystemDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  std::wstring path(directory, length);
  path += L"\\dbghelp.dll";
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) return false;
  function_ = reinterpret_cast<void*>(GetProcAddress(library, "MiniDumpWriteDump"));
  return function_ != nullptr;
}

bool CMiniDumpWriter::Write(const std::string& path, uint32_t type, void* exceptionPointers) {
  if (!function_) return false;
  ScopedFileHandle file(CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return false;
  MINIDUMP_EXCEPTION_INFORMATION information;
  information.ThreadId = GetCurrentThreadId();
  information.ExceptionPointers = static_cast<EXCEPTION_POINTERS*>(exceptionPointers);
  information.ClientPointers = FALSE;
  auto write = reinterpret_cast<MiniDumpWriteDumpFunction>(function_);
  write(GetCurrentProcess(), GetCurrentProcessId(), file.Get(), static_cast<MINIDUMP_TYPE>(type),
        exceptionPointers ? &information : nullptr, nullptr, nullptr);
  return true;
}

void TerminateOnFaultOfThisThread(uint32_t exitCode, uint32_t code) {
  g_faultExitCode = exitCode;
  g_privateCode = code;
  g_faultThread = GetCurrentThreadId();
  AddVectoredExceptionHandler(1, &EndOnFault);
}

uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

uint32_t ExceptionCodeOf(void* exceptionPointers) {
  auto* pointers = static_cast<EXCEPTION_POINTERS*>(exceptionPointers);
  return pointers && pointers->ExceptionRecord ? pointers->ExceptionRecord->ExceptionCode : 0;
}

void TerminateCurrentProcess(uint32_t exitCode) {
  TerminateProcess(GetCurrentProcess(), exitCode);
  for (;;) Sleep(INFINITE);
}

void SleepUntilProcessEnds() {
  for (;;) Sleep(INFINITE);
}

}  // namespace platform
}  // namespace orvex
