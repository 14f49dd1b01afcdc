// FDI of the simulated machine, answering as Cabinet.dll does. The header, folders and file
// entries are read as Cabinet.dll reads them (cabinet_reader.h), and the notifications follow
// its order: cabinet information, then per entry a partial-file notification for an entry
// continued from the cabinet before, or the copy-file notification, the entry's bytes written
// through the handle that answer gives, and the close-file notification. The bytes come from
// libmspack: each folder is handed to it as a cabinet of its own made here (a header, the
// folder, the entries taken from it, and the cabinet's data blocks from the folder's first one
// on, as many as the entries need), so that its checks of the header do not decide what
// Cabinet.dll would extract. Every file access goes through the caller's callbacks; names are
// never used to create files here: only the caller's notification decides where an entry goes.
// Where the data runs into a block continued in the next cabinet, the next-cabinet
// notification is sent as Cabinet.dll sends it; a set of cabinets is not followed further.
// As Cabinet.dll, the cabinet is held open through the caller's open callback from the start
// of the copy to its end, with the share mode the caller chose: an entry cannot be written
// over the cabinet it comes from.
#include "platform/fdi.h"

#include <mspack.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/sim/cabinet_reader.h"

namespace orvex {
namespace platform {
namespace {

// The names libmspack is given: the folder's cabinet made here, and the output of every
// entry, which the I/O layer below maps to the handle of the current entry.
const char kFolderCabinet[] = "<fdi-folder-cabinet>";
const char kEntryOutput[] = "<fdi-entry-output>";

constexpr int kSeekSet = 0;
// What the caller's read callback answers on failure ((UINT)-1), and the most its alloc
// callback can be asked for (its size is a ULONG).
constexpr uint32_t kReadFailed = 0xFFFFFFFFu;
constexpr uint64_t kLargestAllocation = 0xFFFFFFFFu;
// The permission argument FDI passes to its open callback: _S_IREAD | _S_IWRITE.
constexpr int kOpenPermissions = 0x180;
// The file attribute Cabinet.dll reports as "run after extraction" in the close-file
// notification: _A_EXEC.
constexpr uint16_t kAttributeExecute = 0x40;

// The cabinet format's fixed sizes: the header (CFHEADER) and its reserve fields when
// present, a folder entry (CFFOLDER), a file entry before its name (CFFILE), a data block's
// header (CFDATA).
constexpr uint32_t kCabinetHeaderSize = 36;
constexpr uint32_t kHeaderReserveFieldsSize = 4;
constexpr uint32_t kFolderEntrySize = 8;
constexpr uint32_t kFileEntrySize = 16;
constexpr uint32_t kBlockHeaderSize = 8;
// The format version the header states: 1.3, as every cabinet since 1995.
constexpr char kCabinetVersionMinor = 3;
constexpr char kCabinetVersionMajor = 1;
// A data block holds at most 32 KiB of data (CAB_BLOCKMAX); Cabinet.dll takes no block of more
// input than that and 6 KiB (CAB_INPUTMAX) and gives up there.
constexpr uint32_t kLargestUnpackedBlock = 32768;
constexpr uint32_t kLargestPackedBlock = kLargestUnpackedBlock + 6144;

// A folder's compression: the kind in the low four bits, the window's size (log2) in bits 8 to
// 12 for Quantum and LZX.
constexpr uint16_t kCompressionKindMask = 0x000F;
constexpr int kCompressionWindowShift = 8;
constexpr uint16_t kCompressionWindowMask = 0x1F;
constexpr uint16_t kCompressionNone = 0;
constexpr uint16_t kCompressionMszip = 1;
constexpr uint16_t kCompressionQuantum = 2;
constexpr uint16_t kCompressionLzx = 3;
// Cabinet.dll offers the next cabinet again after each failed attempt while the caller asks
// for it; the simulated machine gives up after this many.
constexpr int kNextCabinetAttempts = 16;
// Data blocks one copy may walk in all: a cabinet whose folders all point at long runs of tiny
// blocks would otherwise keep the machine busy for hours. Real cabinets stay far below.
constexpr uint64_t kBlockBudget = uint64_t{1} << 24;

struct Context {
  FdiAlloc alloc;
  FdiFree release;
  FdiOpen open;
  FdiRead read;
  FdiWrite write;
  FdiClose close;
  FdiSeek seek;
  FdiErrorRecord* error;
};

// A folder as a cabinet of its own: the header, folder and entries made here, then the data
// blocks, read from the real cabinet.
struct FolderCabinet {
  std::string head;
  uint32_t dataOffset = 0;  // in the real cabinet
  uint32_t dataLength = 0;
  // Where the data blocks' headers start, from dataOffset on. libmspack reads ahead into
  // blocks Cabinet.dll has not reached yet, so it is shown no checksums: they are checked
  // here for the blocks an entry needs (CabinetCopy::VerifyBlocks).
  std::vector<uint32_t> blockHeaders;
};

// A file of libmspack's I/O layer.
struct CallbackFile {
  enum Kind { kCabinet, kFolderCabinetFile, kEntry } kind;
  Context* context;
  intptr_t handle;
  const FolderCabinet* folder;
  uint32_t position;
};

// The copy running on this thread. libmspack hands its I/O functions copies of the system
// structure, so they find the copy here rather than through it.
struct Copying {
  Context* context = nullptr;
  intptr_t cabinetHandle = -1;
  intptr_t entryHandle = -1;
  const FolderCabinet* folder = nullptr;
};
thread_local Copying* t_copying = nullptr;

mspack_file* OpenFile(mspack_system*, const char* name, int mode) {
  Copying* system = t_copying;
  if (!system || !name) return nullptr;
  CallbackFile file{CallbackFile::kCabinet, system->context, -1, nullptr, 0};
  if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kEntryOutput) == 0) {
    file.kind = CallbackFile::kEntry;
    file.handle = system->entryHandle;
  } else if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, kFolderCabinet) == 0 &&
             system->folder) {
    file.kind = CallbackFile::kFolderCabinetFile;
    file.handle = system->cabinetHandle;
    file.folder = system->folder;
  } else {
    return nullptr;
  }
  if (file.handle == -1) return nullptr;
  return reinterpret_cast<mspack_file*>(new (std::nothrow) CallbackFile(file));
}

void CloseFile(mspack_file* file) { delete reinterpret_cast<CallbackFile*>(file); }

// Zeroes the checksum fields (the first four bytes of each block header) that fall into the
// bytes [from, from + count) of the folder's data: a zero checksum is not checked.
void HideChecksums(const FolderCabinet& folder, uint32_t from, uint32_t count, uint8_t* bytes) {
  auto header = std::upper_bound(folder.blockHeaders.begin(), folder.blockHeaders.end(), from);
  if (header != folder.blockHeaders.begin()) --header;
  for (; header != folder.blockHeaders.end() && *header < from + count; ++header) {
    for (uint32_t at = *header; at < *header + 4; ++at)
      if (at >= from && at < from + count) bytes[at - from] = 0;
  }
}

int ReadFolderCabinet(CallbackFile* file, uint8_t* buffer, int bytes) {
  const FolderCabinet& folder = *file->folder;
  const uint32_t total = static_cast<uint32_t>(folder.head.size()) + folder.dataLength;
  int done = 0;
  while (done < bytes && file->position < total) {
    const uint32_t want = static_cast<uint32_t>(bytes - done);
    if (file->position < folder.head.size()) {
      uint32_t piece = static_cast<uint32_t>(folder.head.size()) - file->position;
      if (piece > want) piece = want;
      std::memcpy(buffer + done, folder.head.data() + file->position, piece);
      file->position += piece;
      done += static_cast<int>(piece);
      continue;
    }
    const uint32_t inData = file->position - static_cast<uint32_t>(folder.head.size());
    uint32_t piece = folder.dataLength - inData;
    if (piece > want) piece = want;
    Context* context = file->context;
    if (context->seek(file->handle, static_cast<int32_t>(folder.dataOffset + inData), kSeekSet) ==
        -1)
      return -1;
    const uint32_t got = context->read(file->handle, buffer + done, piece);
    if (got == kReadFailed) return -1;
    if (got == 0) break;
    HideChecksums(folder, inData, got, buffer + done);
    file->position += got;
    done += static_cast<int>(got);
  }
  return done;
}

int ReadFile(mspack_file* file, void* buffer, int bytes) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  if (bytes < 0 || callbackFile->kind != CallbackFile::kFolderCabinetFile) return -1;
  return ReadFolderCabinet(callbackFile, static_cast<uint8_t*>(buffer), bytes);
}

int WriteFile(mspack_file* file, void* buffer, int bytes) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  if (bytes < 0 || callbackFile->kind != CallbackFile::kEntry) return -1;
  const uint32_t put =
      callbackFile->context->write(callbackFile->handle, buffer, static_cast<uint32_t>(bytes));
  return put == static_cast<uint32_t>(bytes) ? bytes : -1;
}

int SeekFile(mspack_file* file, off_t offset, int mode) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  if (callbackFile->kind != CallbackFile::kFolderCabinetFile) return -1;
  const int64_t total =
      static_cast<int64_t>(callbackFile->folder->head.size()) + callbackFile->folder->dataLength;
  int64_t target = offset;
  if (mode == MSPACK_SYS_SEEK_CUR)
    target += callbackFile->position;
  else if (mode == MSPACK_SYS_SEEK_END)
    target += total;
  if (target < 0 || target > total) return -1;
  callbackFile->position = static_cast<uint32_t>(target);
  return 0;
}

off_t TellFile(mspack_file* file) {
  return static_cast<off_t>(reinterpret_cast<CallbackFile*>(file)->position);
}

void Message(mspack_file*, const char*, ...) {}

void* Allocate(mspack_system*, size_t bytes) {
  if (bytes > kLargestAllocation) return nullptr;
  if (t_copying) return t_copying->context->alloc(static_cast<uint32_t>(bytes));
  return std::malloc(bytes);
}

void Release(void* memory) {
  if (t_copying)
    t_copying->context->release(memory);
  else
    std::free(memory);
}

void Copy(void* source, void* target, size_t bytes) { std::memmove(target, source, bytes); }

int Fail(Context* context, int code) {
  context->error->erfOper = code;
  context->error->fError = 1;
  return code;
}

// Cabinet.dll calls every failure of the data "Corrupt cabinet"; a file that cannot be
// written is named as such.
int DataError(int mspackError) {
  switch (mspackError) {
    case MSPACK_ERR_NOMEMORY:
      return kFdiAllocFail;
    case MSPACK_ERR_WRITE:
      return kFdiTargetFile;
    default:
      return kFdiCorruptCabinet;
  }
}

void PutWord(std::string* out, uint16_t value) {
  out->push_back(static_cast<char>(value & 0xFF));
  out->push_back(static_cast<char>(value >> 8));
}

void PutDword(std::string* out, uint32_t value) {
  PutWord(out, static_cast<uint16_t>(value & 0xFFFF));
  PutWord(out, static_cast<uint16_t>(value >> 16));
}

// How far the folder's data blocks reach from its first one: the blocks that hold at least
// `needed` bytes of data, or all there are before the end of the cabinet or a block that
// continues in the next cabinet (no data of its own), as Cabinet.dll reads them one after the
// other whatever the folder's count says.
struct BlockRun {
  uint16_t blocks = 0;
  uint32_t length = 0;             // bytes of the cabinet they take
  uint64_t covered = 0;            // bytes of data they hold
  bool continues = false;          // stopped at a block continued in the next cabinet
  std::vector<uint32_t> starts;    // each block's header, from the folder's first on
  std::vector<uint64_t> dataEnds;  // the data each block ends at
  std::size_t verified = 0;        // blocks whose checksum was checked
};

BlockRun WalkBlocks(Context* context, intptr_t handle, uint32_t offset, uint8_t blockReserve,
                    uint64_t needed, uint64_t* budget) {
  BlockRun run;
  while (run.covered < needed && run.blocks < 0xFFFF && *budget > 0) {
    --*budget;
    uint8_t header[kBlockHeaderSize];
    if (context->seek(handle, static_cast<int32_t>(offset + run.length), kSeekSet) == -1 ||
        context->read(handle, header, kBlockHeaderSize) != kBlockHeaderSize)
      break;
    const uint32_t packed = static_cast<uint32_t>(header[4] | (header[5] << 8));
    const uint32_t unpacked = static_cast<uint32_t>(header[6] | (header[7] << 8));
    if (unpacked == 0) {
      run.continues = true;
      break;
    }
    // The entries that need this block fail as they fail on Windows, those before it do not.
    if (packed > kLargestPackedBlock || unpacked > kLargestUnpackedBlock) break;
    run.starts.push_back(run.length);
    run.length += kBlockHeaderSize + blockReserve + packed;
    run.covered += unpacked;
    run.dataEnds.push_back(run.covered);
    ++run.blocks;
  }
  return run;
}

// The folder and the entries taken from it as a cabinet of libmspack's.
FolderCabinet MakeFolderCabinet(const sim::CabinetLayout& layout, const sim::CabinetFolder& folder,
                                uint32_t dataOffset,
                                const std::vector<const sim::CabinetFile*>& entries,
                                const BlockRun& run) {
  const bool reserve = layout.blockReserve != 0;
  uint32_t filesSize = 0;
  for (std::size_t i = 0; i < entries.size(); ++i)
    filesSize += kFileEntrySize + static_cast<uint32_t>(std::to_string(i).size()) + 1;
  const uint32_t headerSize = kCabinetHeaderSize + (reserve ? kHeaderReserveFieldsSize : 0);
  const uint32_t dataStart = headerSize + kFolderEntrySize + filesSize;
  FolderCabinet made;
  std::string& head = made.head;
  head = "MSCF";
  PutDword(&head, 0);
  PutDword(&head, dataStart + run.length);
  PutDword(&head, 0);
  PutDword(&head, headerSize + kFolderEntrySize);  // the entries follow the one folder
  PutDword(&head, 0);
  head.push_back(kCabinetVersionMinor);
  head.push_back(kCabinetVersionMajor);
  PutWord(&head, 1);
  PutWord(&head, static_cast<uint16_t>(entries.size()));
  PutWord(&head, reserve ? sim::kCabinetHasReserve : 0);
  PutWord(&head, 0);
  PutWord(&head, 0);
  if (reserve) {
    PutWord(&head, 0);
    head.push_back(0);
    head.push_back(static_cast<char>(layout.blockReserve));
  }
  PutDword(&head, dataStart);
  PutWord(&head, run.blocks);
  PutWord(&head, folder.compression);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    PutDword(&head, entries[i]->length);
    PutDword(&head, entries[i]->offset);
    PutWord(&head, 0);
    PutWord(&head, entries[i]->date);
    PutWord(&head, entries[i]->time);
    PutWord(&head, 0);
    head += std::to_string(i);
    head.push_back('\0');
  }
  made.dataOffset = dataOffset;
  made.dataLength = run.length;
  made.blockHeaders = run.starts;
  return made;
}

// The kinds of compression Cabinet.dll knows, with their window sizes: none, MSZIP, Quantum
// (2^10 to 2^21 bytes), LZX (2^15 to 2^21).
bool FolderKindKnown(const sim::CabinetFolder& folder) {
  const int window = (folder.compression >> kCompressionWindowShift) & kCompressionWindowMask;
  switch (folder.compression & kCompressionKindMask) {
    case kCompressionNone:
    case kCompressionMszip:
      return true;
    case kCompressionQuantum:
      return window >= 10 && window <= 21;
    case kCompressionLzx:
      return window >= 15 && window <= 21;
    default:
      return false;
  }
}

// The checksum of a data block as cabinets store it: the bytes XORed as little-endian words,
// a last partial word taken big-endian.
uint32_t BlockChecksum(const uint8_t* bytes, std::size_t count, uint32_t seed) {
  uint32_t sum = seed;
  std::size_t at = 0;
  for (; at + 4 <= count; at += 4)
    sum ^= static_cast<uint32_t>(bytes[at]) | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
           (static_cast<uint32_t>(bytes[at + 3]) << 24);
  uint32_t tail = 0;
  for (; at < count; ++at) tail = (tail << 8) | bytes[at];
  return sum ^ tail;
}

// One FDICopy.
class CabinetCopy {
 public:
  CabinetCopy(Context* context, char* cabinetPath, FdiNotify notify, void* userValue)
      : context_(context), cabinetPath_(cabinetPath), notify_(notify), userValue_(userValue) {}

  ~CabinetCopy() {
    for (auto& entry : opened_) {
      if (entry.second.cabinet) reader_->close(reader_, entry.second.cabinet);
    }
    if (reader_) mspack_destroy_cab_decompressor(reader_);
    if (copying_.cabinetHandle != -1) context_->close(copying_.cabinetHandle);
  }

  // Records the failure in the caller's error record; FDICopy then answers false.
  bool Failed(int code) { return Fail(context_, code) == kFdiNone; }

  bool Run(const std::string& path) {
    copying_.context = context_;
    copying_.cabinetHandle = context_->open(const_cast<char*>(path.c_str()),
                                            kFdiOpenBinary | kFdiOpenReadOnly, kOpenPermissions);
    if (copying_.cabinetHandle == -1) return Failed(kFdiCabinetNotFound);
    const sim::CabinetInput input{context_->read, context_->seek, context_->alloc,
                                  context_->release, copying_.cabinetHandle};
    int code = sim::ReadCabinetHeader(input, &layout_);
    if (code != kFdiNone) return Failed(code);
    FdiNotification info;
    info.setID = layout_.setId;
    info.iCabinet = layout_.index;
    info.pv = userValue_;
    info.psz1 = const_cast<char*>(layout_.nextName.c_str());
    info.psz2 = const_cast<char*>(layout_.nextInfo.c_str());
    info.psz3 = cabinetPath_;
    if (notify_(kFdintCabinetInfo, &info) == -1) return Failed(kFdiUserAbort);
    code = sim::ReadCabinetEntries(input, &layout_);
    if (code != kFdiNone) return Failed(code);
    PlanFolders();
    for (sim::CabinetFile& entry : layout_.files) {
      if (!CopyEntry(entry)) return false;
    }
    return true;
  }

 private:
  struct OpenedFolder {
    FolderCabinet cabinetFile;
    BlockRun run;
    uint32_t dataOffset = 0;  // where its blocks are read from
    bool opened = false;
    mscabd_cabinet* cabinet = nullptr;
    int openError = MSPACK_ERR_DATAFORMAT;
    std::vector<mscabd_file*> entries;  // in the order of `planned`
    std::vector<const sim::CabinetFile*> planned;
    std::map<const sim::CabinetFile*, std::size_t> placeOf;  // in `planned`
  };

  // The entries each folder will be asked for, in order: those neither continued from the
  // cabinet before nor of a cabinet without folders.
  void PlanFolders() {
    for (const sim::CabinetFile& entry : layout_.files) {
      if (sim::ContinuesFromPrevious(entry.folderIndex)) continue;
      const int folder = sim::FolderOfEntry(layout_, entry.folderIndex);
      if (folder < 0) continue;
      OpenedFolder& opened = opened_[folder];
      opened.placeOf[&entry] = opened.planned.size();
      opened.planned.push_back(&entry);
    }
  }

  bool CopyEntry(sim::CabinetFile& entry) {
    if (sim::ContinuesFromPrevious(entry.folderIndex)) {
      FdiNotification partial;
      partial.pv = userValue_;
      partial.psz1 = &entry.name[0];
      partial.psz2 = const_cast<char*>(layout_.previousName.c_str());
      partial.psz3 = const_cast<char*>(layout_.previousInfo.c_str());
      if (notify_(kFdintPartialFile, &partial) == -1) return Failed(kFdiUserAbort);
      return true;
    }
    FdiNotification copy;
    copy.pv = userValue_;
    copy.psz1 = &entry.name[0];
    copy.cb = static_cast<int32_t>(entry.length);
    copy.date = entry.date;
    copy.time = entry.time;
    copy.attribs = entry.attributes;
    copy.iFolder = entry.folderIndex;
    const intptr_t handle = notify_(kFdintCopyFile, &copy);
    if (handle == -1) return Failed(kFdiUserAbort);
    if (handle == 0) return true;  // the caller skips this entry
    const int folder = sim::FolderOfEntry(layout_, entry.folderIndex);
    // Cabinet.dll has no folder to read an entry of a cabinet without folders from.
    bool reachedEntry = false;
    int code = folder < 0 ? kFdiCorruptCabinet : WriteEntry(folder, entry, handle, &reachedEntry);
    if (!reachedEntry) {
      // Cabinet.dll gives up before the entry's own bytes (the folder's kind, the data before
      // the entry) by closing the file, without the close-file notification.
      context_->close(handle);
      return Failed(code);
    }
    FdiNotification closeInfo;
    closeInfo.pv = userValue_;
    closeInfo.psz1 = &entry.name[0];
    closeInfo.hf = handle;
    closeInfo.cb = (entry.attributes & kAttributeExecute) != 0;
    closeInfo.date = entry.date;
    closeInfo.time = entry.time;
    closeInfo.attribs = entry.attributes;
    closeInfo.iFolder = entry.folderIndex;
    const intptr_t closed = notify_(kFdintCloseFileInfo, &closeInfo);
    if (code == kFdiNone && closed != 1) code = kFdiUserAbort;
    return code == kFdiNone || Failed(code);
  }

  // The entry's bytes through handle; *reachedEntry tells whether the work got as far as the
  // entry's own bytes (past the folder's set-up and the data before the entry).
  int WriteEntry(int folderIndex, const sim::CabinetFile& entry, intptr_t handle,
                 bool* reachedEntry) {
    OpenedFolder& folder = opened_[folderIndex];
    const sim::CabinetFolder& layoutFolder = layout_.folders[folderIndex];
    if (!FolderKindKnown(layoutFolder)) return kFdiCorruptCabinet;
    if (!folder.opened) Open(folder, layoutFolder);
    if (!VerifyBlocks(folder, entry.offset)) return kFdiCorruptCabinet;
    if (entry.offset > folder.run.covered && folder.run.continues) return AskForNextCabinet();
    *reachedEntry = true;
    const uint64_t end = static_cast<uint64_t>(entry.offset) + entry.length;
    if (!VerifyBlocks(folder, end)) return kFdiCorruptCabinet;
    if (entry.length == 0) return kFdiNone;
    if (end > folder.run.covered && folder.run.continues) return AskForNextCabinet();
    if (!folder.cabinet) return DataError(folder.openError);
    const std::size_t at = folder.placeOf[&entry];
    if (at >= folder.entries.size()) return kFdiCorruptCabinet;
    copying_.entryHandle = handle;
    copying_.folder = &folder.cabinetFile;
    const int result = reader_->extract(reader_, folder.entries[at], kEntryOutput);
    copying_.entryHandle = -1;
    return result == MSPACK_ERR_OK ? kFdiNone : DataError(result);
  }

  // Checks the stored checksums of the blocks that hold data before `end`, as Cabinet.dll
  // checks each block it decodes; each block once.
  bool VerifyBlocks(OpenedFolder& folder, uint64_t end) {
    BlockRun& run = folder.run;
    std::vector<uint8_t> data;
    while (run.verified < run.blocks &&
           (run.verified == 0 ? 0 : run.dataEnds[run.verified - 1]) < end) {
      uint8_t header[kBlockHeaderSize];
      const uint32_t at = folder.dataOffset + run.starts[run.verified];
      if (context_->seek(copying_.cabinetHandle, static_cast<int32_t>(at), kSeekSet) == -1 ||
          context_->read(copying_.cabinetHandle, header, kBlockHeaderSize) != kBlockHeaderSize)
        return false;
      const uint32_t stored = static_cast<uint32_t>(header[0]) | (header[1] << 8) |
                              (header[2] << 16) | (static_cast<uint32_t>(header[3]) << 24);
      data.resize(static_cast<uint32_t>(header[4] | (header[5] << 8)));
      const int32_t dataAt = static_cast<int32_t>(at + kBlockHeaderSize + layout_.blockReserve);
      if (context_->seek(copying_.cabinetHandle, dataAt, kSeekSet) == -1 ||
          (!data.empty() && context_->read(copying_.cabinetHandle, data.data(),
                                           static_cast<uint32_t>(data.size())) != data.size()))
        return false;
      if (stored != 0 &&
          stored != BlockChecksum(header + 4, 4, BlockChecksum(data.data(), data.size(), 0)))
        return false;
      ++run.verified;
    }
    return true;
  }

  void Open(OpenedFolder& folder, const sim::CabinetFolder& layoutFolder) {
    uint64_t needed = 0;
    for (const sim::CabinetFile* entry : folder.planned) {
      const uint64_t end = static_cast<uint64_t>(entry->offset) + entry->length;
      if (end > needed) needed = end;
    }
    // Cabinet.dll does not check its seek to the folder's data: where it fails (an offset
    // beyond 2 GiB), the blocks are read from where the reading stands, after the entries.
    folder.dataOffset = layoutFolder.dataOffset;
    if (context_->seek(copying_.cabinetHandle, static_cast<int32_t>(folder.dataOffset), kSeekSet) ==
        -1)
      folder.dataOffset = layout_.entriesEnd;
    folder.run = WalkBlocks(context_, copying_.cabinetHandle, folder.dataOffset,
                            layout_.blockReserve, needed, &blockBudget_);
    folder.opened = true;
    folder.cabinetFile =
        MakeFolderCabinet(layout_, layoutFolder, folder.dataOffset, folder.planned, folder.run);
    if (!reader_) reader_ = mspack_create_cab_decompressor(&io_);
    if (!reader_) {
      folder.openError = MSPACK_ERR_NOMEMORY;
      return;
    }
    copying_.folder = &folder.cabinetFile;
    folder.cabinet = reader_->open(reader_, kFolderCabinet);
    if (!folder.cabinet) {
      folder.openError = reader_->last_error(reader_);
      return;
    }
    for (mscabd_file* file = folder.cabinet->files; file; file = file->next)
      folder.entries.push_back(file);
  }

  // The data goes on in the next cabinet: Cabinet.dll asks the caller for it, and tries it
  // while the caller keeps answering 0. Sets of cabinets are not followed here.
  int AskForNextCabinet() {
    if (!(layout_.flags & sim::kCabinetHasNext)) return kFdiCorruptCabinet;
    std::string folder = cabinetPath_;
    FdiNotification next;
    next.psz1 = const_cast<char*>(layout_.nextName.c_str());
    next.psz2 = const_cast<char*>(layout_.nextInfo.c_str());
    next.psz3 = &folder[0];
    next.fdie = kFdiNone;
    next.pv = userValue_;
    if (notify_(kFdintNextCabinet, &next) != 0) return kFdiUserAbort;
    for (int attempt = 0; attempt < kNextCabinetAttempts; ++attempt) {
      std::string path = folder.c_str();
      if (!path.empty() && path.back() != '\\') path += '\\';
      path += layout_.nextName;
      const intptr_t handle =
          context_->open(&path[0], kFdiOpenBinary | kFdiOpenReadOnly, kOpenPermissions);
      if (handle != -1) {
        context_->close(handle);
        return kFdiCorruptCabinet;
      }
      next.fdie = kFdiCabinetNotFound;
      if (notify_(kFdintNextCabinet, &next) != 0) return kFdiUserAbort;
    }
    return kFdiCabinetNotFound;
  }

 public:
  mspack_system io_{};
  Copying copying_;

 private:
  Context* context_;
  char* cabinetPath_;
  FdiNotify notify_;
  void* userValue_;
  sim::CabinetLayout layout_;
  mscab_decompressor* reader_ = nullptr;
  std::map<int, OpenedFolder> opened_;
  uint64_t blockBudget_ = kBlockBudget;
};

}  // namespace

void* FdiCreate(FdiAlloc alloc, FdiFree release, FdiOpen open, FdiRead read, FdiWrite write,
                FdiClose close, FdiSeek seek, int cpuType, FdiErrorRecord* error) {
  (void)cpuType;
  if (!error) return nullptr;
  *error = FdiErrorRecord();
  if (!alloc || !release || !open || !read || !write || !close || !seek) {
    error->erfOper = kFdiAllocFail;
    return nullptr;
  }
  return new (std::nothrow) Context{alloc, release, open, read, write, close, seek, error};
}

bool FdiCopy(void* contextValue, char* cabinetName, char* cabinetPath, int flags, FdiNotify notify,
             void* userValue) {
  (void)flags;
  Context* context = static_cast<Context*>(contextValue);
  if (!context || !cabinetName || !cabinetPath || !notify) return false;
  *context->error = FdiErrorRecord();
  struct Restore {
    Copying* previous;
    ~Restore() { t_copying = previous; }
  } restore{t_copying};
  CabinetCopy copy(context, cabinetPath, notify, userValue);
  mspack_system& io = copy.io_;
  io.open = &OpenFile;
  io.close = &CloseFile;
  io.read = &ReadFile;
  io.write = &WriteFile;
  io.seek = &SeekFile;
  io.tell = &TellFile;
  io.message = &Message;
  io.alloc = &Allocate;
  io.free = &Release;
  io.copy = &Copy;
  t_copying = &copy.copying_;
  return copy.Run(std::string(cabinetPath) + cabinetName);
}

bool FdiDestroy(void* contextValue) {
  delete static_cast<Context*>(contextValue);
  return contextValue != nullptr;
}

}  // namespace platform
}  // namespace orvex
