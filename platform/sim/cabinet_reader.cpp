#include "platform/sim/cabinet_reader.h"

#include <cstring>

namespace orvex {
namespace sim {
namespace {

constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kReserveSize = 4;
constexpr uint32_t kFolderSize = 8;
constexpr uint32_t kFileSize = 16;
constexpr int kSeekSet = 0;
constexpr int kSeekCurrent = 1;
constexpr uint32_t kSignature = 0x4643534D;  // "MSCF"
// Longer names than Windows paths can hold are refused before their buffer grows further.
constexpr uint32_t kLongestName = 64 * 1024;

uint16_t Word(const uint8_t* at) { return static_cast<uint16_t>(at[0] | (at[1] << 8)); }

uint32_t Dword(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
         (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

bool ReadExactly(const CabinetInput& input, void* buffer, uint32_t bytes) {
  return input.read(input.handle, buffer, bytes) == bytes;
}

// A zero-terminated name that starts at the current position, read in pieces of 256 bytes
// and more, never beyond the size the header declares. The bytes a short read leaves unread
// count as zeros, as Cabinet.dll's buffer holds them. False when nothing could be read, or the
// name runs unterminated to the declared size or beyond 64 KiB.
bool ReadName(const CabinetInput& input, uint32_t declaredSize, std::string* name) {
  const int32_t base = input.seek(input.handle, 0, kSeekCurrent);
  // The arithmetic of an unsigned size: a position past the declared size leaves no limit.
  const uint32_t limit = declaredSize - static_cast<uint32_t>(base);
  uint32_t length = 256;
  std::string buffer;
  for (;;) {
    if (length > limit) length = limit;
    buffer.assign(length, '\0');
    const uint32_t got = length ? input.read(input.handle, &buffer[0], length) : 0;
    if (got == 0 || got == 0xFFFFFFFFu) return false;
    const std::size_t end = buffer.find('\0');
    if (end != std::string::npos) {
      name->assign(buffer, 0, end);
      break;
    }
    if (length == limit || length >= kLongestName) return false;
    input.seek(input.handle, base, kSeekSet);
    length *= 2;
  }
  input.seek(input.handle, base + static_cast<int32_t>(name->size()) + 1, kSeekSet);
  return true;
}

}  // namespace

int ReadCabinetHeader(const CabinetInput& input, CabinetLayout* layout) {
  uint8_t header[kHeaderSize];
  if (!ReadExactly(input, header, kHeaderSize) || Dword(header) != kSignature)
    return platform::kFdiNotACabinet;
  layout->declaredSize = Dword(header + 8);
  const uint8_t minor = header[24];
  const uint8_t major = header[25];
  layout->folders.resize(Word(header + 26));
  layout->files.resize(Word(header + 28));
  layout->flags = Word(header + 30);
  layout->setId = Word(header + 32);
  layout->index = Word(header + 34);
  if (major > 1 || (major == 1 && minor > 3)) return platform::kFdiUnknownCabinetVersion;
  if (layout->flags & kCabinetHasReserve) {
    uint8_t reserve[kReserveSize];
    if (!ReadExactly(input, reserve, kReserveSize)) return platform::kFdiCorruptCabinet;
    const uint16_t headerReserve = Word(reserve);
    layout->folderReserve = reserve[2];
    layout->blockReserve = reserve[3];
    if (headerReserve && input.seek(input.handle, headerReserve, kSeekCurrent) == -1)
      return platform::kFdiCorruptCabinet;
  }
  if (layout->flags & kCabinetHasPrevious) {
    if (!ReadName(input, layout->declaredSize, &layout->previousName))
      return platform::kFdiCorruptCabinet;
    ReadName(input, layout->declaredSize, &layout->previousInfo);
  }
  if (layout->flags & kCabinetHasNext) {
    if (!ReadName(input, layout->declaredSize, &layout->nextName))
      return platform::kFdiCorruptCabinet;
    ReadName(input, layout->declaredSize, &layout->nextInfo);
  }
  return platform::kFdiNone;
}

int ReadCabinetEntries(const CabinetInput& input, CabinetLayout* layout) {
  for (CabinetFolder& folder : layout->folders) {
    uint8_t entry[kFolderSize];
    if (!ReadExactly(input, entry, kFolderSize)) return platform::kFdiCorruptCabinet;
    if (layout->folderReserve) input.seek(input.handle, layout->folderReserve, kSeekCurrent);
    folder.dataOffset = Dword(entry);
    folder.blockCount = Word(entry + 4);
    folder.compression = Word(entry + 6);
  }
  for (CabinetFile& file : layout->files) {
    uint8_t entry[kFileSize];
    if (!ReadExactly(input, entry, kFileSize)) return platform::kFdiCorruptCabinet;
    file.length = Dword(entry);
    file.offset = Dword(entry + 4);
    file.folderIndex = Word(entry + 8);
    file.date = Word(entry + 10);
    file.time = Word(entry + 12);
    file.attributes = Word(entry + 14);
    if (!ReadName(input, layout->declaredSize, &file.name)) return platform::kFdiCorruptCabinet;
  }
  layout->entriesEnd = static_cast<uint32_t>(input.seek(input.handle, 0, kSeekCurrent));
  return platform::kFdiNone;
}

int FolderOfEntry(const CabinetLayout& layout, uint16_t folderIndex) {
  if (layout.folders.empty()) return -1;
  const int last = static_cast<int>(layout.folders.size()) - 1;
  if ((folderIndex & kFolderContinuedToNext) == kFolderContinuedToNext) return last;
  return folderIndex < last ? folderIndex : last;
}

}  // namespace sim
}  // namespace orvex
