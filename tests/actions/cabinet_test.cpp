// Cabinet extraction (CCabinet and the "CABExtractor" module) on real cabinets: FDI of
// Cabinet.dll under Wine, the simulated machine's FDI over libmspack on the host, both through
// the same callbacks.
#include "actions/cabinet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/stage.h"
#include "platform/files.h"
#include "platform/win_codes.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;
using test::ReadWholeFile;
using test::RecordingIndicator;

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(CabinetTexts, FdiErrorTextsByCode) {
  const std::vector<std::pair<int, const char*>> cases = {
      {0, "No error"},
      {1, "Cabinet not found"},
      {2, "Not a cabinet"},
      {3, "Unknown cabinet version"},
      {4, "Corrupt cabinet"},
      {5, "Memory allocation failed"},
      {6, "Unknown compression type"},
      {7, "Failure decompressing data"},
      {8, "Failure writing to target file"},
      {9, "Cabinets in set have different RESERVE sizes"},
      {10, "Cabinet returned on fdintNEXT_CABINET is incorrect"},
      {11, "Application aborted"},
      {12, "Unknown error"},
      {-1, "Unknown error"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, FdiErrorText(c.first)) << c.first;
}

TEST(CabinetTexts, EntryNamesKeepTheirLastPartOrEndTheExtraction) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"setup.exe", "setup.exe"},
      {"sub\\setup.exe", "setup.exe"},
      {"a/b/c.txt", "c.txt"},
      {"..\\..\\escape.txt", "escape.txt"},
      {"C:\\Windows\\win.ini", "win.ini"},
      {"name with blanks.txt", "name with blanks.txt"},
      {".hidden", ".hidden"},
      {"..x", "..x"},
      // These end the extraction.
      {"", ""},
      {"sub\\", ""},
      {"sub/", ""},
      {".", ""},
      {"..", ""},
      {"sub\\..", ""},
      {"...", ""},
      {". .", ""},
      {".. ", ""},
      {"C:evil.txt", ""},
      {"file.txt:stream", ""},
      {"file.txt::$DATA", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, CabinetEntryFileName(c.first)) << c.first;
}

// The notification callback's answers that need no extraction in progress.
TEST(CabinetTexts, NotificationAnswersByType) {
  platform::FdiNotification notification;
  EXPECT_EQ(0, cabinet_callbacks::Notify(platform::kFdintCabinetInfo, &notification));
  EXPECT_EQ(0, cabinet_callbacks::Notify(platform::kFdintPartialFile, &notification));
  EXPECT_EQ(0, cabinet_callbacks::Notify(platform::kFdintEnumerate, &notification));
  EXPECT_EQ(0, cabinet_callbacks::Notify(platform::kFdintNextCabinet, &notification));
  notification.fdie = platform::kFdiWrongCabinet;
  EXPECT_EQ(-1, cabinet_callbacks::Notify(platform::kFdintNextCabinet, &notification));
  EXPECT_EQ(-1, cabinet_callbacks::Notify(6, &notification));
  EXPECT_EQ(-1, cabinet_callbacks::Notify(-1, &notification));
  // A copy without an extraction behind it is refused, not written anywhere.
  char name[] = "x.txt";
  notification.psz1 = name;
  EXPECT_EQ(-1, cabinet_callbacks::Notify(platform::kFdintCopyFile, &notification));
  EXPECT_EQ(-1, cabinet_callbacks::Notify(platform::kFdintCopyFile, nullptr));
}

using FileContents = std::vector<std::pair<std::string, std::string>>;

// The folder holds the cabinet and exactly these files, with these contents.
void ExpectFolderHolds(const std::wstring& folder, const std::string& cabinet,
                       const FileContents& files) {
  std::vector<std::string> expected = {cabinet};
  for (const auto& file : files) {
    EXPECT_EQ(file.second, ReadWholeFile(folder + L"\\" + Utf8ToWide(file.first))) << file.first;
    expected.push_back(file.first);
  }
  std::vector<std::string> names = test::FolderNames(folder);
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, names);
}

class CabinetExtraction : public ::testing::Test {
 protected:
  // A fresh folder holding the fixture cabinet under its own name.
  std::wstring Prepare(const std::string& cabinet) {
    const std::wstring folder = test::NewWorkFolder("cab");
    EXPECT_TRUE(test::PlaceFixture(test::CabinetFixture(cabinet), folder, cabinet)) << cabinet;
    return folder;
  }

  // Runs "CABExtractor" as a configuration names it.
  int RunModule(const std::string& args, Json::Value& doc, RecordingIndicator* indicator) {
    auto module = test::MakeRegisteredModule("CABExtractor", args, stage, indicator);
    if (!module) return -2;
    return module->Execute(doc);
  }

  CStage stage{"S"};
};

TEST_F(CabinetExtraction, ExtractsGcabCabinetIntoItsOwnFolder) {
  const std::wstring folder = Prepare("plain.cab");
  CCabinet cabinet(folder + L"\\plain.cab", folder);
  ASSERT_EQ(0, cabinet.Extract()) << cabinet.LastError();
  EXPECT_EQ("Orvex cabinet fixture\r\n", ReadWholeFile(folder + L"\\readme.txt"));
  EXPECT_EQ(300000u, ReadWholeFile(folder + L"\\payload.bin").size());
}

// Folders are flattened, the last entry of a name wins, UTF-8 names are kept, and climbing
// prefixes are dropped with the folders.
TEST_F(CabinetExtraction, WritesEveryEntryFlatIntoTheDestination) {
  struct Case {
    const char* cabinet;
    FileContents files;
  };
  const std::vector<Case> cases = {
      {"folder.cab", {{"setup.exe", "MZ setup"}, {"top.txt", "top"}, {"note.txt", "note"}}},
      {"same-name.cab", {{"same.txt", "second"}}},
      {"utf8.cab", {{"na\xC3\xAFve-\xE6\x96\x87\xE4\xBB\xB6.txt", "utf-8 name"}}},
      {"climbing.cab",
       {{"escape-back.txt", "1"},
        {"escape-slash.txt", "2"},
        {"escape-unc.txt", "3"},
        {"escape-absolute.txt", "4"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cabinet);
    const std::wstring folder = Prepare(c.cabinet);
    CCabinet cabinet(folder + L"\\" + Utf8ToWide(c.cabinet), folder);
    ASSERT_EQ(0, cabinet.Extract()) << cabinet.LastError();
    ExpectFolderHolds(folder, c.cabinet, c.files);
  }
}

TEST_F(CabinetExtraction, KeepsOnlyReadOnlyHiddenSystemAndArchive) {
  const std::wstring folder = Prepare("attributes.cab");
  CCabinet cabinet(folder + L"\\attributes.cab", folder);
  ASSERT_EQ(0, cabinet.Extract()) << cabinet.LastError();
  const uint32_t readOnly = platform::FileAttributes(folder + L"\\ro.txt");
  ASSERT_NE(platform::kInvalidFileAttributes, readOnly);
  EXPECT_TRUE(readOnly & platform::kFileAttributeReadonly);
  // 0x40 (execute in a cabinet, "device" for Windows) is dropped.
  EXPECT_FALSE(readOnly & 0x40u);
  EXPECT_EQ("read only", ReadWholeFile(folder + L"\\ro.txt"));
  const uint32_t plain = platform::FileAttributes(folder + L"\\plain.txt");
  EXPECT_FALSE(plain & platform::kFileAttributeReadonly);
#ifndef _WIN32
  // A read-only file is kept from being overwritten: extracting again fails on it. (Wine run
  // by root lets root write it.)
  CCabinet again(folder + L"\\attributes.cab", folder);
  EXPECT_EQ(-1, again.Extract());
  EXPECT_EQ("read only", ReadWholeFile(folder + L"\\ro.txt"));
#endif
  EXPECT_TRUE(platform::ChangeFileAttributes(folder + L"\\ro.txt", platform::kFileAttributeNormal));
}

// Every hostile entry ends the extraction with "Application aborted"; the entry before it
// stays, nothing appears beside the destination or in the drive's root.
TEST_F(CabinetExtraction, HostileEntriesEndTheExtractionAndWriteNothingOutside) {
  const std::wstring temp = platform::TempPath();
  const std::vector<std::string> before = test::FolderNames(temp.substr(0, temp.size() - 1));
  for (const char* hostile : {"dotdot.cab", "dotdot-folder.cab", "dot.cab", "dots-blanks.cab",
                              "trailing-slash.cab", "drive.cab", "stream.cab", "absolute.cab"}) {
    SCOPED_TRACE(hostile);
    const std::wstring folder = Prepare(hostile);
    CCabinet cabinet(folder + L"\\" + Utf8ToWide(hostile), folder);
    EXPECT_EQ(-1, cabinet.Extract());
    EXPECT_EQ("Application aborted", cabinet.LastError());
    EXPECT_EQ("first", ReadWholeFile(folder + L"\\first.txt"));
    std::vector<std::string> names = test::FolderNames(folder);
    std::vector<std::string> expected = {"first.txt", hostile};
    std::sort(names.begin(), names.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, names);
  }
  // Only the work folders were added to the temporary folder.
  for (const std::string& name : test::FolderNames(temp.substr(0, temp.size() - 1))) {
    if (Has(before, name)) continue;
    EXPECT_EQ(0u, name.rfind("cab-", 0)) << name;
  }
  for (const std::string& name : test::FolderNames(L"C:")) {
    EXPECT_EQ(std::string::npos, name.find("escape")) << name;
    EXPECT_EQ(std::string::npos, name.find("evil")) << name;
  }
}

// Cabinets that a strict reader refuses and Cabinet.dll reads (or the other way round): the
// verdict and the files are Cabinet.dll's in both builds, so a dry run predicts Windows.
TEST_F(CabinetExtraction, OddCabinetsAsCabinetDllReadsThem) {
  struct Case {
    const char* cabinet;
    const char* error;  // "" when the extraction succeeds
    FileContents files;
  };
  const std::vector<Case> cases = {
      // An entry of a folder beyond the last is taken from the last folder.
      {"odd-folder-index.cab",
       "",
       {{"hello.txt", "hello, world\r\n"}, {"welcome.txt", "welcome\r\n"}}},
      {"odd-no-entries.cab", "", {}},
      // Entries begun in the cabinet before are announced as partial files and skipped.
      {"odd-continued.cab", "", {}},
      // A name cut short by the end of the file ends there.
      {"odd-name-at-end.cab", "", {}},
      // The entries follow the folders, wherever the header says they are.
      {"odd-entries-offset.cab", "", {{"hello.txt", "hello, world\r\n"}}},
      {"odd-short.cab", "Not a cabinet", {}},
      {"short-not-a-cabinet.cab", "Not a cabinet", {}},
      {"odd-version.cab", "Unknown cabinet version", {}},
      {"odd-checksum.cab", "Corrupt cabinet", {}},
      {"odd-compression.cab", "Corrupt cabinet", {}},
      // The data goes on in a next cabinet that is not there: the notification declines it.
      {"odd-next-missing.cab", "Application aborted", {}},
      {"odd-next-unnamed.cab", "Corrupt cabinet", {}},
      // A damaged block is met only by the entry that needs it.
      {"damaged-later-block.cab", "Corrupt cabinet", {{"readme.txt", "Orvex cabinet fixture\r\n"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cabinet);
    const std::wstring folder = Prepare(c.cabinet);
    CCabinet cabinet(folder + L"\\" + Utf8ToWide(c.cabinet), folder);
    EXPECT_EQ(*c.error ? -1 : 0, cabinet.Extract());
    if (*c.error) {
      EXPECT_EQ(c.error, cabinet.LastError());
    }
    ExpectFolderHolds(folder, c.cabinet, c.files);
  }
}

// A cabinet cut inside its second file: the half-written file is removed, the first stays.
TEST_F(CabinetExtraction, TruncatedCabinetLeavesNoPartialFile) {
  const std::wstring folder = Prepare("truncated.cab");
  CCabinet cabinet(folder + L"\\truncated.cab", folder);
  EXPECT_EQ(-1, cabinet.Extract());
  EXPECT_FALSE(cabinet.LastError().empty());
  EXPECT_NE("No error", cabinet.LastError());
  EXPECT_EQ("Orvex cabinet fixture\r\n", ReadWholeFile(folder + L"\\readme.txt"));
  EXPECT_FALSE(platform::PathExists(folder + L"\\payload.bin"));
}

// An entry named like the cabinet (also in other letter case, below a folder) would write over
// the cabinet being read: Windows refuses to open it (sharing violation), the extraction ends
// with "Application aborted", the cabinet stays whole and what came before stays.
TEST_F(CabinetExtraction, AnEntryNamedLikeItsCabinetLeavesTheCabinetWhole) {
  struct Case {
    const char* cabinet;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"self-first.cab", {"self-first.cab"}},
      {"self-last.cab", {"before.txt", "self-last.cab"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cabinet);
    const std::wstring folder = Prepare(c.cabinet);
    const std::wstring path = folder + L"\\" + Utf8ToWide(c.cabinet);
    const std::string original = ReadWholeFile(path);
    CCabinet cabinet(path, folder);
    EXPECT_EQ(-1, cabinet.Extract());
    EXPECT_EQ("Application aborted", cabinet.LastError());
    EXPECT_EQ(original, ReadWholeFile(path));
    std::vector<std::string> names = test::FolderNames(folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(c.names, names);
  }
}

TEST_F(CabinetExtraction, ModuleExtractsFromValuePathDirectory) {
  const std::wstring folder = Prepare("folder.cab");
  Json::Value doc = J("{}");
  doc["SessionDir"] = WideToUtf8(folder);
  RecordingIndicator indicator;
  EXPECT_EQ(0, RunModule(R"({"cab": "folder.cab", "directory": ".SessionDir"})", doc, &indicator));
  EXPECT_EQ("MZ setup", ReadWholeFile(folder + L"\\setup.exe"));
  EXPECT_EQ((std::vector<std::string>{"detail:Extracting cab file."}), indicator.calls);
  EXPECT_FALSE(doc.isMember("S"));
}

// The cabinet's name in the configuration is UTF-8, as the directory beside it is.
TEST_F(CabinetExtraction, ModuleTakesACabinetNameInAnyScript) {
  const std::string name = "Jos\xC3\xA9-\xE9\x99\x88.cab";
  const std::wstring folder = test::NewWorkFolder("cab-\xC5\x81ukasz");
  ASSERT_TRUE(test::PlaceFixture(test::CabinetFixture("folder.cab"), folder, name));
  Json::Value doc(Json::objectValue);
  doc["SessionDir"] = WideToUtf8(folder);
  Json::Value args(Json::objectValue);
  args["cab"] = name;
  args["directory"] = ".SessionDir";
  RecordingIndicator indicator;
  EXPECT_EQ(0, RunModule(args.toStyledString(), doc, &indicator));
  EXPECT_EQ("MZ setup", ReadWholeFile(folder + L"\\setup.exe"));
}

TEST_F(CabinetExtraction, ModuleFailuresAndTheirRecords) {
  struct Case {
    const char* cabinet;  // placed in the folder, or null
    std::string args;
    const char* status;
    const char* reason;
    const char* error;
    bool prompts;
  };
  const std::wstring folder = Prepare("not-a-cabinet.cab");
  const std::string dir = WideToUtf8(folder);
  Json::Value quoted(dir);
  const std::string dirJson = quoted.toStyledString();
  const std::vector<Case> cases = {
      {nullptr, R"({"directory": "C:\\x"})", "fatal", "The CAB string is null", "CAB_STRING_NULL",
       false},
      {nullptr, R"({"cab": null, "directory": "C:\\x"})", "fatal", "The CAB string is null",
       "CAB_STRING_NULL", false},
      {nullptr, R"({"cab": "a.cab"})", "fatal", "The destination string is null",
       "DIRECTORY_PATH_NULL", false},
      // Empty directories, also a value path naming nothing, count as absent.
      {nullptr, R"({"cab": "a.cab", "directory": ""})", "fatal", "The destination string is null",
       "DIRECTORY_PATH_NULL", false},
      {nullptr, R"({"cab": "a.cab", "directory": ".Missing.dir"})", "fatal",
       "The destination string is null", "DIRECTORY_PATH_NULL", false},
      {nullptr, R"({"cab": "not-a-cabinet.cab", "directory": )" + dirJson + "}", "failed",
       "Unable to extract cab file.", "Not a cabinet", true},
      {nullptr, R"({"cab": "missing.cab", "directory": )" + dirJson + "}", "failed",
       "Unable to extract cab file.", "Cabinet not found", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Json::Value doc(Json::objectValue);
    RecordingIndicator indicator;
    EXPECT_EQ(-1, RunModule(c.args, doc, &indicator));
    EXPECT_EQ(c.status, doc["S"]["M"]["status"].asString());
    EXPECT_EQ(c.reason, doc["S"]["M"]["reason"].asString());
    EXPECT_EQ(c.error, doc["S"]["M"]["error"].asString());
    const std::string prompt =
        "prompt:Could not extract downloaded file.|Ok||Failed to extract downloaded file, "
        "downloaded file could be corrupted, please try again.|2";
    EXPECT_EQ(c.prompts, Has(indicator.calls, prompt));
  }
}

}  // namespace
}  // namespace orvex
