// The positioned file writer on both builds (Windows under Wine, the simulated machine on the
// host): the ways a file is opened, and the Windows errors each failure reports.
#include "platform/file_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform/win_codes.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

class FileWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    folder_ = test::ScratchRoot() / ("orvex-file-writer-" + std::to_string(random()));
    fs::create_directories(folder_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::wstring At(const std::string& name) const { return test::PlatformPath(folder_ / name); }
  std::string Read(const std::string& name) const {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Plant(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
  }
  fs::path folder_;
};

// How each way of opening treats a file that is there and one that is not.
TEST_F(FileWriterTest, EachOpeningKeepsTruncatesOrRefusesAsWindowsDoes) {
  enum Way { kCreate, kCreateNew, kOpenExisting };
  struct Case {
    const char* name;
    Way way;
    bool present;
    bool opens;
    uint32_t error;            // when it does not open
    const char* contentAfter;  // after writing "AB" at offset 1
  } cases[] = {
      {"create over a file", kCreate, true, true, 0, "\0AB"},
      {"create anew", kCreate, false, true, 0, "\0AB"},
      {"create-new over a file", kCreateNew, true, false, platform::kErrorFileExists, "old!"},
      {"create-new anew", kCreateNew, false, true, 0, "\0AB"},
      {"open an existing file", kOpenExisting, true, true, 0, "oAB!\0"},
      {"open a missing file", kOpenExisting, false, false, platform::kErrorFileNotFound, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(folder_ / "f.bin");
    if (c.present) Plant("f.bin", "old!");
    platform::PositionedFile file;
    uint32_t error = 0;
    bool opened = false;
    if (c.way == kCreate) opened = file.Create(At("f.bin"), &error);
    if (c.way == kCreateNew) opened = file.CreateNew(At("f.bin"), &error);
    if (c.way == kOpenExisting) opened = file.OpenExisting(At("f.bin"), &error);
    ASSERT_EQ(opened, c.opens);
    if (!opened) {
      EXPECT_EQ(error, c.error);
      EXPECT_FALSE(file.IsOpen());
    } else {
      ASSERT_TRUE(file.WriteAt(1, "AB", 2, &error)) << error;
      // Growing the file keeps what it held.
      if (c.way == kOpenExisting) {
        ASSERT_TRUE(file.Reserve(5, &error)) << error;
      }
      ASSERT_TRUE(file.Flush(&error)) << error;
      ASSERT_TRUE(file.Close(&error)) << error;
    }
    const std::string expected(c.contentAfter, c.way == kOpenExisting && opened ? 5
                                               : opened                         ? 3
                                                        : std::strlen(c.contentAfter));
    EXPECT_EQ(Read("f.bin"), expected);
  }
}

// A reservation leaves the file exactly as long as asked, shorter than before or longer, and
// the length read back is that one.
TEST_F(FileWriterTest, ReserveGivesExactlyTheSizeAskedFor) {
  Plant("f.bin", "0123456789");
  platform::PositionedFile file;
  uint32_t error = 0;
  ASSERT_TRUE(file.OpenExisting(At("f.bin"), &error)) << error;
  const std::pair<uint64_t, std::string> steps[] = {{4, "0123"},
                                                    {6, std::string("0123\0\0", 6)},
                                                    {6, std::string("0123\0\0", 6)},
                                                    {0, ""},
                                                    {3, std::string(3, '\0')}};
  for (const auto& step : steps) {
    SCOPED_TRACE(step.first);
    ASSERT_TRUE(file.Reserve(step.first, &error)) << error;
    uint64_t size = 99;
    ASSERT_TRUE(file.Size(&size, &error)) << error;
    EXPECT_EQ(size, step.first);
    EXPECT_EQ(Read("f.bin"), step.second);
  }
}

// A file with a second name (a hard link) shows it in its link count.
TEST_F(FileWriterTest, LinkCountTellsAHardLink) {
  Plant("f.bin", "shared");
  platform::PositionedFile file;
  uint32_t error = 0;
  uint32_t links = 0;
  ASSERT_TRUE(file.OpenExisting(At("f.bin"), &error)) << error;
  ASSERT_TRUE(file.LinkCount(&links, &error)) << error;
  EXPECT_EQ(links, 1u);
  fs::create_hard_link(folder_ / "f.bin", folder_ / "g.bin");
  ASSERT_TRUE(file.LinkCount(&links, &error)) << error;
  EXPECT_EQ(links, 2u);
  ASSERT_TRUE(file.Close(&error)) << error;
  EXPECT_FALSE(file.LinkCount(&links, &error));
}

TEST_F(FileWriterTest, MissingFolderIsPathNotFound) {
  platform::PositionedFile file;
  uint32_t error = 0;
  EXPECT_FALSE(file.Create(At("no-such-folder/f.bin"), &error));
  EXPECT_EQ(error, platform::kErrorPathNotFound);
  EXPECT_FALSE(file.CreateNew(At("no-such-folder/f.bin"), &error));
  EXPECT_EQ(error, platform::kErrorPathNotFound);
  EXPECT_FALSE(platform::ReplaceWithFile(At("missing.part"), At("f.bin"), &error));
  EXPECT_EQ(error, platform::kErrorFileNotFound);
}

TEST_F(FileWriterTest, ReplaceWithFileRenamesOverAnExistingFile) {
  Plant("f.bin", "old content");
  Plant("f.bin.part", "new");
  uint32_t error = 0;
  ASSERT_TRUE(platform::ReplaceWithFile(At("f.bin.part"), At("f.bin"), &error)) << error;
  EXPECT_EQ(Read("f.bin"), "new");
  EXPECT_FALSE(fs::exists(folder_ / "f.bin.part"));
}

}  // namespace
}  // namespace orvex
