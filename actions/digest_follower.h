#pragma once
// The SHA-256 of a file that is being written in ranges, computed on a thread of its own while
// the ranges arrive: it reads and hashes the file from its first byte as far as the bytes are
// on disk, and waits for more. Once the last range is written only the tail is left to hash,
// so verifying a download costs little more than the download itself.
//
// The writer tells how far each range is on disk (Advance). A range that goes back (written
// again from an earlier offset) may change bytes already hashed: the writer then calls
// Abandon and hashes the finished file itself.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvex {

class DigestFollower {
 public:
  // rangeStarts: the offset of each range, ascending, the first 0; each range runs to the
  // next one's start (the last one to size). onDisk: the bytes from each range's start that
  // are on disk already.
  DigestFollower(std::wstring path, uint64_t size, std::vector<uint64_t> rangeStarts,
                 const std::vector<uint64_t>& onDisk);
  // Abandons the hash and joins the thread (which closes the file).
  ~DigestFollower();
  DigestFollower(const DigestFollower&) = delete;
  DigestFollower& operator=(const DigestFollower&) = delete;

  // False when the thread could not start: the caller hashes the file itself.
  bool Start();
  // The bytes from range's start now on disk (never fewer than before).
  void Advance(int range, uint64_t bytesOnDisk);
  // The hash in progress is worthless; the thread stops.
  void Abandon();
  // Waits until every byte on disk is hashed; the digest as lower-case hex, or "" when no
  // digest of the whole file could be made (abandoned, a read or hash failure, bytes not
  // advanced to the end of their range).
  std::string Finish();

 private:
  void Follow();
  uint64_t AvailableEnd() const;

  const std::wstring path_;
  const uint64_t size_;
  const std::vector<uint64_t> rangeStarts_;
  std::unique_ptr<std::atomic<uint64_t>[]> onDisk_;
  std::atomic<bool> abandoned_{false};
  std::atomic<bool> finishing_{false};  // no more bytes will come
  uint64_t hashed_ = 0;                 // owned by the thread until it is joined
  std::string digest_;                  // set by the thread when it has hashed size_ bytes
  std::mutex mutex_;
  std::condition_variable moreOnDisk_;
  std::thread thread_;
};

}  // namespace orvex
