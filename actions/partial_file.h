#pragma once
// The temporary file a segmented download writes its ranges into, from its making to its end,
// with the journal that marks it as ours (actions/download_journal.h). It lives under
// "<destination>.part", or "<destination>.N.part" when a .part that is not ours is in the way.
// Open takes over a file of an earlier run of the same download (its journal says so) or makes
// a new one exclusively under the first free name; a .part without a journal of ours, a link,
// a folder or a file with other names (a hard link) is never written. The download ends the
// file's life with one of three verbs: Keep puts it at the destination, KeepForResume leaves
// it with its journal for a later run, Discard removes both. A file made here and neither kept
// nor kept for resume is discarded when the object goes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "actions/download_journal.h"
#include "platform/file_writer.h"

namespace orvex {

class PartialFile {
 public:
  // The ranges of one file at most, split ones included (a journal describes them on a line;
  // one that claims more is not believed).
  static constexpr std::size_t kMostRanges = 64;

  PartialFile() = default;
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // Finds the temporary file for a download of url (size bytes, validator as the server named
  // it, "" for none) to destination and opens it with exactly size bytes, so that a full disk
  // shows before any transfer. The bytes of an earlier run count (ClaimedOnDisk) when its
  // journal is of this very file and the file is long enough for them. The temporary files of
  // earlier runs for the same URL under the other names are removed. Throws CHttpDownloadEx of
  // kind kErrorSavingFile.
  void Open(const std::wstring& destination, const std::string& url, uint32_t size,
            const std::string& validator);

  // Renames the closed file over destination; its journal goes after it. False with the
  // Windows error when the rename fails (the file stays, still to be discarded).
  bool Keep(const std::wstring& destination, uint32_t* error);
  // Flushes and closes the file and leaves it for a later run under the journal, written
  // durably. A file that cannot be flushed or whose journal cannot be written is discarded,
  // so that no file without a journal stays behind under one of the names.
  void KeepForResume(const DownloadJournal& journal);
  // Closes the file and removes it and its journal. What cannot be removed stays as a leftover
  // of ours: the journal, if it stays, makes the next run take the file over and start it from
  // zero.
  void Discard();

  platform::PositionedFile& File() { return file_; }
  const std::wstring& Path() const { return path_; }
  const std::wstring& JournalPath() const { return journalPath_; }
  // A file was made or taken over, and is neither at the destination nor removed.
  bool Created() const { return created_; }
  // The bytes an earlier run left on disk (start, length), as its journal claims them and the
  // file bears out.
  const std::vector<std::pair<uint32_t, uint32_t>>& ClaimedOnDisk() const { return claimed_; }
  // The claims are worthless once the server sent another file.
  void ForgetClaims() { claimed_.clear(); }

 private:
  bool ResumeOwnPart();
  bool TakePartName(const std::wstring& candidate, const std::wstring& journal);
  bool TakeOwnPart(const DownloadJournal* resumable);
  bool IsResumable(const DownloadJournal& journal) const;
  void RemoveOtherOwnParts();
  void TakeOnDiskRanges(const DownloadJournal& journal);
  void ReserveSize();

  std::wstring destination_;
  std::string url_;
  uint32_t size_ = 0;
  std::string validator_;
  std::wstring path_;
  std::wstring journalPath_;
  platform::PositionedFile file_;
  bool created_ = false;
  bool keptForResume_ = false;
  std::vector<std::pair<uint32_t, uint32_t>> claimed_;
};

}  // namespace orvex
