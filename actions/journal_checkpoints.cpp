#include "actions/journal_checkpoints.h"

#include <utility>

#include "platform/file_writer.h"

namespace orvex {

JournalCheckpoints::JournalCheckpoints(platform::PositionedFile& part, std::wstring journalPath)
    : part_(part), journalPath_(std::move(journalPath)) {}

JournalCheckpoints::~JournalCheckpoints() { Stop(); }

bool JournalCheckpoints::Start() {
  try {
    thread_ = std::thread(&JournalCheckpoints::Run, this);
    return true;
  } catch (...) {
    return false;
  }
}

bool JournalCheckpoints::Offer(DownloadJournal journal) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (!thread_.joinable() || busy_ || stopping_) return false;
  pending_ = std::move(journal);
  busy_ = true;
  changed_.notify_all();
  return true;
}

void JournalCheckpoints::WaitIdle() {
  std::unique_lock<std::mutex> hold(mutex_);
  changed_.wait(hold, [this] { return !busy_ || !thread_.joinable(); });
}

void JournalCheckpoints::Stop() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
    changed_.notify_all();
  }
  if (thread_.joinable()) thread_.join();
}

// Runs on the thread; nothing may leave it by an exception. A checkpoint handed over before
// Stop is still made: the journal it saves claims only bytes already flushed. One that fails
// leaves the journal before it, which claims less.
void JournalCheckpoints::Run() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    changed_.wait(hold, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    DownloadJournal journal = std::move(pending_);
    hold.unlock();
    try {
      // The flush first: once the journal claims the bytes they must be on the disk.
      if (part_.Flush(nullptr)) (void)SaveJournal(journalPath_, journal, false);
    } catch (...) {
      // Out of memory while formatting: no checkpoint this time.
    }
    hold.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace orvex
