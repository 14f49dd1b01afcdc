#include "actions/zip_extract.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <memory>

#include "base/codepage.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

int SeekFile(std::FILE* file, int64_t offset, int whence) {
#ifdef _WIN32
  return _fseeki64(file, offset, whence);
#else
  return fseeko(file, static_cast<off_t>(offset), whence);
#endif
}

int64_t TellFile(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return static_cast<int64_t>(ftello(file));
#endif
}

// libarchive reads the archive through these, from a file the platform opened: zip's central
// directory sits at the end, so the reader needs to seek.
struct ArchiveSource {
  std::FILE* file = nullptr;
  char block[kBlockSize];
};

la_ssize_t ReadBlock(struct archive*, void* data, const void** buffer) {
  ArchiveSource* source = static_cast<ArchiveSource*>(data);
  *buffer = source->block;
  const std::size_t got = std::fread(source->block, 1, sizeof source->block, source->file);
  return std::ferror(source->file) ? -1 : static_cast<la_ssize_t>(got);
}

la_int64_t SeekTo(struct archive*, void* data, la_int64_t offset, int whence) {
  ArchiveSource* source = static_cast<ArchiveSource*>(data);
  if (SeekFile(source->file, offset, whence) != 0) return ARCHIVE_FATAL;
  return TellFile(source->file);
}

la_int64_t SkipBytes(struct archive* archive, void* data, la_int64_t count) {
  ArchiveSource* source = static_cast<ArchiveSource*>(data);
  const int64_t before = TellFile(source->file);
  if (before < 0 || SeekTo(archive, data, count, SEEK_CUR) < 0) return 0;
  return TellFile(source->file) - before;
}

struct ArchiveCloser {
  void operator()(struct archive* archive) const { archive_read_free(archive); }
};
using ArchivePtr = std::unique_ptr<struct archive, ArchiveCloser>;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A zip reader over the open archive file; null when libarchive does not take it.
ArchivePtr OpenZipReader(ArchiveSource* source) {
  ArchivePtr archive(archive_read_new());
  if (!archive) return nullptr;
  archive_read_support_format_zip(archive.get());
  archive_read_set_read_callback(archive.get(), &ReadBlock);
  archive_read_set_seek_callback(archive.get(), &SeekTo);
  archive_read_set_skip_callback(archive.get(), &SkipBytes);
  archive_read_set_callback_data(archive.get(), source);
  if (archive_read_open1(archive.get()) != ARCHIVE_OK) return nullptr;
  return archive;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Windows drops trailing dots and blanks of a step: a step made of nothing else is "." or
// "..", a way up, or nothing at all.
bool OnlyDotsAndBlanks(const std::wstring& step) {
  return step.find_first_not_of(L". ") == std::wstring::npos;
}

// CON, PRN, AUX, NUL, COM1..COM9 and LPT1..LPT9 name devices in every folder, with or
// without an extension: a file of that name would be written to the device.
bool IsDeviceName(const std::wstring& step) {
  std::wstring base = step.substr(0, step.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = static_cast<wchar_t>(std::towupper(c));
  if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
  return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
         base[3] >= L'1' && base[3] <= L'9';
}

std::wstring EntryName(struct archive_entry* entry) {
  if (const char* utf8 = archive_entry_pathname_utf8(entry)) return Utf8ToWide(utf8);
  if (const wchar_t* wide = archive_entry_pathname_w(entry)) return wide;
  return std::wstring();
}

enum class EntryKind { kFile, kFolder, kOther };

EntryKind KindOf(struct archive_entry* entry) {
  switch (archive_entry_filetype(entry)) {
    case AE_IFREG:
      return EntryKind::kFile;
    case AE_IFDIR:
      return EntryKind::kFolder;
    default:
      return EntryKind::kOther;
  }
}

// The whole archive is looked at before anything is written, so a hostile entry near the end
// cannot leave files of the entries before it.
bool AllEntriesAcceptable(struct archive* archive) {
  struct archive_entry* entry = nullptr;
  int status;
  while ((status = archive_read_next_header(archive, &entry)) == ARCHIVE_OK) {
    std::vector<std::wstring> steps;
    if (!ZipEntrySteps(EntryName(entry), &steps)) return false;
    if (KindOf(entry) == EntryKind::kOther) return false;
  }
  return status == ARCHIVE_EOF;
}

bool MakeFolder(const std::wstring& path) {
  uint32_t error = 0;
  if (platform::MakeDirectory(path, &error)) return true;
  const uint32_t attributes = platform::FileAttributes(path);
  return error == platform::kErrorAlreadyExists &&
         attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeDirectory);
}

// The folders of steps[0 .. count) below destination, made where missing.
bool MakeFolders(const std::wstring& destination, const std::vector<std::wstring>& steps,
                 std::size_t count, std::wstring* path) {
  *path = destination;
  for (std::size_t i = 0; i < count; ++i) {
    *path += L"\\" + steps[i];
    if (!MakeFolder(*path)) return false;
  }
  return true;
}

bool CopyEntryData(struct archive* archive, std::FILE* target) {
  static thread_local char block[kBlockSize];
  for (;;) {
    const la_ssize_t got = archive_read_data(archive, block, sizeof block);
    if (got < 0) return false;
    if (got == 0) return true;
    if (std::fwrite(block, 1, static_cast<std::size_t>(got), target) !=
        static_cast<std::size_t>(got))
      return false;
  }
}

bool WriteFileEntry(struct archive* archive, const std::wstring& path) {
  std::FILE* opened = platform::OpenForWriting(path, nullptr);
  if (!opened) return false;
  FilePtr target(opened);
  bool written = CopyEntryData(archive, target.get());
  written = std::fclose(target.release()) == 0 && written;
  if (!written) platform::DeleteFileAt(path);
  return written;
}

bool ExtractEntries(struct archive* archive, const std::wstring& destination) {
  struct archive_entry* entry = nullptr;
  int status;
  while ((status = archive_read_next_header(archive, &entry)) == ARCHIVE_OK) {
    std::vector<std::wstring> steps;
    if (!ZipEntrySteps(EntryName(entry), &steps)) return false;
    const EntryKind kind = KindOf(entry);
    if (kind == EntryKind::kOther) return false;
    std::wstring path;
    const std::size_t folders = kind == EntryKind::kFolder ? steps.size() : steps.size() - 1;
    if (!MakeFolders(destination, steps, folders, &path)) return false;
    if (kind == EntryKind::kFile && !WriteFileEntry(archive, path + L"\\" + steps.back()))
      return false;
  }
  return status == ARCHIVE_EOF;
}

// One pass over the archive: opens it afresh, so each pass starts at the first entry.
template <class Pass>
bool WithZipReader(const std::wstring& archivePath, Pass pass) {
  std::FILE* opened = platform::OpenForReading(archivePath);
  if (!opened) return false;
  FilePtr file(opened);
  auto source = std::make_unique<ArchiveSource>();
  source->file = file.get();
  ArchivePtr archive = OpenZipReader(source.get());
  return archive && pass(archive.get());
}

}  // namespace

bool ZipEntrySteps(const std::wstring& name, std::vector<std::wstring>* steps) {
  steps->clear();
  if (name.empty() || IsSeparator(name[0]) || name.find(L':') != std::wstring::npos)
    return false;
  std::wstring step;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsSeparator(name[i])) {
      step += name[i];
      continue;
    }
    if (step.empty()) continue;
    if (OnlyDotsAndBlanks(step) || IsDeviceName(step)) return false;
    steps->push_back(step);
    step.clear();
  }
  return !steps->empty();
}

bool ExtractZip(const std::string& archivePath, const std::string& destination) {
  if (archivePath.empty() || destination.empty()) return false;
  const std::wstring archive = ToWide(archivePath);
  std::wstring target = ToWide(destination);
  while (target.size() > 1 && IsSeparator(target.back())) target.pop_back();
  const uint32_t attributes = platform::FileAttributes(target);
  if (attributes == platform::kInvalidFileAttributes ||
      !(attributes & platform::kFileAttributeDirectory))
    return false;
  if (!WithZipReader(archive, &AllEntriesAcceptable)) return false;
  return WithZipReader(archive,
                       [&target](struct archive* reader) { return ExtractEntries(reader, target); });
}

}  // namespace orvex
