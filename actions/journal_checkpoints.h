#pragma once
// Keeps the journal of a running download up to date without making the transfer wait for the
// disk. A journal must never claim bytes that a power cut could take away, so each one is saved
// only after the temporary file was flushed - and a flush waits for every byte written so far,
// which on a fast link takes longer than the bytes take to arrive. The flush and the save run
// on a thread of their own: the transfer hands over what the journal may claim (the ranges as
// they stood when it asked) and goes on writing; the bytes that arrive meanwhile are claimed by
// a later checkpoint. While one checkpoint is under way the next offer is declined.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "actions/download_journal.h"

namespace orvex {
namespace platform {
class PositionedFile;
}

class JournalCheckpoints {
 public:
  // part: the open temporary file, flushed from the thread; it must stay open until Stop.
  JournalCheckpoints(platform::PositionedFile& part, std::wstring journalPath);
  // Stops the thread (Stop).
  ~JournalCheckpoints();
  JournalCheckpoints(const JournalCheckpoints&) = delete;
  JournalCheckpoints& operator=(const JournalCheckpoints&) = delete;

  // False when the thread could not start: no checkpoint is made during the transfer then.
  bool Start();
  // Hands over a journal to save once the file is flushed. False, and nothing changes, while
  // the previous checkpoint is still under way or when there is no thread.
  bool Offer(DownloadJournal journal);
  // Waits until no checkpoint is under way; the caller may then write the journal itself.
  void WaitIdle();
  // Waits for the checkpoint under way and ends the thread.
  void Stop();

 private:
  void Run();

  platform::PositionedFile& part_;
  const std::wstring journalPath_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool busy_ = false;  // a journal was handed over and is not saved yet
  bool stopping_ = false;
  DownloadJournal pending_;
  std::thread thread_;
};

}  // namespace orvex
