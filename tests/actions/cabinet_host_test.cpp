// Cabinet extraction on a simulated drive with little free space: the entries' declared sizes
// are checked before anything is written, so a small cabinet cannot fill the disk. A file of
// the entry's name that is already there shows it: a check made while writing would have
// truncated it.
#include "actions/cabinet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/stage.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "tests/support/install_fixtures.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

// bomb.cab holds 8 MiB of zeros in about 14 KiB.
const char kSmallDrive[] = R"({
  "environment": {"SystemDrive": "C:", "TEMP": "C:\\Temp"},
  "drives": {"C:": {"freeBytes": 4194304}}
})";
const char kRoomyDrive[] = R"({
  "environment": {"SystemDrive": "C:", "TEMP": "C:\\Temp"},
  "drives": {"C:": {"freeBytes": 16777216}}
})";

TEST(CabinetDiskSpace, DeclaredSizesBeyondTheFreeSpaceWriteNothing) {
  struct Case {
    const char* machine;
    int result;
    std::vector<std::string> names;
  };
  const std::vector<Case> cases = {
      {kSmallDrive, -1, {"bomb.bin", "bomb.cab"}},
      {kRoomyDrive, 0, {"bomb.bin", "bomb.cab"}},
  };
  for (const Case& c : cases) {
    sim::ScopedMachine machine(test::J(c.machine));
    const std::wstring folder = test::NewWorkFolder("cab-bomb");
    ASSERT_TRUE(test::PlaceFixture(test::CabinetFixture("bomb.cab"), folder, "bomb.cab"));
    ASSERT_TRUE(test::WriteWholeFile(folder + L"\\bomb.bin", "kept"));
    CStage stage{"S"};
    auto module = test::MakeRegisteredModule("CABExtractor",
                                             R"({"cab": "bomb.cab", "directory": ".D"})", stage);
    ASSERT_TRUE(module);
    Json::Value doc(Json::objectValue);
    doc["D"] = WideToUtf8(folder);
    EXPECT_EQ(c.result, module->Execute(doc));
    EXPECT_EQ(c.result == 0 ? "" : "Failure writing to target file",
              doc["S"]["M"]["error"].asString());
    EXPECT_EQ(c.names, test::FolderNames(folder));
    const std::string bomb = test::ReadWholeFile(folder + L"\\bomb.bin");
    if (c.result == 0)
      EXPECT_EQ(8u * 1024 * 1024, bomb.size());
    else
      EXPECT_EQ("kept", bomb);
  }
}

}  // namespace
}  // namespace orvex
