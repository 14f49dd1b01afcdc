#pragma once
// The machine's cache of verified downloads: one folder that only administrators can change
// (%ProgramData%\Quarn\Orvex\Downloads for the installer), whose entries are named by the
// SHA-256 of their file in lower case. "<digest>" is a verified file; "<digest>.part" with its
// journal is one being fetched (actions/segmented_download.h names them). The folder is kept
// small: entries not written for 30 days go when a process first uses the cache, and those a
// completed installation used go after it (RemoveCacheEntriesUsedThisRun).

#include <cstdint>
#include <string>

namespace orvex {

// Entries whose last write is older than this are removed when the cache is opened.
constexpr uint64_t kCacheEntryMaxAgeSeconds = 30ull * 24 * 60 * 60;

// "<ProgramData>\\Quarn\\Orvex\\Downloads" with the folder Windows names for ProgramData; ""
// when Windows names none.
std::wstring DefaultDownloadCacheFolder();

// Makes folder ready for use: created for administrators only (with the missing "Quarn" and
// "Orvex" above it, as ordinary folders, when it is the default folder); an existing folder that
// others can change is given the protected DACL when an administrator owns it, and then emptied,
// since anyone could have put things there. The first time in a process, entries older than 30 days
// go. False, with the reason in *why, when the folder cannot be trusted or made: the caller
// downloads without the cache then.
bool OpenDownloadCache(const std::wstring& folder, std::string* why);

// The path of the verified file of digest in folder.
std::wstring CacheEntryPath(const std::wstring& folder, const std::string& digest);

// Notes that this run took, kept or was fetching the entry at path.
void NoteCacheEntryUsed(const std::wstring& entry);

// After an installation that completed: removes every entry noted by this process (the file
// and a temporary download of it with its journal), and forgets them.
void RemoveCacheEntriesUsedThisRun();

// Removes a file of the cache: read-only or not, a link as the link.
void RemoveCacheFile(const std::wstring& path);

}  // namespace orvex
