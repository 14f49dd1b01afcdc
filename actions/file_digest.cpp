#include "actions/file_digest.h"

#include <cstdio>
#include <memory>

#include "platform/files.h"
#include "platform/sha256.h"

namespace orvex {

namespace {

// Large enough that reading costs few calls, small enough to stay out of the way.
constexpr std::size_t kHashBufferBytes = 1u << 20;

FileDigest Failed(FileDigest digest, FileDigest::Failure failure, uint32_t error = 0) {
  digest.failure = failure;
  digest.error = error;
  return digest;
}

// The length of an open file, read from its end; false when it cannot be told.
bool LengthOf(std::FILE* file, uint64_t* length) {
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const long end = std::ftell(file);
  if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
  *length = static_cast<uint64_t>(end);
  return true;
}

}  // namespace

FileDigest DigestOfFile(const std::wstring& path, IFileDigestObserver* observer) {
  FileDigest digest;
  uint32_t error = 0;
  const platform::ScopedFile owner = platform::OpenForReading(path, &error);
  std::FILE* const file = owner.get();
  if (!file) return Failed(digest, FileDigest::kOpen, error);
  uint64_t length = 0;
  if (observer && !LengthOf(file, &length)) return Failed(digest, FileDigest::kRead);
  platform::Sha256 hash;
  if (!hash.Start(&error)) return Failed(digest, FileDigest::kHash, error);
  if (observer && !observer->OnFileLength(length)) return Failed(digest, FileDigest::kStopped);
  std::unique_ptr<char[]> buffer(new char[kHashBufferBytes]);
  for (;;) {
    if (observer) observer->BeforeChunk();
    const std::size_t got = std::fread(buffer.get(), 1, kHashBufferBytes, file);
    if (got == 0) break;
    digest.bytes += got;
    if (!hash.Add(buffer.get(), got, &error)) return Failed(digest, FileDigest::kHash, error);
    if (observer) observer->AfterChunk(got, digest.bytes);
  }
  if (std::ferror(file)) return Failed(digest, FileDigest::kRead);
  uint8_t value[platform::kSha256Bytes];
  if (!hash.Finish(value, &error)) return Failed(digest, FileDigest::kHash, error);
  digest.sha256 = platform::Sha256Text(value);
  return digest;
}

}  // namespace orvex
