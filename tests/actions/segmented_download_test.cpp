// The segmented download against the dev service: real transfers over 127.0.0.1, with the
// service's fault rules standing in for broken servers and networks.
#include "actions/segmented_download.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <random>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "actions/download_journal.h"
#include "platform/sha256.h"
#include "platform/win_codes.h"
#include "tests/support/development_setting.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::DevService;

// Records the events of a download as one letter each: S start, T tick, P progress,
// D transfer done, W write start, w written, C complete. `hook` runs after each event, so a
// test can set `cancel` at the point it wants.
class RecordingHandler : public IDownloadHandler {
 public:
  void OnStart(int32_t totalSize) override {
    startTotal = totalSize;
    Record('S');
  }
  int OnProgress(int32_t bytes, int32_t percent) override {
    progressBytes += bytes;
    percents.push_back(percent);
    Record('P');
    return 0;
  }
  void OnTransferDone() override { Record('D'); }
  void OnTick() override { Record('T'); }
  void OnWriteStart(int32_t totalSize) override {
    writeStartTotal = totalSize;
    Record('W');
  }
  void OnWritten(int32_t bytes) override {
    written.push_back(bytes);
    Record('w');
  }
  void OnComplete() override { Record('C'); }

  std::string trace;
  int32_t startTotal = -1;
  int32_t writeStartTotal = -1;
  int64_t progressBytes = 0;
  std::vector<int32_t> percents;
  std::vector<int32_t> written;
  CHttpDownload* download = nullptr;
  std::function<void(char event, RecordingHandler& self)> hook;

 private:
  void Record(char event) {
    trace += event;
    if (hook) hook(event, *this);
  }
};

struct Outcome {
  bool ok = false;
  uint32_t result = 0;
  CHttpDownloadEx error;
  uint32_t total = 0;
  uint32_t downloaded = 0;
};

class DownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DevService::Get().Reset();
    std::random_device random;
    folder_ = test::ScratchRoot() /
              ("orvex-download-test-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(folder_);
    destination_ = folder_ / "file.bin";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // A pattern file of size bytes under /media/name; returns its URL.
  static std::string Media(const std::string& name, std::size_t size) {
    DevService::Get().PutPatternMedia(name, size);
    return DevService::Get().Url("/media/" + name);
  }

  static void AddFault(const std::string& path, const std::string& kind,
                       const std::function<void(Json::Value&)>& more = nullptr) {
    Json::Value rule;
    rule["path"] = path;
    rule["kind"] = kind;
    if (more) more(rule);
    DevService::Get().AddFault(rule);
  }

  // Creates and runs one download; any CHttpDownloadEx, from either step, is the outcome.
  Outcome Download(const std::string& url, RecordingHandler* handler, long lowSpeedSeconds = 120,
                   const std::wstring& pipe = L"INSTALLER") {
    return DownloadTo(destination_, url, handler, lowSpeedSeconds, pipe);
  }

  static Outcome DownloadTo(const fs::path& path, const std::string& url, RecordingHandler* handler,
                            long lowSpeedSeconds = 120, const std::wstring& pipe = L"INSTALLER") {
    Outcome outcome;
    try {
      CHttpDownload download(url, test::PlatformPath(path), handler, pipe, lowSpeedSeconds);
      if (handler) handler->download = &download;
      try {
        outcome.result = download.Run();
        outcome.ok = true;
      } catch (const CHttpDownloadEx& error) {
        outcome.error = error;
      }
      outcome.total = download.TotalSize();
      outcome.downloaded = download.Downloaded();
      if (handler) handler->download = nullptr;
    } catch (const CHttpDownloadEx& error) {
      outcome.error = error;
    }
    return outcome;
  }

  static std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // The Range headers of the GET requests the service received for path, sorted (the
  // segments run in parallel, so their order of arrival varies).
  static std::vector<std::string> GetRanges(const std::string& path) {
    std::vector<std::string> ranges;
    for (const Json::Value& request : DevService::Get().Requests(path))
      if (request["method"].asString() == "GET")
        ranges.push_back(request["headers"].get("Range", "(none)").asString());
    std::sort(ranges.begin(), ranges.end());
    return ranges;
  }

  // What a failed or cancelled run leaves when the server names a validator of the file (the
  // dev service sends an ETag): no destination, which only the final rename makes, and the
  // temporary file of the full size with the journal a later run resumes from.
  void ExpectNoDestinationAndResumablePart(std::size_t size) const {
    EXPECT_FALSE(fs::exists(destination_));
    ASSERT_TRUE(fs::exists(PartOf(destination_)));
    EXPECT_EQ(fs::file_size(PartOf(destination_)), size);
    EXPECT_TRUE(fs::exists(JournalOf(destination_)));
  }

  static fs::path PartOf(const fs::path& path) { return fs::path(path.wstring() + L".part"); }
  static fs::path JournalOf(const fs::path& path) {
    return fs::path(path.wstring() + L".part.journal");
  }

  static long CountMethod(const std::string& path, const std::string& method) {
    long count = 0;
    for (const Json::Value& request : DevService::Get().Requests(path))
      if (request["method"].asString() == method) ++count;
    return count;
  }

  fs::path folder_;
  fs::path destination_;
  // The dev service speaks plain http, as a developer allows it for a local test service.
  test::ScopedPlainHttp plainHttp_{DevService::Get().BaseUrl()};
};

// The ranges a file of this size is asked for: nine closed ones of size/10 bytes and an open
// last one, or, below ten bytes, the open one alone.
std::vector<std::string> ExpectedRanges(std::size_t size) {
  const std::size_t part = size / 10;
  if (part == 0) return {"bytes=0-"};
  std::vector<std::string> ranges;
  for (std::size_t i = 0; i < 9; ++i)
    ranges.push_back("bytes=" + std::to_string(i * part) + "-" +
                     std::to_string(i * part + part - 1));
  ranges.push_back("bytes=" + std::to_string(9 * part) + "-");
  std::sort(ranges.begin(), ranges.end());
  return ranges;
}

TEST_F(DownloadTest, FetchesTenRangesAndWritesTheFileByteExact) {
  const std::string url = Media("a1005.bin", 1005);
  RecordingHandler handler;
  const Outcome outcome = Download(url, &handler);

  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_EQ(outcome.result, 1005u);
  EXPECT_EQ(outcome.total, 1005u);
  EXPECT_EQ(outcome.downloaded, 1005u);
  EXPECT_EQ(ReadFile(destination_), DevService::Pattern(1005));
  const std::vector<std::string> expected = {
      "bytes=0-99",    "bytes=100-199", "bytes=200-299", "bytes=300-399", "bytes=400-499",
      "bytes=500-599", "bytes=600-699", "bytes=700-799", "bytes=800-899", "bytes=900-"};
  EXPECT_EQ(GetRanges("/media/a1005.bin"), expected);
  EXPECT_EQ(CountMethod("/media/a1005.bin", "HEAD"), 1);
}

TEST_F(DownloadTest, HandlerSeesEveryEventInOrder) {
  const std::string url = Media("events.bin", 1005);
  RecordingHandler handler;
  bool fileExistedAtStart = true;
  bool partOnDiskWhileTransferring = false;
  bool destinationWasEmptyAtComplete = true;
  handler.hook = [&](char event, RecordingHandler&) {
    if (event == 'S') fileExistedAtStart = fs::exists(destination_);
    if (event == 'P' && fs::exists(PartOf(destination_))) partOnDiskWhileTransferring = true;
    if (event == 'C') destinationWasEmptyAtComplete = fs::file_size(destination_) == 0;
  };
  const Outcome outcome = Download(url, &handler);

  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_TRUE(partOnDiskWhileTransferring);
  // The file is in place, whole, before the handler hears that it is complete.
  EXPECT_FALSE(destinationWasEmptyAtComplete);
  EXPECT_EQ(ReadFile(destination_), DevService::Pattern(1005));
  EXPECT_FALSE(fs::exists(PartOf(destination_)));
  EXPECT_FALSE(fs::exists(JournalOf(destination_)));
  // Start; passes that each begin with a tick and carry the arriving chunks; then the
  // write-out of the ten segments.
  EXPECT_TRUE(std::regex_match(handler.trace, std::regex("ST[TP]*DWw{10}C"))) << handler.trace;
  EXPECT_NE(handler.trace.find('P'), std::string::npos);
  // Nothing but the final rename makes the destination.
  EXPECT_FALSE(fileExistedAtStart);
  EXPECT_EQ(handler.startTotal, 1005);
  EXPECT_EQ(handler.writeStartTotal, 1005);
  EXPECT_EQ(handler.progressBytes, 1005);
  EXPECT_TRUE(std::is_sorted(handler.percents.begin(), handler.percents.end()));
  EXPECT_EQ(handler.percents.back(), 100);
  const std::vector<int32_t> segmentSizes = {100, 100, 100, 100, 100, 100, 100, 100, 100, 105};
  EXPECT_EQ(handler.written, segmentSizes);
}

TEST_F(DownloadTest, WorksWithoutAHandler) {
  const std::string url = Media("quiet.bin", 4096);
  const Outcome outcome = Download(url, nullptr);
  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_EQ(ReadFile(destination_), DevService::Pattern(4096));
}

// Files too small for ten ranges, and the smallest that have ten.
class DownloadSmallFileTest : public DownloadTest,
                              public ::testing::WithParamInterface<std::size_t> {};

TEST_P(DownloadSmallFileTest, AsksOnlyForNonEmptyRanges) {
  const std::size_t size = GetParam();
  const std::string name = "small" + std::to_string(size) + ".bin";
  RecordingHandler handler;
  const Outcome outcome = Download(Media(name, size), &handler);

  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_EQ(outcome.result, size);
  EXPECT_EQ(ReadFile(destination_), DevService::Pattern(size));
  EXPECT_EQ(GetRanges("/media/" + name), ExpectedRanges(size));
  ASSERT_EQ(handler.written.size(), 10u);  // every segment is written, the empty ones as 0
  int64_t sum = 0;
  for (int32_t bytes : handler.written) sum += bytes;
  EXPECT_EQ(sum, static_cast<int64_t>(size));
}

INSTANTIATE_TEST_SUITE_P(DownloadSizes, DownloadSmallFileTest, ::testing::Values(1, 9, 10, 11));

// Size queries that cannot give a usable size.
struct SizeQueryCase {
  const char* name;
  const char* kind;  // fault rule on the HEAD request
  int status;        // for "status"
};

void PrintTo(const SizeQueryCase& c, std::ostream* out) { *out << c.name; }

class DownloadSizeQueryTest : public DownloadTest,
                              public ::testing::WithParamInterface<SizeQueryCase> {};

TEST_P(DownloadSizeQueryTest, FailsAsUnableToGetSize) {
  const SizeQueryCase& c = GetParam();
  const std::string url = Media("sized.bin", 1005);
  AddFault("/media/sized.bin", c.kind, [&](Json::Value& rule) {
    rule["method"] = "HEAD";
    if (c.status) rule["status"] = c.status;
  });
  RecordingHandler handler;
  const Outcome outcome = Download(url, &handler);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kUnableToGetSize);
  EXPECT_EQ(DescribeDownloadError(outcome.error), "UNABLE_TO_GET_SIZE (0)");
  EXPECT_EQ(handler.trace, "");  // never got as far as running
  EXPECT_EQ(CountMethod("/media/sized.bin", "GET"), 0);
  // Redirects are not followed: nothing asked for the place the answer points to.
  EXPECT_EQ(DevService::Get().Requests("/").size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(DownloadAnswers, DownloadSizeQueryTest,
                         ::testing::Values(SizeQueryCase{"NotFound", "status", 404},
                                           SizeQueryCase{"NoLength", "head_no_length", 0},
                                           SizeQueryCase{"Redirect", "redirect", 0}),
                         [](const ::testing::TestParamInfo<SizeQueryCase>& info) {
                           return info.param.name;
                         });

TEST_F(DownloadTest, SizeQueryThatCannotConnectCarriesTheLibcurlResult) {
  // Nothing listens on port 1 of the loopback address.
  const Outcome outcome = Download("http://127.0.0.1:1/media/none.bin", nullptr);
  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kUnableToGetSize);
  EXPECT_EQ(outcome.error.detail, CURLE_COULDNT_CONNECT);
}

#ifndef _WIN32
// A listening socket that nobody ever accepts: the connection is made (by the kernel), the
// request is sent, and no answer comes.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() {
    if (fd_ >= 0) close(fd_);
  }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST_F(DownloadTest, SizeQueryToASilentServerGivesUpAtTheLowSpeedLimit) {
  SilentServer server;
  ASSERT_NE(server.Port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + "/media/x.bin";
  const Outcome outcome = Download(url, nullptr, 1);
  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kUnableToGetSize);
  EXPECT_EQ(DescribeDownloadError(outcome.error), "UNABLE_TO_GET_SIZE (28)");
}
#endif

TEST_F(DownloadTest, ResetConnectionEndsTheDownloadWithoutRestart) {
#ifdef _WIN32
  // Windows reports the reset to libcurl as result 56, but Wine hands it to the program as an
  // orderly end of the connection (result 18, a short body), which is restarted instead.
  GTEST_SKIP() << "Wine does not report a TCP reset as a receive error";
#endif
  const std::size_t size = 100000;
  const std::string url = Media("reset.bin", size);
  AddFault("/media/reset.bin", "reset", [](Json::Value& rule) {
    rule["range_start"] = 30000;
    rule["after_bytes"] = 4000;
    rule["times"] = 1;
  });
  RecordingHandler handler;
  const Outcome outcome = Download(url, &handler);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kNetworkReset);
  EXPECT_EQ(outcome.error.detail, 56);
  EXPECT_EQ(DescribeDownloadError(outcome.error), "NETWORK_RESET (56)");
  const std::vector<std::string> ranges = GetRanges("/media/reset.bin");
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=30000-39999"), 1);
  EXPECT_EQ(handler.trace.find('D'), std::string::npos);
  ExpectNoDestinationAndResumablePart(size);
}

TEST_F(DownloadTest, StalledRangeIsFetchedAgainFromItsFirstByte) {
  const std::size_t size = 1000000;
  const std::string url = Media("stall.bin", size);
  AddFault("/media/stall.bin", "stall", [](Json::Value& rule) {
    rule["range_start"] = 300000;
    rule["after_bytes"] = 60000;
    rule["seconds"] = 30;
    rule["times"] = 1;
  });
  RecordingHandler handler;
  const Outcome outcome = Download(url, &handler, 2);

  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_EQ(ReadFile(destination_), DevService::Pattern(size));
  EXPECT_EQ(outcome.downloaded, size);
  const std::vector<std::string> ranges = GetRanges("/media/stall.bin");
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=300000-399999"), 2);
  EXPECT_EQ(ranges.size(), 11u);
  EXPECT_FALSE(fs::exists(PartOf(destination_)));
  // The restart took back what the stalled range had received, so the percentage fell.
  const bool fell = std::adjacent_find(handler.percents.begin(), handler.percents.end(),
                                       std::greater<int32_t>()) != handler.percents.end();
  EXPECT_TRUE(fell);
  EXPECT_EQ(handler.percents.back(), 100);
}

TEST_F(DownloadTest, RangeTimingOutInEveryAttemptIsANetworkError) {
  const std::size_t size = 100000;
  const std::string url = Media("timeout.bin", size);
  AddFault("/media/timeout.bin", "stall", [](Json::Value& rule) {
    rule["range_start"] = 30000;
    rule["after_bytes"] = 0;
    rule["seconds"] = 30;
  });
  const Outcome outcome = Download(url, nullptr, 1);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kNetworkError);
  EXPECT_EQ(DescribeDownloadError(outcome.error), "NETWORK_ERROR (28)");
  // The first attempt and two restarts, each carrying only that range after the first.
  const std::vector<std::string> ranges = GetRanges("/media/timeout.bin");
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=30000-39999"), 3);
  EXPECT_EQ(ranges.size(), 12u);
  ExpectNoDestinationAndResumablePart(size);
}

TEST_F(DownloadTest, RangeIgnoringServerStoresNothingBeyondASegment) {
  const std::size_t size = 1000000;
  const std::string url = Media("whole.bin", size);
  AddFault("/media/whole.bin", "ignore_range");
  RecordingHandler handler;
  const Outcome outcome = Download(url, &handler);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kFileCorrupted);
  EXPECT_EQ(DescribeDownloadError(outcome.error), "DOWNLOAD_FILE_CORRUPTED (0)");
  EXPECT_EQ(CountMethod("/media/whole.bin", "GET"), 30);  // ten ranges, three attempts
  // A 200 answer to a range is refused before its first byte is written.
  EXPECT_EQ(outcome.downloaded, 0u);
  EXPECT_EQ(handler.written, std::vector<int32_t>(10, 0));
  EXPECT_EQ(handler.trace.find('C'), std::string::npos);
  ExpectNoDestinationAndResumablePart(size);
}

TEST_F(DownloadTest, UnwritableDestinationIsErrorSavingFile) {
  const std::string url = Media("nowhere.bin", 1005);
  RecordingHandler handler;
  const Outcome outcome = DownloadTo(folder_ / "missing" / "file.bin", url, &handler);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kErrorSavingFile);
  EXPECT_EQ(outcome.error.sysError, platform::kErrorPathNotFound);
  EXPECT_EQ(DescribeDownloadError(outcome.error), "ERROR_SAVING_FILE (3)");
  EXPECT_EQ(handler.trace, "");
  EXPECT_EQ(CountMethod("/media/nowhere.bin", "GET"), 0);
  EXPECT_FALSE(fs::exists(folder_ / "missing"));
}

// A ".part" that has no journal of ours belongs to someone else (a user's file, a folder):
// it is left as it is, and the download takes a name of its own, created exclusively.
TEST_F(DownloadTest, ForeignPartIsLeftAloneAndAnotherNameIsTaken) {
  const std::string url = Media("foreign.bin", 1005);
  struct Case {
    const char* name;
    std::function<void(const fs::path& part)> plant;
  } cases[] = {
      {"a user's file",
       [](const fs::path& part) {
         std::ofstream(part, std::ios::binary) << "mine, not the installer's";
       }},
      {"a folder", [](const fs::path& part) { fs::create_directories(part / "inside"); }},
#ifndef _WIN32
      // Even with a journal of ours beside it: writing through the link would write to what
      // it points to.
      {"a link with a journal",
       [](const fs::path& part) {
         std::ofstream(part.parent_path() / "target", std::ios::binary)
             << "mine, not the installer's";
         fs::create_symlink(part.parent_path() / "target", part);
         std::ofstream(fs::path(part.wstring() + L".journal"), std::ios::binary) << "orvex";
       }},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    c.plant(PartOf(destination_));
    const auto planted = std::distance(fs::directory_iterator(folder_), fs::directory_iterator());
    const Outcome outcome = Download(url, nullptr);

    ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
    EXPECT_EQ(ReadFile(destination_), DevService::Pattern(1005));
    if (fs::is_directory(PartOf(destination_)))
      EXPECT_TRUE(fs::is_directory(PartOf(destination_) / "inside"));
    else
      EXPECT_EQ(ReadFile(PartOf(destination_)), "mine, not the installer's");
    // The name of our own went with the rename: only the destination was added.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()),
              planted + 1);
  }
}

#ifndef _WIN32
// A file size limit stands in for a full disk: the reservation fails before any transfer.
TEST_F(DownloadTest, SpaceThatCannotBeReservedIsErrorSavingFile) {
  const std::string url = Media("big.bin", 300000);
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  void (*previousHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = previous;
  limit.rlim_cur = 100000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  RecordingHandler handler;
  const Outcome outcome = Download(url, &handler);
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kErrorSavingFile);
  EXPECT_EQ(outcome.error.sysError, platform::kErrorFileTooLarge);
  EXPECT_EQ(handler.trace, "");
  EXPECT_EQ(CountMethod("/media/big.bin", "GET"), 0);
  EXPECT_FALSE(fs::exists(destination_));
}
#endif

// What was in the destination before is replaced by a success and only by it: a failure
// leaves it as it was.
TEST_F(DownloadTest, EarlierContentOfTheDestinationIsReplacedOnlyBySuccess) {
  const std::string url = Media("again.bin", 50000);
  for (bool fail : {true, false}) {
    SCOPED_TRACE(fail ? "failing" : "succeeding");
    DevService::Get().Reset();
    { std::ofstream(destination_, std::ios::binary) << std::string(70000, 'x'); }
    if (fail)
      AddFault("/media/again.bin", "status", [](Json::Value& rule) {
        rule["method"] = "GET";
        rule["range_start"] = 0;
      });
    const Outcome outcome = Download(url, nullptr);
    EXPECT_EQ(outcome.ok, !fail);
    EXPECT_EQ(ReadFile(destination_), fail ? std::string(70000, 'x') : DevService::Pattern(50000));
  }
}

// A handler that throws: the exception stops at the libcurl callback and leaves Run after it
// returned, with the same clean-up as any failure.
TEST_F(DownloadTest, ExceptionFromTheHandlerLeavesRunAndTheTemporaryFileStaysForResume) {
  const std::size_t size = 200000;
  const std::string url = Media("throwing.bin", size);
  AddFault("/media/throwing.bin", "slow", [](Json::Value& rule) { rule["rate"] = 50000; });
  RecordingHandler handler;
  handler.hook = [](char event, RecordingHandler&) {
    if (event == 'P') throw std::runtime_error("handler failed");
  };
  bool thrown = false;
  try {
    CHttpDownload download(url, test::PlatformPath(destination_), &handler, L"INSTALLER");
    download.Run();
  } catch (const std::runtime_error& error) {
    thrown = std::string(error.what()) == "handler failed";
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(std::count(handler.trace.begin(), handler.trace.end(), 'P'), 1);
  ExpectNoDestinationAndResumablePart(size);
}

// Servers whose answers must not be taken for the file: error pages, other ranges.
struct HostileCase {
  const char* name;
  std::function<void(const std::string& path)> faults;
  int code;                 // expected CHttpDownloadEx kind, 0 for success
  const char* description;  // DescribeDownloadError of the failure
  long rangeOneRequests;    // GETs for bytes=100-199 (segment 1 of a 1005-byte file)
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

class DownloadHostileServerTest : public DownloadTest,
                                  public ::testing::WithParamInterface<HostileCase> {};

TEST_P(DownloadHostileServerTest, NeverTakesAnErrorOrAnotherRangeForTheFile) {
  const HostileCase& c = GetParam();
  const std::size_t size = 1005;
  const std::string url = Media("hostile.bin", size);
  c.faults("/media/hostile.bin");
  RecordingHandler handler;
  const Outcome outcome = Download(url, &handler);

  const std::vector<std::string> ranges = GetRanges("/media/hostile.bin");
  EXPECT_EQ(std::count(ranges.begin(), ranges.end(), "bytes=100-199"), c.rangeOneRequests);
  if (c.code == 0) {
    ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
    EXPECT_EQ(ReadFile(destination_), DevService::Pattern(1005));
    EXPECT_FALSE(fs::exists(PartOf(destination_)));
    return;
  }
  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, c.code);
  EXPECT_EQ(DescribeDownloadError(outcome.error), c.description);
  EXPECT_EQ(handler.trace.find('C'), std::string::npos);
  if (c.code == CHttpDownloadEx::kUnableToGetSize) {
    EXPECT_FALSE(fs::exists(destination_));  // it never ran
    EXPECT_FALSE(fs::exists(PartOf(destination_)));
  } else {
    ExpectNoDestinationAndResumablePart(size);
  }
}

void RangeSizedError(const std::string& path, int times) {
  Json::Value rule;
  rule["path"] = path;
  rule["method"] = "GET";
  rule["kind"] = "status";
  rule["status"] = 500;
  rule["range_sized_body"] = true;
  rule["range_start"] = 100;
  if (times) rule["times"] = times;
  DevService::Get().AddFault(rule);
}

void FromZero(const std::string& path, int times) {
  Json::Value rule;
  rule["path"] = path;
  rule["kind"] = "range_from_zero";
  if (times) rule["times"] = times;
  DevService::Get().AddFault(rule);
}

INSTANTIATE_TEST_SUITE_P(
    DownloadAnswers, DownloadHostileServerTest,
    ::testing::Values(
        HostileCase{"ErrorPageOfTheRangesSizeEveryTime",
                    [](const std::string& path) { RangeSizedError(path, 0); },
                    CHttpDownloadEx::kFileCorrupted, "DOWNLOAD_FILE_CORRUPTED (0)", 3},
        HostileCase{"ErrorPageOfTheRangesSizeOnce",
                    [](const std::string& path) { RangeSizedError(path, 1); }, 0, "", 2},
        HostileCase{"ForbiddenForHeadAndGet",
                    [](const std::string& path) {
                      Json::Value rule;
                      rule["path"] = path;
                      rule["kind"] = "status";
                      rule["status"] = 403;
                      rule["body"] = "Forbidden";
                      DevService::Get().AddFault(rule);
                    },
                    CHttpDownloadEx::kUnableToGetSize, "UNABLE_TO_GET_SIZE (0)", 0},
        HostileCase{"RangesThatAlwaysStartAtZero",
                    [](const std::string& path) { FromZero(path, 0); },
                    CHttpDownloadEx::kFileCorrupted, "DOWNLOAD_FILE_CORRUPTED (0)", 3},
        // The first attempt's ten answers all start at 0; only segment 0 fits, the other nine
        // are fetched again and fit.
        HostileCase{"RangesFromZeroInTheFirstAttempt",
                    [](const std::string& path) { FromZero(path, 10); }, 0, "", 2}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

// Cancellation from the handler, at the points where the download looks at the flag.
struct CancelCase {
  const char* name;
  char event;           // the handler sets cancel on the first such event ...
  bool afterData;       // ... once some data has arrived
  bool slow;            // the server trickles, so the transfers are still running
  bool duringTransfer;  // stops before all the data has arrived
};

void PrintTo(const CancelCase& c, std::ostream* out) { *out << c.name; }

class DownloadCancelTest : public DownloadTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(DownloadCancelTest, StopsWithDownloadCanceled) {
  const CancelCase& c = GetParam();
  const std::size_t size = 200000;
  const std::string url = Media("cancel.bin", size);
  if (c.slow)
    AddFault("/media/cancel.bin", "slow", [](Json::Value& rule) { rule["rate"] = 20000; });
  RecordingHandler handler;
  handler.hook = [&](char event, RecordingHandler& self) {
    if (event == c.event && (!c.afterData || self.progressBytes > 0) && self.download)
      self.download->cancel = true;
  };
  const Outcome outcome = Download(url, &handler);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kCanceled);
  EXPECT_EQ(DescribeDownloadError(outcome.error), "DOWNLOAD_CANCELED (0)");
  EXPECT_EQ(handler.trace.find('C'), std::string::npos);
  ExpectNoDestinationAndResumablePart(size);
  if (c.duringTransfer) {
    EXPECT_LT(handler.progressBytes, static_cast<int64_t>(size));
    EXPECT_EQ(handler.trace.find('D'), std::string::npos);
  } else {
    EXPECT_EQ(handler.written.size(), 1u);  // stopped after the first range was reported
  }
}

INSTANTIATE_TEST_SUITE_P(
    DownloadPoints, DownloadCancelTest,
    ::testing::Values(CancelCase{"FromProgress", 'P', false, true, true},
                      CancelCase{"FromTickAfterData", 'T', true, true, true},
                      CancelCase{"BetweenSegmentWrites", 'w', false, false, false}),
    [](const ::testing::TestParamInfo<CancelCase>& info) { return info.param.name; });

struct ErrorTextCase {
  int32_t code, detail, sysError;
  const char* text;
};

void PrintTo(const ErrorTextCase& c, std::ostream* out) { *out << c.text; }

class DownloadErrorTextTest : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(DownloadErrorTextTest, NamesTheKindAndItsNumber) {
  const ErrorTextCase& c = GetParam();
  CHttpDownloadEx error;
  error.code = c.code;
  error.detail = c.detail;
  error.sysError = c.sysError;
  EXPECT_EQ(DescribeDownloadError(error), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    DownloadTable, DownloadErrorTextTest,
    ::testing::Values(
        ErrorTextCase{1, 2, 0, "DOWNLOAD_ERROR (2)"},
        ErrorTextCase{1, 43, 0, "DOWNLOAD_ERROR (43)"},
        ErrorTextCase{2, 0, 0, "DOWNLOAD_CANCELED (0)"},
        ErrorTextCase{3, 0, 0, "DOWNLOAD_FILE_CORRUPTED (0)"},
        ErrorTextCase{4, 0, 13, "ERROR_SAVING_FILE (13)"},
        ErrorTextCase{4, 7, 28, "ERROR_SAVING_FILE (28)"},  // sysError wins
        ErrorTextCase{5, 6, 0, "NETWORK_ERROR (6)"}, ErrorTextCase{5, 28, 0, "NETWORK_ERROR (28)"},
        ErrorTextCase{6, 56, 0, "NETWORK_RESET (56)"},
        ErrorTextCase{7, 0, 0, "UNABLE_TO_GET_SIZE (0)"},
        ErrorTextCase{7, 7, 0, "UNABLE_TO_GET_SIZE (7)"},
        ErrorTextCase{8, 0, 0, "UNABLE_TO_ALLOC_MEM (0)"}, ErrorTextCase{0, 5, 0, "UNKNOWN_ERROR"},
        ErrorTextCase{9, 0, 0, "DOWNLOAD_HASH_MISMATCH (0)"},
        ErrorTextCase{11, 0, 0, "UNKNOWN_ERROR"}, ErrorTextCase{-1, 0, 3, "UNKNOWN_ERROR"}),
    [](const ::testing::TestParamInfo<ErrorTextCase>& info) {
      // "NETWORK_ERROR (28)" -> "NETWORK_ERROR_28_7": letters, digits and the row number.
      std::string name;
      for (char c : std::string(info.param.text) + " " + std::to_string(info.index))
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '_')
          name += c;
        else if (c == ' ')
          name += '_';
      return name;
    });

// ---- verification: the file's SHA-256 before the rename

// The SHA-256 of bytes as lower-case hex (the platform's hash; its own test checks it against
// published vectors).
std::string Sha256Hex(const std::string& bytes) {
  platform::Sha256 hash;
  uint32_t error = 0;
  uint8_t digest[platform::kSha256Bytes];
  if (!hash.Start(&error) || !hash.Add(bytes.data(), bytes.size(), &error) ||
      !hash.Finish(digest, &error))
    return "hash failed " + std::to_string(error);
  return platform::Sha256Text(digest);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

TEST_F(DownloadTest, ExpectedDigestIsCheckedBeforeTheFileIsPutInPlace) {
  const std::size_t size = 3 * 1024 * 1024 + 17;  // more than one pass of the hash buffer
  const std::string url = Media("hashed.bin", size);
  const std::string right = Sha256Hex(DevService::Pattern(size));
  std::string wrong = right;
  wrong[10] = wrong[10] == '0' ? '1' : '0';
  struct Case {
    const char* name;
    std::string sha256;
    bool ok;
  } cases[] = {
      {"lower case", right, true},
      {"upper case", Upper(right), true},
      {"one digit off", wrong, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    RecordingHandler handler;
    Outcome outcome;
    {
      CHttpDownload download(url, test::PlatformPath(destination_), &handler, L"INSTALLER");
      ASSERT_TRUE(download.ExpectSha256(c.sha256));
      try {
        download.Run();
        outcome.ok = true;
      } catch (const CHttpDownloadEx& error) {
        outcome.error = error;
      }
    }
    EXPECT_EQ(outcome.ok, c.ok) << DescribeDownloadError(outcome.error);
    EXPECT_FALSE(fs::exists(PartOf(destination_)));
    EXPECT_FALSE(fs::exists(JournalOf(destination_)));
    if (c.ok) {
      EXPECT_EQ(ReadFile(destination_), DevService::Pattern(size));
      continue;
    }
    EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kHashMismatch);
    EXPECT_EQ(DescribeDownloadError(outcome.error),
              "DOWNLOAD_HASH_MISMATCH (0): expected SHA-256 " + wrong + ", received " + right);
    EXPECT_FALSE(fs::exists(destination_));
    EXPECT_EQ(handler.trace.find('C'), std::string::npos);
  }
}

TEST(DownloadDigestText, OnlySixtyFourHexDigitsAreADigest) {
  const std::string digits = "0123456789abcdef0123456789ABCDEF0123456789abcdef0123456789ABCDEF";
  EXPECT_EQ(NormalizeSha256(digits),
            "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef");
  for (const std::string& bad :
       {std::string(), digits.substr(1), digits + "0", digits.substr(1) + "g",
        " " + digits.substr(1), digits.substr(1) + "\n", "sha256:" + digits})
    EXPECT_EQ(NormalizeSha256(bad), "") << bad;
}

TEST_F(DownloadTest, MalformedDigestChangesNothing) {
  const std::string url = Media("unpinned.bin", 1005);
  CHttpDownload download(url, test::PlatformPath(destination_), nullptr, L"INSTALLER");
  EXPECT_FALSE(download.ExpectSha256("not a digest"));
  EXPECT_EQ(download.Run(), 1005u);  // no digest was set, so none is checked
  EXPECT_EQ(ReadFile(destination_), DevService::Pattern(1005));
}

// ---- a failed download destroys nothing

// The case as it was seen: every range answered 404 while the user's own f.bin and
// f.bin.part were there. Both stay exactly as they were.
TEST_F(DownloadTest, RangesAnswered404LeaveTheUsersFilesAsTheyWere) {
  const std::string url = Media("f.bin", 100000);
  { std::ofstream(destination_, std::ios::binary) << "the user's own file"; }
  { std::ofstream(PartOf(destination_), std::ios::binary) << "the user's own part"; }
  AddFault("/media/f.bin", "status", [](Json::Value& rule) {
    rule["method"] = "GET";
    rule["status"] = 404;
  });
  const Outcome outcome = Download(url, nullptr);

  ASSERT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.code, CHttpDownloadEx::kFileCorrupted);
  EXPECT_EQ(ReadFile(destination_), "the user's own file");
  EXPECT_EQ(ReadFile(PartOf(destination_)), "the user's own part");
  EXPECT_FALSE(fs::exists(JournalOf(destination_)));
}

// ---- resume

// The bytes the service sent in the answers to GET requests for path.
long long SentBytes(const std::string& path) {
  long long sent = 0;
  for (const Json::Value& request : DevService::Get().Requests(path))
    if (request["method"].asString() == "GET") sent += request.get("sent", 0).asInt64();
  return sent;
}

// The bytes a journal says are on disk.
long long JournaledBytes(const fs::path& journalPath) {
  std::ifstream in(journalPath, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DownloadJournal journal;
  if (!ParseJournal(text, &journal)) return -1;
  long long bytes = 0;
  for (const auto& range : journal.ranges) bytes += range.second;
  return bytes;
}

// A download stopped half way (the user cancelled) is resumed by the next run: only the
// missing bytes are sent, each resumed range asked with If-Range, and the file ends
// byte-exact. The percentage starts at what was on disk.
TEST_F(DownloadTest, StoppedDownloadResumesWithOnlyTheMissingBytes) {
  const std::size_t size = 2000000;
  const std::string url = Media("resume.bin", size);
  AddFault("/media/resume.bin", "slow", [](Json::Value& rule) {
    rule["rate"] = 100000;
    rule["times"] = 10;
  });
  RecordingHandler first;
  first.hook = [&](char event, RecordingHandler& self) {
    if (event == 'P' && self.progressBytes >= static_cast<int64_t>(size / 2) && self.download)
      self.download->cancel = true;
  };
  const Outcome stopped = Download(url, &first);
  ASSERT_FALSE(stopped.ok);
  ASSERT_EQ(stopped.error.code, CHttpDownloadEx::kCanceled);
  ExpectNoDestinationAndResumablePart(size);
  const long long onDisk = JournaledBytes(JournalOf(destination_));
  ASSERT_GE(onDisk, static_cast<long long>(size / 2));
  ASSERT_LT(onDisk, static_cast<long long>(size));

  DevService::Get().Reset();
  RecordingHandler second;
  const Outcome resumed = Download(url, &second);
  ASSERT_TRUE(resumed.ok) << DescribeDownloadError(resumed.error);
  EXPECT_EQ(ReadFile(destination_), DevService::Pattern(size));
  EXPECT_FALSE(fs::exists(PartOf(destination_)));
  EXPECT_FALSE(fs::exists(JournalOf(destination_)));
  EXPECT_EQ(SentBytes("/media/resume.bin"), static_cast<long long>(size) - onDisk);
  EXPECT_EQ(second.progressBytes, static_cast<long long>(size) - onDisk);
  ASSERT_FALSE(second.percents.empty());
  EXPECT_GE(second.percents.front(), static_cast<int32_t>(onDisk * 100 / size));
  EXPECT_EQ(second.written, std::vector<int32_t>(10, static_cast<int32_t>(size / 10)));
  // A range that does not begin at its segment's first byte continues one on disk: it is
  // asked with If-Range.
  for (const Json::Value& request : DevService::Get().Requests("/media/resume.bin")) {
    if (request["method"].asString() != "GET") continue;
    const std::string range = request["headers"].get("Range", "").asString();
    const unsigned long first = std::stoul(range.substr(range.find('=') + 1));
    EXPECT_EQ(first % (size / 10) != 0, request["headers"].isMember("If-Range")) << range;
  }
}

// What makes the bytes on disk worthless: the next run starts over from byte zero (ten fresh
// ranges) and still ends with the server's file, byte-exact.
TEST_F(DownloadTest, ResumeStartsOverWhenTheBytesOnDiskCannotBeTrusted) {
  const std::size_t size = 500000;
  struct Case {
    const char* name;
    // Runs between the stopped run and the next one.
    std::function<void(const fs::path& journal)> change;
  } cases[] = {
      {"the file changed on the server (new ETag)",
       [](const fs::path&) {
         std::string other = DevService::Pattern(size);
         std::reverse(other.begin(), other.end());
         DevService::Get().PutMedia("trust.bin", other);
       }},
      {"a garbage journal",
       [](const fs::path& journal) { std::ofstream(journal, std::ios::binary) << "\x01garbage"; }},
      {"a torn journal",
       [](const fs::path& journal) {
         std::ifstream in(journal, std::ios::binary);
         std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         in.close();
         std::ofstream(journal, std::ios::binary | std::ios::trunc)
             << text.substr(0, text.size() - 4);
       }},
      {"a journal of another URL",
       [](const fs::path& journal) {
         std::ifstream in(journal, std::ios::binary);
         std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
         in.close();
         DownloadJournal parsed;
         ASSERT_TRUE(ParseJournal(text, &parsed));
         parsed.url += "?other";
         std::ofstream(journal, std::ios::binary | std::ios::trunc) << FormatJournal(parsed);
       }},
      {"a 200 answer to a resumed range",
       [](const fs::path&) {
         Json::Value rule;
         rule["path"] = "/media/trust.bin";
         rule["kind"] = "ignore_range";
         rule["times"] = 1;
         DevService::Get().AddFault(rule);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DevService::Get().Reset();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::string url = Media("trust.bin", size);
    RecordingHandler first;
    first.hook = [&](char event, RecordingHandler& self) {
      if (event == 'P' && self.progressBytes >= static_cast<int64_t>(size / 3) && self.download)
        self.download->cancel = true;
    };
    AddFault("/media/trust.bin", "slow", [](Json::Value& rule) {
      rule["rate"] = 50000;
      rule["times"] = 10;
    });
    ASSERT_FALSE(Download(url, &first).ok);
    ASSERT_GT(JournaledBytes(JournalOf(destination_)), 0);
    DevService::Get().Reset();
    c.change(JournalOf(destination_));
    const Outcome outcome = Download(url, nullptr);

    ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
    std::string served = DevService::Pattern(size);
    if (std::string(c.name).find("changed") != std::string::npos)
      std::reverse(served.begin(), served.end());
    EXPECT_TRUE(ReadFile(destination_) == served);
    EXPECT_FALSE(fs::exists(JournalOf(destination_)));
    // The ten ranges from their first bytes, without If-Range, were among the requests.
    std::vector<std::string> fresh;
    for (const Json::Value& request : DevService::Get().Requests("/media/trust.bin"))
      if (request["method"].asString() == "GET" && !request["headers"].isMember("If-Range"))
        fresh.push_back(request["headers"].get("Range", "(none)").asString());
    std::sort(fresh.begin(), fresh.end());
    EXPECT_EQ(fresh, ExpectedRanges(size));
  }
}

// Stops a download of size bytes from url half way (the service slowed down), leaving its
// temporary file and journal for the next run.
void StopHalfWay(const fs::path& destination, const std::string& url, const std::string& path,
                 std::size_t size) {
  Json::Value rule;
  rule["path"] = path;
  rule["kind"] = "slow";
  rule["rate"] = 200000;
  rule["times"] = 10;
  DevService::Get().AddFault(rule);
  RecordingHandler first;
  first.hook = [&](char event, RecordingHandler& self) {
    if (event == 'P' && self.progressBytes >= static_cast<int64_t>(size / 2) && self.download)
      self.download->cancel = true;
  };
  CHttpDownload download(url, test::PlatformPath(destination), &first, L"INSTALLER");
  first.download = &download;
  EXPECT_THROW(download.Run(), CHttpDownloadEx);
  DevService::Get().Reset();
}

// The file became shorter on the server after a run was cut: the next run ends with exactly
// the new file - its length and its bytes - and nothing of the old temporary file's tail,
// with or without a digest to check.
TEST_F(DownloadTest, ShrunkenFileLeavesNoStaleTail) {
  const std::size_t before = 1024 * 1024;
  const std::size_t after = 600 * 1024;
  for (bool withDigest : {false, true}) {
    SCOPED_TRACE(withDigest ? "with a digest" : "without a digest");
    DevService::Get().Reset();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::string url = Media("shrinks.bin", before);
    StopHalfWay(destination_, url, "/media/shrinks.bin", before);
    ASSERT_EQ(fs::file_size(PartOf(destination_)), before);
    std::string shorter = DevService::Pattern(after);
    std::reverse(shorter.begin(), shorter.end());
    DevService::Get().PutMedia("shrinks.bin", shorter);

    Outcome outcome;
    try {
      CHttpDownload download(url, test::PlatformPath(destination_), nullptr, L"INSTALLER");
      if (withDigest) {
        ASSERT_TRUE(download.ExpectSha256(Sha256Hex(shorter)));
      }
      outcome.result = download.Run();
      outcome.ok = true;
    } catch (const CHttpDownloadEx& error) {
      outcome.error = error;
    }
    ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
    EXPECT_EQ(outcome.result, after);
    EXPECT_EQ(fs::file_size(destination_), after);
    EXPECT_TRUE(ReadFile(destination_) == shorter);
  }
}

// The journal is believed only as far as the temporary file bears it out: a file cut short
// (or emptied) under a journal that claims every range is fetched again, and ends right.
TEST_F(DownloadTest, JournalClaimsBeyondTheFileAreNotBelieved) {
  const std::size_t size = 500000;
  for (std::size_t kept : {std::size_t{0}, size / 4, size - 1}) {
    SCOPED_TRACE(kept);
    DevService::Get().Reset();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::string url = Media("claims.bin", size);
    StopHalfWay(destination_, url, "/media/claims.bin", size);
    // The journal now claims the whole file; the file holds only its first kept bytes.
    DownloadJournal journal;
    ASSERT_TRUE(ParseJournal(ReadFile(JournalOf(destination_)), &journal));
    journal.ranges.clear();
    for (uint32_t i = 0; i < 10; ++i)
      journal.ranges.emplace_back(i * (size / 10), static_cast<uint32_t>(size / 10));
    std::ofstream(JournalOf(destination_), std::ios::binary | std::ios::trunc)
        << FormatJournal(journal);
    fs::resize_file(PartOf(destination_), kept);

    const Outcome outcome = Download(url, nullptr);
    ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
    EXPECT_TRUE(ReadFile(destination_) == DevService::Pattern(size));
    EXPECT_EQ(SentBytes("/media/claims.bin"), static_cast<long long>(size));
  }
}

// A temporary file that is a hard link to another file (with a journal beside it, garbage or
// a real one) is never written in place: the other file keeps its bytes, and the download
// takes a name of its own.
TEST_F(DownloadTest, HardLinkedPartIsNeverWrittenInPlace) {
  const std::size_t size = 100000;
  const std::string url = Media("linked.bin", size);
  const fs::path outside = test::ScratchRoot() / (folder_.filename().string() + "-outside");
  fs::create_directories(outside);
  for (bool realJournal : {false, true}) {
    SCOPED_TRACE(realJournal ? "a journal of this download" : "a garbage journal");
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    std::string journal = "orvex";
    if (realJournal) {
      // What a stopped run of this very download leaves, claiming nothing yet.
      StopHalfWay(destination_, url, "/media/linked.bin", size);
      journal = ReadFile(JournalOf(destination_));
      fs::remove(PartOf(destination_));
    }
    const std::string precious(size, 'h');
    std::ofstream(outside / "host.bin", std::ios::binary | std::ios::trunc) << precious;
    fs::create_hard_link(outside / "host.bin", PartOf(destination_));
    std::ofstream(JournalOf(destination_), std::ios::binary | std::ios::trunc) << journal;

    const Outcome outcome = Download(url, nullptr);
    ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
    EXPECT_TRUE(ReadFile(destination_) == DevService::Pattern(size));
    EXPECT_TRUE(ReadFile(outside / "host.bin") == precious);
    EXPECT_TRUE(ReadFile(PartOf(destination_)) == precious);
  }
  std::error_code ignored;
  fs::remove_all(outside, ignored);
}

// A stopped run's temporary file under a numbered name (the plain one was someone else's) is
// resumed by the next run once the plain name is free, and one that cannot be resumed (the
// file changed) is removed: our own leftovers never take up the names one after another.
TEST_F(DownloadTest, OwnNumberedPartsAreResumedOrRemoved) {
  const std::size_t size = 400000;
  for (bool changed : {false, true}) {
    SCOPED_TRACE(changed ? "the file changed" : "the same file");
    DevService::Get().Reset();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::string url = Media("numbered.bin", size);
    std::ofstream(PartOf(destination_), std::ios::binary) << "a user's file";
    StopHalfWay(destination_, url, "/media/numbered.bin", size);
    const fs::path numbered = folder_ / "file.bin.1.part";
    ASSERT_TRUE(fs::exists(numbered));
    const long long onDisk = JournaledBytes(fs::path(numbered.wstring() + L".journal"));
    ASSERT_GT(onDisk, 0);
    fs::remove(PartOf(destination_));  // the user's file goes
    std::string served = DevService::Pattern(size);
    if (changed) {
      std::reverse(served.begin(), served.end());
      DevService::Get().PutMedia("numbered.bin", served);
    }

    const Outcome outcome = Download(url, nullptr);
    ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
    EXPECT_TRUE(ReadFile(destination_) == served);
    EXPECT_EQ(SentBytes("/media/numbered.bin"),
              changed ? static_cast<long long>(size) : static_cast<long long>(size) - onDisk);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_))
      names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"file.bin"});
  }
}

#ifndef _WIN32
// A journal that cannot be written (here the temporary it is written through is a name too
// long for the system, while the .part fits) takes its .part with it when the download stops:
// stopped runs leave nothing, and the names never run out.
TEST_F(DownloadTest, PartWhoseJournalCannotBeWrittenIsNotLeftBehind) {
  const std::string url = Media("unjournaled.bin", 100000);
  const std::size_t folderLength = test::PlatformPath(folder_).size();
  // 245 characters: "<name>.15.part" is 253, "<name>.part.journal.tmp" 262 (MAX_PATH is 260).
  ASSERT_LT(folderLength + 1, 245u);
  const fs::path destination = folder_ / std::string(245 - folderLength - 1, 'n');
  ASSERT_EQ(test::PlatformPath(destination).size(), 245u);
  for (int run = 0; run < 18; ++run) {
    SCOPED_TRACE(run);
    RecordingHandler stopping;
    stopping.hook = [](char event, RecordingHandler& self) {
      if (event == 'T' && self.download) self.download->cancel = true;
    };
    const Outcome outcome = DownloadTo(destination, url, &stopping);
    ASSERT_FALSE(outcome.ok);
    ASSERT_EQ(outcome.error.code, CHttpDownloadEx::kCanceled)
        << DescribeDownloadError(outcome.error);
    EXPECT_TRUE(fs::is_empty(folder_));
  }
  const Outcome outcome = DownloadTo(destination, url, nullptr);
  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_TRUE(ReadFile(destination) == DevService::Pattern(100000));
}
#endif

// ---- a slow range taken over

// A file of twelve ranges' worth whose first range (the request that starts at byte 0) the
// service sends at rate bytes per second; the others, and any request for the rest of that
// range, at full speed.
std::string MediaWithSlowFirstRange(const std::string& name, std::size_t size, int rate) {
  const std::string url = DevService::Get().Url("/media/" + name);
  DevService::Get().PutPatternMedia(name, size);
  Json::Value rule;
  rule["path"] = "/media/" + name;
  rule["method"] = "GET";
  rule["kind"] = "slow";
  rule["range_start"] = 0;
  rule["rate"] = rate;
  DevService::Get().AddFault(rule);
  return url;
}

// The first bytes of the Range headers of the GET requests for path: "bytes=N-...".
std::vector<unsigned long> RequestedStarts(const std::string& path) {
  std::vector<unsigned long> starts;
  for (const Json::Value& request : DevService::Get().Requests(path)) {
    const std::string range = request["headers"].get("Range", "").asString();
    if (request["method"].asString() == "GET" && range.compare(0, 6, "bytes=") == 0)
      starts.push_back(std::stoul(range.substr(6)));
  }
  return starts;
}

bool IsTenthOf(unsigned long start, std::size_t size) { return start % (size / 10) == 0; }

// The ten ranges finish at once but the first, which the service sends slowly: a connection
// that is done asks for the back half of what that range still lacks, and so on while halves
// are worth a request. The file is exact (its digest as expected, checked while the ranges
// arrive), every byte is counted once, and the first range's request was cut where the range
// that took it over begins.
TEST_F(DownloadTest, SlowRangeIsTakenOverByAConnectionThatIsDone) {
  const std::size_t size = 12 * 1024 * 1024;
  // The slow range needs seven seconds before what it lacks is too short to share: time
  // enough for the others to finish on a busy machine.
  const std::string url = MediaWithSlowFirstRange("straggler.bin", size, 100000);
  RecordingHandler handler;
  Outcome outcome;
  {
    CHttpDownload download(url, test::PlatformPath(destination_), &handler, L"INSTALLER");
    ASSERT_TRUE(download.ExpectSha256(Sha256Hex(DevService::Pattern(size))));
    try {
      outcome.result = download.Run();
      outcome.ok = true;
    } catch (const CHttpDownloadEx& error) {
      outcome.error = error;
    }
    outcome.downloaded = download.Downloaded();
  }
  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_TRUE(ReadFile(destination_) == DevService::Pattern(size));
  EXPECT_EQ(outcome.downloaded, size);
  EXPECT_EQ(handler.progressBytes, static_cast<int64_t>(size));
  EXPECT_FALSE(fs::exists(JournalOf(destination_)));

  const std::vector<unsigned long> starts = RequestedStarts("/media/straggler.bin");
  std::vector<unsigned long> takenOver;
  for (unsigned long start : starts)
    if (!IsTenthOf(start, size)) takenOver.push_back(start);
  ASSERT_FALSE(takenOver.empty()) << "no range was taken over";
  // Each one takes over inside the first range, the first of them (the latest start: each
  // later one halves what the first range kept) behind its middle.
  for (unsigned long start : takenOver) EXPECT_LT(start, size / 10);
  EXPECT_GE(*std::max_element(takenOver.begin(), takenOver.end()), size / 10 / 2);
  EXPECT_EQ(std::count(starts.begin(), starts.end(), 0ul), 1);  // the slow request, once
}

#ifndef _WIN32
// Runs the download in a child process, for a test to kill: the child's pid, or -1.
pid_t DownloadInChildProcess(const std::string& url, const std::wstring& destination) {
  const pid_t child = fork();
  if (child != 0) return child;
  try {
    CHttpDownload download(url, destination, nullptr, L"INSTALLER");
    download.Run();
  } catch (...) {
  }
  _exit(0);
}

// The process is killed (SIGKILL) half way: what the journal held at that moment is kept, and
// the next run fetches only the rest. The download runs in a child process, which the test
// kills once the journal shows half the file on disk.
TEST_F(DownloadTest, KilledDownloadResumesFromItsLastJournal) {
  const std::size_t size = 24 * 1024 * 1024;
  const std::string url = Media("killed.bin", size);
  // About six seconds in all: the journal is saved about every second, and claims half
  // the file well before the end. Every request is slow, a range taken over as well.
  AddFault("/media/killed.bin", "slow", [](Json::Value& rule) { rule["rate"] = 400000; });
  const std::wstring destination = test::PlatformPath(destination_);
  const pid_t child = DownloadInChildProcess(url, destination);
  ASSERT_NE(child, -1);
  // Waits (a bounded number of looks) for half the file in the journal, then kills.
  long long journaled = 0;
  for (int look = 0; look < 6000 && journaled < static_cast<long long>(size / 2); ++look) {
    usleep(10000);
    journaled = JournaledBytes(JournalOf(destination_));
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the download ended before it was killed";
  const long long onDisk = JournaledBytes(JournalOf(destination_));
  ASSERT_GE(onDisk, static_cast<long long>(size / 2));

  DevService::Get().Reset();
  const Outcome resumed = Download(url, nullptr);
  ASSERT_TRUE(resumed.ok) << DescribeDownloadError(resumed.error);
  EXPECT_TRUE(ReadFile(destination_) == DevService::Pattern(size));
  EXPECT_EQ(SentBytes("/media/killed.bin"), static_cast<long long>(size) - onDisk);
  EXPECT_FALSE(fs::exists(JournalOf(destination_)));
}

// The ranges a journal claims, or none.
std::vector<std::pair<uint32_t, uint32_t>> JournaledRanges(const fs::path& journalPath) {
  std::ifstream in(journalPath, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  DownloadJournal journal;
  if (!ParseJournal(text, &journal)) return {};
  return journal.ranges;
}

// Killed once the journal holds a range that was taken over (one that starts at no tenth of
// the file): the next run believes every range the journal claims, split ones included, and
// fetches exactly the rest.
TEST_F(DownloadTest, KilledAfterATakeOverResumesWithOnlyTheMissingBytes) {
  const std::size_t size = 12 * 1024 * 1024;
  const std::string url = MediaWithSlowFirstRange("split-killed.bin", size, 50000);
  const std::wstring destination = test::PlatformPath(destination_);
  const pid_t child = DownloadInChildProcess(url, destination);
  ASSERT_NE(child, -1);
  auto tookOver = [&] {
    for (const auto& range : JournaledRanges(JournalOf(destination_)))
      if (!IsTenthOf(range.first, size)) return true;
    return false;
  };
  for (int look = 0; look < 6000 && !tookOver(); ++look) usleep(10000);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the download ended before it was killed";
  ASSERT_TRUE(tookOver());
  const long long onDisk = JournaledBytes(JournalOf(destination_));
  ASSERT_LT(onDisk, static_cast<long long>(size));

  DevService::Get().Reset();
  const Outcome resumed = Download(url, nullptr);
  ASSERT_TRUE(resumed.ok) << DescribeDownloadError(resumed.error);
  EXPECT_TRUE(ReadFile(destination_) == DevService::Pattern(size));
  EXPECT_EQ(SentBytes("/media/split-killed.bin"), static_cast<long long>(size) - onDisk);
  EXPECT_FALSE(fs::exists(JournalOf(destination_)));
}
#endif

#ifdef _WIN32
// Under Windows the download holds its presence pipe while it runs, and closes it with itself.
TEST_F(DownloadTest, HoldsThePresencePipeWhileItRuns) {
  const std::string url = Media("pipe.bin", 1005);
  const wchar_t* const path = L"\\\\.\\pipe\\orvex-download-test-pipe";
  RecordingHandler handler;
  bool seen = false;
  handler.hook = [&](char event, RecordingHandler&) {
    if (event != 'S') return;
    std::FILE* client = _wfopen(path, L"rb");
    seen = client != nullptr;
    if (client) std::fclose(client);
  };
  const Outcome outcome = Download(url, &handler, 120, L"orvex-download-test-pipe");
  ASSERT_TRUE(outcome.ok) << DescribeDownloadError(outcome.error);
  EXPECT_TRUE(seen);
  std::FILE* client = _wfopen(path, L"rb");
  EXPECT_EQ(nullptr, client);
  EXPECT_EQ(ENOENT, errno);
  if (client) std::fclose(client);
}
#endif

}  // namespace
}  // namespace orvex
