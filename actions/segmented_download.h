#pragma once
// The segmented download: one file fetched as ten byte ranges in parallel over libcurl's
// multi interface, unfinished ranges retried. Each range is written at its offset in
// "<destination>.part" as it arrives, and that file replaces the destination once every range
// is complete, so memory stays a few MiB whatever the file size. Events go to an
// IDownloadHandler; failures are thrown as CHttpDownloadEx.

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace orvex {

// The failure of a segmented download.
struct CHttpDownloadEx {
  enum Kind : int32_t {
    kDownloadError = 1,       // "DOWNLOAD_ERROR": a handle or an option could not be set up
    kCanceled = 2,            // "DOWNLOAD_CANCELED"
    kFileCorrupted = 3,       // "DOWNLOAD_FILE_CORRUPTED": the ranges do not add up
    kErrorSavingFile = 4,     // "ERROR_SAVING_FILE"
    kNetworkError = 5,        // "NETWORK_ERROR": host not resolved or timed out, last attempt
    kNetworkReset = 6,        // "NETWORK_RESET": connection broken while receiving
    kUnableToGetSize = 7,     // "UNABLE_TO_GET_SIZE"
    kUnableToAllocMem = 8,    // "UNABLE_TO_ALLOC_MEM"
    kUnverifiedServer = 10,   // "CERTIFICATE_NOT_VERIFIED": the server's certificate refused
  };
  int32_t code = 0;
  int32_t detail = 0;    // the libcurl result behind the failure, or 0
  int32_t sysError = 0;  // errno of a failed file operation (kErrorSavingFile), else 0
  // kUnverifiedServer: the sentence for the user, naming the host and libcurl's reason.
  std::string text{};
};

// "NAME (N)": N is sysError when set, else detail. "UNKNOWN_ERROR" for unknown codes.
std::string DescribeDownloadError(const CHttpDownloadEx& error);

// Receives the events of a download. Owned by the caller; outlives the download.
class IDownloadHandler {
 public:
  virtual ~IDownloadHandler() = default;
  virtual void OnStart(int32_t totalSize) = 0;
  // For every chunk that arrives; the return value is ignored.
  virtual int OnProgress(int32_t bytes, int32_t percent) = 0;
  virtual void OnTransferDone() = 0;
  // At the start of every pass of the transfer loop.
  virtual void OnTick() = 0;
  virtual void OnWriteStart(int32_t totalSize) = 0;
  virtual void OnWritten(int32_t bytes) = 0;
  virtual void OnComplete() = 0;
};

class CHttpDownload {
 public:
  static constexpr int kSegmentCount = 10;

  // Queries the size and prepares the segments and the presence pipe. Throws CHttpDownloadEx
  // of kinds 1, 7, 8 and 10. lowSpeedSeconds: a segment that moves less than one byte per second
  // for this long ends with a time-out (tests shorten it).
  CHttpDownload(std::string url, std::wstring destination, IDownloadHandler* handler,
                std::wstring pipeName, long lowSpeedSeconds = 120);
  ~CHttpDownload();
  CHttpDownload(const CHttpDownload&) = delete;
  CHttpDownload& operator=(const CHttpDownload&) = delete;

  // Transfers the file and puts it in place; returns the bytes written (the total size).
  // Throws CHttpDownloadEx of kinds 2 to 6 and 10. The destination is created (or truncated) first
  // and stays empty on every failure; the temporary "<destination>.part" never outlives Run.
  // An exception thrown by the handler leaves Run the same way, after the same clean-up.
  uint32_t Run();

  // The file size from a HEAD request. Throws kind 7, or 10 for a refused certificate.
  uint32_t QuerySize();

  // Set by the handler to stop the download at the next check.
  bool cancel = false;

  // For tests and progress: the size and the bytes received so far.
  uint32_t TotalSize() const { return totalSize_; }
  uint32_t Downloaded() const { return downloaded_; }

  struct Segment;
  // Keeps the first exception thrown inside a libcurl callback, to be raised by Run once
  // libcurl has returned.
  void HoldCallbackException(std::exception_ptr error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  uint32_t totalSize_ = 0;
  uint32_t downloaded_ = 0;
};

}  // namespace orvex
