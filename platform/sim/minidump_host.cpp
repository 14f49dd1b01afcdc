// The crash facilities of the simulated machine. The unhandled-exception filter is kept and
// called when the program raises its non-continuable exception; the dump writer is present
// unless the profile says "dbghelp": false, and writes a stand-in dump.
#include "platform/minidump.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {

namespace {

std::atomic<UnhandledExceptionFilter> g_filter{nullptr};

// What EXCEPTION_POINTERS lead to on Windows, as far as the crash handler reads it.
struct SimExceptionRecord {
  uint32_t code;
};

}  // namespace

void SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) { g_filter = filter; }

void RaiseNoncontinuableException(uint32_t code) {
  SimExceptionRecord record{code};
  if (UnhandledExceptionFilter filter = g_filter.load()) filter(&record);
  std::abort();  // the system's own handling ends the process
}

bool CMiniDumpWriter::Load() {
  bool present;
  {
    std::lock_guard<std::recursive_mutex> lock(sim::MachineLock());
    present = sim::CurrentMachine().profile.get("dbghelp", true).asBool();
  }
  function_ = present ? reinterpret_cast<void*>(&CurrentThreadId) : nullptr;
  return present;
}

bool CMiniDumpWriter::Write(const std::string& path, uint32_t type, void* exceptionPointers) {
  if (!function_) return false;
  std::FILE* file = std::fopen(path.c_str(), "wbx");  // CREATE_NEW
  if (!file) return false;
  std::fprintf(file, "MDMP simulated minidump type 0x%X thread %u exception 0x%08X\n",
               static_cast<unsigned>(type), static_cast<unsigned>(CurrentThreadId()),
               static_cast<unsigned>(ExceptionCodeOf(exceptionPointers)));
  std::fclose(file);
  return true;
}

void TerminateOnFaultOfThisThread(uint32_t, uint32_t) {}

uint32_t CurrentThreadId() {
  static std::atomic<uint32_t> next{1};
  thread_local uint32_t id = next++;
  return id;
}

uint32_t ExceptionCodeOf(void* exceptionPointers) {
  return exceptionPointers ? static_cast<SimExceptionRecord*>(exceptionPointers)->code : 0;
}

void TerminateCurrentProcess(uint32_t exitCode) {
  std::fflush(nullptr);
  std::_Exit(static_cast<int>(exitCode));
}

void SleepUntilProcessEnds() {
  for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace platform
}  // namespace orvex
