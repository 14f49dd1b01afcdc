#include "actions/segmented_download.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "actions/connection_security.h"
#include "actions/digest_follower.h"
#include "actions/download_journal.h"
#include "actions/journal_checkpoints.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/pipe.h"
#include "platform/sha256.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

const char* const kErrorNames[] = {
    "DOWNLOAD_ERROR",           "DOWNLOAD_CANCELED",   "DOWNLOAD_FILE_CORRUPTED",
    "ERROR_SAVING_FILE",        "NETWORK_ERROR",       "NETWORK_RESET",
    "UNABLE_TO_GET_SIZE",       "UNABLE_TO_ALLOC_MEM", "DOWNLOAD_HASH_MISMATCH",
    "CERTIFICATE_NOT_VERIFIED",
};
const int32_t kNamedErrors = static_cast<int32_t>(sizeof kErrorNames / sizeof kErrorNames[0]);

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
// A checkpoint of the journal is offered after this many bytes: a killed process fetches
// about this much again (plus what arrived during the last checkpoint's flush).
const uint32_t kJournalEveryBytes = 4u << 20;
// ... and, while bytes arrive more slowly than that, once this long after the last one: a
// killed process on a slow line fetches about this long's worth again.
constexpr std::chrono::seconds kJournalEveryPeriod(1);
// The file is hashed through a buffer of this size, never as a whole.
const std::size_t kHashBufferBytes = 1u << 20;
// Temporary names tried before giving up: "<destination>.part", then ".1.part" to ".15.part".
const int kPartNames = 16;

CHttpDownloadEx DownloadError(int32_t code, int32_t detail = 0, uint32_t sysError = 0) {
  CHttpDownloadEx error;
  error.code = code;
  error.detail = detail;
  error.sysError = sysError;
  return error;
}

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

std::string DescribeDownloadError(const CHttpDownloadEx& error) {
  if (error.code < 1 || error.code > kNamedErrors) return "UNKNOWN_ERROR";
  const long double number = error.sysError != 0 ? error.sysError : error.detail;
  char text[64];
  std::snprintf(text, sizeof text, "%Lg", number);
  std::string described = std::string(kErrorNames[error.code - 1]) + " (" + text + ")";
  // The digests belong to the description; a certificate's sentence is for the user's eyes.
  if (error.code == CHttpDownloadEx::kHashMismatch && !error.text.empty())
    described += ": " + error.text;
  return described;
}

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

// The Content-Range of a ranged answer: "bytes first-last/total", total -1 for "*".
struct ContentRange {
  bool present = false;
  uint64_t first = 0;
  uint64_t last = 0;
  int64_t total = -1;
};

// One byte range of the file, written at its offset in the temporary file as it arrives.
struct CHttpDownload::Segment {
  int index = 0;
  uint32_t start = 0;  // offset of the range's first byte in the file
  int size = 0;        // bytes this range must deliver
  bool complete = false;
  int onDisk = 0;                 // bytes from start that an earlier run left on disk
  int received = 0;               // bytes from start on disk now (onDisk included)
  CURL* handle = nullptr;         // keeps its options across restarts
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
  // A 206 for exactly this range, or a 200 when this one request asks for the whole file.
  bool AnswerFits() const;
  void Restart();
};

namespace {

bool StartsWithNoCase(const char* text, size_t length, const char* prefix) {
  const size_t wanted = std::strlen(prefix);
  if (length < wanted) return false;
  for (size_t i = 0; i < wanted; ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

// Reads the digits at text[*at]; false when there are none or too many.
bool ReadNumber(const std::string& text, size_t* at, uint64_t* value) {
  const size_t from = *at;
  *value = 0;
  while (*at < text.size() && std::isdigit(static_cast<unsigned char>(text[*at]))) {
    if (*at - from >= 18) return false;
    *value = *value * 10 + static_cast<uint64_t>(text[*at] - '0');
    ++*at;
  }
  return *at > from;
}

// The value of a "Content-Range:" header line, "bytes 0-99/1005" (blanks around it allowed).
ContentRange ParseContentRange(const std::string& value) {
  ContentRange range;
  size_t at = value.find_first_not_of(" \t");
  if (at == std::string::npos || !StartsWithNoCase(value.c_str() + at, value.size() - at, "bytes "))
    return range;
  at = value.find_first_not_of(" \t", at + 6);
  uint64_t first = 0, last = 0, total = 0;
  if (at == std::string::npos || !ReadNumber(value, &at, &first)) return range;
  if (at >= value.size() || value[at++] != '-' || !ReadNumber(value, &at, &last)) return range;
  if (at >= value.size() || value[at++] != '/' || last < first) return range;
  if (at < value.size() && value[at] == '*') {
    ++at;
    range.total = -1;
  } else if (ReadNumber(value, &at, &total)) {
    range.total = static_cast<int64_t>(total);
  } else {
    return range;
  }
  if (value.find_first_not_of(" \t\r\n", at) != std::string::npos) return range;
  range.present = true;
  range.first = first;
  range.last = last;
  return range;
}

}  // namespace

struct CHttpDownload::Impl {
  Impl(CHttpDownload& owner, std::string address, std::wstring path, IDownloadHandler* events,
       std::wstring pipe, long lowSpeed)
      : self(owner),
        url(std::move(address)),
        destination(std::move(path)),
        handler(events),
        pipeName(std::move(pipe)),
        lowSpeedSeconds(lowSpeed) {}
  ~Impl();

  void PrepareSegments();
  void PrepareSegment(Segment& segment, int part);
  void ReleaseSegments();

  void OpenFiles();
  bool ResumeOwnPart();
  bool TakePartName(const std::wstring& candidate, const std::wstring& journal);
  bool TakeOwnPart(const DownloadJournal* resumable);
  bool IsResumable(const DownloadJournal& journal) const;
  void RemoveOtherOwnParts();
  void TakeOnDiskRanges(const DownloadJournal& journal);
  void ReserveSize();
  DownloadJournal CurrentJournal() const;
  bool SaveProgress(bool durable);
  void StartCheckpoints();
  void StopCheckpoints();
  void KeepJournalCurrent();
  void KeepJournalFresh();
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
  void DestroyMulti();
  bool RestartIncomplete();
  void ReportWritten();
  void PutInPlace();
  bool AllComplete() const;

  CHttpDownload& self;
  std::string url;
  std::wstring destination;
  std::wstring partPath;
  std::wstring journalPath;
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
  platform::PositionedFile part;
  bool partCreated = false;
  // The journal could be written when the ranges were set out. Without it the temporary file
  // is no file of ours to a later run: it is removed whenever the download ends unfinished.
  bool journalWritten = false;
  // Saves the journal during the transfer, each time after flushing the temporary file.
  std::unique_ptr<JournalCheckpoints> checkpoints;
  uint32_t journaledAt = 0;  // self.downloaded_ when the journal was last offered or written
  std::chrono::steady_clock::time_point journaledTime{};  // and when
  // A resumed range was answered with the whole file: everything is fetched again.
  bool startOver = false;
  // What went wrong inside a libcurl callback, raised once libcurl has returned: nothing may
  // unwind through libcurl's frames.
  uint32_t writeError = 0;
  std::exception_ptr callbackException;
  Segment segments[kSegmentCount];
};

size_t CHttpDownload::Segment::Store(const char* data, size_t bytes) {
  Impl& download = *owner->impl_;
  // Once a callback has failed the download is over: the other transfers of the same
  // curl_multi_perform stop at their next chunk, without the handler hearing of it.
  if (download.callbackException || download.writeError != 0) return 0;
  if (!answerChecked) {
    if (!AnswerFits()) return 0;  // an error page or another range: never written
    answerChecked = true;
  }
  if (bytes > static_cast<size_t>(size - received)) return 0;
  uint32_t error = 0;
  if (!download.part.WriteAt(uint64_t{start} + static_cast<uint64_t>(received), data, bytes,
                             &error)) {
    download.writeError = error != 0 ? error : platform::kErrorWriteFault;
    return 0;
  }
  received += static_cast<int>(bytes);
  owner->downloaded_ += static_cast<uint32_t>(bytes);
  if (download.follower) download.follower->Advance(index, static_cast<uint64_t>(received));
  download.KeepJournalCurrent();
  if (IDownloadHandler* handler = download.handler) {
    const uint64_t percent = uint64_t{owner->downloaded_} * 100 / owner->totalSize_;
    handler->OnProgress(static_cast<int32_t>(bytes), static_cast<int32_t>(percent));
  }
  return bytes;
}

void CHttpDownload::Segment::NoteHeader(const char* line, size_t length) {
  // A status line opens a new answer (after a 100 Continue, say): forget the previous one.
  if (StartsWithNoCase(line, length, "http/")) {
    answerRange = ContentRange();
    answerChecked = false;
    return;
  }
  static const char kName[] = "content-range:";
  if (StartsWithNoCase(line, length, kName))
    answerRange =
        ParseContentRange(std::string(line + sizeof kName - 1, length - (sizeof kName - 1)));
}

bool CHttpDownload::Segment::AnswerFits() const {
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  const uint32_t total = owner->totalSize_;
  // The whole file for a range asked with If-Range: the file changed since the bytes on disk
  // arrived, and the download starts over.
  if (status == 200 && onDisk > 0) owner->impl_->startOver = true;
  if (status == 200) return onDisk == 0 && start == 0 && static_cast<uint32_t>(size) == total;
  if (status != 206 || !answerRange.present) return false;
  return answerRange.first == uint64_t{start} + static_cast<uint64_t>(onDisk) &&
         answerRange.last == uint64_t{start} + static_cast<uint64_t>(size) - 1 &&
         (answerRange.total < 0 || answerRange.total == int64_t{total});
}

void CHttpDownload::Segment::Restart() {
  received = onDisk;
  answerRange = ContentRange();
  answerChecked = false;
}

namespace {

// The libcurl callbacks: every exception stops here and aborts the transfer by the return
// value; Run raises it again once libcurl has returned.
size_t WriteToSegment(char* data, size_t size, size_t count, void* segment) {
  CHttpDownload::Segment* target = static_cast<CHttpDownload::Segment*>(segment);
  try {
    return target->Store(data, size * count);
  } catch (...) {
    target->owner->HoldCallbackException(std::current_exception());
    return 0;
  }
}

size_t HeaderOfSegment(char* line, size_t size, size_t count, void* segment) {
  CHttpDownload::Segment* target = static_cast<CHttpDownload::Segment*>(segment);
  try {
    target->NoteHeader(line, size * count);
    return size * count;
  } catch (...) {
    target->owner->HoldCallbackException(std::current_exception());
    return 0;
  }
}

}  // namespace

void CHttpDownload::HoldCallbackException(std::exception_ptr error) {
  if (!impl_->callbackException) impl_->callbackException = error;
}

CHttpDownload::Impl::~Impl() {
  follower.reset();
  checkpoints.reset();  // its thread flushes the file, which must stay open until it ends
  DestroyMulti();
  ReleaseSegments();
  (void)part.Close(nullptr);
}

void CHttpDownload::Impl::ReleaseSegments() {
  for (Segment& segment : segments) {
    if (segment.handle) curl_easy_cleanup(segment.handle);
    segment.handle = nullptr;
    if (segment.headers) curl_slist_free_all(segment.headers);
    segment.headers = nullptr;
  }
}

// Sets the ranges out (their bytes on disk already in onDisk) and makes a transfer for each
// range that is not whole yet.
void CHttpDownload::Impl::PrepareSegments() {
  if (!multi) multi = curl_multi_init();
  if (!multi) throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
  const int part = static_cast<int>(self.totalSize_ / kSegmentCount);
  self.downloaded_ = 0;
  for (int i = 0; i < kSegmentCount; ++i) {
    Segment& segment = segments[i];
    segment.index = i;
    segment.owner = &self;
    segment.start = static_cast<uint32_t>(i) * static_cast<uint32_t>(part);
    segment.size = i < kSegmentCount - 1
                       ? part
                       : static_cast<int>(self.totalSize_) - (kSegmentCount - 1) * part;
    segment.Restart();
    self.downloaded_ += static_cast<uint32_t>(segment.onDisk);
    // A file under ten bytes leaves the first nine ranges empty; there is nothing to ask
    // for, and the last range takes the whole file. A range an earlier run completed is
    // not asked for again either.
    segment.complete = segment.onDisk == segment.size;
    if (segment.complete) continue;
    PrepareSegment(segment, part);
  }
}

void CHttpDownload::Impl::PrepareSegment(Segment& segment, int part) {
  const int start = segment.index * part + segment.onDisk;
  char range[32];
  if (segment.index < kSegmentCount - 1)
    std::snprintf(range, sizeof range, "%d-%d", start, segment.index * part + part - 1);
  else
    std::snprintf(range, sizeof range, "%d-", start);  // open to the end of the file

  segment.handle = curl_easy_init();
  if (!segment.handle) throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);

  CURL* handle = segment.handle;
  if (SecureConnection(handle, segment.reason) != 0)
    throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
  const CURLcode failed = FirstFailure({
      curl_easy_setopt(handle, CURLOPT_URL, url.c_str()),
      curl_easy_setopt(handle, CURLOPT_RANGE, range),
      curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &WriteToSegment),
      curl_easy_setopt(handle, CURLOPT_WRITEDATA, &segment),
  });
  if (failed != CURLE_OK) throw DownloadError(CHttpDownloadEx::kDownloadError, failed);
  // Less than one byte per second for lowSpeedSeconds ends the transfer with result 28.
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &HeaderOfSegment);
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
  curl_multi_add_handle(multi, handle);
}

// Finds the temporary file: ours from an earlier run of the same download (its journal says
// so), or a new one made exclusively under the first free name. A .part without a journal of
// ours belongs to someone else and is never opened. The file gets its full size now, so that
// a full disk shows before any transfer; Run writes the journal that marks it as ours as soon
// as the ranges are set out.
namespace {

std::wstring PartName(const std::wstring& destination, int number) {
  return destination + (number == 0 ? std::wstring() : L"." + std::to_wstring(number)) + L".part";
}

// A regular file: a link or a folder is never a file of ours, journal or not - writing through
// a link would write wherever it points.
bool IsPlainFileOrMissing(const std::wstring& path) {
  const uint32_t attributes = platform::FileAttributes(path);
  return attributes == platform::kInvalidFileAttributes ||
         (attributes &
          (platform::kFileAttributeReparsePoint | platform::kFileAttributeDirectory)) == 0;
}

}  // namespace

void CHttpDownload::Impl::OpenFiles() {
  bool taken = ResumeOwnPart();
  for (int i = 0; !taken && i < kPartNames; ++i) {
    const std::wstring candidate = PartName(destination, i);
    taken = TakePartName(candidate, JournalPathOf(candidate));
  }
  if (!taken) throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, platform::kErrorFileExists);
  RemoveOtherOwnParts();
}

// A temporary file of an earlier run of this very download, under any of the names, is
// resumed first, before a free name is taken for a new one.
bool CHttpDownload::Impl::ResumeOwnPart() {
  for (int i = 0; i < kPartNames; ++i) {
    partPath = PartName(destination, i);
    journalPath = JournalPathOf(partPath);
    DownloadJournal found;
    if (!LoadJournal(journalPath, &found) || !IsResumable(found)) continue;
    if (!platform::PathExists(partPath) || !IsPlainFileOrMissing(partPath)) continue;
    uint32_t error = 0;
    if (!part.OpenExisting(partPath, &error)) continue;
    if (TakeOwnPart(&found)) return true;
  }
  return false;
}

bool CHttpDownload::Impl::IsResumable(const DownloadJournal& journal) const {
  return journal.url == url && journal.size == self.totalSize_ && !validator.empty() &&
         journal.validator == validator;
}

// The temporary files of earlier runs for the same URL under the other names are worth
// nothing now: they go, so that leftovers do not take up the names one after another. One
// with other names (a hard link) is not ours to remove.
void CHttpDownload::Impl::RemoveOtherOwnParts() {
  for (int i = 0; i < kPartNames; ++i) {
    const std::wstring candidate = PartName(destination, i);
    const std::wstring journal = JournalPathOf(candidate);
    DownloadJournal found;
    if (candidate == partPath || !LoadJournal(journal, &found) || found.url != url) continue;
    if (!IsPlainFileOrMissing(candidate)) continue;
    platform::PositionedFile other;
    uint32_t error = 0, links = 0;
    if (platform::PathExists(candidate)) {
      if (!other.OpenExisting(candidate, &error) || !other.LinkCount(&links, &error) || links != 1)
        continue;
      (void)other.Close(nullptr);
      if (!platform::DeleteFileAt(candidate)) continue;
    }
    (void)platform::DeleteFileAt(journal);
  }
}

// True when candidate is now the open temporary file; false when it belongs to someone else.
bool CHttpDownload::Impl::TakePartName(const std::wstring& candidate, const std::wstring& journal) {
  partPath = candidate;
  journalPath = journal;
  const bool hasJournal = platform::PathExists(journal);
  if (!IsPlainFileOrMissing(candidate)) return false;
  if (hasJournal && platform::PathExists(candidate)) {
    // Ours: resumed when the journal is of this very file, else started over in place.
    uint32_t error = 0;
    if (!part.OpenExisting(partPath, &error))
      throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
    DownloadJournal found;
    const bool resumable = LoadJournal(journal, &found) && IsResumable(found);
    return TakeOwnPart(resumable ? &found : nullptr);
  }
  // A journal left without its file (the process ended just after the rename) is stale.
  // (Should it stay, the file created next to it starts with no ranges of its own.)
  if (hasJournal) (void)platform::DeleteFileAt(journal);
  uint32_t error = 0;
  if (!part.CreateNew(candidate, &error)) {
    // Something is there (it appeared since the look above, or cannot be opened at all).
    if (error == platform::kErrorFileExists || error == platform::kErrorAlreadyExists ||
        (error == platform::kErrorAccessDenied && platform::PathExists(candidate)))
      return false;
    throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
  }
  ReserveSize();
  return true;
}

// The open partPath, a file of ours from an earlier run: kept, with the ranges of resumable
// that the file can hold. False (the file closed) when the file has other names: a hard link
// written in place would change the file it shares its bytes with.
bool CHttpDownload::Impl::TakeOwnPart(const DownloadJournal* resumable) {
  uint32_t error = 0, links = 0;
  uint64_t length = 0;
  if (!part.LinkCount(&links, &error) || !part.Size(&length, &error))
    Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
  if (links != 1) {
    (void)part.Close(nullptr);
    return false;
  }
  // The journal is believed only as far as the file bears it out: a file too short for a
  // range it claims (cut, or never written) starts over.
  bool fits = resumable != nullptr;
  if (resumable)
    for (const auto& range : resumable->ranges)
      fits = fits && uint64_t{range.first} + range.second <= length;
  if (fits) TakeOnDiskRanges(*resumable);
  ReserveSize();
  return true;
}

// The journal's ranges that start a segment count as that segment's bytes on disk.
void CHttpDownload::Impl::TakeOnDiskRanges(const DownloadJournal& journal) {
  const uint32_t part = self.totalSize_ / kSegmentCount;
  for (const auto& range : journal.ranges) {
    for (int i = 0; i < kSegmentCount; ++i) {
      const uint32_t start = static_cast<uint32_t>(i) * part;
      const uint32_t size = i < kSegmentCount - 1 ? part : self.totalSize_ - start;
      if (range.first == start && range.second <= size && size > 0)
        segments[i].onDisk = static_cast<int>(range.second);
    }
  }
}

// Gives the open temporary file exactly the file's size (cut or grown); of an earlier run's
// bytes only the ranges in onDisk count.
void CHttpDownload::Impl::ReserveSize() {
  uint32_t error = 0;
  partCreated = true;
  if (!part.Reserve(self.totalSize_, &error)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
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
  journaledTime = std::chrono::steady_clock::now();
  return SaveJournal(journalPath, CurrentJournal(), durable);
}

// Checkpoints matter only to a download a later run can resume.
void CHttpDownload::Impl::StartCheckpoints() {
  if (!journalWritten || validator.empty()) return;
  checkpoints.reset(new JournalCheckpoints(part, journalPath));
  if (!checkpoints->Start()) checkpoints.reset();
}

void CHttpDownload::Impl::StopCheckpoints() {
  if (checkpoints) checkpoints->Stop();
  checkpoints.reset();
}

// Offered, not waited for: while the previous checkpoint is still flushing, the next offer
// comes with the next chunk.
void CHttpDownload::Impl::KeepJournalCurrent() {
  if (!checkpoints || self.downloaded_ - journaledAt < kJournalEveryBytes) return;
  if (checkpoints->Offer(CurrentJournal())) journaledAt = self.downloaded_;
}

// Once per transfer pass: a checkpoint of what arrived since the last one, once it is old.
void CHttpDownload::Impl::KeepJournalFresh() {
  if (!checkpoints || self.downloaded_ == journaledAt) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - journaledTime < kJournalEveryPeriod) return;
  if (checkpoints->Offer(CurrentJournal())) {
    journaledAt = self.downloaded_;
    journaledTime = now;
  }
}

// A file is complete only at exactly the server's size: nothing of an earlier, longer content
// may stay behind its end.
void CHttpDownload::Impl::CheckLength() {
  uint32_t error = 0;
  uint64_t length = 0;
  if (!part.Size(&length, &error)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
  if (length != self.totalSize_) Fail(CHttpDownloadEx::kFileCorrupted);
}

void CHttpDownload::Impl::Fail(int32_t code, int32_t detail, uint32_t sysError) {
  throw DownloadError(code, detail, sysError);
}

// An unfinished download keeps its bytes for the next run when the server names a validator
// of the file; without one a later run could not tell the same file from another.
// The journal that claims the bytes is saved only after they were flushed; a journal that
// cannot be written (a name too long for it, a full disk) takes the file with it, so that no
// file without a journal stays behind under one of the names.
void CHttpDownload::Impl::LeaveForResume() {
  follower.reset();  // its reading handle would keep the file from being removed on Windows
  StopCheckpoints();
  const bool flushed = part.IsOpen() && part.Flush(nullptr);
  (void)part.Close(nullptr);
  if (!partCreated) return;
  if (validator.empty() || !journalWritten || !flushed || !SaveProgress(true)) DiscardPart();
}

void CHttpDownload::Impl::DiscardPart() {
  follower.reset();
  StopCheckpoints();
  (void)part.Close(nullptr);
  if (partCreated) {
    // What cannot be removed stays as a leftover of ours: the journal, if it stays, makes
    // the next run take the file over and start it from zero.
    (void)platform::DeleteFileAt(partPath);
    (void)platform::DeleteFileAt(journalPath);
  }
  partCreated = false;
}

// The first attempt carries every segment, each of up to two restarts the incomplete ones.
void CHttpDownload::Impl::Transfer() {
  int restartsLeft = kRestarts;
  for (;;) {
    DriveAttempt();
    if (StartOverIfAsked()) continue;
    CollectResults(restartsLeft);
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
  for (Segment& segment : segments) segment.onDisk = 0;
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
    KeepJournalFresh();
    if (running == 0 || startOver) return;
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
      // A transfer that ended in an error (a refused answer or excess among them) is never
      // complete, even when the range happens to be full; nor is one whose answer was never
      // checked (no body at all).
      segment.complete =
          result == CURLE_OK && segment.answerChecked && segment.received == segment.size;
      break;
    }
  }
}

// The easy handles survive the multi handle: they are detached first and keep their options.
void CHttpDownload::Impl::DestroyMulti() {
  if (!multi) return;
  for (Segment& segment : segments)
    if (segment.handle) curl_multi_remove_handle(multi, segment.handle);
  curl_multi_cleanup(multi);
  multi = nullptr;
}

// Puts every incomplete segment, emptied, on a new multi handle. Returns whether there was any.
bool CHttpDownload::Impl::RestartIncomplete() {
  bool restarted = false;
  for (Segment& segment : segments) {
    if (segment.complete) continue;
    if (!multi) {
      multi = curl_multi_init();
      if (!multi) Fail(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
    }
    curl_multi_add_handle(multi, segment.handle);
    // Bytes the follower may have hashed are written again: the finished file is hashed whole.
    if (follower && segment.received > segment.onDisk) follower->Abandon();
    self.downloaded_ -= static_cast<uint32_t>(segment.received - segment.onDisk);
    segment.Restart();
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
  std::vector<uint64_t> starts, onDisk;
  for (const Segment& segment : segments) {
    starts.push_back(segment.start);
    onDisk.push_back(static_cast<uint64_t>(segment.received));
  }
  follower.reset(new DigestFollower(partPath, self.totalSize_, starts, onDisk));
  if (!follower->Start()) follower.reset();
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

// Reads the whole temporary file back through a fixed buffer: its SHA-256 as lower-case hex,
// or "" when the file is not of the expected size.
std::string CHttpDownload::Impl::DigestOfPart() {
  uint32_t error = 0;
  std::FILE* file = platform::OpenForReading(partPath);
  if (!file) Fail(CHttpDownloadEx::kErrorSavingFile, 0, platform::kErrorAccessDenied);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, &std::fclose);
  std::unique_ptr<char[]> buffer(new char[kHashBufferBytes]);
  platform::Sha256 hash;
  if (!hash.Start(&error)) Fail(CHttpDownloadEx::kDownloadError, 0, error);
  uint64_t read = 0;
  for (;;) {
    const std::size_t got = std::fread(buffer.get(), 1, kHashBufferBytes, file);
    if (got == 0) break;
    read += got;
    if (!hash.Add(buffer.get(), got, &error)) Fail(CHttpDownloadEx::kDownloadError, 0, error);
  }
  if (std::ferror(file)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, platform::kErrorReadFault);
  uint8_t digest[platform::kSha256Bytes];
  if (!hash.Finish(digest, &error)) Fail(CHttpDownloadEx::kDownloadError, 0, error);
  const std::string text = platform::Sha256Text(digest);
  return read == self.totalSize_ ? text : text + " (" + std::to_string(read) + " bytes)";
}

// Renames the closed temporary file over the destination; its journal goes after it.
void CHttpDownload::Impl::PutInPlace() {
  uint32_t error = 0;
  if (!platform::ReplaceWithFile(partPath, destination, &error))
    Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
  partCreated = false;
  // A journal left without its file is dropped by the next run.
  (void)platform::DeleteFileAt(journalPath);
}

CHttpDownload::CHttpDownload(std::string url, std::wstring destination, IDownloadHandler* handler,
                             std::wstring pipeName, long lowSpeedSeconds)
    : impl_(new Impl(*this, std::move(url), std::move(destination), handler, std::move(pipeName),
                     lowSpeedSeconds)) {
  impl_->multi = curl_multi_init();
  if (!impl_->multi) throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
  totalSize_ = QuerySize();
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

std::string HeaderValue(const char* line, size_t length, size_t nameLength) {
  std::string value(line + nameLength, length - nameLength);
  const size_t first = value.find_first_not_of(" \t");
  const size_t last = value.find_last_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
}

size_t NoteValidator(char* line, size_t size, size_t count, void* target) {
  ValidatorHeaders* headers = static_cast<ValidatorHeaders*>(target);
  const size_t length = size * count;
  try {
    if (StartsWithNoCase(line, length, "http/")) {
      *headers = ValidatorHeaders();
    } else if (StartsWithNoCase(line, length, "etag:")) {
      headers->etag = HeaderValue(line, length, 5);
    } else if (StartsWithNoCase(line, length, "last-modified:")) {
      headers->lastModified = HeaderValue(line, length, 14);
    }
  } catch (...) {
    return 0;  // out of memory: the query fails
  }
  return length;
}

}  // namespace

uint32_t CHttpDownload::QuerySize() {
  char reason[kConnectionReasonSize] = {};  // outlives the handle
  EasyHandle handle(curl_easy_init());
  if (!handle) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, CURLE_FAILED_INIT);
  CURL* curl = handle.get();
  if (SecureConnection(curl, reason) != 0)
    throw DownloadError(CHttpDownloadEx::kUnableToGetSize, CURLE_FAILED_INIT);
  const CURLcode failed = FirstFailure({
      curl_easy_setopt(curl, CURLOPT_URL, impl_->url.c_str()),
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
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, impl_->lowSpeedSeconds);

  const CURLcode result = curl_easy_perform(curl);
  if (IsCertificateFailure(result, reason)) throw UnverifiedServer(impl_->url, result, reason);
  if (result != CURLE_OK) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, result);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  // An error answer's length is that of its error page, not of the file.
  if (status >= 400) throw DownloadError(CHttpDownloadEx::kUnableToGetSize);
  curl_off_t length = -1;
  const CURLcode read = curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (read != CURLE_OK) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, read);
  // -1 stands for a length the server did not announce; the size must fit a signed int.
  if (length < 1 || length > INT32_MAX) throw DownloadError(CHttpDownloadEx::kUnableToGetSize);
  // A weak ETag does not promise the same bytes, and If-Range refuses it.
  const bool strongEtag = !headers.etag.empty() && headers.etag.compare(0, 2, "W/") != 0;
  impl_->validator = strongEtag ? headers.etag : headers.lastModified;
  return static_cast<uint32_t>(length);
}

uint32_t CHttpDownload::Run() {
  try {
    impl_->OpenFiles();
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
    if (!impl_->part.Close(&error))
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
