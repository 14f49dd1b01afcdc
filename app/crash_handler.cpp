#include "app/crash_handler.h"

// curl_formadd builds the one-part form the crash upload sends.
#define CURL_DISABLE_DEPRECATION
#include <curl/curl.h>
#include <fcntl.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "actions/connection_security.h"
#include "actions/http_request.h"
#include "app/installer_version.h"
#include "app/system_report.h"
#include "base/json_text.h"
#include "common/run_flags.h"
#include "common/web_service.h"
#include "engine/install_plan.h"
#include "platform/minidump.h"

namespace orvex {

namespace {

std::atomic<CrashDialogHook> g_dialogHook{nullptr};
// The thread whose crash is being handled; 0 while there is none.
std::atomic<uint32_t> g_crashingThread{0};

// What this crash wrote, for the uploads.
struct CrashFiles {
  bool dump = false;
  bool log = false;
  bool report = false;
};
CrashFiles g_written;

const char* const kExtensions[] = {".dmp", ".log", ".txt"};

// A new file in text mode: a name that exists (again) after the removal, a link planted there
// included, is not followed; the step is skipped instead.
bool WriteTextFile(const std::string& path, const std::string& text) {
  const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (descriptor < 0) return false;
  std::FILE* file = fdopen(descriptor, "w");
  if (!file) {
    close(descriptor);
    return false;
  }
  std::fprintf(file, "%s", text.c_str());
  return std::fclose(file) == 0;
}

bool WriteSessionDocument() {
  try {
    CInstallPlan* plan = g_plan;
    return plan && WriteTextFile(CrashFileName(".log"), StyledJson(plan->doc));
  } catch (...) {
    return false;  // each step that fails is skipped
  }
}

bool WriteSystemReport() {
  try {
    return WriteTextFile(CrashFileName(".txt"), BuildSystemReport());
  } catch (...) {
    return false;
  }
}

[[noreturn]] void RaiseEscapedFailure() {
  platform::RaiseNoncontinuableException(kEscapedFailureCode);
}

void OnAbortSignal(int) { RaiseEscapedFailure(); }

// The service's answer is not examined, nor printed.
size_t DiscardAnswer(char*, size_t size, size_t count, void*) { return size * count; }

void ReportUnsentFile() {
  std::fprintf(stderr, "curl_easy_perform() failed: %s\n", curl_easy_strerror(CURLE_READ_ERROR));
}

}  // namespace

std::string CrashFileName(const char* extension) {
  return std::string("_") + kInstallerVersion + extension;
}

void SetCrashDialogHook(CrashDialogHook hook) { g_dialogHook = hook; }

void InstallCrashHandler() {
  platform::SetUnhandledExceptionFilter(&CrashFilter);
  std::set_terminate(&RaiseEscapedFailure);
  std::signal(SIGABRT, &OnAbortSignal);
}

long CrashFilter(void* exceptionPointers) {
  const uint32_t self = platform::CurrentThreadId();
  uint32_t handling = 0;
  if (!g_crashingThread.compare_exchange_strong(handling, self)) {
    if (handling == self) platform::TerminateCurrentProcess(1);  // the crash path itself failed
    platform::SleepUntilProcessEnds();  // another thread's crash is being handled
  }
  platform::TerminateOnFaultOfThisThread(1, kEscapedFailureCode);

  platform::CMiniDumpWriter writer;
  if (!writer.Load()) return 0;
  for (const char* extension : kExtensions) std::remove(CrashFileName(extension).c_str());
  if (!writer.Write(CrashFileName(".dmp"), kCrashDumpType, exceptionPointers)) return 0;
  g_written.dump = true;
  g_written.log = WriteSessionDocument();
  g_written.report = WriteSystemReport();

  if (CrashDialogHook dialog = g_dialogHook.load()) dialog();
  platform::TerminateCurrentProcess(1);
}

void UploadCrashFile(const std::string& path, const std::string& kind) {
  curl_httppost* form = nullptr;
  curl_httppost* last = nullptr;
  curl_formadd(&form, &last, CURLFORM_COPYNAME, path.c_str(), CURLFORM_FILE, path.c_str(),
               CURLFORM_END);
  CURL* handle = curl_easy_init();
  if (!handle) {
    curl_formfree(form);
    return;
  }
  const std::string url = GetBaseUrl() + "/upload/crashreport/installer/" + kind;
  // The reports hold the session document: they go only to a server that proves who it is.
  if (SecureConnection(handle, nullptr) != 0) {
    curl_easy_cleanup(handle);
    curl_formfree(form);
    return;
  }
  curl_slist* headers = curl_slist_append(nullptr, "Expect:");
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_HTTPPOST, form);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &DiscardAnswer);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  LimitWaiting(handle);  // a stalled service cannot hold the crash path either
  CURLcode result = curl_easy_perform(handle);
  if (result != CURLE_OK)
    std::fprintf(stderr, "curl_easy_perform() failed: %s\n", curl_easy_strerror(result));
  curl_easy_cleanup(handle);
  curl_slist_free_all(headers);
  curl_formfree(form);
}

void SendCrashReport() {
  const struct {
    bool written;
    const char* extension;
    const char* kind;
  } uploads[] = {{g_written.dump, ".dmp", "dump"},
                 {g_written.log, ".log", "log"},
                 {g_written.report, ".txt", "systeminfo"}};
  for (const auto& upload : uploads) {
    if (upload.written)
      UploadCrashFile(CrashFileName(upload.extension), upload.kind);
    else
      ReportUnsentFile();
  }
}

}  // namespace orvex
