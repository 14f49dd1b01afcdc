#include "actions/segmented_download.h"

#include <curl/curl.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "actions/connection_security.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/pipe.h"

namespace orvex {

namespace {

const char* const kErrorNames[] = {
    "DOWNLOAD_ERROR",     "DOWNLOAD_CANCELED", "DOWNLOAD_FILE_CORRUPTED", "ERROR_SAVING_FILE",
    "NETWORK_ERROR",      "NETWORK_RESET",     "UNABLE_TO_GET_SIZE",      "UNABLE_TO_ALLOC_MEM",
};

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

CHttpDownloadEx DownloadError(int32_t code, int32_t detail = 0, int32_t sysError = 0) {
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
  const bool unverified = error.code == CHttpDownloadEx::kUnverifiedServer;
  if (!unverified && (error.code < 1 || error.code > 8)) return "UNKNOWN_ERROR";
  const long double number = error.sysError != 0 ? error.sysError : error.detail;
  char text[64];
  std::snprintf(text, sizeof text, "%Lg", number);
  const char* name = unverified ? "CERTIFICATE_NOT_VERIFIED" : kErrorNames[error.code - 1];
  return std::string(name) + " (" + text + ")";
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
  uint32_t start = 0;              // offset of the range's first byte in the file
  int size = 0;                    // bytes this range must deliver
  bool complete = false;
  int received = 0;
  CURL* handle = nullptr;          // keeps its options across restarts
  CHttpDownload* owner = nullptr;
  ContentRange answerRange;        // of the answer being received
  bool answerChecked = false;      // its status and range were found to fit this segment
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
        partPath(destination + L".part"),
        handler(events),
        pipeName(std::move(pipe)),
        lowSpeedSeconds(lowSpeed) {}
  ~Impl();

  void PrepareSegments();
  void PrepareSegment(Segment& segment, int part);

  void OpenFiles();
  [[noreturn]] void Fail(int32_t code, int32_t detail = 0, int32_t sysError = 0);
  void DiscardPart();
  void Transfer();
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
  IDownloadHandler* handler;
  std::wstring pipeName;
  long lowSpeedSeconds;
  CURLM* multi = nullptr;
  platform::PositionedFile part;
  bool partCreated = false;
  // What went wrong inside a libcurl callback, raised once libcurl has returned: nothing may
  // unwind through libcurl's frames.
  int writeError = 0;
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
  int error = 0;
  if (!download.part.WriteAt(uint64_t{start} + static_cast<uint64_t>(received), data, bytes,
                             &error)) {
    download.writeError = error != 0 ? error : EIO;
    return 0;
  }
  received += static_cast<int>(bytes);
  owner->downloaded_ += static_cast<uint32_t>(bytes);
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
    answerRange = ParseContentRange(std::string(line + sizeof kName - 1, length - (sizeof kName - 1)));
}

bool CHttpDownload::Segment::AnswerFits() const {
  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  const uint32_t total = owner->totalSize_;
  if (status == 200) return start == 0 && static_cast<uint32_t>(size) == total;
  if (status != 206 || !answerRange.present) return false;
  return answerRange.first == start &&
         answerRange.last == uint64_t{start} + static_cast<uint64_t>(size) - 1 &&
         (answerRange.total < 0 || answerRange.total == int64_t{total});
}

void CHttpDownload::Segment::Restart() {
  received = 0;
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
  DestroyMulti();
  for (Segment& segment : segments)
    if (segment.handle) curl_easy_cleanup(segment.handle);
  DiscardPart();
}

void CHttpDownload::Impl::PrepareSegments() {
  const int part = static_cast<int>(self.totalSize_ / kSegmentCount);
  for (int i = 0; i < kSegmentCount; ++i) {
    Segment& segment = segments[i];
    segment.index = i;
    segment.owner = &self;
    segment.start = static_cast<uint32_t>(i) * static_cast<uint32_t>(part);
    segment.size = i < kSegmentCount - 1
                       ? part
                       : static_cast<int>(self.totalSize_) - (kSegmentCount - 1) * part;
    // A file under ten bytes leaves the first nine ranges empty; there is nothing to ask
    // for, and the last range takes the whole file.
    if (segment.size == 0) {
      segment.complete = true;
      continue;
    }
    PrepareSegment(segment, part);
  }
}

void CHttpDownload::Impl::PrepareSegment(Segment& segment, int part) {
  const int start = segment.index * part;
  char range[32];
  if (segment.index < kSegmentCount - 1)
    std::snprintf(range, sizeof range, "%d-%d", start, start + part - 1);
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
  curl_multi_add_handle(multi, handle);
}

// The destination is created (or emptied) first, as a caller may look for it; the bytes go to
// the temporary file, which gets its full size now so that a full disk shows before any
// transfer.
void CHttpDownload::Impl::OpenFiles() {
  int error = 0;
  std::FILE* file = platform::OpenForWriting(destination, &error);
  if (!file) throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
  std::fclose(file);
  if (!part.Create(partPath, &error)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
  partCreated = true;
  if (!part.Reserve(self.totalSize_, &error)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
}

// Run removes the temporary file on its way out (DiscardPart); the destination stays empty.
void CHttpDownload::Impl::Fail(int32_t code, int32_t detail, int32_t sysError) {
  throw DownloadError(code, detail, sysError);
}

void CHttpDownload::Impl::DiscardPart() {
  part.Close(nullptr);
  if (partCreated) platform::DeleteFileAt(partPath);
  partCreated = false;
}

// The first attempt carries every segment, each of up to two restarts the incomplete ones.
void CHttpDownload::Impl::Transfer() {
  int restartsLeft = kRestarts;
  for (;;) {
    DriveAttempt();
    CollectResults(restartsLeft);
    DestroyMulti();
    if (restartsLeft == 0) return;
    --restartsLeft;
    if (!RestartIncomplete()) return;
  }
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
    if (running == 0) return;
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
      segment.complete = result == CURLE_OK && segment.answerChecked &&
                         segment.received == segment.size;
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
    self.downloaded_ -= static_cast<uint32_t>(segment.received);
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
    if (segment.handle) curl_easy_cleanup(segment.handle);
    segment.handle = nullptr;
    if (self.cancel) Fail(CHttpDownloadEx::kCanceled);
  }
  // Matching sums alone could hide a range that ended badly after its bytes had arrived, so
  // every segment must also have ended cleanly.
  if (written != self.totalSize_ || self.downloaded_ != self.totalSize_ || !AllComplete())
    Fail(CHttpDownloadEx::kFileCorrupted);
}

// Closes the temporary file (a failure here can be data the system could not write) and
// renames it over the destination.
void CHttpDownload::Impl::PutInPlace() {
  int error = 0;
  if (!part.Close(&error)) Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
  if (!platform::ReplaceWithFile(partPath, destination, &error))
    Fail(CHttpDownloadEx::kErrorSavingFile, 0, error);
  partCreated = false;
}

CHttpDownload::CHttpDownload(std::string url, std::wstring destination,
                             IDownloadHandler* handler, std::wstring pipeName,
                             long lowSpeedSeconds)
    : impl_(new Impl(*this, std::move(url), std::move(destination), handler,
                     std::move(pipeName), lowSpeedSeconds)) {
  impl_->multi = curl_multi_init();
  if (!impl_->multi) throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);
  totalSize_ = QuerySize();
  downloaded_ = 0;
  impl_->PrepareSegments();
  platform::CreatePresencePipe(impl_->pipeName);
}

CHttpDownload::~CHttpDownload() = default;

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
  return static_cast<uint32_t>(length);
}

uint32_t CHttpDownload::Run() {
  try {
    impl_->OpenFiles();
    if (impl_->handler) impl_->handler->OnStart(static_cast<int32_t>(totalSize_));
    impl_->Transfer();
    impl_->ReportWritten();
    impl_->PutInPlace();
  } catch (...) {
    impl_->DiscardPart();
    throw;
  }
  if (impl_->handler) impl_->handler->OnComplete();
  return totalSize_;
}

}  // namespace orvex
