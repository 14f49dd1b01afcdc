#include "actions/cached_download.h"

#include <cstdio>
#include <memory>
#include <utility>

#include "actions/download_cache.h"
#include "actions/download_journal.h"
#include "actions/file_digest.h"
#include "base/text.h"
#include "platform/admin_folders.h"
#include "platform/file_links.h"
#include "platform/file_writer.h"  // ReplaceWithFile
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// Temporary names tried for the placed file: "<destination>.cache.tmp", ".1.cache.tmp" ...
constexpr int kPlacingNames = 16;

CHttpDownloadEx SavingFailure(uint32_t error) {
  CHttpDownloadEx failure;
  failure.code = CHttpDownloadEx::kErrorSavingFile;
  failure.sysError = error;
  return failure;
}

std::wstring PlacingName(const std::wstring& destination, int number) {
  return destination + (number == 0 ? std::wstring() : L"." + std::to_wstring(number)) +
         L".cache.tmp";
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? std::wstring(L".") : path.substr(0, cut);
}

bool IsPlainFile(uint32_t attributes) {
  return attributes != platform::kInvalidFileAttributes &&
         (attributes &
          (platform::kFileAttributeDirectory | platform::kFileAttributeReparsePoint)) == 0;
}

// A new name for entry's file at candidate: a hard link when asked and possible, else a copy.
// False when candidate is taken; throws when neither can be made.
bool MakeNewName(const std::wstring& entry, const std::wstring& candidate, bool link) {
  uint32_t error = 0;
  if (link) {
    if (platform::MakeHardLink(candidate, entry, &error)) return true;
    if (error == platform::kErrorAlreadyExists || error == platform::kErrorFileExists) return false;
  }
  if (platform::CopyFileTo(entry, candidate, true)) return true;
  if (platform::PathExists(candidate)) return false;
  throw SavingFailure(platform::kErrorAccessDenied);
}

}  // namespace

CCachedDownload::CCachedDownload(std::string url, std::wstring destination, std::string sha256,
                                 IDownloadHandler* handler, std::wstring pipeName,
                                 std::wstring cacheFolder, long lowSpeedSeconds)
    : url_(std::move(url)),
      destination_(std::move(destination)),
      sha256_(NormalizeSha256(sha256)),
      handler_(handler),
      pipeName_(std::move(pipeName)),
      cacheFolder_(std::move(cacheFolder)),
      lowSpeedSeconds_(lowSpeedSeconds) {}

CCachedDownload::~CCachedDownload() = default;

void CCachedDownload::Cancel() {
  cancel_ = true;
  if (current_) current_->cancel = true;
}

uint32_t CCachedDownload::Run() {
  // Nothing could prove that bytes without a digest are the ones asked for.
  if (sha256_.empty()) {
    note_ = "not cached: no sha256";
    return FetchStraight();
  }
  std::string why;
  if (!OpenDownloadCache(cacheFolder_, &why)) {
    note_ = "not cached: " + why;
    return FetchStraight();
  }
  const std::wstring entry = CacheEntryPath(cacheFolder_, sha256_);
  uint32_t size = 0;
  if (ReuseEntry(entry, &size)) return size;
  return FetchIntoCache(entry);
}

// The verified file of an earlier run, hashed again: put in place when it is still the one
// asked for, removed when it is not.
bool CCachedDownload::ReuseEntry(const std::wstring& entry, uint32_t* size) {
  const uint32_t attributes = platform::FileAttributes(entry);
  if (attributes == platform::kInvalidFileAttributes) return false;
  if (IsPlainFile(attributes) && HashMatches(entry, size)) {
    NoteCacheEntryUsed(entry);
    PlaceEntry(entry);
    if (handler_) {
      handler_->OnWriteStart(static_cast<int32_t>(*size));
      handler_->OnWritten(static_cast<int32_t>(*size));
      handler_->OnComplete();
    }
    note_ = "taken from the cache without a request";
    return true;
  }
  RemoveCacheFile(entry);
  note_ = "the cached file did not match its digest: removed and fetched again; ";
  return false;
}

// Reads the entry through the handler's events as a download shows its progress: 0 to 100.
bool CCachedDownload::HashMatches(const std::wstring& entry, uint32_t* size) {
  struct Progress : IFileDigestObserver {
    CCachedDownload& self;
    uint64_t total = 0;
    explicit Progress(CCachedDownload& owner) : self(owner) {}
    bool OnFileLength(uint64_t length) override {
      if (length == 0 || length > UINT32_MAX) return false;
      total = length;
      if (self.handler_) self.handler_->OnStart(static_cast<int32_t>(total));
      return true;
    }
    void BeforeChunk() override {
      if (self.handler_) self.handler_->OnTick();
      if (self.cancel_) throw CHttpDownloadEx{CHttpDownloadEx::kCanceled};
    }
    void AfterChunk(std::size_t got, uint64_t readSoFar) override {
      if (self.handler_)
        (void)self.handler_->OnProgress(static_cast<int32_t>(got),
                                        static_cast<int32_t>(readSoFar * 100 / total));
    }
  } progress(*this);
  const FileDigest digest = DigestOfFile(entry, &progress);
  if (digest.failure != FileDigest::kNone || digest.bytes != progress.total) return false;
  if (handler_) handler_->OnTransferDone();
  *size = static_cast<uint32_t>(progress.total);
  return digest.sha256 == sha256_;
}

uint32_t CCachedDownload::FetchIntoCache(const std::wstring& entry) {
  std::unique_ptr<CHttpDownload> download(
      new CHttpDownload(url_, entry, handler_, pipeName_, lowSpeedSeconds_));
  if (!RoomToKeep(entry, download->TotalSize())) {
    note_ += "not kept: the cache's drive has no room for the file and " +
             std::to_string(kCacheFreeSpaceMargin >> 20) + " MiB more";
    download.reset();
    return FetchStraight();
  }
  download->ExpectSha256(sha256_);
  AdoptJournalOfAnotherUrl(entry, download->TotalSize());
  NoteCacheEntryUsed(entry);
  const uint32_t size = RunDownload(*download);
  PlaceEntry(entry);
  note_ += "fetched into the cache";
  return size;
}

uint32_t CCachedDownload::FetchStraight() {
  CHttpDownload download(url_, destination_, handler_, pipeName_, lowSpeedSeconds_);
  if (!sha256_.empty()) download.ExpectSha256(sha256_);
  return RunDownload(download);
}

uint32_t CCachedDownload::RunDownload(CHttpDownload& download) {
  current_ = &download;
  download.cancel = cancel_;
  try {
    const uint32_t size = download.Run();
    current_ = nullptr;
    return size;
  } catch (...) {
    current_ = nullptr;
    throw;
  }
}

// The file and the margin must fit beside what the drive holds; a temporary download of the
// entry that is already there has its full size reserved and needs no more.
bool CCachedDownload::RoomToKeep(const std::wstring& entry, uint32_t size) {
  platform::DiskSpace space;
  uint32_t error = 0;
  if (!platform::FreeDiskSpace(cacheFolder_, &space, &error)) return false;
  uint64_t reserved = 0;
  uint32_t openError = 0;
  if (const platform::ScopedFile part = platform::OpenForReading(entry + L".part", &openError)) {
    if (std::fseek(part.get(), 0, SEEK_END) == 0 && std::ftell(part.get()) > 0)
      reserved = static_cast<uint64_t>(std::ftell(part.get()));
  }
  const uint64_t needed = uint64_t{size} > reserved ? uint64_t{size} - reserved : 0;
  return space.freeToCaller >= needed + kCacheFreeSpaceMargin;
}

// A journal left by a run that fetched the same digest from another URL (a mirror, a link
// with another signature) is taken for this URL when the server named the same file size and
// a strong ETag as validator: the segmented download still checks that validator with the
// server (If-Range) and the digest checks the whole file. A Last-Modified date alone, which
// two servers may share for different bytes, is not enough.
void CCachedDownload::AdoptJournalOfAnotherUrl(const std::wstring& entry, uint32_t size) {
  const std::wstring journalPath = JournalPathOf(entry + L".part");
  DownloadJournal journal;
  if (!LoadJournal(journalPath, &journal) || journal.url == url_ || journal.size != size ||
      journal.validator.empty() || journal.validator[0] != '"')
    return;
  journal.url = url_;
  // Without it the download starts the entry over, which costs time and nothing else.
  (void)SaveJournal(journalPath, journal, true);
}

// The destination becomes the entry's file under a temporary name, then by a rename.
void CCachedDownload::PlaceEntry(const std::wstring& entry) {
  const bool link = platform::OnlyAdministratorsCanWrite(FolderOf(destination_));
  std::wstring placing;
  for (int i = 0; i < kPlacingNames && placing.empty(); ++i) {
    const std::wstring candidate = PlacingName(destination_, i);
    if (MakeNewName(entry, candidate, link)) placing = candidate;
  }
  if (placing.empty()) throw SavingFailure(platform::kErrorFileExists);
  uint32_t error = 0;
  if (!platform::ReplaceWithFile(placing, destination_, &error)) {
    (void)platform::DeleteFileAt(placing);  // a name of ours; the failure is what counts
    throw SavingFailure(error);
  }
  // Renaming one name of a file over another name of it leaves both (POSIX); the spare goes.
  if (platform::PathExists(placing)) (void)platform::DeleteFileAt(placing);
}

}  // namespace orvex
