// What the file calls report when Windows refuses them: the Windows error, the same on Windows
// (under Wine) and on the simulated machine, whose host calls fail with errno values (and open
// a folder for reading, which Windows refuses).
#include "platform/files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "base/text.h"
#include "platform/file_handles.h"
#include "platform/win_codes.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

// A folder below the scratch root with a file and a file that a handle holds open without
// sharing anything. (No read-only file: Wine running as root opens one for writing, which
// Windows refuses; the simulated machine's refusal is checked in its own tests.)
class PlatformFilesRefused : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::PlatformPath(test::ScratchRoot() / "orvex-refused-opens");
    uint32_t error = 0;
    ASSERT_TRUE(platform::MakeDirectory(folder_, &error) || error == platform::kErrorAlreadyExists)
        << error;
    for (const wchar_t* name : kFiles) {
      platform::ScopedFile file = platform::OpenForWriting(Path(name), &error);
      ASSERT_NE(nullptr, file) << error;
      file.reset();
    }
    held_ = platform::CreateFileHandle(Path(L"held.txt"), platform::kGenericRead, 0,
                                       platform::kOpenExisting);
    ASSERT_NE(platform::kInvalidFileHandle, held_);
  }

  void TearDown() override {
    // Clean-up at best: the test has spoken already.
    if (held_ != platform::kInvalidFileHandle) (void)platform::CloseFileHandle(held_);
    for (const wchar_t* name : kFiles) (void)platform::DeleteFileAt(Path(name));
    (void)platform::RemoveEmptyDirectory(folder_);
  }

  std::wstring Path(const std::wstring& name) const { return folder_ + L"\\" + name; }

  static constexpr const wchar_t* kFiles[] = {L"plain.txt", L"held.txt"};
  std::wstring folder_;
  intptr_t held_ = platform::kInvalidFileHandle;
};

TEST_F(PlatformFilesRefused, OpenForWritingReportsTheWindowsError) {
  const struct Case {
    const wchar_t* name;
    uint32_t error;
  } cases[] = {
      {L"missing\\new.txt", platform::kErrorPathNotFound},    // a folder on the way is missing
      {L"plain.txt\\new.txt", platform::kErrorPathNotFound},  // a file stands on the way
      {L".", platform::kErrorAccessDenied},                   // the folder itself
      {L"held.txt", platform::kErrorSharingViolation},
      {L"a<b.txt", platform::kErrorInvalidName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    uint32_t error = platform::kErrorSuccess;
    platform::ScopedFile file = platform::OpenForWriting(Path(c.name), &error);
    EXPECT_EQ(nullptr, file);
    file.reset();
    EXPECT_EQ(c.error, error);
  }
}

TEST_F(PlatformFilesRefused, OpenForReadingReportsTheWindowsError) {
  const struct Case {
    const wchar_t* name;
    uint32_t error;
  } cases[] = {
      {L"absent.txt", platform::kErrorFileNotFound},
      {L"missing\\absent.txt", platform::kErrorPathNotFound},  // a folder on the way is missing
      {L"plain.txt\\absent.txt", platform::kErrorPathNotFound},
      {L".", platform::kErrorAccessDenied},  // the folder itself
      {L"held.txt", platform::kErrorSharingViolation},
      {L"a<b.txt", platform::kErrorInvalidName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.name));
    uint32_t error = platform::kErrorSuccess;
    EXPECT_EQ(nullptr, platform::OpenForReading(Path(c.name), &error));
    EXPECT_EQ(c.error, error);
  }
  uint32_t error = platform::kErrorSuccess;
  platform::ScopedFile plain = platform::OpenForReading(Path(L"plain.txt"), &error);
  EXPECT_NE(nullptr, plain);
  EXPECT_EQ(platform::kErrorSuccess, error);  // left alone on success
  EXPECT_TRUE(platform::CloseFile(std::move(plain)));
}

}  // namespace
}  // namespace orvex
