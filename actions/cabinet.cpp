#include "actions/cabinet.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "base/text.h"
#include "platform/file_handles.h"
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// The attributes an extracted file keeps: read-only, hidden, system, archive.
constexpr uint16_t kKeptAttributes = 0x27;

// One extraction in progress: the user value FDI hands to every notification. The file being
// written is remembered until it is closed with all its bytes, so that a failed extraction can
// remove it; FDI may hand back a file it could not finish with the close-file notification
// before it reports the failure.
struct Extraction {
  std::string destination;  // UTF-8, without a trailing backslash
  intptr_t openFile = platform::kInvalidFileHandle;
  std::wstring partialPath;
  int64_t expectedBytes = 0;
  int64_t writtenBytes = 0;
  std::vector<std::wstring> incompleteFiles;
};

// FDI closes the file it was writing through the close callback when it gives up; the close
// callback learns of it through the extraction running on this thread.
thread_local Extraction* t_extraction = nullptr;

class ActiveExtraction {
 public:
  explicit ActiveExtraction(Extraction* extraction) : previous_(t_extraction) {
    t_extraction = extraction;
  }
  ~ActiveExtraction() { t_extraction = previous_; }
  ActiveExtraction(const ActiveExtraction&) = delete;
  ActiveExtraction& operator=(const ActiveExtraction&) = delete;

 private:
  Extraction* previous_;
};

intptr_t OpenEntryFile(platform::FdiNotification* notification) {
  auto* extraction = static_cast<Extraction*>(notification->pv);
  if (!extraction || !notification->psz1) return -1;
  const std::string name = CabinetEntryFileName(notification->psz1);
  if (name.empty()) return -1;
  std::string path = extraction->destination + "\\" + name;
  const intptr_t handle =
      cabinet_callbacks::Open(&path[0], platform::kFdiOpenWriteOnly | platform::kFdiOpenCreate, 0);
  if (handle != platform::kInvalidFileHandle) {
    extraction->openFile = handle;
    extraction->partialPath = Utf8ToWide(path);
    extraction->expectedBytes = static_cast<uint32_t>(notification->cb);
    extraction->writtenBytes = 0;
  }
  return handle;
}

intptr_t CloseFileInfo(platform::FdiNotification* notification) {
  auto* extraction = static_cast<Extraction*>(notification->pv);
  uint64_t local = 0;
  uint64_t utc = 0;
  if (platform::DosDateTimeToFileTime(notification->date, notification->time, &local) &&
      platform::LocalFileTimeToFileTime(local, &utc)) {
    platform::HandleBasicInfo info;
    info.creationTime = static_cast<int64_t>(utc);
    info.lastAccessTime = info.lastWriteTime = info.changeTime = -1;
    info.attributes = notification->attribs & kKeptAttributes;
    // The entry's bytes are what the extraction owes; a file system that refuses the date or
    // the attributes leaves the file as written, which is no reason to fail it.
    (void)platform::SetFileBasicInfo(notification->hf, info);
  }
  const bool closed = cabinet_callbacks::Close(notification->hf) == 0;
  if (extraction && !extraction->partialPath.empty()) {
    if (!closed || extraction->writtenBytes != extraction->expectedBytes)
      extraction->incompleteFiles.push_back(extraction->partialPath);
    extraction->partialPath.clear();
  }
  return closed ? 1 : 0;
}

// What a first pass over the cabinet learns without writing anything: the bytes its entries
// declare. Answering 0 to the copy-file notification makes FDI skip the entry.
struct Survey {
  uint64_t declaredBytes = 0;
};

intptr_t SurveyNotify(int type, platform::FdiNotification* notification) {
  // No file is opened, so no file is handed back to close.
  if (type == platform::kFdintCloseFileInfo) return -1;
  if (type != platform::kFdintCopyFile || !notification)
    return cabinet_callbacks::Notify(type, notification);
  auto* survey = static_cast<Survey*>(notification->pv);
  // FDI's size is the entry's 32-bit length in a signed field.
  if (survey) survey->declaredBytes += static_cast<uint32_t>(notification->cb);
  return 0;
}

// Whether the entries' declared bytes fit the free space of the destination's drive, so that
// a small cabinet cannot fill the disk. A destination whose drive cannot be asked is left to
// fail when its first file is opened.
bool FitsDestinationDrive(uint64_t declaredBytes, const std::string& destination) {
  platform::DiskSpace space;
  if (!platform::FreeDiskSpace(Utf8ToWide(destination), &space, nullptr)) return true;
  return declaredBytes <= space.freeToCaller;
}

// FDIDestroy fails only for a context FDI did not make; ours came from FdiCreate, and the
// extraction's result is known by now.
void DestroyContext(void* context) { (void)platform::FdiDestroy(context); }

// The extraction has failed already and says so: a half-written file that stays is left for
// the next attempt, which writes it again.
void RemoveFile(const std::wstring& path) {
  if (platform::DeleteFileAt(path)) return;
  // The entry's attributes may have made it read-only already; should clearing them fail, the
  // second delete fails as the first did.
  (void)platform::ChangeFileAttributes(path, platform::kFileAttributeNormal);
  (void)platform::DeleteFileAt(path);
}

// Removes what a failed extraction left half-written.
void RemovePartialFiles(Extraction& extraction) {
  if (extraction.openFile != platform::kInvalidFileHandle) {
    // The file is removed next: what its close could not write is of no use.
    (void)platform::CloseFileHandle(extraction.openFile);
    extraction.openFile = platform::kInvalidFileHandle;
  }
  if (!extraction.partialPath.empty()) extraction.incompleteFiles.push_back(extraction.partialPath);
  extraction.partialPath.clear();
  for (const std::wstring& path : extraction.incompleteFiles) RemoveFile(path);
  extraction.incompleteFiles.clear();
}

}  // namespace

std::string FdiErrorText(int code) {
  static const char* const kTexts[] = {
      "No error",
      "Cabinet not found",
      "Not a cabinet",
      "Unknown cabinet version",
      "Corrupt cabinet",
      "Memory allocation failed",
      "Unknown compression type",
      "Failure decompressing data",
      "Failure writing to target file",
      "Cabinets in set have different RESERVE sizes",
      "Cabinet returned on fdintNEXT_CABINET is incorrect",
      "Application aborted",
  };
  if (code < 0 || code >= static_cast<int>(sizeof kTexts / sizeof kTexts[0]))
    return "Unknown error";
  return kTexts[code];
}

std::string CabinetEntryFileName(const std::string& entryName) {
  const std::size_t separator = entryName.find_last_of("\\/");
  std::string name = separator == std::string::npos ? entryName : entryName.substr(separator + 1);
  if (name.find(':') != std::string::npos) return std::string();
  // Windows drops trailing dots and blanks from a name, so ". ." or "..." would name the
  // directory itself or its parent.
  if (name.find_first_not_of(". ") == std::string::npos) return std::string();
  return name;
}

namespace cabinet_callbacks {

void* Alloc(uint32_t size) { return std::malloc(size); }

void Free(void* memory) { std::free(memory); }

intptr_t Open(char* name, int flags, int mode) {
  (void)mode;
  if (!name) return platform::kInvalidFileHandle;
  uint32_t access = platform::kGenericRead;
  if (flags & platform::kFdiOpenReadWrite)
    access = platform::kGenericRead | platform::kGenericWrite;
  else if (flags & platform::kFdiOpenWriteOnly)
    access = platform::kGenericWrite;
  const uint32_t disposition =
      (flags & platform::kFdiOpenCreate) ? platform::kCreateAlways : platform::kOpenExisting;
  return platform::CreateFileHandle(Utf8ToWide(name), access, platform::kFileShareRead,
                                    disposition);
}

uint32_t Read(intptr_t handle, void* buffer, uint32_t count) {
  uint32_t done = 0;
  return platform::ReadFromHandle(handle, buffer, count, &done) ? done : 0xFFFFFFFFu;
}

uint32_t Write(intptr_t handle, void* buffer, uint32_t count) {
  // An entry gets the bytes it declared and not one more: a cabinet that produces more than
  // it said is stopped, and its file removed with the failed extraction.
  if (t_extraction && t_extraction->openFile == handle &&
      t_extraction->writtenBytes + count > t_extraction->expectedBytes)
    return 0xFFFFFFFFu;
  uint32_t done = 0;
  const bool written = platform::WriteToHandle(handle, buffer, count, &done);
  if (t_extraction && t_extraction->openFile == handle) t_extraction->writtenBytes += done;
  return written ? done : 0xFFFFFFFFu;
}

int Close(intptr_t handle) {
  if (t_extraction && t_extraction->openFile == handle)
    t_extraction->openFile = platform::kInvalidFileHandle;
  return platform::CloseFileHandle(handle) ? 0 : -1;
}

int32_t Seek(intptr_t handle, int32_t distance, int method) {
  return static_cast<int32_t>(platform::SetHandlePosition(handle, distance, method));
}

intptr_t Notify(int type, platform::FdiNotification* notification) {
  if (!notification) return -1;
  switch (type) {
    case platform::kFdintCabinetInfo:
    case platform::kFdintPartialFile:
    case platform::kFdintEnumerate:
      return 0;
    case platform::kFdintCopyFile:
      return OpenEntryFile(notification);
    case platform::kFdintCloseFileInfo:
      return CloseFileInfo(notification);
    case platform::kFdintNextCabinet:
      return notification->fdie != platform::kFdiNone ? -1 : 0;
    default:
      return -1;
  }
}

}  // namespace cabinet_callbacks

CCabinet::CCabinet(std::wstring cabinetPath, std::wstring destination)
    : cabinetPath_(std::move(cabinetPath)), destination_(std::move(destination)) {}

int CCabinet::Extract() {
  const std::size_t split = cabinetPath_.rfind(L'\\');
  const std::wstring cabinetDirectory =
      split == std::wstring::npos ? std::wstring() : cabinetPath_.substr(0, split + 1);
  const std::wstring cabinetName =
      split == std::wstring::npos ? cabinetPath_ : cabinetPath_.substr(split + 1);

  platform::FdiErrorRecord error;
  void* context = platform::FdiCreate(&cabinet_callbacks::Alloc, &cabinet_callbacks::Free,
                                      &cabinet_callbacks::Open, &cabinet_callbacks::Read,
                                      &cabinet_callbacks::Write, &cabinet_callbacks::Close,
                                      &cabinet_callbacks::Seek, platform::kFdiCpuUnknown, &error);
  if (!context) {
    lastError_ = FdiErrorText(error.erfOper);
    return -1;
  }
  Extraction extraction;
  extraction.destination = WideToUtf8(destination_);
  std::string directory = WideToUtf8(cabinetDirectory);
  std::string name = WideToUtf8(cabinetName);
  Survey survey;
  if (platform::FdiCopy(context, &name[0], &directory[0], 0, &SurveyNotify, &survey) &&
      !FitsDestinationDrive(survey.declaredBytes, extraction.destination)) {
    DestroyContext(context);
    lastError_ = FdiErrorText(platform::kFdiTargetFile);
    return -1;
  }
  bool copied = false;
  {
    ActiveExtraction active(&extraction);
    copied = platform::FdiCopy(context, &name[0], &directory[0], 0, &cabinet_callbacks::Notify,
                               &extraction);
    if (!copied) RemovePartialFiles(extraction);
  }
  DestroyContext(context);
  if (!copied) {
    lastError_ = FdiErrorText(error.erfOper);
    return -1;
  }
  return 0;
}

}  // namespace orvex
