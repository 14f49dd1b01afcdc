// The machine's download cache on the real Windows API (under Wine): the folder Windows names
// for ProgramData, its protection, and how a cached file is put at its destination.
#include "actions/cached_download.h"

#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <string>

#include "actions/download_cache.h"
#include "base/text.h"
#include "platform/admin_folders.h"
#include "platform/sha256.h"
#include "tests/support/development_setting.h"
#include "tests/support/devservice_client.h"
#include "tests/support/security_text_win32.h"

namespace orvex {
namespace {

using test::DaclText;

using test::DevService;

std::wstring KnownProgramData() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path))) folder = path;
  CoTaskMemFree(path);
  return folder;
}

DWORD LinkCount(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  BY_HANDLE_FILE_INFORMATION information{};
  const BOOL read = GetFileInformationByHandle(file, &information);
  CloseHandle(file);
  return read ? information.nNumberOfLinks : 0;
}

std::wstring TempFolder(const std::wstring& stem) {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp, length) + stem + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(GetTickCount());
}

// The cache lies where Windows says ProgramData is, whatever the process's environment says,
// and its folder is made for SYSTEM and the administrators alone.
TEST(DownloadCacheWine, FolderIsInTheMachinesProgramDataForAdministratorsOnly) {
  const std::wstring programData = KnownProgramData();
  ASSERT_FALSE(programData.empty());
  const std::wstring hostile = TempFolder(L"hostile-programdata");
  ASSERT_TRUE(SetEnvironmentVariableW(L"ProgramData", hostile.c_str()));
  ASSERT_TRUE(SetEnvironmentVariableW(L"ALLUSERSPROFILE", hostile.c_str()));
  const std::wstring folder = DefaultDownloadCacheFolder();
  EXPECT_EQ(programData + L"\\Quarn\\Orvex\\Downloads", folder);

  std::string why;
  ASSERT_TRUE(OpenDownloadCache(folder, &why)) << why;
  EXPECT_TRUE(platform::OnlyAdministratorsCanWrite(folder));
  const std::wstring dacl = DaclText(folder);
  ASSERT_FALSE(dacl.empty());
  for (const wchar_t* anyone : {L";;;WD)", L";;;BU)", L";;;AU)"})
    EXPECT_EQ(std::wstring::npos, dacl.find(anyone)) << WideToUtf8(dacl);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(hostile.c_str()));
}

// A folder made with the default descriptor (anyone may write) is never used as it is: it is
// either protected and emptied, or refused.
TEST(DownloadCacheWine, FolderOthersCanWriteIsNeverUsedAsItIs) {
  const std::wstring folder = TempFolder(L"weak-cache");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_FALSE(platform::OnlyAdministratorsCanWrite(folder));
  const std::wstring planted = folder + L"\\" + std::wstring(64, L'a');
  HANDLE file = CreateFileW(planted.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);

  std::string why;
  const bool opened = OpenDownloadCache(folder, &why);
  EXPECT_EQ(opened, platform::OnlyAdministratorsCanWrite(folder)) << why;
  EXPECT_EQ(opened, GetFileAttributesW(planted.c_str()) == INVALID_FILE_ATTRIBUTES) << why;
  DeleteFileW(planted.c_str());
  RemoveDirectoryW(folder.c_str());
}

// A verified file goes to a destination in a folder only administrators can change as another
// name of the cached file, and anywhere else as a copy of its own.
TEST(DownloadCacheWine, HardLinkInAProtectedFolderCopyElsewhere) {
  DevService& service = DevService::Get();
  service.Reset();
  service.PutPatternMedia("cached.bin", 200000);
  const std::string bytes = DevService::Pattern(200000);
  platform::Sha256 hash;
  uint8_t digest[platform::kSha256Bytes];
  uint32_t error = 0;
  ASSERT_TRUE(hash.Start(&error) && hash.Add(bytes.data(), bytes.size(), &error) &&
              hash.Finish(digest, &error));
  const std::string sha256 = platform::Sha256Text(digest);
  test::ScopedPlainHttp plainHttp(service.BaseUrl());

  const std::wstring root = TempFolder(L"cache-placement");
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
  const std::wstring cache = root + L"\\Downloads";
  const std::wstring protectedFolder = root + L"\\session";
  ASSERT_TRUE(platform::MakeAdminOnlyDirectory(protectedFolder, &error)) << error;
  const std::wstring plainFolder = root + L"\\plain";
  ASSERT_TRUE(CreateDirectoryW(plainFolder.c_str(), nullptr));

  struct Case {
    std::wstring folder;
    DWORD links;
  };
  for (const Case& c : {Case{protectedFolder, 2}, Case{plainFolder, 1}}) {
    const std::wstring destination = c.folder + L"\\cached.bin";
    CCachedDownload download(service.Url("/media/cached.bin"), destination, sha256, nullptr,
                             L"INSTALLER", cache);
    try {
      EXPECT_EQ(200000u, download.Run());
    } catch (const CHttpDownloadEx& failure) {
      FAIL() << DescribeDownloadError(failure);
    }
    EXPECT_EQ(c.links, LinkCount(destination)) << download.Note();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((destination + L".cache.tmp").c_str()));
    DeleteFileW(destination.c_str());
  }
  // The second download took the file from the cache: one size query and ten ranges in all.
  long gets = 0;
  for (const Json::Value& request : service.Requests("/media/cached.bin"))
    if (request["method"].asString() == "GET") ++gets;
  EXPECT_EQ(10, gets);

  RemoveCacheFile(cache + L"\\" + Utf8ToWide(sha256));
  RemoveDirectoryW(cache.c_str());
  RemoveDirectoryW(protectedFolder.c_str());
  RemoveDirectoryW(plainFolder.c_str());
  RemoveDirectoryW(root.c_str());
}

}  // namespace
}  // namespace orvex
