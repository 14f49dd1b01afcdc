#include "actions/http_downloader.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "actions/download_cache.h"
#include "base/json_text.h"
#include "base/text.h"
#include "common/run_flags.h"
#include "engine/install_plan.h"
#include "engine/progress.h"
#include "engine/stage.h"
#include "engine/value_path.h"

namespace orvex {

namespace {

std::mutex g_cacheFolderLock;
bool g_cacheFolderSet = false;
std::wstring g_cacheFolder;

const char kHashMismatchDetail[] =
    "DOWNLOAD_HASH_MISMATCH: the downloaded file is not the one expected. Nothing of it was run.";

// A mandatory string argument, resolved into value; false when it is absent, and the caller
// records "fatal" with its own reason.
bool RequireArgument(const Json::Value& args, const char* key, Json::Value& doc,
                     std::string& value) {
  const Json::Value& arg = Member(args, key);
  if (arg.isNull()) return false;
  value = ResolveStringArg(arg, doc);
  return true;
}

}  // namespace

void SetDownloadCacheFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> hold(g_cacheFolderLock);
  g_cacheFolder = folder;
  g_cacheFolderSet = true;
}

std::wstring DownloadCacheFolder() {
  std::lock_guard<std::mutex> hold(g_cacheFolderLock);
  if (!g_cacheFolderSet) return DefaultDownloadCacheFolder();
  return g_cacheFolder;
}

CHTTPDownloader::Pin CHTTPDownloader::ReadPin(const Json::Value& arg, const Json::Value& doc,
                                              std::string* digest) {
  if (arg.isNull()) return Pin::kNone;
  if (!arg.isString()) return Pin::kMalformed;
  std::string text = arg.asString();
  if (IsValuePath(arg)) {
    // Read-only: a pin that names nothing leaves nothing behind in the document.
    const Json::Value& found = FindPath(doc, text);
    if (found.isNull()) return Pin::kUnresolved;
    // A number, a list, an object (the path "." names the whole document) or a boolean is no
    // digest, and checking nothing in its place would put any file in place.
    if (!found.isString()) return Pin::kMalformed;
    text = found.asString();
  }
  const std::string normalized = NormalizeSha256(text);
  if (normalized.empty()) return Pin::kMalformed;
  *digest = normalized;
  return Pin::kDigest;
}

bool CHTTPDownloader::PlanPinsOtherDownloads(const Json::Value& doc) const {
  std::vector<CStage*> stages;
  if (plan)
    for (const auto& planned : plan->stages) stages.push_back(planned.get());
  if (stage && std::find(stages.begin(), stages.end(), stage) == stages.end())
    stages.push_back(stage);
  for (CStage* each : stages) {
    for (IModule* module : each->GetModules()) {
      const auto* other = dynamic_cast<const CHTTPDownloader*>(module);
      if (!other || other == this) continue;
      std::string digest;
      if (ReadPin(Member(other->args, "sha256"), doc, &digest) == Pin::kDigest) return true;
    }
  }
  return false;
}

std::string DownloadErrorText(const CHttpDownloadEx& error) {
  switch (error.code) {
    case CHttpDownloadEx::kCanceled:
      return "DOWNLOAD_CANCELED";
    case CHttpDownloadEx::kFileCorrupted:
      return "DOWNLOAD_FILE_CORRUPTED";
    case CHttpDownloadEx::kErrorSavingFile:
      return "ERROR_SAVING_FILE";
    case CHttpDownloadEx::kUnableToAllocMem:
      return "UNABLE_TO_ALLOC_MEMORY";
    case CHttpDownloadEx::kHashMismatch:
      return "DOWNLOAD_HASH_MISMATCH: the downloaded file is not the one expected (" + error.text +
             ")";
    default:
      return DescribeDownloadError(error);
  }
}

int CHTTPDownloader::Execute(Json::Value& doc) {
  std::string url, destination, directory;
  if (!RequireArgument(args, "url", doc, url)) {
    RecordResult(doc, "fatal", "The URL string is null", "");
    return -1;
  }
  if (!RequireArgument(args, "destination", doc, destination)) {
    RecordResult(doc, "fatal", "The destination string is null", "");
    return -1;
  }
  // An empty directory would put the file at the root of the current drive.
  directory = ResolvePathArg(Member(args, "directory"), doc);
  if (directory.empty()) {
    RecordResult(doc, "fatal", "The directory string is null", "");
    return -1;
  }
  // "sha256" pins the file: checked here, so a bad value fails before any request.
  std::string sha256;
  const Json::Value& pinned = Member(args, "sha256");
  switch (ReadPin(pinned, doc, &sha256)) {
    case Pin::kMalformed:
      RecordResult(doc, "fatal", "The sha256 string is not 64 hexadecimal digits", "");
      return -1;
    case Pin::kUnresolved:
      // A digest the service's settings do not hold checks nothing, which is acceptable only
      // while nothing of the run is pinned: where other downloads are, a missing one is a
      // configuration that lost a pin (or had it removed), not one without pins.
      if (PlanPinsOtherDownloads(doc)) {
        RecordResult(doc, "fatal",
                     "The sha256 value path " + pinned.asString() +
                         " names no digest, while other downloads are pinned",
                     "");
        return -1;
      }
      break;
    case Pin::kNone:
    case Pin::kDigest:
      break;
  }
  const Json::Value& show = Member(args, "show_progress");
  showProgress = show.isNull() ? true : JsonTruth(show);
  std::wstring path = Utf8ToWide(directory) + L"\\" + Utf8ToWide(destination);

  if (progress) progress->SetDetail("Downloading from " + url + " to temp folder");
  const int32_t failure = Download(doc, url, path, sha256);
  if (failure == 0) return 0;

  Json::Value& record = Record(doc);
  // Download left the failure's own sentence (a refused certificate's) as the reason.
  const std::string cause = record["reason"].isString() ? record["reason"].asString() : "";
  record["status"] = "failed";
  record["reason"] = "Failed to download from " + url + "." + (cause.empty() ? "" : " " + cause);
  // A file that is not the one expected is named as such: nothing of it will be run. (The
  // digests are in "error" and so in the report; the question has no room for them.)
  const bool tampered = failure == CHttpDownloadEx::kHashMismatch;
  std::string detail =
      cause.empty() ? "Failed to download necessary files for Orvex-m installation." : cause;
  if (tampered) detail = kHashMismatchDetail;
  if (failure != CHttpDownloadEx::kCanceled && progress)
    progress->Prompt("Could not download files from Internet.", "Ok", "", detail, 2);
  return -1;
}

int32_t CHTTPDownloader::Download(Json::Value& doc, const std::string& url,
                                  const std::wstring& path, const std::string& sha256) {
  CCachedDownload download(url, path, sha256, this, L"INSTALLER", DownloadCacheFolder());
  current = &download;
  int32_t failure = 0;
  try {
    download.Run();
  } catch (const CHttpDownloadEx& error) {
    Json::Value& record = Record(doc);
    record["error_code"] = error.code;
    record["error"] = DownloadErrorText(error);
    // A refused certificate's sentence is the user's reason; a hash mismatch's digests stay
    // in "error".
    if (error.code != CHttpDownloadEx::kHashMismatch) record["reason"] = error.text;
    // Every failure has a kind; one without would read as success.
    failure = error.code != 0 ? error.code : CHttpDownloadEx::kDownloadError;
  }
  current = nullptr;
  if (!sha256.empty()) Record(doc)["cache"] = download.Note();
  return failure;
}

bool CHTTPDownloader::StopRequested() {
  if (!g_cancelRequested.load()) return false;
  if (progress) progress->SetStatus("Aborting download ...");
  if (current) current->Cancel();
  return true;
}

void CHTTPDownloader::OnStart(int32_t) {
  if (!progress || !showProgress) return;
  progress->ShowProgressBar();
  progress->SetProgress(0);
}

int CHTTPDownloader::OnProgress(int32_t, int32_t percent) {
  // While the window asks whether to stop, hold the transfers (they run on this thread).
  WaitWhilePromptActive();
  if (StopRequested()) return -1;
  if (progress && showProgress) progress->SetProgress(percent);
  return 0;
}

void CHTTPDownloader::OnTransferDone() {
  if (!progress || !showProgress) return;
  progress->HideProgressBar();
  progress->SetProgress(100);
}

void CHTTPDownloader::OnTick() { StopRequested(); }

}  // namespace orvex
