#pragma once
// What happens when the installer crashes: any exception that nothing else handles, on any
// thread, writes a minidump, the session document and the system information report into the
// current directory, asks through the crash dialog whether to upload them to the web service,
// and ends the process with exit code 1.

#include <cstdint>
#include <string>

namespace orvex {

// "_" + the installer version + extension (".dmp", ".log", ".txt"), in the current directory.
std::string CrashFileName(const char* extension);

// The exception raised for a C++ exception that escaped a thread (std::terminate) and for
// abort(), which Windows does not hand to the unhandled-exception filter by themselves.
constexpr uint32_t kEscapedFailureCode = 0xE04F5258;

// Minidump type 0x1850: thread information, full memory information, indirectly referenced
// memory, scanned memory.
constexpr uint32_t kCrashDumpType = 0x1850;

// Shows the crash dialog modally; its "Send Report" calls SendCrashReport. Without a hook
// (no window) nothing is asked and nothing is sent.
using CrashDialogHook = void (*)();
void SetCrashDialogHook(CrashDialogHook hook);

// Makes CrashFilter the process's unhandled-exception filter and routes std::terminate and
// the abort signal to it. The window program does this before anything else runs.
void InstallCrashHandler();

// The unhandled-exception filter. Without the dump writer it answers 0 and the system's own
// crash handling runs; once the dump file could be created it never returns: the dump, the
// session document (only while g_plan is set) and the system report are written, the dialog
// is shown and the process ends with exit code 1. One crash is handled: another thread that
// crashes meanwhile waits for the end of the process, and a fault inside this path on the
// crashing thread ends the process with exit code 1 at once.
long CrashFilter(void* exceptionPointers);

// One multipart POST of the file at path to GetBaseUrl() + "/upload/crashreport/installer/"
// + kind: one part named after the path, holding the file; no "Expect" header. A failure is
// written to standard error as "curl_easy_perform() failed: <libcurl's text>".
void UploadCrashFile(const std::string& path, const std::string& kind);

// The dialog's "Send Report": the ".dmp" ("dump"), ".log" ("log") and ".txt" ("systeminfo")
// uploads, in this order. A file this crash did not write is never sent (a file left by an
// earlier crash is not this crash's); its failure line names the missing file as libcurl would.
void SendCrashReport();

}  // namespace orvex
