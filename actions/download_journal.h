#pragma once
// The journal of an unfinished download: what a later run needs to fetch only the missing
// ranges of "<file>.part" - the URL, the size, the server's validator of the file (ETag, else
// Last-Modified) and the byte ranges already on disk. It lives beside the .part as
// "<part>.journal" and is replaced whole (a temporary, flushed, renamed over it), so a crash
// at any moment leaves the old journal or the new one, never a mix.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

struct DownloadJournal {
  std::string url;
  uint32_t size = 0;
  std::string validator;
  // [first, first + length) ranges on disk, in any order.
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
};

// The text of a journal. Its last line "end" tells a whole journal from a cut one.
std::string FormatJournal(const DownloadJournal& journal);
// False for anything but a whole journal of this format whose ranges lie inside the size.
bool ParseJournal(const std::string& text, DownloadJournal* journal);

// The journal beside a temporary download file.
std::wstring JournalPathOf(const std::wstring& partPath);

// Writes the journal at path through path + ".tmp"; false (the old journal stays) on failure.
// The rename makes the change whole for any other process and for a process that is killed.
// durable also flushes the temporary to the disk before the rename (it survives a power
// loss); the saves during a transfer skip that, as on most file systems it would wait for
// every written byte of the download too.
bool SaveJournal(const std::wstring& path, const DownloadJournal& journal, bool durable);
// False when there is no journal at path or it does not parse.
bool LoadJournal(const std::wstring& path, DownloadJournal* journal);

}  // namespace orvex
