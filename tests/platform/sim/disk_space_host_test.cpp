// The simulated drives have the free space of the machine profile: GetDiskFreeSpaceExW reports
// it, every way of writing takes from it and fails as a full disk fails, deleting gives back.
// Handles keep their share modes: a file held for reading only cannot be overwritten.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/file_handles.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/win_codes.h"
#include "tests/support/sim_test_support.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

constexpr uint64_t kFree = 64 * 1024;

const char kMachine[] = R"({
  "environment": {"SystemDrive": "C:", "TEMP": "C:\\Temp"},
  "drives": {"c:": {"freeBytes": 65536, "totalBytes": 1048576}},
  "files": {"C:\\Data\\big.bin": ""}
})";

class SimDiskSpace : public ::testing::Test {
 protected:
  uint64_t Free(const std::wstring& directory = L"C:\\Temp") {
    platform::DiskSpace space;
    uint32_t error = 0;
    EXPECT_TRUE(platform::FreeDiskSpace(directory, &space, &error)) << error;
    EXPECT_EQ(space.freeToCaller, space.totalFree);
    return space.freeToCaller;
  }

  test::ScopedSandbox sandbox_;
  sim::ScopedMachine machine_{test::J(kMachine)};
  const std::string block_ = std::string(16 * 1024, 'x');
};

TEST_F(SimDiskSpace, ReportsTheProfileAndRefusesWhatIsNotThere) {
  platform::DiskSpace space;
  uint32_t error = 0;
  ASSERT_TRUE(platform::FreeDiskSpace(L"C:\\", &space, &error));
  EXPECT_EQ(kFree, space.freeToCaller);
  EXPECT_EQ(1048576u, space.totalBytes);
  EXPECT_FALSE(platform::FreeDiskSpace(L"C:\\Missing", &space, &error));
  EXPECT_EQ(platform::kErrorPathNotFound, error);
  EXPECT_FALSE(platform::FreeDiskSpace(L"\\\\server\\share", &space, &error));
  EXPECT_EQ(platform::kErrorBadNetPath, error);
  // A drive the profile does not describe has the default: large, but finite.
  uint32_t made = 0;
  ASSERT_TRUE(platform::MakeDirectory(L"D:\\", &made) || made == platform::kErrorAlreadyExists);
  EXPECT_GT(Free(L"D:\\"), kFree);
}

TEST_F(SimDiskSpace, EveryWriterStopsAtAFullDrive) {
  // A stream of writes: three blocks fit, the fifth does not.
  platform::ScopedFile file = platform::OpenForWriting(L"C:\\Temp\\stream.bin", nullptr);
  ASSERT_NE(nullptr, file);
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(block_.size(), std::fwrite(block_.data(), 1, block_.size(), file.get()));
  EXPECT_EQ(kFree - 3 * block_.size(), Free());
  EXPECT_EQ(block_.size(), std::fwrite(block_.data(), 1, block_.size(), file.get()));
  EXPECT_EQ(0u, std::fwrite(block_.data(), 1, block_.size(), file.get()));
  EXPECT_EQ(ENOSPC, errno);
  file.reset();
  EXPECT_EQ(0u, Free());

  // Handles, positioned files and copies find no room either.
  const intptr_t handle =
      platform::CreateFileHandle(L"C:\\Temp\\handle.bin", platform::kGenericWrite,
                                 platform::kFileShareRead, platform::kCreateAlways);
  ASSERT_NE(platform::kInvalidFileHandle, handle);
  uint32_t done = 0;
  EXPECT_FALSE(platform::WriteToHandle(handle, "x", 1, &done));
  EXPECT_TRUE(platform::CloseFileHandle(handle));
  platform::PositionedFile part;
  uint32_t error = 0;
  ASSERT_TRUE(part.Create(L"C:\\Temp\\download.part", &error));
  EXPECT_FALSE(part.Reserve(1, &error));
  EXPECT_EQ(platform::kErrorDiskFull, error);
  EXPECT_FALSE(part.WriteAt(0, "x", 1, &error));
  EXPECT_TRUE(part.Close(&error));
  EXPECT_FALSE(platform::CopyFileTo(L"C:\\Temp\\stream.bin", L"C:\\Temp\\copy.bin", true));
  EXPECT_FALSE(platform::PathExists(L"C:\\Temp\\copy.bin"));

  // Deleting the file gives its bytes back; overwriting it (truncation) too.
  ASSERT_TRUE(platform::DeleteFileAt(L"C:\\Temp\\stream.bin"));
  EXPECT_EQ(kFree, Free());
  ASSERT_TRUE(part.Create(L"C:\\Temp\\download.part", &error));
  EXPECT_TRUE(part.Reserve(kFree, &error));
  EXPECT_TRUE(part.Close(&error));
  EXPECT_EQ(0u, Free());
  ASSERT_TRUE(part.Create(L"C:\\Temp\\download.part", &error));
  EXPECT_TRUE(part.Close(&error));
  EXPECT_EQ(kFree, Free());
  // A rename over a file frees the replaced file's bytes.
  ASSERT_TRUE(part.Create(L"C:\\Temp\\new.part", &error));
  EXPECT_TRUE(part.Reserve(100, &error));
  EXPECT_TRUE(part.Close(&error));
  ASSERT_TRUE(part.Create(L"C:\\Temp\\old.bin", &error));
  EXPECT_TRUE(part.Reserve(200, &error));
  EXPECT_TRUE(part.Close(&error));
  EXPECT_TRUE(platform::ReplaceWithFile(L"C:\\Temp\\new.part", L"C:\\Temp\\old.bin", &error));
  EXPECT_EQ(kFree - 100, Free());
}

TEST_F(SimDiskSpace, AFileHeldForReadingOnlyCannotBeOverwritten) {
  platform::ScopedFile file = platform::OpenForWriting(L"C:\\Temp\\archive.bin", nullptr);
  ASSERT_NE(nullptr, file);
  std::fputs("archive", file.get());
  file.reset();
  const intptr_t reading =
      platform::CreateFileHandle(L"C:\\Temp\\archive.bin", platform::kGenericRead,
                                 platform::kFileShareRead, platform::kOpenExisting);
  ASSERT_NE(platform::kInvalidFileHandle, reading);
  // By any name that reaches it: other letter case, "..", a trailing dot.
  for (const wchar_t* name : {L"C:\\Temp\\archive.bin", L"C:\\TEMP\\ARCHIVE.BIN",
                              L"C:\\Temp\\x\\..\\archive.bin.", L"\\Temp\\archive.bin"}) {
    uint32_t error = 0;
    EXPECT_EQ(nullptr, platform::OpenForWriting(name, &error));
    EXPECT_EQ(platform::kErrorSharingViolation, error);
    EXPECT_EQ(platform::kInvalidFileHandle,
              platform::CreateFileHandle(name, platform::kGenericWrite, platform::kFileShareRead,
                                         platform::kCreateAlways));
    platform::PositionedFile part;
    uint32_t createError = 0;
    EXPECT_FALSE(part.Create(name, &createError));
    EXPECT_EQ(platform::kErrorSharingViolation, createError);
    EXPECT_FALSE(platform::CopyFileTo(L"C:\\Data\\big.bin", name, false));
  }
  // Another reader that shares reading is welcome.
  const intptr_t second =
      platform::CreateFileHandle(L"C:\\Temp\\archive.bin", platform::kGenericRead,
                                 platform::kFileShareRead, platform::kOpenExisting);
  EXPECT_NE(platform::kInvalidFileHandle, second);
  EXPECT_TRUE(platform::CloseFileHandle(second));
  EXPECT_TRUE(platform::CloseFileHandle(reading));
  file = platform::OpenForWriting(L"C:\\Temp\\archive.bin", nullptr);
  EXPECT_NE(nullptr, file);
  file.reset();
}

}  // namespace
}  // namespace orvex
