#pragma once

#include "actions/segmented_download.h"
#include "engine/module.h"

namespace orvex {

// "HTTPDownloader": downloads one file into a directory with the segmented download, shows
// its progress on the stage's indicator and stops when the user asks. With "sha256" the file
// is put in place only when its digest is that one.
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
  // Runs the download; on failure records "error_code" and "error" and returns -1.
  int Download(Json::Value& doc, const std::string& url, const std::wstring& path,
               const std::string& sha256);
  // True, after telling the user and the download, when a stop was requested.
  bool StopRequested();

  bool showProgress = true;
  CHttpDownload* current = nullptr;
};

// The "error" text recorded for a download failure.
std::string DownloadErrorText(const CHttpDownloadEx& error);

}  // namespace orvex
