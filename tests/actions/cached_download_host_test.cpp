// The machine's download cache on the simulated machine, against the dev service: resumed
// and reused whatever the destination, checked again before use, kept only when trusted and
// when there is room, emptied after a completed installation.
#include "actions/cached_download.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <string>
#include <vector>

#include "actions/download_cache.h"
#include "actions/download_journal.h"
#include "actions/http_downloader.h"
#include "app/installer_session.h"
#include "app/module_table.h"
#include "base/text.h"
#include "platform/admin_folders.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "platform/sim/machine.h"
#include "tests/support/development_setting.h"
#include "tests/support/devservice_client.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::DevService;

std::string DigestOf(const std::string& bytes) {
  platform::Sha256 hash;
  uint8_t digest[platform::kSha256Bytes];
  uint32_t error = 0;
  if (!hash.Start(&error) || !hash.Add(bytes.data(), bytes.size(), &error) ||
      !hash.Finish(digest, &error))
    return std::string();
  return platform::Sha256Text(digest);
}

// Counts the events; cancels the download once half of the file has arrived when asked to.
class Events : public IDownloadHandler {
 public:
  void OnStart(int32_t total) override {
    letters += 'S';
    this->total = total;
  }
  int OnProgress(int32_t bytes, int32_t percent) override {
    letters += 'P';
    received += bytes;
    percents.push_back(percent);
    if (cancelAtHalf && received >= total / 2 && download) download->Cancel();
    return 0;
  }
  void OnTransferDone() override { letters += 'D'; }
  void OnTick() override {}
  void OnWriteStart(int32_t) override { letters += 'W'; }
  void OnWritten(int32_t) override { letters += 'w'; }
  void OnComplete() override { letters += 'C'; }

  // The letters with runs of P and the ticks folded: "SPDWwC" for a whole download.
  std::string Shape() const {
    std::string shape;
    for (char letter : letters)
      if (shape.empty() || letter != 'P' || shape.back() != 'P') shape += letter;
    return shape;
  }

  std::string letters;
  int64_t received = 0;
  int32_t total = 0;
  std::vector<int32_t> percents;
  bool cancelAtHalf = false;
  CCachedDownload* download = nullptr;
};

struct Result {
  bool ok = false;
  int32_t code = 0;
  std::string note;
};

class CachedDownloadTest : public ::testing::Test {
 protected:
  static constexpr std::size_t kSize = 3 << 20;

  void SetUp() override {
    DevService::Get().Reset();
    DevService::Get().PutPatternMedia("package.cab", kSize);
    url_ = DevService::Get().Url("/media/package.cab");
    digest_ = DigestOf(DevService::Pattern(kSize));
    // A cache of its own (not made yet: the cache makes it) in a folder of this test.
    cache_ = test::NewWorkFolder("cache") + L"\\Downloads";
  }

  // A destination folder: one that only administrators can change (the session folder's
  // kind) or an ordinary one.
  static std::wstring DestinationFolder(bool adminOnly) {
    std::wstring folder = test::NewWorkFolder("destination");
    if (!adminOnly) return folder;
    folder += L"\\session";
    uint32_t error = 0;
    EXPECT_TRUE(platform::MakeAdminOnlyDirectory(folder, &error)) << error;
    return folder;
  }

  Result Fetch(const std::wstring& destination, Events* events = nullptr,
               const std::string& digest = "use the file's") {
    CCachedDownload download(url_, destination, digest == "use the file's" ? digest_ : digest,
                             events, L"INSTALLER", cache_);
    if (events) events->download = &download;
    Result result;
    try {
      download.Run();
      result.ok = true;
    } catch (const CHttpDownloadEx& error) {
      result.code = error.code;
    }
    result.note = download.Note();
    return result;
  }

  // Body bytes the service sent for the package since the last call.
  int64_t SentSinceLastLook() {
    const Json::Value requests = DevService::Get().Requests("/media/package.cab");
    int64_t sent = 0;
    for (Json::ArrayIndex i = looked_; i < requests.size(); ++i)
      sent += requests[i]["sent"].asInt64();
    looked_ = requests.size();
    return sent;
  }

  std::wstring Entry() const { return cache_ + L"\\" + Utf8ToWide(digest_); }

  static struct stat Stat(const std::wstring& path) {
    struct stat info {};
    EXPECT_EQ(0, stat(sim::HostPath(path).c_str(), &info)) << WideToUtf8(path);
    return info;
  }

  std::string url_;
  std::string digest_;
  std::wstring cache_;
  std::string note_;
  Json::ArrayIndex looked_ = 0;
  test::ScopedPlainHttp plainHttp_{DevService::Get().BaseUrl()};
};

// A download stopped half-way resumes from the cache in a later run into another
// destination, fetching only what it lacks; the run after that asks the service nothing.
TEST_F(CachedDownloadTest, ResumesIntoAnotherDestinationThenReusesWithoutARequest) {
  Events first;
  first.cancelAtHalf = true;
  const Result cut = Fetch(DestinationFolder(true) + L"\\package.cab", &first);
  ASSERT_FALSE(cut.ok);
  EXPECT_EQ(CHttpDownloadEx::kCanceled, cut.code);
  EXPECT_TRUE(platform::PathExists(Entry() + L".part"));
  EXPECT_GE(SentSinceLastLook(), static_cast<int64_t>(kSize / 2));

  const std::wstring second = DestinationFolder(true) + L"\\package.cab";
  const Result resumed = Fetch(second);
  ASSERT_TRUE(resumed.ok) << resumed.code;
  EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(second));
  EXPECT_LE(SentSinceLastLook(), static_cast<int64_t>(kSize * 55 / 100));
  EXPECT_EQ("fetched into the cache", resumed.note);

  Events third;
  const std::wstring again = DestinationFolder(false) + L"\\package.cab";
  const Result reused = Fetch(again, &third);
  ASSERT_TRUE(reused.ok) << reused.code;
  EXPECT_EQ("taken from the cache without a request", reused.note);
  EXPECT_EQ(0u, DevService::Get().Requests("/media/package.cab").size() - looked_);
  EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(again));
  // The user sees a download: start, progress up to 100 %, done, written, complete.
  EXPECT_EQ("SPDWwC", third.Shape());
  ASSERT_FALSE(third.percents.empty());
  EXPECT_EQ(100, third.percents.back());
  EXPECT_TRUE(std::is_sorted(third.percents.begin(), third.percents.end()));
}

// In a folder only administrators can change, the destination is another name of the cache's
// file (the file keeps the cache's administrator-only protection); anywhere else a copy, so
// that a write there never reaches the cache.
TEST_F(CachedDownloadTest, PlacesAHardLinkInProtectedFoldersAndACopyElsewhere) {
  for (bool adminOnly : {true, false}) {
    const std::wstring destination = DestinationFolder(adminOnly) + L"\\package.cab";
    ASSERT_TRUE(Fetch(destination).ok);
    const struct stat placed = Stat(destination);
    const struct stat entry = Stat(Entry());
    EXPECT_EQ(adminOnly, placed.st_ino == entry.st_ino) << adminOnly;
    EXPECT_FALSE(platform::PathExists(destination + L".cache.tmp"));
    if (!adminOnly) {
      // The user writes to the copy: the cache's file stays the verified one.
      ASSERT_TRUE(test::WriteWholeFile(destination, "changed by the user"));
      EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(Entry()));
    }
  }
}

// A cached file whose bytes changed (an administrator's slip, a disk's fault) is not used:
// it is removed and fetched again, and the destination gets the right bytes. A user without
// elevation cannot change it at all.
TEST_F(CachedDownloadTest, ChangedCacheEntryIsFetchedAgain) {
  ASSERT_TRUE(Fetch(DestinationFolder(true) + L"\\package.cab").ok);
  SentSinceLastLook();
  {
    sim::ScopedNonAdministrator user;
    uint32_t error = 0;
    EXPECT_EQ(nullptr, platform::OpenForWriting(Entry(), &error));
  }
  std::string changed = DevService::Pattern(kSize);
  changed[kSize / 3] ^= 1;
  ASSERT_TRUE(test::WriteWholeFile(Entry(), changed));

  const std::wstring destination = DestinationFolder(true) + L"\\package.cab";
  const Result result = Fetch(destination);
  ASSERT_TRUE(result.ok) << result.code;
  EXPECT_EQ(
      "the cached file did not match its digest: removed and fetched again; fetched into the "
      "cache",
      result.note);
  EXPECT_EQ(static_cast<int64_t>(kSize), SentSinceLastLook());
  EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(destination));
  EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(Entry()));
}

// Without a digest nothing could prove the bytes are the ones asked for: nothing is kept, the
// cache folder is not even made, and every run fetches the file.
TEST_F(CachedDownloadTest, WithoutADigestNothingIsCached) {
  for (int run = 0; run < 2; ++run) {
    const std::wstring destination = DestinationFolder(true) + L"\\package.cab";
    const Result result = Fetch(destination, nullptr, "");
    ASSERT_TRUE(result.ok) << result.code;
    EXPECT_EQ("not cached: no sha256", result.note);
    EXPECT_EQ(static_cast<int64_t>(kSize), SentSinceLastLook());
    EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(destination));
  }
  EXPECT_FALSE(platform::PathExists(cache_));
}

// An existing cache folder that others can change: protected again and emptied when an
// administrator owns it; refused when a user does (its owner could open it again at any
// time), and the download goes straight to the destination.
TEST_F(CachedDownloadTest, FolderOthersCanChangeIsRepairedOrRefused) {
  struct Case {
    bool ownedByUser;
    bool cached;
  };
  for (const Case& c : {Case{false, true}, Case{true, false}}) {
    cache_ = test::NewWorkFolder("weak-cache");
    ASSERT_FALSE(platform::OnlyAdministratorsCanWrite(cache_));
    // A file planted while anyone could write there, under the name a verified file has.
    ASSERT_TRUE(test::WriteWholeFile(Entry(), "planted"));
    if (c.ownedByUser) sim::GiveFolderToUser(cache_);

    const std::wstring destination = DestinationFolder(true) + L"\\package.cab";
    const Result result = Fetch(destination);
    ASSERT_TRUE(result.ok) << result.code;
    EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(destination));
    EXPECT_EQ(c.cached, platform::OnlyAdministratorsCanWrite(cache_)) << c.ownedByUser;
    if (c.cached) {
      EXPECT_EQ("fetched into the cache", result.note);
      EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(Entry()));
    } else {
      EXPECT_EQ(0u, result.note.rfind("not cached: the folder ", 0)) << result.note;
      EXPECT_EQ("planted", test::ReadWholeFile(Entry()));  // not ours to touch
    }
  }
}

// Entries, temporary downloads and journals not written for more than 30 days go when the
// cache is first opened; newer ones stay.
TEST_F(CachedDownloadTest, EntriesOlderThanThirtyDaysAreRemovedOnOpening) {
  uint32_t error = 0;
  ASSERT_TRUE(platform::MakeAdminOnlyDirectory(cache_, &error)) << error;
  const std::vector<std::wstring> old = {L"\\" + std::wstring(64, L'a'),
                                         L"\\" + std::wstring(64, L'b') + L".part",
                                         L"\\" + std::wstring(64, L'b') + L".part.journal"};
  const std::vector<std::wstring> recent = {L"\\" + std::wstring(64, L'c'),
                                            L"\\" + std::wstring(64, L'd') + L".part"};
  for (const std::wstring& name : old) {
    ASSERT_TRUE(test::WriteWholeFile(cache_ + name, "old"));
    const time_t longAgo = time(nullptr) - 31 * 24 * 60 * 60;
    struct utimbuf times = {longAgo, longAgo};
    ASSERT_EQ(0, utime(sim::HostPath(cache_ + name).c_str(), &times));
  }
  for (const std::wstring& name : recent) {
    ASSERT_TRUE(test::WriteWholeFile(cache_ + name, "recent"));
    const time_t lately = time(nullptr) - 29 * 24 * 60 * 60;
    struct utimbuf times = {lately, lately};
    ASSERT_EQ(0, utime(sim::HostPath(cache_ + name).c_str(), &times));
  }
  std::string why;
  ASSERT_TRUE(OpenDownloadCache(cache_, &why)) << why;
  for (const std::wstring& name : old) EXPECT_FALSE(platform::PathExists(cache_ + name));
  for (const std::wstring& name : recent) EXPECT_TRUE(platform::PathExists(cache_ + name));
}

// A drive without room for the file and the margin keeps nothing: the download still
// succeeds, straight into the destination.
TEST_F(CachedDownloadTest, FullDriveKeepsNothingAndTheDownloadWorks) {
  Json::Value profile = test::J(R"({"environment": {"SystemDrive": "C:", "TEMP": "C:\\Temp"}})");
  profile["drives"]["C:"]["freeBytes"] = Json::UInt64(kCacheFreeSpaceMargin);
  sim::ScopedMachine machine(profile);
  cache_ = test::NewWorkFolder("full-cache") + L"\\Downloads";
  const std::wstring destination = DestinationFolder(true) + L"\\package.cab";
  const Result result = Fetch(destination);
  ASSERT_TRUE(result.ok) << result.code;
  EXPECT_EQ("not kept: the cache's drive has no room for the file and 256 MiB more", result.note);
  EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(destination));
  EXPECT_FALSE(platform::PathExists(Entry()));
  EXPECT_FALSE(platform::PathExists(Entry() + L".part"));
}

// The installer session: a run whose installation completes leaves the cache without the
// files it used; one that does not complete keeps them for the next run.
TEST_F(CachedDownloadTest, CompletedInstallationRemovesTheFilesItUsed) {
  RegisterModuleTable();
  for (bool completes : {false, true}) {
    const std::wstring session = DestinationFolder(true);
    Json::Value config = test::J(R"({"Stages": [{"name": "Download", "modules": [
        {"class": "HTTPDownloader", "name": "PACKAGE", "args": {"destination": "package.cab"}}]}]})");
    Json::Value& args = config["Stages"][0]["modules"][0]["args"];
    args["url"] = url_;
    args["directory"] = WideToUtf8(session);
    args["sha256"] = digest_;
    if (completes) config["Stages"].append(test::J(R"({"name": "LastStage"})"));
    DevService::Get().SetConfig(test::Compact(config));
    test::ScopedDevelopmentSetting base("BASE_DOMAIN", DevService::Get().BaseUrl() + "/");
    test::ScopedDevelopmentSetting mode("QUARN_OI_RUNMODE", "sandbox");
    SetDownloadCacheFolder(cache_);
    test::RecordingIndicator ui;
    SessionSettings settings;
    settings.ui = "console";
    settings.progress = "PIConsole";
    settings.indicator = &ui;
    const SessionResult result = RunInstallerSession(settings);
    SetDownloadCacheFolder(DefaultDownloadCacheFolder());
    ASSERT_EQ(SessionResult::kRan, result.outcome);
    EXPECT_EQ(completes, result.completed);
    EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(session + L"\\package.cab"));
    EXPECT_EQ(!completes, platform::PathExists(Entry())) << completes;
    EXPECT_FALSE(platform::PathExists(Entry() + L".part"));
  }
  // The completed run took the file from the cache the failed run left.
  const Json::Value requests = DevService::Get().Requests("/media/package.cab");
  int64_t sent = 0;
  for (const Json::Value& request : requests) sent += request["sent"].asInt64();
  EXPECT_EQ(static_cast<int64_t>(kSize), sent);
}

// Bytes the journal beside a temporary file claims; 0 without one.
long long JournaledBytes(const std::wstring& part) {
  DownloadJournal journal;
  if (!LoadJournal(JournalPathOf(part), &journal)) return 0;
  long long bytes = 0;
  for (const auto& range : journal.ranges) bytes += range.second;
  return bytes;
}

// On a slow line the journal is brought up to date with time, not only every 4 MiB: a run
// killed (SIGKILL, in a child process) part-way through a file smaller than that resumes from
// what its journal claimed, and the cache entry's next run fetches only the rest.
TEST_F(CachedDownloadTest, KilledSlowDownloadResumesFromItsRecentJournal) {
  DevService::Get().AddFault([] {
    Json::Value rule;
    rule["path"] = "/media/package.cab";
    rule["method"] = "GET";
    rule["kind"] = "slow";
    rule["rate"] = 40000;
    rule["times"] = 10;
    return rule;
  }());
  ASSERT_TRUE(OpenDownloadCache(cache_, &note_)) << note_;
  const std::wstring destination = DestinationFolder(true) + L"\\package.cab";
  const pid_t child = fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    try {
      CCachedDownload download(url_, destination, digest_, nullptr, L"INSTALLER", cache_);
      download.Run();
    } catch (...) {
    }
    _exit(0);
  }
  long long journaled = 0;
  for (int look = 0; look < 3000 && journaled < static_cast<long long>(kSize / 4); ++look) {
    usleep(10000);
    journaled = JournaledBytes(Entry() + L".part");
  }
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the download ended before it was killed";
  const long long onDisk = JournaledBytes(Entry() + L".part");
  ASSERT_GE(onDisk, static_cast<long long>(kSize / 4));

  DevService::Get().Reset();
  looked_ = 0;
  const Result resumed = Fetch(destination);
  ASSERT_TRUE(resumed.ok) << resumed.code;
  EXPECT_EQ(DevService::Pattern(kSize), test::ReadWholeFile(destination));
  EXPECT_EQ(static_cast<long long>(kSize) - onDisk, SentSinceLastLook());
}

}  // namespace
}  // namespace orvex
