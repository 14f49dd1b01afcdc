#pragma once
// Unpacking a zip archive into a directory with libarchive. Files are written through the
// platform's file calls, so the simulated machine keeps them in its sandbox.

#include <string>
#include <vector>

namespace orvex {

// The steps of an entry name as it will be written below the destination, with "/" and "\"
// both taken as separators (as Windows does). False for names that could leave the
// destination or name something else than a file: empty, absolute ("\x", "/x", "\\server"),
// with a drive or a stream (":"), or with a step of only dots and blanks ("..", "...", ". ",
// which Windows reads as a way up or as nothing), or naming a device ("CON", "nul.txt",
// "COM1"). Empty steps ("a//b") are dropped.
bool ZipEntrySteps(const std::wstring& name, std::vector<std::wstring>* steps);

// Copies the contents of the zip archive at archivePath into the existing directory
// destination (both UTF-8, as the session document holds paths), creating the folders the
// entries name. Entry names are read as Unicode whatever the locale. Every entry is checked
// before anything is written: a name that ZipEntrySteps refuses, an entry that is neither a
// file nor a folder (a link), or files that declare more bytes than the destination's drive
// has free make the unpacking fail with nothing written. The archive is held open, sharing
// reading only, so an entry named like it fails instead of overwriting it. True when every
// entry was written; an archive without entries counts as unpacked. A file that could not be
// written completely, or that holds more than its entry declared, is removed again.
bool ExtractZip(const std::string& archivePath, const std::string& destination);

}  // namespace orvex
