#pragma once
// A download pinned by its SHA-256, through the machine's cache (actions/download_cache.h).
// A verified file of that digest in the cache is hashed again and put at the destination
// without any request; otherwise the segmented download fetches it into the cache entry,
// resuming what an earlier run left there whatever its destination, and the verified file is
// then put at the destination. Without a digest, without a usable cache folder, or without
// room on the cache's volume for the file and a margin, the download goes straight to the
// destination as a plain segmented download does, and nothing is kept.
//
// The destination gets a hard link to the entry when it lies in a folder only administrators
// can change (the file keeps the entry's administrator-only DACL, so nobody else can write
// through either name); otherwise, or on another volume, a copy. Either way it is made under
// a temporary name and renamed over the destination, so the destination changes only when the
// whole file is there. An entry is never trusted without hashing it again first.

#include <cstdint>
#include <memory>
#include <string>

#include "actions/segmented_download.h"

namespace orvex {

// Room left on the cache's volume besides the file itself before it is kept there.
constexpr uint64_t kCacheFreeSpaceMargin = 256ull << 20;

class CCachedDownload {
 public:
  // sha256: the expected digest as NormalizeSha256 accepts it, or "" (no cache then);
  // cacheFolder: the cache to use, "" for none. Nothing happens before Run.
  CCachedDownload(std::string url, std::wstring destination, std::string sha256,
                  IDownloadHandler* handler, std::wstring pipeName, std::wstring cacheFolder,
                  long lowSpeedSeconds = 120);
  ~CCachedDownload();
  CCachedDownload(const CCachedDownload&) = delete;
  CCachedDownload& operator=(const CCachedDownload&) = delete;

  // Puts the file at the destination; returns its size. Throws CHttpDownloadEx as
  // CHttpDownload's constructor and Run do (kErrorSavingFile when the file cannot be put in
  // place from the cache, kCanceled when stopped while the cached file is checked).
  uint32_t Run();

  // Stops the download or the check of a cached file at its next step (any thread that the
  // handler runs on: the handler's own events).
  void Cancel();

  // What the cache did, one sentence: reused, fetched into it, or why it was not used.
  const std::string& Note() const { return note_; }

 private:
  bool ReuseEntry(const std::wstring& entry, uint32_t* size);
  bool HashMatches(const std::wstring& entry, uint32_t* size);
  uint32_t FetchIntoCache(const std::wstring& entry);
  uint32_t FetchStraight();
  uint32_t RunDownload(CHttpDownload& download);
  void PlaceEntry(const std::wstring& entry);
  bool RoomToKeep(const std::wstring& entry, uint32_t size);
  void AdoptJournalOfAnotherUrl(const std::wstring& entry, uint32_t size);

  std::string url_;
  std::wstring destination_;
  std::string sha256_;
  IDownloadHandler* handler_;
  std::wstring pipeName_;
  std::wstring cacheFolder_;
  long lowSpeedSeconds_;
  std::string note_;
  CHttpDownload* current_ = nullptr;
  bool cancel_ = false;
};

}  // namespace orvex
