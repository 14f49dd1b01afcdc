// The flat directory helpers on a simulated machine: a directory made when missing, files
// copied and deleted one level deep.

#include "probes/directory_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sim/machine.h"
#include "tests/support/probes_machines.h"

namespace orvex {
namespace {

using test::J;
namespace fs = std::filesystem;

void WriteHostFile(const std::wstring& windowsPath, const std::string& content) {
  std::ofstream(sim::HostPath(windowsPath), std::ios::binary) << content;
}

std::string ReadHostFile(const std::wstring& windowsPath) {
  std::ifstream in(sim::HostPath(windowsPath), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool HostPathExists(const std::wstring& windowsPath) {
  return fs::exists(sim::HostPath(windowsPath));
}

TEST(ProbesDirectoryHelpers, CreateDirectoryIfMissing) {
  sim::ScopedMachine machine(J(R"({"name": "dirs"})"));
  const std::wstring base = L"C:\\probes-create";
  fs::remove_all(sim::HostPath(base));
  EXPECT_EQ(0, CreateDirectoryIfMissing(base));
  EXPECT_TRUE(fs::is_directory(sim::HostPath(base)));
  EXPECT_EQ(0, CreateDirectoryIfMissing(base));  // already there
  EXPECT_EQ(-1, CreateDirectoryIfMissing(base + L"\\missing\\child"));
  EXPECT_FALSE(HostPathExists(base + L"\\missing"));
  fs::remove_all(sim::HostPath(base));
}

TEST(ProbesDirectoryHelpers, FlatCopyAndDeleteLeaveSubdirectoriesAndExistingTargets) {
  sim::ScopedMachine machine(J(R"({"name": "dirs"})"));
  const std::wstring source = L"C:\\probes-copy\\from";
  const std::wstring target = L"C:\\probes-copy\\to";
  fs::remove_all(sim::HostPath(L"C:\\probes-copy"));
  fs::create_directories(sim::HostPath(source + L"\\s"));
  fs::create_directories(sim::HostPath(target));
  WriteHostFile(source + L"\\a", "new a");
  WriteHostFile(source + L"\\b", "new b");
  WriteHostFile(source + L"\\s\\inner", "inner");
  WriteHostFile(target + L"\\b", "old b");

  CopyDirectoryFiles(source, target);
  EXPECT_EQ("new a", ReadHostFile(target + L"\\a"));
  EXPECT_EQ("old b", ReadHostFile(target + L"\\b"));
  EXPECT_FALSE(HostPathExists(target + L"\\s"));

  DeleteDirectoryFiles(source);
  EXPECT_FALSE(HostPathExists(source + L"\\a"));
  EXPECT_FALSE(HostPathExists(source + L"\\b"));
  EXPECT_EQ("inner", ReadHostFile(source + L"\\s\\inner"));

  // A missing directory, and one longer than the routine's buffer, are left alone quietly.
  CopyDirectoryFiles(L"C:\\probes-copy\\none", target);
  const std::wstring deep = L"C:\\probes-copy\\" + std::wstring(250, L'd');
  // Beyond MAX_PATH the test reaches the folder in the long form.
  const std::wstring deepLong = L"\\\\?\\" + deep;
  fs::create_directories(sim::HostPath(deepLong));
  WriteHostFile(deepLong + L"\\f", "f");
  DeleteDirectoryFiles(deep);
  EXPECT_EQ("f", ReadHostFile(deepLong + L"\\f"));
  fs::remove_all(sim::HostPath(L"C:\\probes-copy"));
}

}  // namespace
}  // namespace orvex
