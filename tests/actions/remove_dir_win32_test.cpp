// RemoveDir on Windows with a symbolic link in the tree that points to a folder outside it:
// the link goes, the folder it points to keeps its files.
#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/stage.h"
#include "platform/files.h"
#include "platform/win_codes.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

std::wstring MakeFolder(const std::wstring& name) {
  const std::wstring path = platform::TempPath() + name;
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

bool WriteMarker(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  WriteFile(file, "marker", 6, &written, nullptr);
  CloseHandle(file);
  return written == 6;
}

TEST(Win32RemoveDir, ALinkInTheTreeIsRemovedAsALink) {
  const std::wstring outside = MakeFolder(L"orvex-link-target");
  ASSERT_TRUE(WriteMarker(outside + L"\\keep.txt"));
  const std::wstring session = MakeFolder(L"orvex-link-session");
  const std::wstring link = session + L"\\out";
  // SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE
  if (!CreateSymbolicLinkW(link.c_str(), outside.c_str(), 0x1 | 0x2)) {
    const DWORD error = GetLastError();
    RemoveDirectoryW(session.c_str());
    DeleteFileW((outside + L"\\keep.txt").c_str());
    RemoveDirectoryW(outside.c_str());
    GTEST_SKIP() << "this Windows cannot make a folder link (error " << error << ")";
  }
  EXPECT_NE(0u, platform::FileAttributes(link) & platform::kFileAttributeReparsePoint);

  CStage stage{"S"};
  std::unique_ptr<IModule> module =
      test::MakeRegisteredModule("RemoveDir", R"({"directory": ".SessionDir"})", stage);
  ASSERT_TRUE(module);
  Json::Value doc;
  doc["SessionDir"] = std::string(session.begin(), session.end());
  EXPECT_EQ(0, module->Execute(doc));
  EXPECT_EQ(platform::kInvalidFileAttributes, platform::FileAttributes(session));
  EXPECT_NE(platform::kInvalidFileAttributes, platform::FileAttributes(outside + L"\\keep.txt"));
  DeleteFileW((outside + L"\\keep.txt").c_str());
  RemoveDirectoryW(outside.c_str());
}

}  // namespace
}  // namespace orvex
