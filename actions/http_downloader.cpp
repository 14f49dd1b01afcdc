#include "actions/http_downloader.h"

#include "base/json_text.h"
#include "base/text.h"
#include "common/run_flags.h"
#include "engine/progress.h"
#include "engine/value_path.h"

namespace orvex {

namespace {

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
  // "sha256" pins the file: checked here, so a malformed value fails before any request. A
  // value path that resolves to nothing (a digest the service's settings do not hold) checks
  // nothing; an empty text written as the value itself is malformed.
  std::string sha256;
  const Json::Value& pinned = Member(args, "sha256");
  if (!pinned.isNull()) {
    sha256 = ResolveStringArg(pinned, doc);
    if (!pinned.isString() || pinned.asString().empty() ||
        (!sha256.empty() && NormalizeSha256(sha256).empty())) {
      RecordResult(doc, "fatal", "The sha256 string is not 64 hexadecimal digits", "");
      return -1;
    }
  }
  const Json::Value& show = Member(args, "show_progress");
  showProgress = show.isNull() ? true : JsonTruth(show);
  std::wstring path = Utf8ToWide(directory) + L"\\" + Utf8ToWide(destination);

  if (progress) progress->SetDetail("Downloading from " + url + " to temp folder");
  if (Download(doc, url, path, sha256) == 0) return 0;

  Json::Value& record = Record(doc);
  // Download left the failure's own sentence (a refused certificate's) as the reason.
  const std::string cause = record["reason"].isString() ? record["reason"].asString() : "";
  record["status"] = "failed";
  record["reason"] = "Failed to download from " + url + "." + (cause.empty() ? "" : " " + cause);
  // A file that is not the one expected is named as such: nothing of it will be run. (The
  // digests are in "error" and so in the report; the question has no room for them.)
  const bool tampered = record["error_code"] == Json::Value(CHttpDownloadEx::kHashMismatch);
  std::string detail =
      cause.empty() ? "Failed to download necessary files for Orvex-m installation." : cause;
  if (tampered) detail = kHashMismatchDetail;
  if (record["error_code"] != Json::Value(CHttpDownloadEx::kCanceled) && progress)
    progress->Prompt("Could not download files from Internet.", "Ok", "", detail, 2);
  return -1;
}

int CHTTPDownloader::Download(Json::Value& doc, const std::string& url, const std::wstring& path,
                              const std::string& sha256) {
  try {
    CHttpDownload download(url, path, this, L"INSTALLER");
    if (!sha256.empty()) download.ExpectSha256(sha256);
    current = &download;
    download.Run();
    current = nullptr;
    return 0;
  } catch (const CHttpDownloadEx& error) {
    current = nullptr;
    Json::Value& record = Record(doc);
    record["error_code"] = error.code;
    record["error"] = DownloadErrorText(error);
    // A refused certificate's sentence is the user's reason; a hash mismatch's digests stay
    // in "error".
    if (error.code != CHttpDownloadEx::kHashMismatch) record["reason"] = error.text;
    return -1;
  }
}

bool CHTTPDownloader::StopRequested() {
  if (!g_cancelRequested.load()) return false;
  if (progress) progress->SetStatus("Aborting download ...");
  if (current) current->cancel = true;
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
