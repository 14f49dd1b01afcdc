#include "actions/segmented_download.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <new>
#include <utility>

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
  if (error.code < 1 || error.code > 8) return "UNKNOWN_ERROR";
  const long double number = error.sysError != 0 ? error.sysError : error.detail;
  char text[64];
  std::snprintf(text, sizeof text, "%Lg", number);
  return std::string(kErrorNames[error.code - 1]) + " (" + text + ")";
}

// One byte range of the file, with its own buffer and easy handle.
struct CHttpDownload::Segment {
  int index = 0;
  int size = 0;                    // bytes this range must deliver
  std::unique_ptr<char[]> buffer;  // exactly size bytes
  bool complete = false;
  int received = 0;
  CURL* handle = nullptr;          // keeps its options across restarts
  CHttpDownload* owner = nullptr;

  // Keeps a chunk of the range. A chunk that would run past the end of the buffer (a server
  // that ignores the range, an error page) is refused whole: the short count makes libcurl
  // end this transfer with a write error, which leaves the segment incomplete.
  size_t Store(const char* data, size_t bytes);
};

namespace {

size_t WriteToSegment(char* data, size_t size, size_t count, void* segment) {
  return static_cast<CHttpDownload::Segment*>(segment)->Store(data, size * count);
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

  void OpenDestination();
  [[noreturn]] void Fail(int32_t code, int32_t detail = 0);
  void Transfer();
  void DriveAttempt();
  void CollectResults(int restartsLeft);
  void DestroyMulti();
  bool RestartIncomplete();
  uint32_t WriteOut();
  bool AllComplete() const;

  CHttpDownload& self;
  std::string url;
  std::wstring destination;
  IDownloadHandler* handler;
  std::wstring pipeName;
  long lowSpeedSeconds;
  CURLM* multi = nullptr;
  std::FILE* file = nullptr;
  Segment segments[kSegmentCount];
};

size_t CHttpDownload::Segment::Store(const char* data, size_t bytes) {
  if (bytes > static_cast<size_t>(size - received)) return 0;
  std::copy(data, data + bytes, buffer.get() + received);
  received += static_cast<int>(bytes);
  owner->downloaded_ += static_cast<uint32_t>(bytes);
  if (IDownloadHandler* handler = owner->impl_->handler) {
    const uint64_t percent = uint64_t{owner->downloaded_} * 100 / owner->totalSize_;
    handler->OnProgress(static_cast<int32_t>(bytes), static_cast<int32_t>(percent));
  }
  return bytes;
}

CHttpDownload::Impl::~Impl() {
  DestroyMulti();
  for (Segment& segment : segments)
    if (segment.handle) curl_easy_cleanup(segment.handle);
  if (file) std::fclose(file);
}

void CHttpDownload::Impl::PrepareSegments() {
  const int part = static_cast<int>(self.totalSize_ / kSegmentCount);
  for (int i = 0; i < kSegmentCount; ++i) {
    Segment& segment = segments[i];
    segment.index = i;
    segment.owner = &self;
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

  segment.buffer.reset(new (std::nothrow) char[static_cast<size_t>(segment.size)]);
  if (!segment.buffer) throw DownloadError(CHttpDownloadEx::kUnableToAllocMem);
  segment.handle = curl_easy_init();
  if (!segment.handle) throw DownloadError(CHttpDownloadEx::kDownloadError, CURLE_FAILED_INIT);

  CURL* handle = segment.handle;
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
  curl_multi_add_handle(multi, handle);
}

void CHttpDownload::Impl::OpenDestination() {
  int error = 0;
  file = platform::OpenForWriting(destination, &error);
  if (!file) throw DownloadError(CHttpDownloadEx::kErrorSavingFile, 0, error);
}

// Every failing exit of Run closes the file first; the file itself stays on disk.
void CHttpDownload::Impl::Fail(int32_t code, int32_t detail) {
  if (file) std::fclose(file);
  file = nullptr;
  throw DownloadError(code, detail);
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
    if (running == 0) return;
  }
}

void CHttpDownload::Impl::CollectResults(int restartsLeft) {
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
    if (message->msg != CURLMSG_DONE) continue;
    const CURLcode result = message->data.result;
    // Name resolution and time-outs get another chance while restarts are left.
    if ((result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_OPERATION_TIMEDOUT) &&
        restartsLeft == 0)
      Fail(CHttpDownloadEx::kNetworkError, result);
    // A broken connection ends the whole download at once.
    if (result == CURLE_RECV_ERROR) Fail(CHttpDownloadEx::kNetworkReset, result);
    for (Segment& segment : segments) {
      if (segment.handle != message->easy_handle) continue;
      // A transfer that ended in an error (a refused excess among them) is never complete,
      // even when its buffer happens to be full.
      segment.complete = result == CURLE_OK && segment.received == segment.size;
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
    segment.received = 0;
    restarted = true;
  }
  return restarted;
}

bool CHttpDownload::Impl::AllComplete() const {
  for (const Segment& segment : segments)
    if (!segment.complete) return false;
  return true;
}

uint32_t CHttpDownload::Impl::WriteOut() {
  if (handler) {
    handler->OnTransferDone();
    handler->OnWriteStart(static_cast<int32_t>(self.totalSize_));
  }
  uint64_t written = 0;
  for (Segment& segment : segments) {
    size_t count = 0;
    if (segment.received > 0)
      count = std::fwrite(segment.buffer.get(), 1, static_cast<size_t>(segment.received), file);
    written += count;
    if (handler) handler->OnWritten(static_cast<int32_t>(count));
    if (segment.handle) curl_easy_cleanup(segment.handle);
    segment.handle = nullptr;
    if (self.cancel) Fail(CHttpDownloadEx::kCanceled);
  }
  // Matching sums alone could hide a range that arrived as the wrong bytes (a range-ignoring
  // server filling a buffer exactly), so every segment must also have ended cleanly.
  if (written != self.totalSize_ || self.downloaded_ != self.totalSize_ || !AllComplete())
    Fail(CHttpDownloadEx::kFileCorrupted);
  std::fclose(file);
  file = nullptr;
  if (handler) handler->OnComplete();
  return self.totalSize_;
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
  EasyHandle handle(curl_easy_init());
  if (!handle) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, CURLE_FAILED_INIT);
  CURL* curl = handle.get();
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
  if (result != CURLE_OK) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, result);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  if (status == 404) throw DownloadError(CHttpDownloadEx::kUnableToGetSize);
  curl_off_t length = -1;
  const CURLcode read = curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (read != CURLE_OK) throw DownloadError(CHttpDownloadEx::kUnableToGetSize, read);
  // -1 stands for a length the server did not announce; the size must fit a signed int.
  if (length < 1 || length > INT32_MAX) throw DownloadError(CHttpDownloadEx::kUnableToGetSize);
  return static_cast<uint32_t>(length);
}

uint32_t CHttpDownload::Run() {
  impl_->OpenDestination();
  if (impl_->handler) impl_->handler->OnStart(static_cast<int32_t>(totalSize_));
  impl_->Transfer();
  return impl_->WriteOut();
}

}  // namespace orvex
