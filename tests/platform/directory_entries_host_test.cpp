// The directory walk on the simulated machine: names without "." and "..", links as links, and
// a listing that could not be made or read is never Complete.

#include "platform/directory_entries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/sim/machine.h"
#include "tests/support/sim_test_support.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::J;

const char kMachine[] = R"({
  "environment": {"SystemDrive": "C:", "SystemRoot": "C:\\Windows"},
  "files": {"C:\\Data\\b.txt": "bee", "C:\\Data\\A.txt": "ay", "C:\\Data\\sub\\c.txt": "see",
            "C:\\Data\\README": "no dot", "C:\\Empty\\sub\\x.txt": "x"}
})";

struct Listed {
  std::wstring name;
  bool link;
  bool directory;
  bool operator==(const Listed& other) const {
    return name == other.name && link == other.link && directory == other.directory;
  }
};

std::vector<Listed> ListAll(const std::wstring& directory, bool* complete) {
  std::vector<Listed> listed;
  platform::DirectoryEntries entries(directory);
  platform::DirectoryEntry entry;
  while (entries.Next(&entry)) listed.push_back({entry.name, entry.IsLink(), entry.IsDirectory()});
  *complete = entries.Complete();
  // Asking again after the end changes nothing.
  EXPECT_FALSE(entries.Next(&entry));
  EXPECT_EQ(*complete, entries.Complete());
  return listed;
}

TEST(DirectoryEntries, ListsNamesWithoutDotsAndLinksAsLinks) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kMachine));
  const fs::path data = sim::HostPath(L"C:\\Data");
  fs::create_directory_symlink(sim::HostPath(L"C:\\Empty"), data / "folderlink");
  fs::create_symlink(data / "b.txt", data / "filelink");

  bool complete = false;
  const std::vector<Listed> listed = ListAll(L"C:\\Data", &complete);
  EXPECT_TRUE(complete);
  const std::vector<Listed> expected = {{L"A.txt", false, false},   {L"b.txt", false, false},
                                        {L"filelink", true, false}, {L"folderlink", true, true},
                                        {L"README", false, false},  {L"sub", false, true}};
  EXPECT_EQ(expected, listed);
}

TEST(DirectoryEntries, EmptyFolderIsCompleteAndMissingOneIsNot) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kMachine));
  fs::create_directories(sim::HostPath(L"C:\\Empty\\none"));
  struct Case {
    const wchar_t* directory;
    bool complete;
  } cases[] = {
      {L"C:\\Empty\\none", true},   // only "." and "..", both passed over
      {L"C:\\Missing", false},      // FindFirstFileW fails: nothing was listed
      {L"C:\\Data\\A.txt", false},  // a file is no directory to list
  };
  for (const Case& c : cases) {
    bool complete = !c.complete;
    EXPECT_TRUE(ListAll(c.directory, &complete).empty()) << WideToUtf8(c.directory);
    EXPECT_EQ(c.complete, complete) << WideToUtf8(c.directory);
  }
}

TEST(DirectoryEntries, DriveRootListsItsFirstEntry) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kMachine));
  // A drive root has no "." to pass over: its first name is an entry like any other.
  bool complete = false;
  const std::vector<Listed> root = ListAll(L"C:", &complete);
  EXPECT_TRUE(complete);
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(L"Data", root[0].name);
}

}  // namespace
}  // namespace orvex
