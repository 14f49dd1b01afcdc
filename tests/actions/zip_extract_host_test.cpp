// Zip unpacking on the simulated machine: in the C locale, and on a drive with little room.
#include "actions/zip_extract.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

TEST(ZipExtractHost, UnicodeNamesComeThroughInTheCLocale) {
  std::setlocale(LC_ALL, "C");
  const std::wstring folder = test::NewWorkFolder("zip-c-locale");
  ASSERT_TRUE(test::PlaceFixture(test::ZipFixture("unicode.zip"), folder, "unicode.zip"));
  EXPECT_TRUE(ExtractZip(WideToUtf8(folder) + "\\unicode.zip", WideToUtf8(folder)));
  EXPECT_EQ("[Version]\r\n", test::ReadWholeFile(folder + L"\\Graphics\\\u00e9\u65e5.inf"));
}

// bomb.zip declares its 8 MiB honestly: on a drive with 4 MiB free nothing is written (the
// file of that name already there is not even truncated), with 16 MiB free it unpacks.
TEST(ZipExtractHost, DeclaredSizesBeyondTheFreeSpaceWriteNothing) {
  struct Case {
    uint64_t freeBytes;
    bool unpacked;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {4u << 20, false, {"bomb.bin", "bomb.zip"}},
      {16u << 20, true, {"bomb.bin", "bomb.zip"}},
  };
  for (const Case& c : cases) {
    Json::Value profile = test::J(R"({"environment": {"SystemDrive": "C:", "TEMP": "C:\\Temp"}})");
    profile["drives"]["C:"]["freeBytes"] = Json::UInt64(c.freeBytes);
    sim::ScopedMachine machine(profile);
    const std::wstring folder = test::NewWorkFolder("zip-bomb");
    ASSERT_TRUE(test::PlaceFixture(test::ZipFixture("bomb.zip"), folder, "bomb.zip"));
    ASSERT_TRUE(test::WriteWholeFile(folder + L"\\bomb.bin", "kept"));
    EXPECT_EQ(c.unpacked, ExtractZip(WideToUtf8(folder) + "\\bomb.zip", WideToUtf8(folder)));
    EXPECT_EQ(c.names, test::FolderNames(folder));
    const std::string bomb = test::ReadWholeFile(folder + L"\\bomb.bin");
    EXPECT_EQ(c.unpacked ? std::string(8u << 20, '\0') : "kept", bomb);
  }
}

}  // namespace
}  // namespace orvex
