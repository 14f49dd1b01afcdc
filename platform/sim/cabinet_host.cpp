// FDI of the simulated machine, over libmspack's cabinet reader. As Cabinet.dll does, it
// opens, reads and seeks the cabinet through the caller's callbacks, announces each entry with
// the copy-file notification, writes the entry's bytes through the handle that answer gives
// and hands the handle back with the close-file notification. Names are never used to create
// files here: only the caller's notification decides where an entry goes.
#include <mspack.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "platform/cabinet.h"

namespace orvex {
namespace platform {
namespace {

// Where libmspack's extraction writes: the file name it is given for every entry, which the
// I/O layer below maps to the handle of the current entry.
const char kEntryOutput[] = "<fdi-entry-output>";

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

// A file of libmspack's I/O layer: a handle of the caller's callbacks.
struct CallbackFile {
  Context* context;
  intptr_t handle;
  bool entryOutput;  // the current entry's handle: its owner closes it, not libmspack
};

// The copy running on this thread. libmspack hands its I/O functions copies of the system
// structure, so they find the copy here rather than through it.
struct Copying {
  Context* context = nullptr;
  intptr_t entryHandle = -1;
};
thread_local Copying* t_copying = nullptr;

mspack_file* OpenFile(mspack_system*, const char* name, int mode) {
  Copying* system = t_copying;
  if (!system || !name) return nullptr;
  intptr_t handle = -1;
  bool entryOutput = false;
  if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, kEntryOutput) == 0) {
    handle = system->entryHandle;
    entryOutput = true;
  } else if (mode == MSPACK_SYS_OPEN_READ) {
    std::string path = name;
    handle = system->context->open(&path[0], kFdiOpenBinary | kFdiOpenReadOnly, 0x180);
  } else {
    return nullptr;
  }
  if (handle == -1) return nullptr;
  return reinterpret_cast<mspack_file*>(new (std::nothrow)
                                            CallbackFile{system->context, handle, entryOutput});
}

void CloseFile(mspack_file* file) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  if (!callbackFile) return;
  if (!callbackFile->entryOutput) callbackFile->context->close(callbackFile->handle);
  delete callbackFile;
}

int ReadFile(mspack_file* file, void* buffer, int bytes) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  if (bytes < 0) return -1;
  const uint32_t got =
      callbackFile->context->read(callbackFile->handle, buffer, static_cast<uint32_t>(bytes));
  return got == 0xFFFFFFFFu ? -1 : static_cast<int>(got);
}

int WriteFile(mspack_file* file, void* buffer, int bytes) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  if (bytes < 0) return -1;
  const uint32_t put =
      callbackFile->context->write(callbackFile->handle, buffer, static_cast<uint32_t>(bytes));
  return put == static_cast<uint32_t>(bytes) ? bytes : -1;
}

int SeekFile(mspack_file* file, off_t offset, int mode) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  if (offset > INT32_MAX || offset < INT32_MIN) return -1;
  const int method = mode == MSPACK_SYS_SEEK_START ? 0 : mode == MSPACK_SYS_SEEK_CUR ? 1 : 2;
  const int32_t position =
      callbackFile->context->seek(callbackFile->handle, static_cast<int32_t>(offset), method);
  return position == -1 ? -1 : 0;
}

off_t TellFile(mspack_file* file) {
  CallbackFile* callbackFile = reinterpret_cast<CallbackFile*>(file);
  const int32_t position = callbackFile->context->seek(callbackFile->handle, 0, 1);
  return position == -1 ? -1 : static_cast<off_t>(static_cast<uint32_t>(position));
}

void Message(mspack_file*, const char*, ...) {}

void* Allocate(mspack_system*, size_t bytes) {
  if (bytes > 0xFFFFFFFFu) return nullptr;
  if (t_copying) return t_copying->context->alloc(static_cast<uint32_t>(bytes));
  return std::malloc(bytes);
}

void Release(void* memory) {
  if (t_copying) t_copying->context->release(memory);
  else std::free(memory);
}

void Copy(void* source, void* target, size_t bytes) { std::memmove(target, source, bytes); }

int Fail(Context* context, int code) {
  context->error->erfOper = code;
  context->error->fError = 1;
  return code;
}

int ReadError(int mspackError) {
  switch (mspackError) {
    case MSPACK_ERR_OPEN:
      return kFdiCabinetNotFound;
    case MSPACK_ERR_SIGNATURE:
      return kFdiNotACabinet;
    case MSPACK_ERR_NOMEMORY:
      return kFdiAllocFail;
    case MSPACK_ERR_WRITE:
      return kFdiTargetFile;
    case MSPACK_ERR_DECRUNCH:
      return kFdiMdiFail;
    default:
      return kFdiCorruptCabinet;
  }
}

uint16_t DosDate(const mscabd_file& file) {
  return static_cast<uint16_t>(((file.date_y - 1980) << 9) | (file.date_m << 5) | file.date_d);
}

uint16_t DosTime(const mscabd_file& file) {
  return static_cast<uint16_t>((file.time_h << 11) | (file.time_m << 5) | (file.time_s / 2));
}

// Announces, writes and hands back one entry. False with the error set when FDI would stop.
bool CopyEntry(Context* context, Copying* system, mscab_decompressor* reader,
               mscabd_file* entry, FdiNotify notify, void* userValue) {
  FdiNotification copy;
  copy.psz1 = entry->filename;
  copy.cb = static_cast<int32_t>(entry->length);
  copy.date = DosDate(*entry);
  copy.time = DosTime(*entry);
  copy.attribs = static_cast<uint16_t>(entry->attribs);
  copy.pv = userValue;
  const intptr_t handle = notify(kFdintCopyFile, &copy);
  if (handle == 0) return true;  // the caller skips this entry
  if (handle == -1) return Fail(context, kFdiUserAbort) == 0;
  system->entryHandle = handle;
  const int result = reader->extract(reader, entry, kEntryOutput);
  if (result != MSPACK_ERR_OK) {
    // FDI closes the file it was writing when it gives up.
    context->close(handle);
    return Fail(context, ReadError(result)) == 0;
  }
  FdiNotification closeInfo = copy;
  closeInfo.hf = handle;
  closeInfo.cb = 0;
  if (notify(kFdintCloseFileInfo, &closeInfo) != 1) return Fail(context, kFdiUserAbort) == 0;
  return true;
}

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

bool FdiCopy(void* contextValue, char* cabinetName, char* cabinetPath, int flags,
             FdiNotify notify, void* userValue) {
  (void)flags;
  Context* context = static_cast<Context*>(contextValue);
  if (!context || !cabinetName || !cabinetPath || !notify) return false;
  *context->error = FdiErrorRecord();
  mspack_system io;
  std::memset(&io, 0, sizeof io);
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
  Copying system;
  system.context = context;
  struct Restore {
    Copying* previous;
    ~Restore() { t_copying = previous; }
  } restore{t_copying};
  t_copying = &system;
  mscab_decompressor* reader = mspack_create_cab_decompressor(&io);
  if (!reader) return Fail(context, kFdiAllocFail) == 0;
  std::string path = std::string(cabinetPath) + cabinetName;
  mscabd_cabinet* cabinet = reader->open(reader, path.c_str());
  if (!cabinet) {
    Fail(context, ReadError(reader->last_error(reader)));
    mspack_destroy_cab_decompressor(reader);
    return false;
  }
  // Cabinet.dll keeps the cabinet open through the caller's open callback from the start of
  // the copy to its end, with the share mode the caller chose: an entry cannot be written over
  // the cabinet it comes from. libmspack opens it only while it reads, so it is held here.
  const intptr_t held = context->open(&path[0], kFdiOpenBinary | kFdiOpenReadOnly, 0x180);
  FdiNotification info;
  info.psz1 = cabinet->nextname ? cabinet->nextname : const_cast<char*>("");
  info.psz2 = cabinet->nextinfo ? cabinet->nextinfo : const_cast<char*>("");
  info.psz3 = cabinetPath;
  info.setID = cabinet->set_id;
  info.iCabinet = cabinet->set_index;
  info.pv = userValue;
  bool ok = true;
  if (notify(kFdintCabinetInfo, &info) == -1) ok = Fail(context, kFdiUserAbort) == 0;
  for (mscabd_file* entry = cabinet->files; ok && entry; entry = entry->next) {
    if (!entry->folder) continue;
    ok = CopyEntry(context, &system, reader, entry, notify, userValue);
  }
  reader->close(reader, cabinet);
  mspack_destroy_cab_decompressor(reader);
  if (held != -1) context->close(held);
  return ok;
}

bool FdiDestroy(void* contextValue) {
  delete static_cast<Context*>(contextValue);
  return contextValue != nullptr;
}

}  // namespace platform
}  // namespace orvex
