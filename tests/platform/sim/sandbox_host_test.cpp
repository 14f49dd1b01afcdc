// The simulated machine keeps every file operation in its sandbox: paths of every form, links
// planted in the sandbox, device names, the host's environment. A marker tree outside the
// sandbox (and the host's current folder and $TMP) must come out of every test unchanged.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "actions/cabinet.h"
#include "actions/zip_extract.h"
#include "base/text.h"
#include "engine/stage.h"
#include "platform/environment.h"
#include "platform/file_handles.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/sim/machine.h"
#include "platform/win_codes.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/sim_test_support.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::J;

const char kMachine[] = R"({
  "osBits": 64,
  "environment": {"SystemDrive": "C:", "SystemRoot": "C:\\Windows", "USERPROFILE": "C:\\Users\\john",
                  "TEMP": "C:\\Users\\john\\AppData\\Local\\Temp", "TMP": "C:\\Users\\john\\AppData\\Local\\Temp"},
  "currentDirectory": "C:\\Users\\john\\Downloads",
  "files": {"C:\\Data\\a.txt": "ay"}
})";

// A folder outside the sandbox with a file and a sub-folder; Snapshot() describes it whole.
class MarkerTree {
 public:
  MarkerTree() {
    char pattern[] = "/tmp/orvex-marker-XXXXXX";
    root_ = mkdtemp(pattern) ? pattern : "/tmp/orvex-marker-fallback";
    fs::create_directories(root_ / "sub");
    std::ofstream(root_ / "keep.txt") << "marker";
    std::ofstream(root_ / "sub" / "deep.txt") << "deep marker";
  }
  ~MarkerTree() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

// Every entry below folder with its kind, size and content: what a deletion or write changes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  std::error_code failed;
  for (auto it = fs::recursive_directory_iterator(folder, failed);
       !failed && it != fs::recursive_directory_iterator(); it.increment(failed)) {
    const fs::path& path = it->path();
    std::string description;
    if (fs::is_symlink(it->symlink_status())) {
      description = "link " + fs::read_symlink(path).string();
    } else if (fs::is_directory(it->symlink_status())) {
      description = "dir";
    } else {
      std::ifstream in(path, std::ios::binary);
      std::stringstream bytes;
      bytes << in.rdbuf();
      description = "file " + bytes.str();
    }
    entries[fs::relative(path, folder).string()] = description;
  }
  return entries;
}

class SimSandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    loaded_ = std::make_unique<sim::ScopedMachine>(J(kMachine));
    const fs::path links = sim::HostPath(L"C:\\Links");
    fs::create_directories(links);
    fs::create_directory_symlink(outside_.root(), links / "out");
    fs::create_symlink(outside_.root() / "keep.txt", links / "outfile");
    fs::create_directory_symlink(sim::HostPath(L"C:\\Data"), links / "data");
    // Links whose targets do not exist yet: out of the sandbox (by a host path, climbing from
    // the link's folder, into a folder that is not there) and into it.
    fs::create_symlink(outside_.root() / "escaped.txt", links / "dangling");
    fs::create_symlink(outside_.root() / "newdir", links / "danglingdir");
    std::string climb;
    for (int i = 0; i < 20; ++i) climb += "../";
    fs::create_symlink(climb + outside_.root().relative_path().string() + "/up.txt",
                       links / "danglingup");
    fs::create_symlink(sim::HostPath(L"C:\\Data") + "/new.txt", links / "inside");
    before_ = Snapshot(outside_.root());
  }
  void TearDown() override { EXPECT_EQ(before_, Snapshot(outside_.root())); }

  test::ScopedSandbox sandbox_;
  std::unique_ptr<sim::ScopedMachine> loaded_;
  MarkerTree outside_;
  std::map<std::string, std::string> before_;
};

TEST_F(SimSandbox, EveryPathFormLandsInTheSandboxOrIsRefused) {
  const std::string marker = outside_.root().string();
  struct Case {
    std::wstring path;
    const char* host;  // below the sandbox root; null: refused
    uint32_t error;
  } cases[] = {
      {L"C:\\Data\\A.TXT", "/C/Data/a.txt", 0},
      {L"\\Data\\a.txt", "/C/Data/a.txt", 0},  // the current drive's root
      {L"/Data/a.txt", "/C/Data/a.txt", 0},
      {L"new.txt", "/C/Users/john/Downloads/new.txt", 0},  // the current directory
      {L"..\\..\\..\\..\\..\\x", "/C/x", 0},               // never above the drive's root
      {L"C:..\\..\\..\\..\\x", "/C/x", 0},
      {L"C:\\..\\..\\etc\\passwd", "/C/etc/passwd", 0},
      {L"D:\\x", "/D/x", 0},
      {L"C:\\Data.\\a.txt . ", "/C/Data/a.txt", 0},  // trailing dots and blanks go
      {L"\\\\?\\C:\\Data\\a.txt", "/C/Data/a.txt", 0},
      {L"\\\\.\\C:\\Data\\a.txt", "/C/Data/a.txt", 0},
      {Utf8ToWide(marker) + L"/keep.txt", nullptr, 0},  // checked below: in the sandbox
      {L"", nullptr, platform::kErrorPathNotFound},
      {L"\\\\server\\share\\x", nullptr, platform::kErrorBadNetPath},
      {L"//127.0.0.1/c$/x", nullptr, platform::kErrorBadNetPath},
      {L"\\\\?\\UNC\\server\\share", nullptr, platform::kErrorPathNotFound},
      {L"\\\\.\\PhysicalDrive0", nullptr, platform::kErrorPathNotFound},
      {L"\\\\?\\GLOBALROOT\\Device\\x", nullptr, platform::kErrorPathNotFound},
      {L"C:\\a:b", nullptr, platform::kErrorInvalidName},
      {L"C:\\a\x01b", nullptr, platform::kErrorInvalidName},
      {std::wstring(L"C:\\a") + L'\0' + L"/../../tmp", nullptr, platform::kErrorInvalidName},
      {L"C:\\" + std::wstring(300, L'x'), nullptr, platform::kErrorInvalidName},
      {L"C:\\CON\\x", nullptr, platform::kErrorPathNotFound},
      {L"C:\\x\\com1.log", nullptr, platform::kErrorFileNotFound},
      {L"lpt9", nullptr, platform::kErrorFileNotFound},
      {L"C:\\Links\\out\\keep.txt", nullptr, platform::kErrorPathNotFound},  // a link leading out
      {L"C:\\Links\\outfile", nullptr, platform::kErrorPathNotFound},
      {L"C:\\Links\\dangling", nullptr, platform::kErrorPathNotFound},  // its target is not there
      {L"C:\\Links\\DANGLING", nullptr, platform::kErrorPathNotFound},
      {L"C:\\Links\\danglingdir\\x.txt", nullptr, platform::kErrorPathNotFound},
      {L"C:\\Links\\danglingup", nullptr, platform::kErrorPathNotFound},
      {L"C:\\Links\\data\\..\\dangling", nullptr, platform::kErrorPathNotFound},
      // A link inside is followed to its target, also one that is not there yet.
      {L"C:\\Links\\data\\a.txt", "/C/Data/a.txt", 0},
      {L"C:\\Links\\inside", "/C/Data/new.txt", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.path));
    const std::string host = sim::HostPath(c.path);
    if (c.path == Utf8ToWide(marker) + L"/keep.txt") {
      EXPECT_EQ(sandbox_.root() + "/C" + marker + "/keep.txt", host);
      continue;
    }
    EXPECT_EQ(c.host ? sandbox_.root() + c.host : std::string(), host);
    if (!c.host) {
      uint32_t error = 0;
      EXPECT_FALSE(platform::MakeDirectory(c.path, &error));
      // A link is made as the link: it exists, so CreateDirectoryW finds it there.
      const uint32_t attributes = platform::FileAttributes(c.path);
      const bool linkItself = attributes != platform::kInvalidFileAttributes &&
                              (attributes & platform::kFileAttributeReparsePoint);
      EXPECT_EQ(linkItself ? platform::kErrorAlreadyExists : c.error, error);
      uint32_t openError = 0;
      EXPECT_EQ(nullptr, platform::OpenForWriting(c.path, &openError));
      EXPECT_EQ(c.error, openError);
      EXPECT_EQ(nullptr, platform::OpenForReading(c.path, nullptr));
      EXPECT_FALSE(platform::CopyFileTo(L"C:\\Data\\a.txt", c.path, false));
      EXPECT_FALSE(platform::CopyFileTo(L"C:\\Data\\a.txt", c.path, true));
      platform::PositionedFile part;
      uint32_t createError = 0;
      EXPECT_FALSE(part.Create(c.path, &createError));
      EXPECT_EQ(platform::kInvalidFileHandle,
                platform::CreateFileHandle(c.path, platform::kGenericWrite,
                                           platform::kFileShareRead, platform::kCreateAlways));
    }
  }
  // Writing through the link inside makes its target, as Windows follows a link it opens.
  platform::ScopedFile file = platform::OpenForWriting(L"C:\\Links\\inside", nullptr);
  ASSERT_NE(nullptr, file);
  file.reset();
  EXPECT_TRUE(fs::is_regular_file(sim::HostPath(L"C:\\Data") + "/new.txt"));
  // Renaming onto a link replaces the link, never what it points to.
  platform::ScopedFile part = platform::OpenForWriting(L"C:\\Data\\moved.part", nullptr);
  ASSERT_NE(nullptr, part);
  std::fputs("moved", part.get());
  part.reset();
  uint32_t renameError = 0;
  EXPECT_TRUE(
      platform::ReplaceWithFile(L"C:\\Data\\moved.part", L"C:\\Links\\dangling", &renameError));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sim::HostPath(L"C:\\Links") + "/dangling")));
}

// MAX_PATH: a full path of 260 characters or more names nothing, unless it is given in the
// long form; CreateDirectoryW stops at 248. Relative paths count with the current directory.
TEST_F(SimSandbox, PathsUpToMaxPathUnlessInTheLongForm) {
  const std::wstring folder = L"C:\\" + std::wstring(200, L'a');
  uint32_t error = 0;
  ASSERT_TRUE(platform::MakeDirectory(folder, &error));
  struct Case {
    std::wstring path;
    bool mapped;
  } cases[] = {
      {folder + L"\\" + std::wstring(55, L'b'), true},  // 259 characters
      {folder + L"\\" + std::wstring(56, L'b'), false},
      {L"\\\\?\\" + folder + L"\\" + std::wstring(200, L'b'), true},
      {L"\\\\.\\" + folder + L"\\" + std::wstring(56, L'b'), false},
      {std::wstring(236, L'c'), false},  // C:\\Users\\john\\Downloads\\ and 236: 260
      {std::wstring(235, L'c'), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.size());
    EXPECT_EQ(c.mapped, !sim::HostPath(c.path).empty());
    platform::ScopedFile file = platform::OpenForWriting(c.path, nullptr);
    EXPECT_EQ(c.mapped, file != nullptr);
    file.reset();
  }
  EXPECT_FALSE(platform::MakeDirectory(folder + L"\\" + std::wstring(44, L'd'), &error));
  EXPECT_EQ(platform::kErrorFilenameExcedRange, error);
  EXPECT_TRUE(platform::MakeDirectory(folder + L"\\" + std::wstring(43, L'd'), &error));
  EXPECT_TRUE(
      platform::MakeDirectory(L"\\\\?\\" + folder + L"\\" + std::wstring(250, L'e'), &error));
}

// Names are found without regard to case, whether the machine made them or the host did.
TEST_F(SimSandbox, NamesAreFoundWithoutRegardToCase) {
  std::ofstream(sim::HostPath(L"C:\\Data") + "/External.TXT") << "host";
  for (int i = 0; i < 50; ++i) {
    platform::ScopedFile file =
        platform::OpenForWriting(L"C:\\Data\\Made" + std::to_wstring(i) + L".txt", nullptr);
    ASSERT_NE(nullptr, file);
    file.reset();
  }
  uint32_t error = 0;
  ASSERT_TRUE(platform::MakeDirectory(L"C:\\data\\Folder", &error));
  EXPECT_TRUE(platform::PathExists(L"C:\\DATA\\MADE7.TXT"));
  EXPECT_TRUE(platform::PathExists(L"c:\\data\\external.txt"));
  EXPECT_TRUE(platform::PathExists(L"C:\\DATA\\folder"));
  EXPECT_EQ(sim::HostPath(L"C:\\Data") + "/Made7.txt", sim::HostPath(L"C:\\dAtA\\mADE7.TXT"));
  EXPECT_TRUE(platform::DeleteFileAt(L"C:\\data\\made7.TXT"));
  EXPECT_FALSE(platform::PathExists(L"C:\\DATA\\MADE7.TXT"));
  EXPECT_TRUE(platform::PathExists(L"C:\\DATA\\MADE8.TXT"));
  // Cyrillic letters fold too: the user "Анна" has the folder "АННА".
  ASSERT_TRUE(platform::MakeDirectory(L"C:\\data\\\u0410\u043d\u043d\u0430", &error));
  EXPECT_TRUE(platform::PathExists(L"C:\\DATA\\\u0410\u041d\u041d\u0410"));
  EXPECT_TRUE(platform::PathExists(L"C:\\data\\\u0430\u043d\u043d\u0430"));
  EXPECT_FALSE(platform::MakeDirectory(L"C:\\data\\\u0430\u041d\u041d\u0430", &error));
  EXPECT_EQ(platform::kErrorAlreadyExists, error);
}

// A hard link planted in the sandbox shares its bytes with a file outside: writing the name
// gives it a file of its own, changing it in place is refused, the file outside stays.
TEST_F(SimSandbox, HardLinksAreNeverWrittenInPlace) {
  const std::string hard = sim::HostPath(L"C:\\Links") + "/hard.txt";
  const auto plant = [&] {
    std::error_code ignored;
    fs::remove(hard, ignored);
    fs::create_hard_link(outside_.root() / "keep.txt", hard);
  };
  plant();
  EXPECT_EQ(platform::kInvalidFileHandle,
            platform::CreateFileHandle(L"C:\\Links\\hard.txt", platform::kGenericWrite,
                                       platform::kFileShareRead, platform::kOpenExisting));
  EXPECT_FALSE(
      platform::ChangeFileAttributes(L"C:\\Links\\hard.txt", platform::kFileAttributeReadonly));
  EXPECT_EQ(0, access((outside_.root() / "keep.txt").c_str(), W_OK));
  const intptr_t handle =
      platform::CreateFileHandle(L"C:\\Links\\hard.txt", platform::kGenericWrite,
                                 platform::kFileShareRead, platform::kCreateAlways);
  ASSERT_NE(platform::kInvalidFileHandle, handle);
  uint32_t done = 0;
  EXPECT_TRUE(platform::WriteToHandle(handle, "handle", 6, &done));
  EXPECT_TRUE(platform::CloseFileHandle(handle));
  EXPECT_EQ("handle", test::ReadWholeFile(L"C:\\Links\\hard.txt"));
  plant();
  EXPECT_TRUE(test::WriteWholeFile(L"C:\\Links\\hard.txt", "stream"));
  EXPECT_EQ("stream", test::ReadWholeFile(L"C:\\Links\\hard.txt"));
  plant();
  platform::PositionedFile part;
  uint32_t error = 0;
  ASSERT_TRUE(part.Create(L"C:\\Links\\hard.txt", &error));
  EXPECT_TRUE(part.WriteAt(0, "part", 4, &error));
  EXPECT_TRUE(part.Close(&error));
  plant();
  EXPECT_TRUE(platform::CopyFileTo(L"C:\\Data\\a.txt", L"C:\\Links\\hard.txt", false));
  EXPECT_EQ("ay", test::ReadWholeFile(L"C:\\Links\\hard.txt"));
}

TEST_F(SimSandbox, LinksAreReparsePointsRemovedAsLinks) {
  const uint32_t folderLink = platform::FileAttributes(L"C:\\Links\\out");
  EXPECT_EQ(platform::kFileAttributeReparsePoint | platform::kFileAttributeDirectory, folderLink);
  EXPECT_EQ(platform::kFileAttributeReparsePoint | platform::kFileAttributeArchive,
            platform::FileAttributes(L"C:\\Links\\outfile"));
  // Listing through a link that leads out finds nothing; the links show in their folder.
  platform::FindData entry;
  EXPECT_EQ(nullptr, platform::StartFileSearch(L"C:\\Links\\out\\*", &entry));
  EXPECT_FALSE(platform::ChangeFileAttributes(L"C:\\Links\\out\\keep.txt",
                                              platform::kFileAttributeReadonly));
  EXPECT_TRUE(
      platform::ChangeFileAttributes(L"C:\\Links\\outfile", platform::kFileAttributeReadonly));
  EXPECT_EQ(0, access((outside_.root() / "keep.txt").c_str(), W_OK));   // the target kept its mode
  EXPECT_FALSE(platform::DeleteFileAt(L"C:\\Links\\out"));              // a folder link is no file
  EXPECT_FALSE(platform::RemoveEmptyDirectory(L"C:\\Links\\outfile"));  // a file link is no folder
  EXPECT_TRUE(platform::DeleteFileAt(L"C:\\Links\\outfile"));
  EXPECT_TRUE(platform::RemoveEmptyDirectory(L"C:\\Links\\out"));
  EXPECT_FALSE(platform::PathExists(L"C:\\Links\\out"));
  EXPECT_TRUE(fs::exists(outside_.root() / "keep.txt"));
}

int RunModule(const char* className, const std::string& args, Json::Value& doc) {
  CStage stage{"S"};
  std::unique_ptr<IModule> module = test::MakeRegisteredModule(className, args, stage);
  return module ? module->Execute(doc) : 99;
}

TEST_F(SimSandbox, RemoveDirTakesLinksInTheTreeAsLinks) {
  // The session folder holds links to the marker tree, to a file of it, and to a folder of
  // the sandbox that is not the session's.
  const fs::path session = sim::HostPath(L"C:\\Session");
  fs::create_directories(session / "nested");
  std::ofstream(session / "nested" / "f.txt") << "x";
  fs::create_directory_symlink(outside_.root(), session / "nested" / "out");
  fs::create_symlink(outside_.root() / "sub" / "deep.txt", session / "deep.txt");
  fs::create_directory_symlink(sim::HostPath(L"C:\\Data"), session / "data");
  fs::create_symlink("/nonexistent/dangling", session / "dangling");
  Json::Value doc = J(R"({"SessionDir": "C:\\Session"})");
  EXPECT_EQ(0, RunModule("RemoveDir", R"({"directory": ".SessionDir"})", doc));
  EXPECT_FALSE(fs::exists(fs::symlink_status(session)));
  EXPECT_TRUE(fs::exists(sim::HostPath(L"C:\\Data\\a.txt")));
  // A directory argument that is itself a link goes as the link.
  doc["SessionDir"] = "C:\\Links\\out";
  EXPECT_EQ(0, RunModule("RemoveDir", R"({"directory": ".SessionDir"})", doc));
  EXPECT_FALSE(fs::exists(fs::symlink_status(sim::HostPath(L"C:\\Links") + "/out")));
}

// The faults of the dry run that reached the host: a rooted path, a host path, the host's TMP.
TEST_F(SimSandbox, ModulesLeaveHostFoldersAlone) {
  MarkerTree hostTemp;
  const auto tempBefore = Snapshot(hostTemp.root());
  test::ScopedEnv tmp("TMP", hostTemp.root().string());
  test::ScopedEnv temp("TEMP", hostTemp.root().string());
  EXPECT_EQ(L"C:\\Users\\john\\AppData\\Local\\Temp\\", platform::TempPath());
  for (const std::string& entry : platform::EnvironmentEntries())
    EXPECT_NE(0u, entry.rfind("TMP=" + hostTemp.root().string(), 0)) << entry;

  Json::Value doc(Json::objectValue);
  EXPECT_EQ(0, RunModule("CreateInTempDir", R"({"saveTo": ".SessionDir", "directory": "s"})", doc));
  EXPECT_EQ("C:\\Users\\john\\AppData\\Local\\Temp\\s", doc["SessionDir"].asString());
  EXPECT_EQ(0, RunModule("RemoveDir", R"({"directory": ".SessionDir"})", doc));
  // Without a directory there is nothing to create: the module refuses instead of handing out
  // the temporary folder itself, which a later RemoveDir would empty.
  EXPECT_EQ(-1, RunModule("CreateInTempDir", R"({"saveTo": ".SessionDir"})", doc));

  for (const fs::path& target : {outside_.root(), hostTemp.root()}) {
    doc["Dir"] = target.string();
    RunModule("RemoveDir", R"({"directory": ".Dir"})", doc);
    doc["Dir"] = "\\" + target.string().substr(1);
    RunModule("RemoveDir", R"({"directory": ".Dir"})", doc);
    doc["Dir"] = "..\\..\\..\\..\\..\\..\\.." + target.string();
    RunModule("RemoveDir", R"({"directory": ".Dir"})", doc);
  }
  EXPECT_EQ(tempBefore, Snapshot(hostTemp.root()));
}

TEST_F(SimSandbox, ProfileFilesAreWindowsPaths) {
  MarkerTree target;
  const auto targetBefore = Snapshot(target.root());
  Json::Value profile = J(kMachine);
  profile["files"][target.root().string() + "/keep.txt"] = "overwritten";
  profile["files"]["C:\\..\\..\\..\\" + target.root().string() + "\\new.txt"] = "new";
  profile["files"]["\\\\server\\share\\x.txt"] = "unc";
  profile["files"]["C:\\Links\\out\\keep.txt"] = "through a link";
  profile["files"]["C:\\Drop\\NUL"] = "to the null device";
  profile["files"]["C:\\Drop\\list"] = Json::Value(Json::arrayValue);
  sim::ScopedMachine machine(profile);
  EXPECT_TRUE(platform::PathExists(L"C:\\Data\\a.txt"));
  EXPECT_TRUE(platform::PathExists(Utf8ToWide(target.root().string()) + L"\\keep.txt"));
  EXPECT_EQ(targetBefore, Snapshot(target.root()));
}

TEST_F(SimSandbox, DeviceNamesAreDevicesNotFiles) {
  for (const wchar_t* path : {L"C:\\Data\\NUL", L"C:\\Data\\nul.txt", L"nul", L"\\\\.\\NUL"}) {
    SCOPED_TRACE(WideToUtf8(path));
    uint32_t error = 0;
    platform::ScopedFile file = platform::OpenForWriting(path, &error);
    ASSERT_NE(nullptr, file) << error;
    EXPECT_EQ(5u, std::fwrite("bytes", 1, 5, file.get()));
    file.reset();
    platform::ScopedFile read = platform::OpenForReading(path, nullptr);
    ASSERT_NE(nullptr, read);
    EXPECT_EQ(EOF, std::fgetc(read.get()));  // writes vanished
    read.reset();
    uint32_t made = 0;
    EXPECT_FALSE(platform::MakeDirectory(path, &made));
    EXPECT_FALSE(platform::DeleteFileAt(path));
    EXPECT_EQ(platform::kInvalidFileAttributes, platform::FileAttributes(path));
  }
  uint32_t error = 0;
  EXPECT_EQ(nullptr, platform::OpenForWriting(L"C:\\Data\\COM1", &error));
  EXPECT_EQ(platform::kErrorFileNotFound, error);
  error = 0;
  EXPECT_EQ(nullptr, platform::OpenForWriting(L"C:\\Data\\con.txt", &error));
  EXPECT_EQ(platform::kErrorFileNotFound, error);
  EXPECT_EQ((std::vector<std::string>{"a.txt"}), [] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(sim::HostPath(L"C:\\Data")))
      names.push_back(entry.path().filename().string());
    return names;
  }());
}

// A hostile path built from pieces a careless or malicious configuration could hold.
std::string HostilePath(std::mt19937& random, const std::vector<std::string>& outside) {
  static const std::vector<std::string> kStarts = {"",
                                                   "\\",
                                                   "/",
                                                   "C:",
                                                   "C:\\",
                                                   "c:/",
                                                   "D:\\",
                                                   "\\\\server\\share\\",
                                                   "\\\\?\\",
                                                   "\\\\?\\C:\\",
                                                   "\\\\.\\",
                                                   "\\\\.\\C:\\",
                                                   "\\\\?\\UNC\\host\\s\\",
                                                   "..\\",
                                                   "../",
                                                   ".\\",
                                                   "~/",
                                                   "%TEMP%\\"};
  static const std::vector<std::string> kPieces = {"..",
                                                   ".",
                                                   "...",
                                                   "x",
                                                   "Links\\out",
                                                   "Links\\outfile",
                                                   "Links\\data",
                                                   "Data",
                                                   "NUL",
                                                   "nul.txt",
                                                   "CON",
                                                   "COM1",
                                                   "LPT1.log",
                                                   "AUX",
                                                   "PRN",
                                                   "a:b",
                                                   "*",
                                                   "?",
                                                   "a b. ",
                                                   "\xc3\xa9t\xc3\xa9",
                                                   "Users",
                                                   "john",
                                                   "AppData\\Local\\Temp",
                                                   std::string(40, 'y'),
                                                   "tmp",
                                                   "etc"};
  std::string path = kStarts[random() % kStarts.size()];
  if (random() % 4 == 0) path += outside[random() % outside.size()];
  const int count = static_cast<int>(random() % 8);
  for (int i = 0; i < count; ++i) {
    if (i > 0 || (!path.empty() && path.back() != '\\' && path.back() != '/'))
      path += random() % 3 ? "\\" : "/";
    path += kPieces[random() % kPieces.size()];
  }
  if (random() % 50 == 0) path += std::string(300, 'z');
  return path;
}

// A link planted in a folder the installer writes to, pointing where nothing is yet: a host
// path out of the sandbox, a climb from the link's folder, a folder that does not exist.
std::string DanglingTarget(std::mt19937& random, const std::vector<fs::path>& markers, int round) {
  const fs::path& marker = markers[random() % markers.size()];
  const std::string name = "escaped-" + std::to_string(round);
  switch (random() % 4) {
    case 0:
      return (marker / name).string();
    case 1:
      return (marker / "sub" / name).string();
    case 2:
      return (marker / ("newdir-" + name) / "x").string();
    default: {
      std::string climb;
      for (int i = 0; i < 24; ++i) climb += "../";
      return climb + (marker.relative_path() / name).string();
    }
  }
}

// Every way the installer writes a file, into folder: a cabinet's and a zip's entries, the
// download's ".part" renamed over its destination, config.xml, the desktop-restore copy and a
// file handle. What fails is of no interest here, only where the bytes go.
void WriteEverywhere(const std::wstring& folder) {
  if (test::PlaceFixture(test::CabinetFixture("folder.cab"), folder, "folder.cab")) {
    CCabinet cabinet(folder + L"\\folder.cab", folder);
    cabinet.Extract();
  }
  if (test::PlaceFixture(test::ZipFixture("plain.zip"), folder, "plain.zip"))
    ExtractZip(WideToUtf8(folder) + "\\plain.zip", WideToUtf8(folder));
  uint32_t writerError = 0;
  platform::PositionedFile part;
  if (part.Create(folder + L"\\file.bin.part", &writerError)) {
    (void)part.Reserve(5, &writerError);
    (void)part.WriteAt(0, "bytes", 5, &writerError);
    (void)part.Close(&writerError);
  }
  (void)platform::ReplaceWithFile(folder + L"\\file.bin.part", folder + L"\\file.bin",
                                  &writerError);
  if (platform::ScopedFile file = platform::OpenForWriting(folder + L"\\config.xml", nullptr)) {
    std::fputs("<config/>", file.get());
    file.reset();
  }
  (void)platform::CopyFileTo(L"C:\\Data\\a.txt", folder + L"\\desktop.txt", true);
  (void)platform::CopyFileTo(L"C:\\Data\\a.txt", folder + L"\\desktop.txt", false);
  const intptr_t handle =
      platform::CreateFileHandle(folder + L"\\handle.bin", platform::kGenericWrite,
                                 platform::kFileShareRead, platform::kCreateAlways);
  if (handle != platform::kInvalidFileHandle) {
    uint32_t done = 0;
    (void)platform::WriteToHandle(handle, "bytes", 5, &done);
    (void)platform::CloseFileHandle(handle);
  }
}

// Any path in any path argument of the file-handling modules leaves the host alone: the
// marker tree, the host's current folder and its $TMP. So does every write into a folder
// where a link that leads out of the sandbox, to nothing yet, stands at the name written, or
// a hard link to a file outside.
TEST_F(SimSandbox, HostilePathArgumentsNeverTouchTheHost) {
  MarkerTree hostTemp;
  MarkerTree hostCurrent;
  test::ScopedEnv tmp("TMP", hostTemp.root().string());
  const fs::path previous = fs::current_path();
  fs::current_path(hostCurrent.root());
  const auto tempBefore = Snapshot(hostTemp.root());
  const auto currentBefore = Snapshot(hostCurrent.root());
  const std::vector<std::string> outside = {outside_.root().string(),
                                            hostTemp.root().string(),
                                            hostCurrent.root().string(),
                                            "/",
                                            "/tmp",
                                            "/etc"};
  const std::vector<fs::path> markers = {outside_.root(), hostTemp.root(), hostCurrent.root()};
  std::mt19937 random(20240611);
  for (int round = 0; round < 300; ++round) {
    const std::string path = HostilePath(random, outside);
    SCOPED_TRACE(path);
    Json::Value doc(Json::objectValue);
    doc["P"] = path;
    RunModule("CreateInTempDir", R"({"saveTo": ".Made", "directory": ".P"})", doc);
    RunModule("GetVTInfo", R"({"saveTo": ".Vt", "directory": ".P"})", doc);
    RunModule("HTTPDownloader",
              R"({"url": "http://127.0.0.1:1/x", "destination": ".P", "directory": ".P"})", doc);
    RunModule("RemoveDir", R"({"directory": ".P"})", doc);
    if (doc["Made"].isString()) RunModule("RemoveDir", R"({"directory": ".Made"})", doc);
    const std::wstring wide = Utf8ToWide(path);
    (void)platform::OpenForWriting(wide, nullptr);  // made, and closed at once
    // Only where the bytes go matters here, not whether the calls succeed.
    (void)platform::CopyFileTo(L"C:\\Data\\a.txt", wide, false);
    (void)platform::ChangeFileAttributes(wide, platform::kFileAttributeReadonly);
    (void)platform::DeleteFileAt(wide);
    (void)platform::RemoveEmptyDirectory(wide);
    (void)platform::MakeDirectory(wide, nullptr);

    static const char* const kWrittenNames[] = {
        "top.txt",    "setup.exe",   "Graphics",   "readme.txt", "file.bin.part", "file.bin",
        "config.xml", "desktop.txt", "handle.bin", "FILE.BIN",   "Config.Xml"};
    const std::wstring folder = L"C:\\Sess\\" + std::to_wstring(round);
    fs::create_directories(sim::HostPath(folder));
    for (int links = 1 + static_cast<int>(random() % 3); links > 0; --links) {
      const char* name = kWrittenNames[random() % (sizeof kWrittenNames / sizeof *kWrittenNames)];
      std::error_code ignored;
      const std::string planted = sim::HostPath(folder) + "/" + name;
      if (random() % 4 == 0)
        fs::create_hard_link(markers[random() % markers.size()] / "keep.txt", planted, ignored);
      else
        fs::create_symlink(DanglingTarget(random, markers, round), planted, ignored);
    }
    WriteEverywhere(folder);
    ASSERT_EQ(before_, Snapshot(outside_.root()));
    ASSERT_EQ(tempBefore, Snapshot(hostTemp.root()));
    ASSERT_EQ(currentBefore, Snapshot(hostCurrent.root()));
  }
  fs::current_path(previous);
}

}  // namespace
}  // namespace orvex
