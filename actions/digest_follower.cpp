#include "actions/digest_follower.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "platform/files.h"
#include "platform/sha256.h"

namespace orvex {

namespace {

// Read and hashed at a time: large enough for the hash to run at full speed, small enough to
// follow the ranges closely.
const std::size_t kFollowBufferBytes = 1u << 20;
// The longest the thread sleeps without being told of new bytes: Advance wakes it anyway, this
// only bounds a missed wake-up.
const std::chrono::milliseconds kIdleWait(20);

}  // namespace

DigestFollower::DigestFollower(std::wstring path, uint64_t size, std::vector<uint64_t> rangeStarts,
                               const std::vector<uint64_t>& onDisk)
    : path_(std::move(path)),
      size_(size),
      rangeStarts_(std::move(rangeStarts)),
      onDisk_(new std::atomic<uint64_t>[rangeStarts_.size()]) {
  for (std::size_t i = 0; i < rangeStarts_.size(); ++i)
    onDisk_[i].store(i < onDisk.size() ? onDisk[i] : 0);
}

DigestFollower::~DigestFollower() { Abandon(); }

bool DigestFollower::Start() {
  try {
    thread_ = std::thread(&DigestFollower::Follow, this);
    return true;
  } catch (...) {
    return false;  // no thread: the caller hashes the file itself
  }
}

void DigestFollower::Advance(int range, uint64_t bytesOnDisk) {
  onDisk_[static_cast<std::size_t>(range)].store(bytesOnDisk, std::memory_order_release);
  moreOnDisk_.notify_one();
}

void DigestFollower::Abandon() {
  abandoned_.store(true);
  moreOnDisk_.notify_one();
  if (thread_.joinable()) thread_.join();
}

std::string DigestFollower::Finish() {
  finishing_.store(true);
  moreOnDisk_.notify_one();
  if (thread_.joinable()) thread_.join();
  return abandoned_.load() ? std::string() : digest_;
}

// The end of the file's first bytes that are all on disk: through every range that is whole,
// and into the first one that is not.
uint64_t DigestFollower::AvailableEnd() const {
  for (std::size_t i = 0; i < rangeStarts_.size(); ++i) {
    const uint64_t end = i + 1 < rangeStarts_.size() ? rangeStarts_[i + 1] : size_;
    const uint64_t written = rangeStarts_[i] + onDisk_[i].load(std::memory_order_acquire);
    if (written < end) return written;
  }
  return size_;
}

// Runs on the thread; nothing may leave it by an exception.
void DigestFollower::Follow() {
  try {
    // Closed however the loop ends: an open handle would make the final rename fail.
    platform::ScopedFile opened = platform::OpenForReading(path_, nullptr);
    std::FILE* file = opened.get();
    if (!file) return;
    // Unbuffered: the C library must not read ahead into bytes that are not written yet.
    std::setvbuf(file, nullptr, _IONBF, 0);
    std::unique_ptr<char[]> buffer(new char[kFollowBufferBytes]);
    platform::Sha256 hash;
    uint32_t error = 0;
    bool good = hash.Start(&error);
    while (good && hashed_ < size_ && !abandoned_.load()) {
      const uint64_t available = AvailableEnd();
      if (available <= hashed_) {
        if (finishing_.load()) break;
        std::unique_lock<std::mutex> lock(mutex_);
        moreOnDisk_.wait_for(lock, kIdleWait);
        continue;
      }
      const std::size_t want =
          static_cast<std::size_t>(std::min<uint64_t>(available - hashed_, kFollowBufferBytes));
      const std::size_t got = std::fread(buffer.get(), 1, want, file);
      good = got == want && hash.Add(buffer.get(), got, &error);
      hashed_ += got;
    }
    opened.reset();
    uint8_t digest[platform::kSha256Bytes];
    if (good && hashed_ == size_ && hash.Finish(digest, &error))
      digest_ = platform::Sha256Text(digest);
  } catch (...) {
    digest_.clear();  // the caller hashes the file itself
  }
}

}  // namespace orvex
