#pragma once

#include "actions/cached_download.h"
#include "actions/segmented_download.h"
#include "engine/module.h"

namespace orvex {

// "HTTPDownloader": downloads one file into a directory with the segmented download, shows
// its progress on the stage's indicator and stops when the user asks. With "sha256" the file
// is put in place only when its digest is that one, and goes through the machine's download
// cache (actions/cached_download.h): a later run resumes or reuses it there; what the cache
// did is recorded as "cache". A "sha256" value path that names nothing
// checks nothing while no other download of the plan is pinned, and fails the module when one
// is.
class CHTTPDownloader : public CBasicModule, public IDownloadHandler {
 public:
  int Execute(Json::Value& doc) override;

  void OnStart(int32_t totalSize) override;
  int OnProgress(int32_t bytes, int32_t percent) override;
  void OnTransferDone() override;
  void OnTick() override;
  void OnWriteStart(int32_t) override {}
  void OnWritten(int32_t) override {}
  void OnComplete() override {}

 private:
  enum class Pin { kNone, kDigest, kMalformed, kUnresolved };
  // What a "sha256" argument asks for: nothing (absent), a digest (*digest, lower case), a
  // value that is no digest (not a text, or a text or the text at its value path that is not
  // 64 hexadecimal digits), or a value path that names nothing.
  static Pin ReadPin(const Json::Value& arg, const Json::Value& doc, std::string* digest);
  // Whether another HTTPDownloader of the plan (or of this stage, injected ones included)
  // pins its file with a digest now.
  bool PlanPinsOtherDownloads(const Json::Value& doc) const;
  // Runs the download; on failure records "error_code" and "error" and returns the failure's
  // kind (CHttpDownloadEx::Kind), else 0.
  int32_t Download(Json::Value& doc, const std::string& url, const std::wstring& path,
                   const std::string& sha256);
  // True, after telling the user and the download, when a stop was requested.
  bool StopRequested();

  bool showProgress = true;
  CCachedDownload* current = nullptr;
};

// The cache folder downloads with a "sha256" go through; tests and tools may point it
// elsewhere ("" turns the cache off). Starts as DefaultDownloadCacheFolder().
void SetDownloadCacheFolder(const std::wstring& folder);
std::wstring DownloadCacheFolder();

// The "error" text recorded for a download failure.
std::string DownloadErrorText(const CHttpDownloadEx& error);

}  // namespace orvex
