// A cabinet entry whose name is a host link in the destination that leads out of the
// simulated machine's sandbox: nothing is written through it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "actions/cabinet.h"
#include "platform/sim/machine.h"
#include "tests/support/install_fixtures.h"

namespace orvex {
namespace {

TEST(CabinetLinks, EntryNamedLikeALinkOutOfTheSandboxWritesNothingThere) {
  char pattern[] = "/tmp/orvex-cab-outside-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string outside = std::string(pattern) + "/victim.txt";
  std::ofstream(outside) << "untouched";

  const std::wstring folder = test::NewWorkFolder("cablink");
  ASSERT_TRUE(test::PlaceFixture(test::CabinetFixture("folder.cab"), folder, "folder.cab"));
  ASSERT_EQ(0, symlink(outside.c_str(), sim::HostPath(folder + L"\\top.txt").c_str()));

  CCabinet cabinet(folder + L"\\folder.cab", folder);
  EXPECT_EQ(-1, cabinet.Extract());
  std::ifstream in(outside);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ("untouched", text.str());
  std::system(("rm -rf '" + std::string(pattern) + "'").c_str());
}

}  // namespace
}  // namespace orvex
