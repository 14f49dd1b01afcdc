// The file system on Windows paths, in the Wine prefix's temporary directory.
#include "platform/files.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

void WriteFile(const std::wstring& path, const std::string& content) {
  uint32_t error = 0;
  ScopedFile file = OpenForWriting(path, &error);
  ASSERT_NE(file, nullptr) << error;
  std::fwrite(content.data(), 1, content.size(), file.get());
  file.reset();
}

std::string ReadFile(const std::wstring& path) {
  ScopedFile file = OpenForReading(path, nullptr);
  if (!file) return "<missing>";
  std::string content;
  char buffer[256];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, n);
  file.reset();
  return content;
}

TEST(Win32Files, TempPathIsAnExistingDirectoryWithTrailingBackslash) {
  std::wstring temp = TempPath();
  ASSERT_GT(temp.size(), 3u);
  EXPECT_EQ(temp.back(), L'\\');
  EXPECT_EQ(temp[1], L':');
  EXPECT_TRUE(PathExists(temp));
  EXPECT_NE(FileAttributes(temp) & kFileAttributeDirectory, 0u);
}

// GetDiskFreeSpaceExW: the free space of the temporary folder's drive, which the unpacking
// checks the declared sizes against; a folder that does not exist reports an error.
TEST(Win32Files, FreeDiskSpaceOfAnExistingFolder) {
  DiskSpace space;
  uint32_t error = 0;
  ASSERT_TRUE(FreeDiskSpace(TempPath(), &space, &error)) << error;
  EXPECT_GT(space.freeToCaller, 0u);
  EXPECT_LE(space.freeToCaller, space.totalBytes);
  EXPECT_LE(space.totalFree, space.totalBytes);
  EXPECT_FALSE(FreeDiskSpace(TempPath() + L"OrvexNoSuchFolder\\below", &space, &error));
  EXPECT_NE(0u, error);
}

// A directory in the temporary folder holding read-only files, made and taken apart again
// with the calls the housekeeping modules use.
class Win32FilesTree : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = TempPath() + L"OrvexFilesTest" + std::to_wstring(GetCurrentProcessId());
    uint32_t error = 0;
    ASSERT_TRUE(MakeDirectory(dir_, &error)) << error;
  }
  void TearDown() override {
    // Whatever a failed test left behind: clean-up at best, the test has spoken already.
    for (const wchar_t* name : {L"\\a.txt", L"\\b.txt", L"\\copy.txt"}) {
      (void)ChangeFileAttributes(dir_ + name, kFileAttributeNormal);
      (void)DeleteFileAt(dir_ + name);
    }
    (void)RemoveEmptyDirectory(dir_ + L"\\sub");
    (void)RemoveEmptyDirectory(dir_);
  }
  std::wstring dir_;
};

TEST_F(Win32FilesTree, MakeDirectoryErrors) {
  uint32_t error = 0;
  EXPECT_FALSE(MakeDirectory(dir_, &error));
  EXPECT_EQ(error, kErrorAlreadyExists);
  error = 0;
  EXPECT_FALSE(MakeDirectory(dir_ + L"\\missing\\child", &error));
  EXPECT_EQ(error, kErrorPathNotFound);
  EXPECT_FALSE(PathExists(dir_ + L"\\missing"));
}

TEST_F(Win32FilesTree, ReadOnlyFilesAreRemovedOnlyAfterClearingTheAttribute) {
  WriteFile(dir_ + L"\\a.txt", "alpha");
  WriteFile(dir_ + L"\\b.txt", "beta");
  uint32_t error = 0;
  ASSERT_TRUE(MakeDirectory(dir_ + L"\\sub", &error)) << error;
  ASSERT_TRUE(ChangeFileAttributes(dir_ + L"\\a.txt", kFileAttributeReadonly));
  EXPECT_NE(FileAttributes(dir_ + L"\\a.txt") & kFileAttributeReadonly, 0u);
  EXPECT_EQ(FileAttributes(dir_ + L"\\b.txt") & kFileAttributeReadonly, 0u);

  // The search lists "." and ".." first, then the entries with their attributes.
  FindData entry;
  auto search = StartFileSearch(dir_ + L"\\*", &entry);
  ASSERT_NE(search, nullptr);
  std::vector<FindData> entries{entry};
  uint32_t endError = 0;
  while (search->Next(&entry, &endError)) entries.push_back(entry);
  std::vector<std::wstring> order;
  std::set<std::wstring> directories, readOnly;
  for (const FindData& found : entries) {
    order.push_back(found.name);
    if (found.attributes & kFileAttributeDirectory) directories.insert(found.name);
    if (found.attributes & kFileAttributeReadonly) readOnly.insert(found.name);
  }
  search.reset();
  EXPECT_EQ(endError, kErrorNoMoreFiles);
  ASSERT_EQ(order.size(), 5u);
  EXPECT_EQ(order[0], L".");
  EXPECT_EQ(order[1], L"..");
  EXPECT_EQ(std::set<std::wstring>(order.begin() + 2, order.end()),
            (std::set<std::wstring>{L"a.txt", L"b.txt", L"sub"}));
  EXPECT_EQ(directories, (std::set<std::wstring>{L".", L"..", L"sub"}));
  EXPECT_EQ(readOnly, std::set<std::wstring>{L"a.txt"});

  EXPECT_FALSE(RemoveEmptyDirectory(dir_));  // not empty yet
  EXPECT_FALSE(DeleteFileAt(dir_ + L"\\a.txt"));
  EXPECT_EQ(GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(ReadFile(dir_ + L"\\a.txt"), "alpha");
  ASSERT_TRUE(ChangeFileAttributes(dir_ + L"\\a.txt",
                                   FileAttributes(dir_ + L"\\a.txt") & ~kFileAttributeReadonly));
  EXPECT_TRUE(DeleteFileAt(dir_ + L"\\a.txt"));
  EXPECT_TRUE(DeleteFileAt(dir_ + L"\\b.txt"));
  EXPECT_FALSE(DeleteFileAt(dir_ + L"\\b.txt"));
  EXPECT_TRUE(RemoveEmptyDirectory(dir_ + L"\\sub"));
  EXPECT_TRUE(RemoveEmptyDirectory(dir_));

  EXPECT_FALSE(PathExists(dir_));
  EXPECT_EQ(FileAttributes(dir_), kInvalidFileAttributes);
  EXPECT_EQ(StartFileSearch(dir_ + L"\\*", &entry), nullptr);
}

TEST_F(Win32FilesTree, CopyKeepsOrReplacesTheTarget) {
  WriteFile(dir_ + L"\\a.txt", "new");
  WriteFile(dir_ + L"\\copy.txt", "old");
  EXPECT_FALSE(CopyFileTo(dir_ + L"\\a.txt", dir_ + L"\\copy.txt", true));
  EXPECT_EQ(ReadFile(dir_ + L"\\copy.txt"), "old");
  EXPECT_TRUE(CopyFileTo(dir_ + L"\\a.txt", dir_ + L"\\copy.txt", false));
  EXPECT_EQ(ReadFile(dir_ + L"\\copy.txt"), "new");
  EXPECT_FALSE(CopyFileTo(dir_ + L"\\absent.txt", dir_ + L"\\b.txt", false));
  EXPECT_FALSE(PathExists(dir_ + L"\\b.txt"));
  EXPECT_EQ(OpenForReading(dir_ + L"\\absent.txt", nullptr), nullptr);
}

TEST(Win32Files, SystemFolderReachableWithRedirectionOff) {
  std::wstring kernel32 = EnvironmentVariableW(L"SystemRoot") + L"\\system32\\kernel32.dll";
  ScopedFsRedirectionOff off;
  EXPECT_TRUE(PathExists(kernel32)) << std::string(kernel32.begin(), kernel32.end());
}

}  // namespace
}  // namespace platform
}  // namespace orvex
