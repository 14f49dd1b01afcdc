#pragma once
// The SHA-256 of a whole file read back from the disk through one fixed buffer, so memory stays
// the same whatever the file's size. The download checks its finished temporary file with it,
// and the cache an entry of an earlier run before trusting it.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex {

// Watches the reading of a file's digest (a progress bar, a stop button).
class IFileDigestObserver {
 public:
  virtual ~IFileDigestObserver() = default;
  // Once the file is open, with its length, before anything is read; false stops the reading.
  virtual bool OnFileLength(uint64_t length) = 0;
  // Before each read; may throw to stop the reading.
  virtual void BeforeChunk() = 0;
  // After each chunk, with the bytes read so far.
  virtual void AfterChunk(std::size_t got, uint64_t readSoFar) = 0;
};

struct FileDigest {
  enum Failure {
    kNone,
    kOpen,     // the file could not be opened (error: the Windows code)
    kRead,     // its length or its bytes could not be read
    kHash,     // the hash could not be computed (error: the Windows code)
    kStopped,  // the observer declined the file's length
  };
  Failure failure = kNone;
  uint32_t error = 0;
  std::string sha256;  // lower-case hexadecimal, when failure is kNone
  uint64_t bytes = 0;  // the bytes read
};

// Reads the file at path whole; observer may be null.
FileDigest DigestOfFile(const std::wstring& path, IFileDigestObserver* observer = nullptr);

}  // namespace orvex
