#include "actions/zip_extract.h"

#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <memory>
#include <utility>
#ifndef _WIN32
#include <locale.h>
#endif

#include "base/text.h"
#include "platform/file_handles.h"
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;

// libarchive reads the archive through these, from a handle the platform opened: zip's central
// directory sits at the end, so the reader needs to seek. The handle shares reading only, as
// Windows' own unpacking holds an archive: an entry named like the archive cannot be written
// over it while it is read (the open fails with a sharing violation).
struct ArchiveSource {
  intptr_t handle = platform::kInvalidFileHandle;
  char block[kBlockSize];
};

la_ssize_t ReadBlock(struct archive*, void* data, const void** buffer) {
  ArchiveSource* source = static_cast<ArchiveSource*>(data);
  *buffer = source->block;
  uint32_t got = 0;
  if (!platform::ReadFromHandle(source->handle, source->block, sizeof source->block, &got))
    return -1;
  return static_cast<la_ssize_t>(got);
}

// SetFilePointer takes 32-bit distances: a position up to 4 GiB is reached in two moves.
la_int64_t SeekTo(struct archive*, void* data, la_int64_t offset, int whence) {
  ArchiveSource* source = static_cast<ArchiveSource*>(data);
  const int method = whence == SEEK_SET   ? platform::kFileBegin
                     : whence == SEEK_CUR ? platform::kFileCurrent
                                          : platform::kFileEnd;
  uint32_t position = platform::kInvalidSetFilePointer;
  if (offset >= INT32_MIN && offset <= INT32_MAX) {
    position = platform::SetHandlePosition(source->handle, static_cast<int32_t>(offset), method);
  } else if (method == platform::kFileBegin && offset > 0 && offset < 0xFFFFFFFFll &&
             platform::SetHandlePosition(source->handle, INT32_MAX, platform::kFileBegin) !=
                 platform::kInvalidSetFilePointer) {
    // The second move counts from where the first one ended: only after it succeeded.
    position = platform::SetHandlePosition(source->handle, static_cast<int32_t>(offset - INT32_MAX),
                                           platform::kFileCurrent);
  }
  if (position == platform::kInvalidSetFilePointer) return ARCHIVE_FATAL;
  return position;
}

la_int64_t SkipBytes(struct archive* archive, void* data, la_int64_t count) {
  ArchiveSource* source = static_cast<ArchiveSource*>(data);
  const uint32_t before = platform::SetHandlePosition(source->handle, 0, platform::kFileCurrent);
  if (before == platform::kInvalidSetFilePointer) return 0;
  const la_int64_t after = SeekTo(archive, data, count, SEEK_CUR);
  return after < 0 ? 0 : after - before;
}

struct ArchiveCloser {
  void operator()(struct archive* archive) const { archive_read_free(archive); }
};
using ArchivePtr = std::unique_ptr<struct archive, ArchiveCloser>;

#ifndef _WIN32
// Entry names are Unicode whatever the process's locale: libarchive converts a zip's UTF-8
// names to the thread's character set, which in the C locale holds no "é". The thread reads
// the archive in a UTF-8 locale; Windows' libarchive gives the names as UTF-16 anyway.
class Utf8NamesOnThisThread {
 public:
  Utf8NamesOnThisThread() {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      utf8_ = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
      if (utf8_) break;
    }
    if (utf8_) previous_ = uselocale(utf8_);
  }
  ~Utf8NamesOnThisThread() {
    if (!utf8_) return;
    uselocale(previous_);
    freelocale(utf8_);
  }
  Utf8NamesOnThisThread(const Utf8NamesOnThisThread&) = delete;
  Utf8NamesOnThisThread& operator=(const Utf8NamesOnThisThread&) = delete;

 private:
  locale_t utf8_ = static_cast<locale_t>(0);
  locale_t previous_ = static_cast<locale_t>(0);
};
#endif

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
  if (const wchar_t* wide = archive_entry_pathname_w(entry)) return wide;
  if (const char* utf8 = archive_entry_pathname_utf8(entry)) return Utf8ToWide(utf8);
  return std::wstring();
}

// A header that libarchive read with a warning (a name it could not convert, say) is still an
// entry: its name is checked like every other and refused when it did not come through.
bool NextEntry(struct archive* archive, struct archive_entry** entry, int* status) {
  *status = archive_read_next_header(archive, entry);
  return *status == ARCHIVE_OK || *status == ARCHIVE_WARN;
}

// The bytes an entry says it holds; one that says nothing may hold nothing.
uint64_t DeclaredSize(struct archive_entry* entry) {
  if (!archive_entry_size_is_set(entry) || archive_entry_size(entry) < 0) return 0;
  return static_cast<uint64_t>(archive_entry_size(entry));
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
// cannot leave files of the entries before it, and the bytes its files declare must fit the
// free space of the destination's drive, so a small archive cannot fill the disk.
bool AllEntriesAcceptable(struct archive* archive, const std::wstring& destination) {
  struct archive_entry* entry = nullptr;
  int status;
  uint64_t declared = 0;
  while (NextEntry(archive, &entry, &status)) {
    std::vector<std::wstring> steps;
    if (!ZipEntrySteps(EntryName(entry), &steps)) return false;
    if (KindOf(entry) == EntryKind::kOther) return false;
    const uint64_t size = KindOf(entry) == EntryKind::kFile ? DeclaredSize(entry) : 0;
    declared = size > UINT64_MAX - declared ? UINT64_MAX : declared + size;
  }
  if (status != ARCHIVE_EOF) return false;
  platform::DiskSpace space;
  uint32_t error = 0;
  return platform::FreeDiskSpace(destination, &space, &error) && declared <= space.freeToCaller;
}

bool MakeFolder(const std::wstring& path) {
  uint32_t error = 0;
  if (platform::MakeDirectory(path, &error)) return true;
  const uint32_t attributes = platform::FileAttributes(path);
  return error == platform::kErrorAlreadyExists && attributes != platform::kInvalidFileAttributes &&
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

// Copies the entry's data, and stops as soon as it holds more than it declared: a header
// that understates the size cannot fill the disk behind the free-space check.
bool CopyEntryData(struct archive* archive, std::FILE* target, uint64_t declared) {
  static thread_local char block[kBlockSize];
  uint64_t copied = 0;
  for (;;) {
    const la_ssize_t got = archive_read_data(archive, block, sizeof block);
    if (got < 0) return false;
    if (got == 0) return true;
    copied += static_cast<uint64_t>(got);
    if (copied > declared) return false;
    if (std::fwrite(block, 1, static_cast<std::size_t>(got), target) !=
        static_cast<std::size_t>(got))
      return false;
  }
}

bool WriteFileEntry(struct archive* archive, const std::wstring& path, uint64_t declared) {
  platform::ScopedFile target = platform::OpenForWriting(path, nullptr);
  if (!target) return false;
  bool written = CopyEntryData(archive, target.get(), declared);
  written = platform::CloseFile(std::move(target)) && written;
  // The extraction fails with this entry; a part that cannot be removed is written again by
  // the next attempt.
  if (!written) (void)platform::DeleteFileAt(path);
  return written;
}

bool ExtractEntries(struct archive* archive, const std::wstring& destination) {
  struct archive_entry* entry = nullptr;
  int status;
  while (NextEntry(archive, &entry, &status)) {
    std::vector<std::wstring> steps;
    if (!ZipEntrySteps(EntryName(entry), &steps)) return false;
    const EntryKind kind = KindOf(entry);
    if (kind == EntryKind::kOther) return false;
    std::wstring path;
    const std::size_t folders = kind == EntryKind::kFolder ? steps.size() : steps.size() - 1;
    if (!MakeFolders(destination, steps, folders, &path)) return false;
    if (kind == EntryKind::kFile &&
        !WriteFileEntry(archive, path + L"\\" + steps.back(), DeclaredSize(entry)))
      return false;
  }
  return status == ARCHIVE_EOF;
}

// One pass over the archive: opens it afresh, so each pass starts at the first entry.
template <class Pass>
bool WithZipReader(const std::wstring& archivePath, Pass pass) {
  auto source = std::make_unique<ArchiveSource>();
  source->handle = platform::CreateFileHandle(archivePath, platform::kGenericRead,
                                              platform::kFileShareRead, platform::kOpenExisting);
  if (source->handle == platform::kInvalidFileHandle) return false;
  bool passed = false;
  {
#ifndef _WIN32
    Utf8NamesOnThisThread utf8Names;
#endif
    ArchivePtr archive = OpenZipReader(source.get());
    passed = archive && pass(archive.get());
  }
  // The archive was only read: a failed close loses nothing.
  (void)platform::CloseFileHandle(source->handle);
  return passed;
}

}  // namespace

bool ZipEntrySteps(const std::wstring& name, std::vector<std::wstring>* steps) {
  steps->clear();
  if (name.empty() || IsSeparator(name[0]) || name.find(L':') != std::wstring::npos) return false;
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
  const std::wstring archive = Utf8ToWide(archivePath);
  std::wstring target = Utf8ToWide(destination);
  while (target.size() > 1 && IsSeparator(target.back())) target.pop_back();
  const uint32_t attributes = platform::FileAttributes(target);
  if (attributes == platform::kInvalidFileAttributes ||
      !(attributes & platform::kFileAttributeDirectory))
    return false;
  if (!WithZipReader(archive, [&target](struct archive* reader) {
        return AllEntriesAcceptable(reader, target);
      }))
    return false;
  return WithZipReader(
      archive, [&target](struct archive* reader) { return ExtractEntries(reader, target); });
}

}  // namespace orvex
