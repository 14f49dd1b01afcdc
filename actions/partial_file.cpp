#include "actions/partial_file.h"

#include <cstdint>
#include <string>

#include "actions/download_error.h"
#include "actions/download_journal.h"
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// Temporary names tried before giving up: "<destination>.part", then ".1.part" to ".15.part".
const int kPartNames = 16;

std::wstring PartName(const std::wstring& destination, int number) {
  return destination + (number == 0 ? std::wstring() : L"." + std::to_wstring(number)) + L".part";
}

// A regular file: a link or a folder is never a file of ours, journal or not - writing through
// a link would write wherever it points.
bool IsPlainFileOrMissing(const std::wstring& path) {
  const uint32_t attributes = platform::FileAttributes(path);
  return attributes == platform::kInvalidFileAttributes ||
         (attributes &
          (platform::kFileAttributeReparsePoint | platform::kFileAttributeDirectory)) == 0;
}

}  // namespace

PartialFile::~PartialFile() {
  if (created_ && !keptForResume_) Discard();
}

void PartialFile::Open(const std::wstring& destination, const std::string& url, uint32_t size,
                       const std::string& validator) {
  destination_ = destination;
  url_ = url;
  size_ = size;
  validator_ = validator;
  bool taken = ResumeOwnPart();
  for (int i = 0; !taken && i < kPartNames; ++i) {
    const std::wstring candidate = PartName(destination_, i);
    taken = TakePartName(candidate, JournalPathOf(candidate));
  }
  if (!taken) throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, platform::kErrorFileExists);
  RemoveOtherOwnParts();
}

// A temporary file of an earlier run of this very download, under any of the names, is
// resumed first, before a free name is taken for a new one.
bool PartialFile::ResumeOwnPart() {
  for (int i = 0; i < kPartNames; ++i) {
    path_ = PartName(destination_, i);
    journalPath_ = JournalPathOf(path_);
    DownloadJournal found;
    if (!LoadJournal(journalPath_, &found) || !IsResumable(found)) continue;
    if (!platform::PathExists(path_) || !IsPlainFileOrMissing(path_)) continue;
    uint32_t error = 0;
    if (!file_.OpenExisting(path_, &error)) continue;
    if (TakeOwnPart(&found)) return true;
  }
  return false;
}

bool PartialFile::IsResumable(const DownloadJournal& journal) const {
  return journal.url == url_ && journal.size == size_ && !validator_.empty() &&
         journal.validator == validator_;
}

// The temporary files of earlier runs for the same URL under the other names are worth
// nothing now: they go, so that leftovers do not take up the names one after another. One
// with other names (a hard link) is not ours to remove.
void PartialFile::RemoveOtherOwnParts() {
  for (int i = 0; i < kPartNames; ++i) {
    const std::wstring candidate = PartName(destination_, i);
    const std::wstring journal = JournalPathOf(candidate);
    DownloadJournal found;
    if (candidate == path_ || !LoadJournal(journal, &found) || found.url != url_) continue;
    if (!IsPlainFileOrMissing(candidate)) continue;
    platform::PositionedFile other;
    uint32_t error = 0, links = 0;
    if (platform::PathExists(candidate)) {
      if (!other.OpenExisting(candidate, &error) || !other.LinkCount(&links, &error) || links != 1)
        continue;
      (void)other.Close(nullptr);
      if (!platform::DeleteFileAt(candidate)) continue;
    }
    (void)platform::DeleteFileAt(journal);
  }
}

// True when candidate is now the open temporary file; false when it belongs to someone else.
bool PartialFile::TakePartName(const std::wstring& candidate, const std::wstring& journal) {
  path_ = candidate;
  journalPath_ = journal;
  const bool hasJournal = platform::PathExists(journal);
  if (!IsPlainFileOrMissing(candidate)) return false;
  if (hasJournal && platform::PathExists(candidate)) {
    // Ours: resumed when the journal is of this very file, else started over in place.
    uint32_t error = 0;
    if (!file_.OpenExisting(path_, &error))
      throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
    DownloadJournal found;
    const bool resumable = LoadJournal(journal, &found) && IsResumable(found);
    return TakeOwnPart(resumable ? &found : nullptr);
  }
  // A journal left without its file (the process ended just after the rename) is stale.
  // (Should it stay, the file created next to it starts with no ranges of its own.)
  if (hasJournal) (void)platform::DeleteFileAt(journal);
  uint32_t error = 0;
  if (!file_.CreateNew(candidate, &error)) {
    // Something is there (it appeared since the look above, or cannot be opened at all).
    if (error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists ||
        (error == platform::kErrorAccessDenied && platform::PathExists(candidate)))
      return false;
    throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
  }
  ReserveSize();
  return true;
}

// The open path_, a file of ours from an earlier run: kept, with the ranges of resumable
// that the file can hold. False (the file closed) when the file has other names: a hard link
// written in place would change the file it shares its bytes with.
bool PartialFile::TakeOwnPart(const DownloadJournal* resumable) {
  uint32_t error = 0, links = 0;
  uint64_t length = 0;
  if (!file_.LinkCount(&links, &error) || !file_.Size(&length, &error))
    throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
  if (links != 1) {
    (void)file_.Close(nullptr);
    return false;
  }
  // The journal is believed only as far as the file bears it out: a file too short for a
  // range it claims (cut, or never written) starts over.
  bool fits = resumable != nullptr;
  if (resumable)
    for (const auto& range : resumable->ranges)
      fits = fits && uint64_t{range.first} + range.second <= length;
  if (fits) TakeOnDiskRanges(*resumable);
  ReserveSize();
  return true;
}

// The journal's ranges count as bytes on disk from their starts. A journal of more ranges
// than a download makes is not ours to believe.
void PartialFile::TakeOnDiskRanges(const DownloadJournal& journal) {
  claimed_.clear();
  if (journal.ranges.size() > kMostRanges) return;
  for (const auto& range : journal.ranges)
    if (range.second > 0) claimed_.push_back(range);
}

// Gives the open file exactly the file's size (cut or grown); of an earlier run's bytes only
// the claimed ranges count.
void PartialFile::ReserveSize() {
  uint32_t error = 0;
  created_ = true;
  if (!file_.Reserve(size_, &error))
    throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
}

bool PartialFile::Keep(const std::wstring& destination, uint32_t* error) {
  if (!platform::ReplaceWithFile(path_, destination, error)) return false;
  created_ = false;
  // A journal left without its file is dropped by the next run.
  (void)platform::DeleteFileAt(journalPath_);
  return true;
}

// The journal that claims the bytes is saved only after they were flushed.
void PartialFile::KeepForResume(const DownloadJournal& journal) {
  const bool flushed = file_.IsOpen() && file_.Flush(nullptr);
  (void)file_.Close(nullptr);
  if (!created_) return;
  if (!flushed || !SaveJournal(journalPath_, journal, true)) {
    Discard();
    return;
  }
  keptForResume_ = true;
}

void PartialFile::Discard() {
  (void)file_.Close(nullptr);
  if (created_) {
    (void)platform::DeleteFileAt(path_);
    (void)platform::DeleteFileAt(journalPath_);
  }
  created_ = false;
}

}  // namespace orvex
