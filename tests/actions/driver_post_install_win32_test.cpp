// DPInstaller, InstallDOTNET and PostInstall for real under Wine: driver archives made at build
// time with zip and Python's zipfile, the dpinst and .NET setup stand-ins started through the
// shell, batch scripts run by cmd.exe that record their arguments, the registry read back and
// config.xml compared byte for byte.
#include <windows.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "actions/zip_extract.h"
#include "base/text.h"
#include "engine/install_plan.h"
#include "engine/stage.h"
#include "probes/desktop_backup.h"
#include "probes/install_paths.h"
#include "tests/support/test_support.h"
#include "tests/support/user_folder_run.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;

// A path of the build machine as Windows sees it: Wine maps the Unix root to drive Z:.
std::wstring FromUnix(const std::string& unixPath) {
  std::wstring path = L"Z:";
  for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char block[4096];
  DWORD got = 0;
  while (ReadFile(file, block, sizeof block, &got, nullptr) && got) bytes.append(block, got);
  CloseHandle(file);
  return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file) << WideToUtf8(path);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path + L"\\" + name);
      else
        DeleteFileW((path + L"\\" + name).c_str());
    } while (FindNextFileW(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

// The lines "key=value" of a stand-in's record.
std::string RecordValue(const std::string& record, const std::string& key) {
  std::istringstream lines(record);
  std::string line;
  while (std::getline(lines, line))
    if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
  return "<no " + key + ">";
}

std::string WaitForFile(const std::wstring& path) {
  for (int i = 0; i < 200 && !Exists(path); ++i) Sleep(50);
  Sleep(100);
  return ReadBytes(path);
}

// A session directory with a blank in its name, as under a user name with a blank.
class DriverPostInstallWine : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    session_ = std::wstring(temp) + L"orvex session " + std::to_wstring(GetCurrentProcessId());
    RemoveTree(session_);
    ASSERT_TRUE(CreateDirectoryW(session_.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(session_); }

  std::wstring In(const wchar_t* name) const { return session_ + L"\\" + name; }

  // The product's installation folder and its user-data folder with "config".
  static bool MakeProductFolders(const std::wstring& installDir, const std::wstring& userData) {
    return CreateDirectoryW(installDir.c_str(), nullptr) &&
           CreateDirectoryW(userData.c_str(), nullptr) &&
           CreateDirectoryW((userData + L"\\config").c_str(), nullptr);
  }
  std::string Session() const { return WideToUtf8(session_); }

  void CopyZip(const char* archive, const wchar_t* as) {
    ASSERT_TRUE(CopyFileW(FromUnix(std::string(ORVEX_DRIVER_ZIPS) + "/" + archive).c_str(),
                          In(as).c_str(), FALSE))
        << archive;
  }

  int Run(const char* className, const std::string& args, Json::Value& doc) {
    auto module = test::MakeRegisteredModule(className, args, stage_);
    if (!module) return 99;
    module->Init(&plan_, &stage_);
    return module->Execute(doc);
  }

  std::wstring session_;
  CInstallPlan plan_;
  CStage stage_{"S"};
};

TEST_F(DriverPostInstallWine, DpinstRunsOnTheUnpackedArchive) {
  struct Case {
    const char* archive;
    int result;
    const char* restart;
    const char* installed;
    const char* exitCode;
  };
  const std::vector<Case> cases = {
      {"driver.zip", 0, "false", "2", "0x00000002"},
      {"driver-restart.zip", 0, "true", "1", "0x40000001"},
      {"driver-fails.zip", -1, "null", "1", "0x80000001"},
      {"driver-no-inf.zip", -1, "null", "0", "0x00000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    RemoveTree(session_);
    ASSERT_TRUE(CreateDirectoryW(session_.c_str(), nullptr));
    CopyZip(c.archive, L"gpudriver.zip");
    ASSERT_TRUE(
        CopyFileW(FromUnix(ORVEX_DPINST_STANDIN).c_str(), In(L"dpinst.exe").c_str(), FALSE));
    Json::Value doc;
    doc["SessionDir"] = Session();
    EXPECT_EQ(c.result,
              Run("DPInstaller", R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir",
        "src_file": "gpudriver.zip", "dest_dir": ".SessionDir", "dir_suffix": "Graphics",
        "is_restart": ".InstallConfig.installer.restart"})",
                  doc));
    EXPECT_EQ(Compact(J(c.restart)), Compact(doc["InstallConfig"]["installer"]["restart"]));
    if (c.result != 0) {
      EXPECT_EQ("Unable to install " + Session() + "\\gpudriver.zip",
                doc["S"]["M"]["reason"].asString());
    }
    const std::string record = ReadBytes(In(L"dpinst-record.txt"));
    EXPECT_EQ("/F /LM /Q", RecordValue(record, "options")) << record;
    // The folder arrives whole although its path holds a blank.
    EXPECT_EQ(Session() + "\\Graphics", RecordValue(record, "path")) << record;
    EXPECT_EQ(c.installed, RecordValue(record, "installed"));
    EXPECT_EQ(c.exitCode, RecordValue(record, "exit"));
  }
}

TEST_F(DriverPostInstallWine, DpinstIsNotRunOnAFailedUnpacking) {
  CopyZip("climb-parent.zip", L"gpudriver.zip");
  ASSERT_TRUE(CopyFileW(FromUnix(ORVEX_DPINST_STANDIN).c_str(), In(L"dpinst.exe").c_str(), FALSE));
  Json::Value doc;
  doc["SessionDir"] = Session();
  EXPECT_EQ(-1, Run("DPInstaller", R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir",
      "src_file": "gpudriver.zip", "dest_dir": ".SessionDir", "dir_suffix": "Graphics",
      "is_restart": ".r"})",
                    doc));
  EXPECT_FALSE(Exists(In(L"dpinst-record.txt")));
  EXPECT_FALSE(Exists(In(L"Graphics")));
  // No dpinst.exe: the start fails, and so does the module.
  DeleteFileW(In(L"dpinst.exe").c_str());
  CopyZip("driver.zip", L"gpudriver.zip");
  EXPECT_EQ(-1, Run("DPInstaller", R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir",
      "src_file": "gpudriver.zip", "dest_dir": ".SessionDir", "dir_suffix": "Graphics",
      "is_restart": ".r"})",
                    doc));
  EXPECT_TRUE(doc["r"].isNull());
}

// A dpinst that runs past the module's limit: the module fails with the limit in its text
// while dpinst is still at work, and dpinst is not stopped: it finishes and records its work.
TEST_F(DriverPostInstallWine, DpinstPastTheTimeLimitFailsTheModuleAndRunsOn) {
  CopyZip("driver.zip", L"gpudriver.zip");
  ASSERT_TRUE(CopyFileW(FromUnix(ORVEX_DPINST_STANDIN).c_str(), In(L"dpinst.exe").c_str(), FALSE));
  ASSERT_TRUE(CreateDirectoryW(In(L"Graphics").c_str(), nullptr));
  WriteBytes(In(L"Graphics\\sleep.marker"), "4");
  Json::Value doc;
  doc["SessionDir"] = Session();
  EXPECT_EQ(-1, Run("DPInstaller", R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir",
      "src_file": "gpudriver.zip", "dest_dir": ".SessionDir", "dir_suffix": "Graphics",
      "is_restart": ".r", "timeout_seconds": 1})",
                    doc));
  EXPECT_EQ("dpinst.exe did not finish within 1 second; it was left running",
            doc["S"]["M"]["reason"].asString());
  EXPECT_EQ("PROGRAM_TIMEOUT", doc["S"]["M"]["error"].asString());
  EXPECT_TRUE(doc["r"].isNull());
  EXPECT_FALSE(Exists(In(L"dpinst-record.txt")));
  const std::string record = WaitForFile(In(L"dpinst-record.txt"));
  EXPECT_EQ("2", RecordValue(record, "installed")) << record;
}

TEST_F(DriverPostInstallWine, HostileArchivesWriteNothingAnywhere) {
  const std::wstring dest = In(L"dest");
  const std::wstring inside = In(L"dest\\Graphics");
  const std::vector<std::wstring> outside = {In(L"escaped.txt"),
                                             session_ + L"\\..\\escaped.txt",
                                             L"C:\\orvex-zip-escaped.txt",
                                             L"C:\\tmp\\orvex-zip-escaped.txt",
                                             L"Z:\\tmp\\orvex-zip-escaped.txt",
                                             L"\\tmp\\orvex-zip-escaped.txt",
                                             In(L"dest\\Graphics\\outside\\orvex-zip-escaped.txt"),
                                             L"Z:\\tmp\\orvex-zip-escaped.txt"};
  for (const char* archive :
       {"climb-parent.zip", "climb-deep.zip", "climb-backslash.zip", "climb-dots-blanks.zip",
        "absolute-slash.zip", "absolute-backslash.zip", "unc.zip", "drive-absolute.zip",
        "drive-relative.zip", "stream.zip", "link.zip", "truncated.zip", "not-a-zip.zip"}) {
    SCOPED_TRACE(archive);
    RemoveTree(dest);
    ASSERT_TRUE(CreateDirectoryW(dest.c_str(), nullptr));
    CopyZip(archive, L"a.zip");
    EXPECT_FALSE(ExtractZip(WideToUtf8(In(L"a.zip")), WideToUtf8(dest)));
    EXPECT_FALSE(Exists(inside));
    for (const std::wstring& path : outside) EXPECT_FALSE(Exists(path)) << WideToUtf8(path);
  }
  // The ordinary archive and the empty one unpack.
  CopyZip("driver.zip", L"a.zip");
  EXPECT_TRUE(ExtractZip(WideToUtf8(In(L"a.zip")), WideToUtf8(dest)));
  EXPECT_EQ("MZ driver", ReadBytes(In(L"dest\\Graphics\\bin\\display.sys")));
  CopyZip("empty.zip", L"a.zip");
  EXPECT_TRUE(ExtractZip(WideToUtf8(In(L"a.zip")), WideToUtf8(In(L"dest\\Graphics"))));
}

TEST_F(DriverPostInstallWine, InstallDOTNETStartsTheSetup) {
  ASSERT_TRUE(
      CopyFileW(FromUnix(ORVEX_DOTNET_STANDIN).c_str(), In(L"dotnet_setup.exe").c_str(), FALSE));
  Json::Value doc;
  doc["SessionDir"] = Session();
  EXPECT_EQ(-1, Run("InstallDOTNET", "{}", doc));
  EXPECT_EQ("Run this installer after .NET installation is complete", plan_.abortMessage);
  const std::string record = WaitForFile(In(L"dotnet_setup-record.txt"));
  EXPECT_EQ(0u, record.rfind("started\n", 0)) << record;
  EXPECT_NE(std::string::npos, record.find("dotnet_setup.exe")) << record;

  // Without the setup program the module says so and leaves the abort message alone.
  DeleteFileW(In(L"dotnet_setup.exe").c_str());
  plan_.abortMessage.clear();
  Json::Value missing;
  missing["SessionDir"] = Session();
  EXPECT_EQ(-1, Run("InstallDOTNET", "{}", missing));
  EXPECT_EQ("", plan_.abortMessage);
  EXPECT_EQ("failed", missing["S"]["M"]["status"].asString());
}

bool ReadProductValue(const wchar_t* name, DWORD* type, std::string* data) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quarn\\Orvex", 0, KEY_READ | KEY_WOW64_64KEY,
                    &key) != ERROR_SUCCESS)
    return false;
  BYTE buffer[256] = {};
  DWORD size = sizeof buffer;
  const LONG result = RegQueryValueExW(key, name, nullptr, type, buffer, &size);
  RegCloseKey(key);
  data->assign(reinterpret_cast<char*>(buffer), size);
  return result == ERROR_SUCCESS;
}

void DeleteProductValue(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quarn\\Orvex", 0,
                    KEY_SET_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(key, name);
  RegCloseKey(key);
}

TEST_F(DriverPostInstallWine, PostInstallRunsTheScriptsAndWritesTheConfiguration) {
  const std::wstring installDir = In(L"Orvex Install");
  const std::wstring userData = In(L"User Data");
  ASSERT_TRUE(MakeProductFolders(installDir, userData));
  // Each script records the arguments cmd.exe handed it, with their quotes.
  WriteBytes(installDir + L"\\install_ics.bat",
             "@echo off\r\n>\"%~dp0install_ics-args.txt\" echo [%1] [%2] [%3] [%4]\r\n");
  WriteBytes(installDir + L"\\copy_vbox_config.bat",
             "@echo off\r\n>\"%~dp0copy_vbox_config-args.txt\" echo [%1] [%2]\r\n");

  // The version check backs the public desktop up before an upgrade; the old product's
  // removal then takes one file away and changes another.
  const std::wstring desktop = L"C:\\users\\Public\\Desktop";
  CreateDirectoryW(L"C:\\users\\Public", nullptr);
  CreateDirectoryW(desktop.c_str(), nullptr);
  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring restored = L"orvex-restored-" + tag + L".lnk";
  const std::wstring kept = L"orvex-kept-" + tag + L".lnk";
  WriteBytes(desktop + L"\\" + restored, "restored");
  WriteBytes(desktop + L"\\" + kept, "from the backup");
  ASSERT_TRUE(BackUpPublicDesktop(session_));
  ASSERT_TRUE(DeleteFileW((desktop + L"\\" + restored).c_str()));
  WriteBytes(desktop + L"\\" + kept, "on the desktop");

  CInstallPaths saved = GetInstallPaths();
  GetInstallPaths().installDir = WideToUtf8(installDir);
  GetInstallPaths().userDataDir = WideToUtf8(userData);
  Json::Value doc = J(R"({"InstallConfig": {"system": {"cpus": 8},
      "devices": {"camera": "on", "sensor": "a & b", "gps": "fix\u0001\u001bed",
                  "generic": "Home <5 GHz>"}}})");
  doc["SessionDir"] = Session();
  EXPECT_EQ(0, Run("PostInstall", "{}", doc));
  GetInstallPaths() = saved;

  const std::string install = WideToUtf8(installDir);
  EXPECT_EQ("[\"" + install + "\"] [\"Quarn\"] [\"Orvex\"] []\r\n",
            ReadBytes(installDir + L"\\install_ics-args.txt"));
  EXPECT_EQ("[\"" + WideToUtf8(userData) + "orvexvm\"] []\r\n",
            ReadBytes(installDir + L"\\copy_vbox_config-args.txt"));

  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(ReadProductValue(L"SendCrashReport", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(std::string("\x01\x00\x00\x00", 4), data);
  ASSERT_TRUE(ReadProductValue(L"PromoterReferred", &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(std::string(2, '\0'), data);  // the empty text with its terminating zero
  DeleteProductValue(L"SendCrashReport");
  DeleteProductValue(L"PromoterReferred");

  EXPECT_EQ(
      ReadBytes(FromUnix(std::string(ORVEX_SOURCE_DIR) + "/tests/fixtures/config-expected.xml")),
      ReadBytes(userData + L"\\config\\config.xml"));

  EXPECT_EQ("restored", ReadBytes(desktop + L"\\" + restored));
  EXPECT_EQ("on the desktop", ReadBytes(desktop + L"\\" + kept));
  EXPECT_FALSE(Exists(In(L"desktop_backup\\") + restored));
  EXPECT_FALSE(Exists(In(L"desktop_backup\\") + kept));
  EXPECT_TRUE(Exists(In(L"desktop_backup")));
  DeleteFileW((desktop + L"\\" + restored).c_str());
  DeleteFileW((desktop + L"\\" + kept).c_str());
}

// A script that ends with a non-zero code fails the module with it; config.xml is still
// written, and the other script still runs.
TEST_F(DriverPostInstallWine, PostInstallFailsWithTheScriptsExitCode) {
  const std::wstring installDir = In(L"Orvex Install");
  const std::wstring userData = In(L"User Data");
  ASSERT_TRUE(MakeProductFolders(installDir, userData));
  WriteBytes(installDir + L"\\install_ics.bat", "@echo off\r\nexit /b 3\r\n");
  WriteBytes(installDir + L"\\copy_vbox_config.bat",
             "@echo off\r\n>\"%~dp0copy_vbox_config-ran.txt\" echo ran\r\n");
  CInstallPaths saved = GetInstallPaths();
  GetInstallPaths().installDir = WideToUtf8(installDir);
  GetInstallPaths().userDataDir = WideToUtf8(userData);
  Json::Value doc;
  doc["SessionDir"] = Session();
  EXPECT_EQ(-1, Run("PostInstall", "{}", doc));
  GetInstallPaths() = saved;
  EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
  EXPECT_EQ("POST_INSTALL_SCRIPT_FAILED", doc["S"]["M"]["error"].asString());
  EXPECT_EQ("install_ics.bat ended with exit code 3", doc["S"]["M"]["reason"].asString());
  EXPECT_TRUE(Exists(installDir + L"\\copy_vbox_config-ran.txt"));
  EXPECT_TRUE(Exists(userData + L"\\config\\config.xml"));
  DeleteProductValue(L"SendCrashReport");
  DeleteProductValue(L"PromoterReferred");
}

// A cmd.exe in the current folder (the user's Downloads, where the installer starts) is not
// the one PostInstall runs: the system folder's is, by its full path.
TEST_F(DriverPostInstallWine, PostInstallRunsTheSystemsCommandInterpreterNotOneInTheCurrentFolder) {
  const std::wstring installDir = In(L"Orvex Install");
  const std::wstring userData = In(L"User Data");
  ASSERT_TRUE(MakeProductFolders(installDir, userData));
  WriteBytes(installDir + L"\\install_ics.bat",
             "@echo off\r\n>\"%~dp0install_ics-ran.txt\" echo ran\r\n");
  WriteBytes(installDir + L"\\copy_vbox_config.bat", "@echo off\r\n");
  // The planted cmd.exe is the dpinst stand-in: it leaves dpinst-record.txt beside itself
  // when it runs.
  const std::wstring downloads = In(L"Downloads");
  ASSERT_TRUE(CreateDirectoryW(downloads.c_str(), nullptr));
  ASSERT_TRUE(
      CopyFileW(FromUnix(ORVEX_DPINST_STANDIN).c_str(), (downloads + L"\\cmd.exe").c_str(), FALSE));
  wchar_t before[MAX_PATH] = {};
  ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, before));
  ASSERT_TRUE(SetCurrentDirectoryW(downloads.c_str()));
  CInstallPaths saved = GetInstallPaths();
  GetInstallPaths().installDir = WideToUtf8(installDir);
  GetInstallPaths().userDataDir = WideToUtf8(userData);
  Json::Value doc;
  doc["SessionDir"] = Session();
  const int result = Run("PostInstall", "{}", doc);
  GetInstallPaths() = saved;
  SetCurrentDirectoryW(before);
  EXPECT_EQ(0, result) << doc.toStyledString();
  EXPECT_TRUE(Exists(installDir + L"\\install_ics-ran.txt"));
  EXPECT_FALSE(Exists(downloads + L"\\dpinst-record.txt"));
  // The scripts' cmd.exe started with Downloads as its current folder, which holds the folder
  // until that process is gone; the next test needs the session folder away.
  DeleteFileW((downloads + L"\\cmd.exe").c_str());
  for (int i = 0; i < 100 && !RemoveDirectoryW(downloads.c_str()); ++i) Sleep(50);
  DeleteProductValue(L"SendCrashReport");
  DeleteProductValue(L"PromoterReferred");
}

// A script that runs past the module's limit (it starts the dpinst stand-in, which sleeps):
// the module fails naming it, the second script still runs, and the first is not stopped.
TEST_F(DriverPostInstallWine, ScriptPastTheTimeLimitFailsPostInstallAndRunsOn) {
  const std::wstring installDir = In(L"Orvex Install");
  const std::wstring userData = In(L"User Data");
  ASSERT_TRUE(CreateDirectoryW(installDir.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(userData.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((installDir + L"\\slow").c_str(), nullptr));
  WriteBytes(installDir + L"\\slow\\sleep.marker", "4");
  ASSERT_TRUE(CopyFileW(FromUnix(ORVEX_DPINST_STANDIN).c_str(),
                        (installDir + L"\\dpinst.exe").c_str(), FALSE));
  WriteBytes(installDir + L"\\install_ics.bat",
             "@echo off\r\nstart \"\" /wait \"%~dp0dpinst.exe\" /PATH \"%~dp0slow\"\r\n"
             ">\"%~dp0install_ics-done.txt\" echo done\r\n");
  WriteBytes(installDir + L"\\copy_vbox_config.bat",
             "@echo off\r\n>\"%~dp0copy_vbox_config-args.txt\" echo [%1]\r\n");

  CInstallPaths saved = GetInstallPaths();
  GetInstallPaths().installDir = WideToUtf8(installDir);
  GetInstallPaths().userDataDir = WideToUtf8(userData);
  Json::Value doc;
  doc["SessionDir"] = Session();
  EXPECT_EQ(-1, Run("PostInstall", R"({"timeout_seconds": 1})", doc));
  GetInstallPaths() = saved;
  DeleteProductValue(L"SendCrashReport");
  DeleteProductValue(L"PromoterReferred");

  EXPECT_EQ("install_ics.bat did not finish within 1 second; it was left running",
            doc["S"]["M"]["reason"].asString());
  EXPECT_EQ("PROGRAM_TIMEOUT", doc["S"]["M"]["error"].asString());
  EXPECT_EQ("[\"" + WideToUtf8(userData) + "orvexvm\"]\r\n",
            ReadBytes(installDir + L"\\copy_vbox_config-args.txt"));
  EXPECT_EQ("done\r\n", WaitForFile(installDir + L"\\install_ics-done.txt"));
  EXPECT_NE(std::string::npos, ReadBytes(installDir + L"\\dpinst-record.txt").find("exit="));
}

// Sets an environment variable of this process for the life of the object, then restores it.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
    wchar_t old[32768] = {};
    had_ = GetEnvironmentVariableW(name, old, 32768) > 0;
    old_ = old;
    SetEnvironmentVariableW(name, value.c_str());
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};

// A user whose name is not ASCII: TEMP and TMP point into a folder of that name, the session
// directory is made there and every module that takes it from the document reaches it: the
// version check saves the public desktop there, dpinst and the .NET setup start from there,
// PostInstall puts the desktop back from there.
TEST_F(DriverPostInstallWine, NonAsciiUserFoldersThroughTheModules) {
  const std::wstring tag = std::to_wstring(GetCurrentProcessId());
  const std::wstring desktop = L"C:\\users\\Public\\Desktop";
  CreateDirectoryW(L"C:\\users\\Public", nullptr);
  CreateDirectoryW(desktop.c_str(), nullptr);
  const std::wstring link = desktop + L"\\orvex-old-" + tag + L".lnk";
  // The product's folders, Cyrillic and Chinese (UTF-8 in the document, whatever the ANSI code
  // page), with scripts that succeed: PostInstall fails on any step that did not happen.
  const std::wstring installDir =
      In(L"\u041f\u0440\u043e\u0433\u0440\u0430\u043c\u043c\u044b Orvex");
  const std::wstring userData = In(L"Orvex \u6570\u636e") + L"\\";
  ASSERT_TRUE(MakeProductFolders(installDir, In(L"Orvex \u6570\u636e")));
  WriteBytes(installDir + L"\\install_ics.bat", "@echo off\r\n");
  WriteBytes(installDir + L"\\copy_vbox_config.bat", "@echo off\r\n");
  for (const wchar_t* user :
       {L"Jos\u00e9", L"\u0141ukasz", L"\u0410\u043d\u043d\u0430", L"\u9648"}) {
    SCOPED_TRACE(WideToUtf8(user));
    const std::wstring home = In(user);
    const std::wstring temp = home + L"\\Temp";
    ASSERT_TRUE(CreateDirectoryW(home.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    const std::wstring session = temp + L"\\orvex session";
    test::RecordingIndicator indicator;
    indicator.promptAnswer = 1;  // "Upgrade"
    Json::Value doc = test::UserFolderRunDocument(Session());
    ScopedVariable tempVariable(L"TEMP", temp);
    ScopedVariable tmpVariable(L"TMP", temp);
    CStage first("F");
    first.SetPlan(&plan_);
    test::AddSessionFolderModule(first, &indicator);
    ASSERT_EQ(0, first.Execute(&doc));
    ASSERT_TRUE(CopyFileW(FromUnix(ORVEX_DPINST_STANDIN).c_str(),
                          (session + L"\\dpinst.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(FromUnix(ORVEX_DOTNET_STANDIN).c_str(),
                          (session + L"\\dotnet_setup.exe").c_str(), FALSE));
    CopyZip("driver.zip", L"gpudriver.zip");  // an ASCII folder: the unpacking is not the point
    WriteBytes(link, "old link");
    CInstallPaths saved = GetInstallPaths();
    GetInstallPaths().installDir = WideToUtf8(installDir);
    GetInstallPaths().userDataDir = WideToUtf8(userData);

    CStage stage("S");
    stage.SetPlan(&plan_);
    test::AddUserFolderModules(stage, &indicator);
    plan_.abortMessage.clear();
    EXPECT_EQ(-1, stage.Execute(&doc));  // InstallDOTNET always ends the stage
    GetInstallPaths() = saved;

    EXPECT_EQ(WideToUtf8(session), doc["SessionDir"].asString());
    EXPECT_EQ("InstallDOTNET", doc["S"]["status"]["module"].asString()) << Compact(doc["S"]);
    EXPECT_EQ("Run this installer after .NET installation is complete", plan_.abortMessage);
    EXPECT_FALSE(doc["InstallConfig"]["installer"]["restart"].asBool());
    EXPECT_EQ(Session() + "\\Graphics",
              RecordValue(ReadBytes(session + L"\\dpinst-record.txt"), "path"));
    const std::string setup = WaitForFile(session + L"\\dotnet_setup-record.txt");
    EXPECT_NE(std::string::npos, setup.find(WideToUtf8(session) + "\\dotnet_setup.exe")) << setup;
    // The desktop went into the session's backup and came back from it.
    EXPECT_EQ("old link", ReadBytes(link));
    EXPECT_TRUE(Exists(session + L"\\desktop_backup"));
    EXPECT_FALSE(Exists(session + L"\\desktop_backup\\orvex-old-" + tag + L".lnk"));
    DeleteFileW(link.c_str());
    RemoveTree(home);
    RemoveTree(In(L"Graphics"));
  }
}

}  // namespace
}  // namespace orvex
