// System inspection above the seam on the real Windows API (run under Wine): the record built
// from WMI, the registry and OpenGL; the registry helpers; the rights checks; a temporary
// directory made and removed with read-only files inside.
#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "base/text.h"
#include "engine/stage.h"
#include "probes/directory_files.h"
#include "probes/registry_values.h"
#include "probes/rights_checkers.h"
#include "probes/system_info.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

TEST(ProbesWine, RecordDescribesTheMachine) {
  const CSystemInfo info = BuildSystemInfo();
  EXPECT_NE(std::string::npos, info.osName.find("Windows")) << info.osName;
  EXPECT_TRUE(info.osArch == "x86" || info.osArch == "x64") << info.osArch;
  EXPECT_GE(info.osMajor, 6);
  EXPECT_EQ("C:", info.systemDrive);
  EXPECT_FALSE(info.processorMfr.empty());
  EXPECT_TRUE(std::regex_match(info.ramMb, std::regex("[1-9][0-9]*"))) << info.ramMb;
  EXPECT_TRUE(std::regex_match(info.screenSize, std::regex("[0-9]+x[0-9]+"))) << info.screenSize;
  EXPECT_TRUE(std::regex_match(info.openglMajorText, std::regex("[0-9]+")));
  EXPECT_LE(info.hostId.size(), 75u);
  EXPECT_EQ(static_cast<int>(info.gpus.size()), info.gpuCount);
  EXPECT_EQ(info.gpuCount <= 1, info.singleGpu);
  // The build is done once; later calls hand back the same record.
  EXPECT_EQ(&GetSystemInfo(), &GetSystemInfo());
}

TEST(ProbesWine, RegistryStringRoundTrip) {
  const std::string key = "Software\\Quarn\\OrvexProbesTest";
  ASSERT_EQ(0, WriteRegistryString(key, "InstallDir", "C:\\Program Files\\Orvex"));
  std::string text;
  EXPECT_EQ(0, ReadRegistryString(key, "InstallDir", &text));
  EXPECT_EQ("C:\\Program Files\\Orvex", text);
  EXPECT_EQ(0, WriteRegistryDword(key, "Flag", 7));
  EXPECT_EQ(-1, ReadRegistryString(key, "Missing", &text));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

class ProbesWineModules : public ::testing::Test {
 protected:
  int Run(const char* className, const char* args, Json::Value& doc) {
    std::unique_ptr<IModule> module = test::MakeRegisteredModule(className, args, stage);
    return module ? module->Execute(doc) : 99;
  }
  CStage stage{"S"};
};

TEST_F(ProbesWineModules, TemporaryDirectoryWithReadOnlyFilesIsCreatedAndRemoved) {
  Json::Value doc;
  ASSERT_EQ(
      0, Run("CreateInTempDir", R"({"saveTo": ".SessionDir", "directory": "orvex-probes"})", doc));
  const std::string dir = doc["SessionDir"].asString();
  ASSERT_EQ(0, CreateDirectoryIfMissing(Utf8ToWide(dir + "\\nested")));
  for (const char* name : {"\\a.txt", "\\nested\\b.txt"}) {
    const std::string path = dir + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_READONLY, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    CloseHandle(file);
  }
  EXPECT_EQ(0, CheckDirectoryAccess(Utf8ToWide(dir)));
  EXPECT_EQ(0, Run("RemoveDir", R"({"directory": ".SessionDir"})", doc));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir.c_str()));
  EXPECT_EQ(-1, Run("RemoveDir", R"({"directory": ".SessionDir"})", doc));
  EXPECT_EQ("Remove Directory Action Failed ", doc["S"]["M"]["reason"].asString());
}

// A directory that resolves to nothing is the absent argument: with "\\*" appended it would
// have searched the root of the current drive. Files there and in the current directory stay.
TEST_F(ProbesWineModules, RemoveDirOfNothingDeletesNothing) {
  char temp[MAX_PATH];
  ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
  const std::string fixture = std::string(temp) + "orvex-remove-nothing";
  ASSERT_EQ(0, CreateDirectoryIfMissing(Utf8ToWide(fixture)));
  ASSERT_EQ(0, CreateDirectoryIfMissing(Utf8ToWide(fixture + "\\sub")));
  const std::vector<std::string> markers = {fixture + "\\marker.txt", fixture + "\\sub\\marker.txt",
                                            "C:\\orvex-root-marker.txt"};
  for (const std::string& marker : markers) {
    HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << marker;
    CloseHandle(file);
  }
  char previous[MAX_PATH];
  ASSERT_NE(0u, GetCurrentDirectoryA(MAX_PATH, previous));
  ASSERT_TRUE(SetCurrentDirectoryA(fixture.c_str()));
  for (const char* args :
       {R"({"directory": ""})", R"({"directory": ".NoSuchPath"})", R"({"directory": 5})",
        R"({"directory": {}})", R"({"directory": " "})"}) {
    SCOPED_TRACE(args);
    Json::Value doc;
    EXPECT_EQ(-1, Run("RemoveDir", args, doc));
    EXPECT_EQ("DIRECTORY_PATH_NULL", doc["S"]["M"]["error"].asString());
  }
  SetCurrentDirectoryA(previous);
  for (const std::string& marker : markers) {
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(marker.c_str())) << marker;
    DeleteFileA(marker.c_str());
  }
  RemoveDirectoryA((fixture + "\\sub").c_str());
  RemoveDirectoryA(fixture.c_str());
}

TEST_F(ProbesWineModules, RightsChecks) {
  EXPECT_EQ(-1, CheckDirectoryAccess(L"C:\\no-such-directory-for-probes"));
  EXPECT_TRUE(CheckSystemTempAccess());
  Json::Value doc;
  EXPECT_EQ(0, Run("SysRightsToTempChecker", "{}", doc));
  EXPECT_EQ(-1,
            Run("RightsToDirChecker", R"({"directory": "C:\\no-such-directory-for-probes"})", doc));
  EXPECT_EQ("NO_DIRECTORY_RIGHTS", doc["S"]["M"]["error"].asString());
}

}  // namespace
}  // namespace orvex
