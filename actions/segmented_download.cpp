#include "actions/segmented_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "actions/connection_security.h"
#include "actions/digest_follower.h"
#include "actions/download_error.h"
#include "actions/download_journal.h"
#include "actions/file_digest.h"
#include "actions/http_headers.h"
#include "actions/journal_checkpoints.h"
#include "actions/partial_file.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/pipe.h"
#include "platform/sha256.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// Restarts after the first attempt: three attempts in all.
const int kRestarts = 2;
// The longest a transfer pass waits for socket activity; it bounds how late OnTick (and so
// the reaction to a stop request) can come.
const int kPassWaitMs = 100;
// libcurl's receive buffer per transfer (its largest): large reads on fast links, while ten
// of them stay a few MiB.
const long kReceiveBufferBytes = 512 * 1024;
// The size query is a single request: it must not wait forever for a connection either.
const long kQueryConnectSeconds = 30;
// A checkpoint of the journal is offered once this long after the last one while bytes
// arrive, unless the rest of the file is due sooner than that at the speed of the last moments
// (kSpeedWindow to twice that; the download would wait at its end for a flush of everything
// it received, for a journal removed right after): a killed process fetches again about what
// arrived in the last second, or two near the end. Every checkpoint flushes the file, and a
// flush makes this process write back every byte received so far: a checkpoint every few MiB
// made a fast download flush all the time.
const std::chrono::milliseconds kJournalEvery(1000);
const std::chrono::milliseconds kSpeedWindow(500);
// A connection whose range is done takes over the back half of the slowest range still
// running, when both halves are at least this long and the range would need longer than this
// to finish: below that a new request costs more than it saves (the range's transfer is ended,
// and what the server had sent beyond the half it keeps is lost).
const uint32_t kSmallestTakeOver = 256u * 1024;
const double kTakeOverSeconds = 0.5;
// The ranges of one file at most, split ones included (a journal describes them on a line;
// one that claims more is not believed).
const std::size_t kMostRanges = PartialFile::kMostRanges;

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

struct EasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

// The first failing result of a row of option results, or CURLE_OK.
CURLcode FirstFailure(std::initializer_list<CURLcode> results) {
  for (CURLcode result : results)
    if (result != CURLE_OK) return result;
  return CURLE_OK;
}

}  // namespace

std::string NormalizeSha256(const std::string& text) {
  if (text.size() != 2 * platform::kSha256Bytes) return "";
  std::string lower;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "";
    lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return lower;
}

namespace {

// A certificate that cannot be verified now will not be on a second try: the download ends at
// once, saying why.
CHttpDownloadEx UnverifiedServer(const std::string& url, int32_t result, const char* reason) {
  CHttpDownloadEx error = DownloadError(CHttpDownloadEx::kUnverifiedServer, result);
  error.text = CertificateFailureText(url, result, reason);
  return error;
}

}  // namespace

struct CHttpDownload::Impl {
  // One byte range of the file, written at its offset in the temporary file as it arrives.
  struct Segment {
    int index = 0;
    uint32_t start = 0;  // offset of the range's first byte in the file
    int size = 0;        // bytes this range must deliver
    bool complete = false;
    int onDisk = 0;    // bytes from start that an earlier run left on disk
    int received = 0;  // bytes from start on disk now (onDisk included)
    // One past the last byte the request under way asked for: beyond start + size once the
    // back of the range was taken over by another connection.
    uint32_t requestedEnd = 0;
    bool running = false;    // its transfer is on the multi handle and has not ended
    bool cutShort = false;   // its transfer was ended here: the range was full, the rest taken over
    CURL* handle = nullptr;  // keeps its options across restarts
    curl_slist* headers = nullptr;  // the If-Range of a resumed range
    CHttpDownload* owner = nullptr;
    ContentRange answerRange;                 // of the answer being received
    bool answerChecked = false;               // its status and range were found to fit this segment
    char reason[kConnectionReasonSize] = {};  // libcurl's reason for a failed transfer

    // Writes a chunk of the range at its place. Refuses it whole (the short count makes libcurl
    // end this transfer with a write error, leaving the segment incomplete) when the answer is
    // not this range, when it would run past the range, or when the file cannot be written.
    size_t Store(const char* data, size_t bytes);
    // Follows the header lines of the answer for its Content-Range.
    void NoteHeader(const char* line, size_t length);
    // What the answer under way means for this range: a 206 for exactly its bytes not on disk,
    // or a 200 when this one request asks for the whole file, fits; a 200 for a resumed range
    // says the file changed.
    RangeAnswer JudgeAnswer() const;
    void Restart();

    // The libcurl callbacks: every exception stops here and aborts the transfer by the return
    // value; Run raises it again once libcurl has returned.
    static size_t WriteCallback(char* data, size_t size, size_t count, void* segment);
    static size_t HeaderCallback(char* line, size_t size, size_t count, void* segment);
  };

  Impl(CHttpDownload& owner, std::string address, std::wstring path, IDownloadHandler* events,
       std::wstring pipe, long lowSpeed)
      : self(owner),
        url(std::move(address)),
        destination(std::move(path)),
        handler(events),
        pipeName(std::move(pipe)),
        lowSpeedSeconds(lowSpeed) {}
  ~Impl();

  // The file size from a HEAD request, and the file's validator. Throws kind 7, or 10 for a
  // refused certificate.
  uint32_t QuerySize();
  // Keeps the first exception thrown inside a libcurl callback, to be raised by Run once
  // libcurl has returned.
  void HoldCallbackException(std::exception_ptr error);
  void PrepareSegments();
  void PrepareSegment(Segment& segment);
  CURLcode AskForRest(Segment& segment);
  void AddTransfer(Segment& segment);
  bool TakeOverSlowestRange();
  void AdvanceDigest();
  void ReleaseSegments();

  std::vector<uint32_t> RangeStarts() const;
  DownloadJournal CurrentJournal() const;
  bool SaveProgress(bool durable);
  void StartCheckpoints();
  void StopCheckpoints();
  void KeepJournalCurrent();
  void CheckLength();
  [[noreturn]] void Fail(int32_t code, int32_t detail = 0, uint32_t sysError = 0);
  void LeaveForResume();
  void DiscardPart();
  void Transfer();
  bool StartOverIfAsked();
  void StartDigestFollower();
  void VerifyDigest();
  std::string DigestOfPart();
  void DriveAttempt();
  void RaiseCallbackFailures();
  void CollectResults(int restartsLeft);
  CURLM* NewMulti();
  void DestroyMulti();
  bool AnyRunning() const;
  bool RestartIncomplete();
  void ReportWritten();
  void PutInPlace();
  bool AllComplete() const;

  CHttpDownload& self;
  std::string url;
  std::wstring destination;
  IDownloadHandler* handler;
  std::wstring pipeName;
  // Open while the download lives, closed with it.
  platform::PresencePipe presencePipe;
  long lowSpeedSeconds;
  std::string validator;       // the file's ETag, else its Last-Modified, else ""
  std::string expectedSha256;  // lower-case hex, or "" for no check
  // Hashes the temporary file while the ranges arrive, when a digest is expected.
  std::unique_ptr<DigestFollower> follower;
  CURLM* multi = nullptr;
  // The temporary file and its journal.
  PartialFile part;
  // The journal could be written when the ranges were set out. Without it the temporary file
  // is no file of ours to a later run: it is removed whenever the download ends unfinished.
  bool journalWritten = false;
  // Saves the journal during the transfer, each time after flushing the temporary file.
  std::unique_ptr<JournalCheckpoints> checkpoints;
  uint32_t journaledAt = 0;  // self.downloaded_ when the journal was last offered or written
  std::chrono::steady_clock::time_point journaledWhen{};  // and when
  // self.downloaded_ at two recent moments, kSpeedWindow apart: the speed of late.
  struct Sample {
    std::chrono::steady_clock::time_point when{};
    uint32_t downloaded = 0;
  };
  Sample recent, earlier;
  // A resumed range was answered with the whole file: everything is fetched again.
  bool startOver = false;
  // What went wrong inside a libcurl callback, raised once libcurl has returned: nothing may
  // unwind through libcurl's frames.
  uint32_t writeError = 0;
  std::exception_ptr callbackException;
  // The ranges in the order they were made (a deque: libcurl holds pointers to them), and in
  // the order of the file; together they cover the file without overlap.
  std::deque<Segment> segments;
  std::vector<Segment*> byStart;
  // The digest follower reads up to the first byte not on disk yet, in the range at this place
  // of byStart.
  std::size_t digestRange = 0;
  uint64_t digestEnd = 0;
  int restartsLeft = kRestarts;
  double finishedSpeed = 0;  // bytes per second of the fastest range that finished, or 0
};

size_t CHttpDownload::Impl::Segment::Store(const char* data, size_t bytes) {
  Impl& download = *owner->impl_;
  // Once a callback has failed the download is over: the other transfers of the same
  // curl_multi_perform stop at their next chunk, without the handler hearing of it.
  if (download.callbackException || download.writeError != 0) return 0;
  if (!answerChecked) {
    const RangeAnswer answer = JudgeAnswer();
    // The file changed since the bytes on disk arrived: the download starts over.
    if (answer == RangeAnswer::kFileChanged) download.startOver = true;
    if (answer != RangeAnswer::kFits) return 0;  // an error page or another range: never written
    answerChecked = true;
  }
  const size_t room = static_cast<size_t>(size - received);
  // A range whose back another connection took over keeps what fits and ends its transfer;
  // any other range refuses an answer longer than itself.
  const bool shortened = requestedEnd > start + static_cast<uint32_t>(size);
  if (bytes > room && !shortened) return 0;
  const size_t taken = bytes > room ? room : bytes;
  uint32_t error = 0;
  if (taken > 0 && !download.part.File().WriteAt(uint64_t{start} + static_cast<uint64_t>(received),
                                                 data, taken, &error)) {
    download.writeError = error != 0 ? error : platform::kErrorWriteFault;
    return 0;
  }
  received += static_cast<int>(taken);
  owner->downloaded_ += static_cast<uint32_t>(taken);
  if (download.follower && download.digestRange < download.byStart.size() &&
      download.byStart[download.digestRange] == this)
    download.AdvanceDigest();
  download.KeepJournalCurrent();
  if (IDownloadHandler* handler = download.handler) {
    const uint64_t percent = uint64_t{owner->downloaded_} * 100 / owner->totalSize_;
    handler->OnProgress(static_cast<int32_t>(taken), static_cast<int32_t>(percent));
  }
  if (taken < bytes) {
    cutShort = true;
    return 0;  // ends this transfer: the rest is the other connection's
  }
  return bytes;
}

void CHttpDownload::Impl::Segment::NoteHeader(const char* line, size_t length) {
  // A status line opens a new answer (after a 100 Continue, say): forget the previous one.
  if (HeaderLineStartsWith(line, length, "http/")) {
    answerRange = ContentRange();
    answerChecked = false;
    return;
  }
  static const char kName[] = "content-range:";
  if (HeaderLineStartsWith(line, length, kName))
    answerRange =
        ParseContentRange(std::string(line + sizeof kName - 1, length - (sizeof kName - 1)));
}

RangeAnswer CHttpDownload::Impl::Segment::JudgeAnswer() const {
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  return JudgeRangeAnswer(status, answerRange, uint64_t{start} + static_cast<uint64_t>(onDisk),
                          requestedEnd, owner->totalSize_, onDisk > 0);
}

void CHttpDownload::Impl::Segment::Restart() {
  received = onDisk;
  cutShort = false;
  answerRange = ContentRange();
  answerChecked = false;
}

size_t CHttpDownload::Impl::Segment::WriteCallback(char* data, size_t size, size_t count,
                                                   void* segment) {
  Segment* target = static_cast<Segment*>(segment);
  try {
    return target->Store(data, size * count);
  } catch (...) {
    target->owner->impl_->HoldCallbackException(std::current_exception());
    return 0;
  }
}

size_t CHttpDownload::Impl::Segment::HeaderCallback(char* line, size_t size, size_t count,
                                                    void* segment) {
  Segment* target = static_cast<Segment*>(segment);
  try {
    target->NoteHeader(line, size * count);
    return size * count;
  } catch (...) {
    target->owner->impl_->HoldCallbackException(std::current_exception());
    return 0;
  }
}

void CHttpDownload::Impl::HoldCallbackException(std::exception_ptr error) {
  if (!callbackException) callbackException = error;
}

CHttpDownload::Impl::~Impl() {
  follower.reset();
  checkpoints.reset();  // its thread flushes the file, which must stay open until it ends
  DestroyMulti();
  ReleaseSegments();
  (void)part.File().Close(nullptr);
}

void CHttpDownload::Impl::ReleaseSegments() {
  for (Segment& segment : segments) {
    if (segment.handle) curl_easy_cleanup(segment.handle);
    segment.handle = nullptr;
    if (segment.headers) curl_slist_free_all(segment.headers);
    segment.headers = nullptr;
  }
  segments.clear();
  byStart.clear();
}

// At most ten transfers at a time: the ranges beyond ten (after a resume of split ranges)
// wait for a connection.
CURLM* CHttpDownload::Impl::NewMulti() {
  CURLM* made = curl_multi_init();
  if (!made) throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
  curl_multi_setopt(made, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(kSegmentCount));
  return made;
}

// Where the ranges start: at every tenth of the file (the first nine ranges of a file under
// ten bytes are empty: the last one takes the whole file), and where a range an earlier run
// left on disk starts (a range that was split then), ascending.
std::vector<uint32_t> CHttpDownload::Impl::RangeStarts() const {
  const uint32_t tenth = self.totalSize_ / kSegmentCount;
  std::vector<uint32_t> starts;
  for (int i = 0; i < kSegmentCount; ++i) starts.push_back(static_cast<uint32_t>(i) * tenth);
  const std::size_t tenths = starts.size();
  for (const auto& range : part.ClaimedOnDisk())
    if (std::find(starts.begin(), starts.end(), range.first) == starts.end())
      starts.push_back(range.first);
  std::sort(starts.begin() + tenths, starts.end());
  std::inplace_merge(starts.begin(), starts.begin() + tenths, starts.end());
  return starts;
}

// Sets the ranges out (their bytes on disk already in onDisk) and makes a transfer for each
// range that is not whole yet.
void CHttpDownload::Impl::PrepareSegments() {
  if (!multi) multi = NewMulti();
  ReleaseSegments();
  const std::vector<uint32_t> starts = RangeStarts();
  self.downloaded_ = 0;
  digestRange = 0;
  digestEnd = 0;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    segments.emplace_back();
    Segment& segment = segments.back();
    segment.index = static_cast<int>(i);
    segment.owner = &self;
    segment.start = starts[i];
    const uint32_t end = i + 1 < starts.size() ? starts[i + 1] : self.totalSize_;
    segment.size = static_cast<int>(end - segment.start);
    // What the journal claims from this start, as far as the range reaches.
    for (const auto& range : part.ClaimedOnDisk())
      if (range.first == segment.start)
        segment.onDisk = static_cast<int>(std::min(range.second, end - segment.start));
    segment.Restart();
    byStart.push_back(&segment);
    self.downloaded_ += static_cast<uint32_t>(segment.onDisk);
    // A range an earlier run completed is not asked for again.
    segment.complete = segment.onDisk == segment.size;
    if (!segment.complete) PrepareSegment(segment);
  }
}

void CHttpDownload::Impl::PrepareSegment(Segment& segment) {
  segment.handle = curl_easy_init();
  if (!segment.handle) throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);

  CURL* handle = segment.handle;
  if (SecureConnection(handle, segment.reason) != 0)
    throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
  const CURLcode failed = FirstFailure({
      curl_easy_setopt(handle, CURLOPT_URL, url.c_str()),
      AskForRest(segment),
      curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Segment::WriteCallback),
      curl_easy_setopt(handle, CURLOPT_WRITEDATA, &segment),
  });
  if (failed != CURLE_OK) throw DownloadError(CHttpDownloadEx::kDownloadError, failed);
  // Less than one byte per second for lowSpeedSeconds ends the transfer with result 28.
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &Segment::HeaderCallback);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &segment);
  // Large reads: fewer passes through the loop and the callbacks per byte on fast links.
  curl_easy_setopt(handle, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  // The rest of a range an earlier run began only while the file is the same one; a server
  // that finds it changed answers with the whole file, and the download starts over.
  if (segment.onDisk > 0) {
    const std::string condition = "If-Range: " + validator;
    segment.headers = curl_slist_append(nullptr, condition.c_str());
    if (!segment.headers) throw DownloadError(CHttpDownloadEx::kUnableToAllocMem);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, segment.headers);
  }
  AddTransfer(segment);
}

// The range's bytes not on disk: "first-last", or "first-" for the range that ends the file.
CURLcode CHttpDownload::Impl::AskForRest(Segment& segment) {
  const uint32_t first = segment.start + static_cast<uint32_t>(segment.onDisk);
  segment.requestedEnd = segment.start + static_cast<uint32_t>(segment.size);
  char range[32];
  if (segment.requestedEnd == self.totalSize_)
    std::snprintf(range, sizeof range, "%lu-", static_cast<unsigned long>(first));
  else
    std::snprintf(range, sizeof range, "%lu-%lu", static_cast<unsigned long>(first),
                  static_cast<unsigned long>(segment.requestedEnd - 1));
  return curl_easy_setopt(segment.handle, CURLOPT_RANGE, range);
}

// A transfer counts as running until libcurl reports its end, so one that never got on the
// multi handle would be waited for forever: that is a failure at once.
void CHttpDownload::Impl::AddTransfer(Segment& segment) {
  if (curl_multi_add_handle(multi, segment.handle) != CURLM_OK)
    throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
  segment.running = true;
}

DownloadJournal CHttpDownload::Impl::CurrentJournal() const {
  DownloadJournal journal;
  journal.url = url;
  journal.size = self.totalSize_;
  journal.validator = validator;
  for (const Segment& segment : segments)
    if (segment.received > 0)
      journal.ranges.emplace_back(segment.start, static_cast<uint32_t>(segment.received));
  return journal;
}

// The journal is an aid for a later run: a failure to write it costs that run the bytes on
// disk, never this download. durable: flushed to the disk (when the download stops). The
// caller makes sure the bytes it claims are on the disk first (or claims none).
bool CHttpDownload::Impl::SaveProgress(bool durable) {
  journaledAt = self.downloaded_;
  journaledWhen = std::chrono::steady_clock::now();
  recent = earlier = Sample{journaledWhen, self.downloaded_};
  return SaveJournal(part.JournalPath(), CurrentJournal(), durable);
}

// Checkpoints matter only to a download a later run can resume.
void CHttpDownload::Impl::StartCheckpoints() {
  if (!journalWritten || validator.empty()) return;
  checkpoints.reset(new JournalCheckpoints(part.File(), part.JournalPath()));
  if (!checkpoints->Start()) checkpoints.reset();
}

void CHttpDownload::Impl::StopCheckpoints() {
  if (checkpoints) checkpoints->Stop();
  checkpoints.reset();
}

// Offered, not waited for: while the previous checkpoint is still flushing, the next offer
// comes with the next chunk.
void CHttpDownload::Impl::KeepJournalCurrent() {
  if (!checkpoints) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - recent.when >= kSpeedWindow) {
    earlier = recent;
    recent = Sample{now, self.downloaded_};
  }
  if (self.downloaded_ == journaledAt || now - journaledWhen < kJournalEvery) return;
  // The rest due within kJournalEvery at the speed of late: left / (gained / since) <
  // kJournalEvery, without a division.
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(now - earlier.when);
  const uint64_t gained = self.downloaded_ - earlier.downloaded;
  const uint64_t left = self.totalSize_ - self.downloaded_;
  if (left * static_cast<uint64_t>(since.count()) <
      gained * static_cast<uint64_t>(kJournalEvery.count()))
    return;
  if (checkpoints->Offer(CurrentJournal())) {
    journaledAt = self.downloaded_;
    journaledWhen = now;
  }
}

// A file is complete only at exactly the server's size: nothing of an earlier, longer content
// may stay behind its end.
void CHttpDownload::Impl::CheckLength() {
  uint32_t error = 0;
  uint64_t length = 0;
  if (!part.File().Size(&length, &error)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
  if (length != self.totalSize_) Fail(CHttpDownloadEx::kFileCorrupted);
}

void CHttpDownload::Impl::Fail(int32_t code, int32_t detail, uint32_t sysError) {
  throw DownloadError(code, detail, sysError);
}

// An unfinished download keeps its bytes for the next run when the server names a validator
// of the file; without one a later run could not tell the same file from another. A journal
// that could not be written when the ranges were set out takes the file with it.
void CHttpDownload::Impl::LeaveForResume() {
  follower.reset();  // its reading handle would keep the file from being removed on Windows
  StopCheckpoints();
  if (validator.empty() || !journalWritten)
    part.Discard();
  else
    part.KeepForResume(CurrentJournal());
}

void CHttpDownload::Impl::DiscardPart() {
  follower.reset();
  StopCheckpoints();
  part.Discard();
}

// The first attempt carries every segment, each of up to two restarts the incomplete ones.
void CHttpDownload::Impl::Transfer() {
  restartsLeft = kRestarts;
  for (;;) {
    DriveAttempt();
    if (StartOverIfAsked()) continue;
    DestroyMulti();
    if (restartsLeft == 0) return;
    --restartsLeft;
    if (!RestartIncomplete()) return;
  }
}

// After a resumed range was answered with the whole file: every range is asked for again
// from its first byte, without If-Range. Happens at most once (nothing is resumed after it).
bool CHttpDownload::Impl::StartOverIfAsked() {
  if (!startOver) return false;
  startOver = false;
  if (follower) follower->Abandon();  // the bytes it hashed are fetched again
  DestroyMulti();
  ReleaseSegments();
  part.ForgetClaims();
  PrepareSegments();
  // A checkpoint under way would put back the claims of the bytes now worthless.
  if (checkpoints) checkpoints->WaitIdle();
  journalWritten = SaveProgress(false) && journalWritten;
  return true;
}

// Transfer passes until no transfer of this attempt is running.
void CHttpDownload::Impl::DriveAttempt() {
  for (;;) {
    if (handler) handler->OnTick();
    if (self.cancel) Fail(CHttpDownloadEx::kCanceled);
    // Sleep until a socket is ready or a libcurl timer is due instead of spinning.
    curl_multi_poll(multi, nullptr, 0, kPassWaitMs, nullptr);
    int running = 0;
    curl_multi_perform(multi, &running);
    RaiseCallbackFailures();
    if (startOver) return;
    // Ends as they come, so that a connection that is done can take over another's range,
    // now or once the speeds show which one is slow.
    CollectResults(restartsLeft);
    while (TakeOverSlowestRange()) {
    }
    if (running == 0 && !AnyRunning()) return;
  }
}

// A handler that threw, or a file that could not be written, ends the download: retrying a
// range cannot help either.
void CHttpDownload::Impl::RaiseCallbackFailures() {
  if (callbackException) {
    std::exception_ptr error = callbackException;
    callbackException = nullptr;
    std::rethrow_exception(error);
  }
  if (writeError != 0) Fail(CHttpDownloadEx::kErrorSavingFile, 0, writeError);
}

namespace {

// Bytes per second of a transfer so far; 0 before its first byte.
double SpeedOf(CURL* handle) {
  curl_off_t speed = 0;
  if (curl_easy_getinfo(handle, CURLINFO_SPEED_DOWNLOAD_T, &speed) != CURLE_OK) return 0;
  return static_cast<double>(speed);
}

}  // namespace

void CHttpDownload::Impl::CollectResults(int restartsLeft) {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    const CURLcode result = message->data.result;
    for (const Segment& segment : segments)
      if (segment.handle == message->easy_handle && IsCertificateFailure(result, segment.reason))
        throw UnverifiedServer(url, result, segment.reason);
    // Name resolution and time-outs get another chance while restarts are left.
    if ((result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_OPERATION_TIMEDOUT) &&
        restartsLeft == 0)
      Fail(CHttpDownloadEx::kNetworkError, result);
    // A broken connection ends the whole download at once.
    if (result == CURLE_RECV_ERROR) Fail(CHttpDownloadEx::kNetworkReset, result);
    for (Segment& segment : segments) {
      if (segment.handle != message->easy_handle) continue;
      segment.running = false;
      // A transfer that ended in an error (a refused answer or excess among them) is never
      // complete, even when the range happens to be full; nor is one whose answer was never
      // checked (no body at all). One ended here because its range was full and the rest
      // taken over is.
      const bool ended = result == CURLE_OK || (result == CURLE_WRITE_ERROR && segment.cutShort);
      segment.complete = ended && segment.answerChecked && segment.received == segment.size;
      if (segment.complete) finishedSpeed = std::max(finishedSpeed, SpeedOf(segment.handle));
      break;
    }
  }
}

bool CHttpDownload::Impl::AnyRunning() const {
  for (const Segment& segment : segments)
    if (segment.running) return true;
  return false;
}

// While fewer ranges are unfinished than there are connections, a connection that is done
// takes over the back half of the range that will take longest to finish (its bytes left over
// its speed so far; a range without bytes yet is taken to be as fast as the fastest that
// finished). The range keeps its front half: its transfer ends where the half it keeps is
// full. False when no range was taken over.
bool CHttpDownload::Impl::TakeOverSlowestRange() {
  if (segments.size() >= kMostRanges || finishedSpeed <= 0) return false;
  std::size_t unfinished = 0;
  for (const Segment& segment : segments)
    if (!segment.complete) ++unfinished;
  if (unfinished >= static_cast<std::size_t>(kSegmentCount)) return false;
  Segment* slowest = nullptr;
  double longest = kTakeOverSeconds;
  for (Segment& segment : segments) {
    const uint32_t left = static_cast<uint32_t>(segment.size - segment.received);
    if (!segment.running || segment.cutShort || left < 2 * kSmallestTakeOver) continue;
    const double measured = SpeedOf(segment.handle);
    const double seconds = left / (measured > 0 ? measured : finishedSpeed);
    if (seconds > longest) {
      longest = seconds;
      slowest = &segment;
    }
  }
  if (!slowest) return false;
  const uint32_t left = static_cast<uint32_t>(slowest->size - slowest->received);
  const uint32_t at = slowest->start + static_cast<uint32_t>(slowest->received) + left / 2;
  const uint32_t end = slowest->start + static_cast<uint32_t>(slowest->size);
  slowest->size = static_cast<int>(at - slowest->start);
  segments.emplace_back();
  Segment& taken = segments.back();
  taken.index = static_cast<int>(segments.size() - 1);
  taken.owner = &self;
  taken.start = at;
  taken.size = static_cast<int>(end - at);
  taken.Restart();
  const auto place = std::find(byStart.begin(), byStart.end(), slowest) - byStart.begin();
  byStart.insert(byStart.begin() + place + 1, &taken);
  if (static_cast<std::size_t>(place) < digestRange) ++digestRange;
  PrepareSegment(taken);
  return true;
}

// The easy handles survive the multi handle: they are detached first and keep their options.
void CHttpDownload::Impl::DestroyMulti() {
  if (!multi) return;
  for (Segment& segment : segments) {
    if (segment.handle) curl_multi_remove_handle(multi, segment.handle);
    segment.running = false;
  }
  curl_multi_cleanup(multi);
  multi = nullptr;
}

// Puts every incomplete segment, emptied, on a new multi handle. Returns whether there was any.
bool CHttpDownload::Impl::RestartIncomplete() {
  bool restarted = false;
  for (Segment& segment : segments) {
    if (segment.complete) continue;
    if (!multi) multi = NewMulti();
    // Bytes the follower may have hashed are written again: the finished file is hashed whole.
    if (follower && segment.received > segment.onDisk) follower->Abandon();
    self.downloaded_ -= static_cast<uint32_t>(segment.received - segment.onDisk);
    segment.Restart();
    // A range whose back was taken over asks only for what it kept.
    const CURLcode asked = AskForRest(segment);
    if (asked != CURLE_OK) Fail(CHttpDownloadEx::kDownloadError, asked);
    AddTransfer(segment);
    restarted = true;
  }
  return restarted;
}

bool CHttpDownload::Impl::AllComplete() const {
  for (const Segment& segment : segments)
    if (!segment.complete) return false;
  return true;
}

// The bytes are on disk already; the write-out reports each range as written, in order, and
// still honours a stop request between them.
void CHttpDownload::Impl::ReportWritten() {
  if (handler) {
    handler->OnTransferDone();
    handler->OnWriteStart(static_cast<int32_t>(self.totalSize_));
  }
  uint64_t written = 0;
  for (Segment& segment : segments) {
    written += static_cast<uint64_t>(segment.received);
    if (handler) handler->OnWritten(segment.received);
    if (self.cancel) Fail(CHttpDownloadEx::kCanceled);
  }
  // Matching sums alone could hide a range that ended badly after its bytes had arrived, so
  // every segment must also have ended cleanly.
  if (written != self.totalSize_ || self.downloaded_ != self.totalSize_ || !AllComplete())
    Fail(CHttpDownloadEx::kFileCorrupted);
}

// Starts hashing the temporary file as its ranges arrive; without a thread the file is hashed
// once it is whole.
void CHttpDownload::Impl::StartDigestFollower() {
  if (expectedSha256.empty()) return;
  digestRange = 0;
  digestEnd = 0;
  AdvanceDigest();
  // One range for the follower: the file's first bytes that are all on disk, as far as the
  // ranges (which split ones join) have them.
  follower.reset(new DigestFollower(part.Path(), self.totalSize_, {0}, {digestEnd}));
  if (!follower->Start()) follower.reset();
}

// Moves the end of the first bytes all on disk through the ranges that are full, into the
// first one that is not, and tells the follower.
void CHttpDownload::Impl::AdvanceDigest() {
  while (digestRange < byStart.size()) {
    const Segment& segment = *byStart[digestRange];
    digestEnd = std::max<uint64_t>(digestEnd, uint64_t{segment.start} + segment.received);
    if (segment.received < segment.size) break;
    ++digestRange;
  }
  if (follower) follower->Advance(0, digestEnd);
}

// Compares the SHA-256 of the closed temporary file with the one expected. A digest that
// does not match is made again from the file as the system holds it before it is believed.
void CHttpDownload::Impl::VerifyDigest() {
  if (expectedSha256.empty()) return;
  std::string actual = follower ? follower->Finish() : std::string();
  follower.reset();
  if (actual == expectedSha256) return;
  actual = DigestOfPart();
  if (actual == expectedSha256) return;
  CHttpDownloadEx mismatch = DownloadError(CHttpDownloadEx::kHashMismatch);
  mismatch.text = "expected SHA-256 " + expectedSha256 + ", received " + actual;
  throw mismatch;
}

// Reads the whole temporary file back: its SHA-256 as lower-case hex, with the bytes read
// after it when the file is not of the expected size.
std::string CHttpDownload::Impl::DigestOfPart() {
  const FileDigest digest = DigestOfFile(part.Path());
  switch (digest.failure) {
    case FileDigest::kNone:
      break;
    case FileDigest::kOpen:
      Fail(CHttpDownloadEx::kErrorSavingFile, 0, digest.error);
    case FileDigest::kRead:
      Fail(CHttpDownloadEx::kErrorSavingFile, 0, platform::kErrorReadFault);
    case FileDigest::kHash:
    case FileDigest::kStopped:
      Fail(CHttpDownloadEx::kDownloadError, 0, digest.error);
  }
  return digest.bytes == self.totalSize_
             ? digest.sha256
             : digest.sha256 + " (" + std::to_string(digest.bytes) + " bytes)";
}

// Renames the closed temporary file over the destination; its journal goes after it.
void CHttpDownload::Impl::PutInPlace() {
  uint32_t error = 0;
  if (!part.Keep(destination, &error)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
}

CHttpDownload::CHttpDownload(std::string url, std::wstring destination, IDownloadHandler* handler,
                             std::wstring pipeName, long lowSpeedSeconds)
    : impl_(new Impl(*this, std::move(url), std::move(destination), handler, std::move(pipeName),
                     lowSpeedSeconds)) {
  impl_->multi = impl_->NewMulti();
  totalSize_ = impl_->QuerySize();
  downloaded_ = 0;
  impl_->presencePipe = platform::CreatePresencePipe(impl_->pipeName);
}

CHttpDownload::~CHttpDownload() = default;

bool CHttpDownload::ExpectSha256(const std::string& sha256) {
  const std::string normalized = NormalizeSha256(sha256);
  if (normalized.empty()) return false;
  impl_->expectedSha256 = normalized;
  return true;
}

namespace {

// Keeps the validator of the file from the size query's header lines: the ETag, else the
// Last-Modified date, of the last answer (after redirects).
struct ValidatorHeaders {
  std::string etag;
  std::string lastModified;
};

size_t NoteValidator(char* line, size_t size, size_t count, void* target) {
  ValidatorHeaders* headers = static_cast<ValidatorHeaders*>(target);
  const size_t length = size * count;
  try {
    if (HeaderLineStartsWith(line, length, "http/")) {
      *headers = ValidatorHeaders();
    } else if (HeaderLineStartsWith(line, length, "etag:")) {
      headers->etag = HeaderLineValue(line, length, 5);
    } else if (HeaderLineStartsWith(line, length, "last-modified:")) {
      headers->lastModified = HeaderLineValue(line, length, 14);
    }
  } catch (...) {
    return 0;  // out of memory: the query fails
  }
  return length;
}

}  // namespace

uint32_t CHttpDownload::Impl::QuerySize() {
  char reason[kConnectionReasonSize] = {};  // outlives the handle
  EasyHandle handle(curl_easy_init());
  if (!handle) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, CURLE_FAILED_INIT);
  CURL* curl = handle.get();
  if (SecureConnection(curl, reason) != 0)
    throw DownloadError(CHttpDownloadEx::kUnableToGetSize, CURLE_FAILED_INIT);
  const CURLcode failed = FirstFailure({
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str()),
      curl_easy_setopt(curl, CURLOPT_HEADER, 1L),
      curl_easy_setopt(curl, CURLOPT_NOBODY, 1L),
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &DiscardBody),
  });
  if (failed != CURLE_OK) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, failed);
  ValidatorHeaders headers;
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &NoteValidator);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
  // A server that accepts the connection and then stays silent must not hang the installer.
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kQueryConnectSeconds);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);

  const CURLcode result = curl_easy_perform(curl);
  if (IsCertificateFailure(result, reason)) throw UnverifiedServer(url, result, reason);
  if (result != CURLE_OK) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, result);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  // An error answer's length is that of its error page, not of the file.
  if (status >= 400) throw DownloadError(CHttpDownloadEx::kUnableToGetSize);
  curl_off_t length = -1;
  const CURLcode read = curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (read != CURLE_OK) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, read);
  uint32_t size = 0;
  if (!FileSizeFromLength(static_cast<int64_t>(length), &size))
    throw DownloadError(CHttpDownloadEx::kUnableToGetSize);
  validator = ChooseValidator(headers.etag, headers.lastModified);
  return size;
}

uint32_t CHttpDownload::Run() {
  try {
    impl_->part.Open(impl_->destination, impl_->url, totalSize_, impl_->validator);
    impl_->PrepareSegments();
    // It claims only ranges an earlier run had flushed before its journal claimed them.
    impl_->journalWritten = impl_->SaveProgress(false);
    impl_->StartCheckpoints();
    impl_->StartDigestFollower();
    if (impl_->handler) impl_->handler->OnStart(static_cast<int32_t>(totalSize_));
    impl_->Transfer();
    impl_->ReportWritten();
    impl_->StopCheckpoints();
    impl_->CheckLength();
    // A failure to close can be data the system could not write.
    uint32_t error = 0;
    if (!impl_->part.File().Close(&error))
      throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
  } catch (...) {
    impl_->LeaveForResume();
    throw;
  }
  try {
    impl_->VerifyDigest();
    impl_->PutInPlace();
  } catch (...) {
    // Bytes that do not make the expected file are worth nothing to a later run.
    impl_->DiscardPart();
    throw;
  }
  if (impl_->handler) impl_->handler->OnComplete();
  return totalSize_;
}

}  // namespace orvex
