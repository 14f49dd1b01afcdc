#pragma once
// The segmented download: one file fetched as ten byte ranges in parallel over libcurl's
// multi interface, unfinished ranges retried; a connection whose range is done takes over the
// back half of the slowest range still running (at most ten transfers at a time, and the
// journal claims the split ranges as it does the others). Each range is written at its offset
// in a temporary file ("<destination>.part", or "<destination>.N.part" when a .part that is
// not ours is in the way) as it arrives; once every range is complete (and its SHA-256 matches,
// when one is expected) that file is renamed over the destination, which nothing else
// touches. Memory stays a few MiB whatever the file size. A download that ends unfinished
// keeps its temporary file and a journal of the ranges on disk (actions/download_journal.h),
// and the next one for the same URL and destination fetches only the rest. The journal claims
// only bytes flushed to the disk before it was saved (during the transfer by a thread of its
// own, actions/journal_checkpoints.h), and a later run believes it only as far as the file
// is long enough for its ranges. A temporary file with other names (a hard link) is never
// written in place. Events go to an IDownloadHandler; failures are thrown as CHttpDownloadEx.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "actions/download_error.h"

namespace orvex {

// A SHA-256 digest written as 64 hexadecimal digits in either case, as lower case; "" when
// text is anything else.
std::string NormalizeSha256(const std::string& text);

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

  // Queries the size and the file's validator, and opens the presence pipe. Throws
  // CHttpDownloadEx of kinds 1, 7 and 10. lowSpeedSeconds: a segment that moves less than one
  // byte per second for this long ends with a time-out (tests shorten it).
  CHttpDownload(std::string url, std::wstring destination, IDownloadHandler* handler,
                std::wstring pipeName, long lowSpeedSeconds = 120);
  ~CHttpDownload();
  CHttpDownload(const CHttpDownload&) = delete;
  CHttpDownload& operator=(const CHttpDownload&) = delete;

  // Transfers the file, checks its digest when one is expected and puts it in place; returns
  // the bytes written (the total size). Throws CHttpDownloadEx of kinds 1 to 6, 9 and 10.
  // The destination is touched only by the final rename, and only with a file of exactly the
  // total size. On a failure the temporary file stays with its journal when the server names a
  // validator of the file (so the next run resumes); otherwise, when the journal cannot be
  // written, and after a digest mismatch, both go. An exception thrown by the handler leaves
  // Run the same way.
  uint32_t Run();

  // Makes Run compare the file's SHA-256 with sha256 (as NormalizeSha256 accepts it) before
  // the rename. False, and nothing changes, when sha256 is malformed.
  bool ExpectSha256(const std::string& sha256);

  // Set by the handler to stop the download at the next check.
  bool cancel = false;

  // For tests and progress: the size and the bytes received so far (those a resumed download
  // found on disk included).
  uint32_t TotalSize() const { return totalSize_; }
  uint32_t Downloaded() const { return downloaded_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  uint32_t totalSize_ = 0;
  uint32_t downloaded_ = 0;
};

}  // namespace orvex
