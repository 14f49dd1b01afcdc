#pragma once
// CCabinet: one extraction of a Microsoft cabinet through FDI (platform/fdi.h), with the
// file-access and notification callbacks FDI calls. Every entry is written flat into the
// destination directory under the last part of its name; an entry whose name could leave the
// directory or name a data stream ends the extraction. When an extraction fails, the file it
// was writing is removed.

#include <cstdint>
#include <string>

#include "platform/fdi.h"

namespace orvex {

class CCabinet {
 public:
  // cabinetPath: the cabinet's full path; destination: the directory that receives the files,
  // without a trailing backslash.
  CCabinet(std::wstring cabinetPath, std::wstring destination);

  // 0 when every file was extracted; -1 with LastError() set to FDI's error text.
  int Extract();
  const std::string& LastError() const { return lastError_; }

 private:
  std::wstring cabinetPath_;
  std::wstring destination_;
  std::string lastError_;
};

// The text of an FDI error code ("Corrupt cabinet", ... "Unknown error").
std::string FdiErrorText(int code);

// The name a cabinet entry is written under: the part after its last "\\" or "/". Empty when
// the entry must end the extraction: nothing left, only dots and blanks ("." or ".."), or a
// ":" (a drive or a data stream).
std::string CabinetEntryFileName(const std::string& entryName);

namespace cabinet_callbacks {
// The callbacks CCabinet gives FDI; exposed for tests and fuzzing. The notification callback
// expects the user value that CCabinet::Extract passes (an extraction in progress).
void* Alloc(uint32_t size);
void Free(void* memory);
intptr_t Open(char* name, int flags, int mode);
uint32_t Read(intptr_t handle, void* buffer, uint32_t count);
uint32_t Write(intptr_t handle, void* buffer, uint32_t count);
int Close(intptr_t handle);
int32_t Seek(intptr_t handle, int32_t distance, int method);
intptr_t Notify(int type, platform::FdiNotification* notification);
}  // namespace cabinet_callbacks

}  // namespace orvex
