// Zip unpacking on archives made at test time (tests/fixtures/make_unpack_archives.py): names
// in several scripts, an entry named like its archive, an entry that holds more than it says.
#include "actions/zip_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "tests/support/install_fixtures.h"

namespace orvex {
namespace {

using test::ReadWholeFile;

std::wstring Prepared(const std::string& archive) {
  const std::wstring folder = test::NewWorkFolder("zip");
  EXPECT_TRUE(test::PlaceFixture(test::ZipFixture(archive), folder, archive)) << archive;
  return folder;
}

std::vector<std::string> SortedNames(const std::wstring& folder) {
  std::vector<std::string> names = test::FolderNames(folder);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ZipExtract, NamesInAnyScriptAreUnpackedAsTheyAre) {
  // The destination's own name is not ASCII either: a user folder named "José".
  const std::wstring parent = Prepared("unicode.zip");
  const std::wstring folder = parent + L"\\Jos\u00e9";
  uint32_t error = 0;
  ASSERT_TRUE(platform::MakeDirectory(folder, &error));
  ASSERT_TRUE(ExtractZip(WideToUtf8(parent) + "\\unicode.zip", WideToUtf8(folder)));
  EXPECT_EQ("[Version]\r\n", ReadWholeFile(folder + L"\\Graphics\\\u00e9\u65e5.inf"));
  EXPECT_EQ("names", ReadWholeFile(folder + L"\\\u0141ukasz-\u0410\u043d\u043d\u0430-\u9648.txt"));
}

// The archive is held open for reading only while it is unpacked: an entry of its own name
// (also in other letter case) cannot be opened for writing, and the unpacking fails with the
// archive whole.
TEST(ZipExtract, AnEntryNamedLikeItsArchiveLeavesTheArchiveWhole) {
  struct Case {
    const char* archive;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {"self-first.zip", {"self-first.zip"}},
      {"self-last.zip", {"before.txt", "self-last.zip"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    const std::wstring folder = Prepared(c.archive);
    const std::wstring path = folder + L"\\" + Utf8ToWide(c.archive);
    const std::string original = ReadWholeFile(path);
    EXPECT_FALSE(ExtractZip(WideToUtf8(path), WideToUtf8(folder)));
    EXPECT_EQ(original, ReadWholeFile(path));
    EXPECT_EQ(c.names, SortedNames(folder));
  }
}

// bomb.bin says 1 KiB and inflates to 8 MiB: it is stopped at the declared size and removed;
// the entry before it stays.
TEST(ZipExtract, AnEntryThatHoldsMoreThanItSaysIsStoppedAndRemoved) {
  const std::wstring folder = Prepared("understated.zip");
  EXPECT_FALSE(ExtractZip(WideToUtf8(folder) + "\\understated.zip", WideToUtf8(folder)));
  EXPECT_EQ("first", ReadWholeFile(folder + L"\\first.txt"));
  EXPECT_EQ((std::vector<std::string>{"first.txt", "understated.zip"}), SortedNames(folder));
}

}  // namespace
}  // namespace orvex
