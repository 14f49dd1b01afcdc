#pragma once
// The cabinet's header, folders and file entries as Cabinet.dll reads them, through the FDI
// callbacks the caller gave (platform/fdi.h). Its reading differs from libmspack's where
// cabinets are odd, and the simulated machine must answer as Windows does:
// - a file shorter than the header, or without the "MSCF" signature, is "Not a cabinet";
//   format versions above 1.3 are "Unknown cabinet version";
// - folders and file entries are read one after the other right after the header (the
//   header's offset of the file entries is not used), each short read "Corrupt cabinet";
// - names are read up to their terminating zero within the size the header gives; a name cut
//   short by the end of the file ends there, one that reaches that size unterminated (or of
//   which nothing can be read) is "Corrupt cabinet";
// - a cabinet without file entries is read without complaint.
// Only files in platform/sim/ include this.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fdi.h"

namespace orvex {
namespace sim {

struct CabinetFolder {
  uint32_t dataOffset = 0;  // of its first data block in the cabinet
  uint16_t blockCount = 0;  // as written; Cabinet.dll reads blocks until the data is there
  uint16_t compression = 0;
};

struct CabinetFile {
  uint32_t length = 0;
  uint32_t offset = 0;  // in its folder's uncompressed data
  uint16_t folderIndex = 0;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attributes = 0;
  std::string name;
};

struct CabinetLayout {
  uint32_t declaredSize = 0;
  uint16_t setId = 0;
  uint16_t index = 0;
  uint16_t flags = 0;
  uint8_t folderReserve = 0;
  uint8_t blockReserve = 0;
  std::string previousName, previousInfo, nextName, nextInfo;
  std::vector<CabinetFolder> folders;
  std::vector<CabinetFile> files;
  uint32_t entriesEnd = 0;  // where the reading stands after the last entry
};

constexpr uint16_t kCabinetHasPrevious = 0x0001;
constexpr uint16_t kCabinetHasNext = 0x0002;
constexpr uint16_t kCabinetHasReserve = 0x0004;
constexpr uint16_t kFolderContinuedFromPrevious = 0xFFFD;
constexpr uint16_t kFolderContinuedToNext = 0xFFFE;

// The cabinet's own I/O: the caller's read and seek callbacks on its open handle.
struct CabinetInput {
  platform::FdiRead read;
  platform::FdiSeek seek;
  platform::FdiAlloc alloc;
  platform::FdiFree release;
  intptr_t handle;
};

// The header with the names of the neighbouring cabinets: kFdiNone, or the FDI error code.
int ReadCabinetHeader(const CabinetInput& input, CabinetLayout* layout);

// The folders and file entries that follow the header: kFdiNone or kFdiCorruptCabinet.
int ReadCabinetEntries(const CabinetInput& input, CabinetLayout* layout);

// Whether the entry continues from the cabinet before (0xFFFD, 0xFFFF): Cabinet.dll announces
// it as a partial file and extracts nothing of it.
inline bool ContinuesFromPrevious(uint16_t folderIndex) {
  return (folderIndex & kFolderContinuedFromPrevious) == kFolderContinuedFromPrevious;
}

// The folder whose data an entry is taken from: the last one for an entry continued into the
// next cabinet, else the folder of its index, the last one for an index beyond them. -1 when
// the cabinet has no folder.
int FolderOfEntry(const CabinetLayout& layout, uint16_t folderIndex);

}  // namespace sim
}  // namespace orvex
