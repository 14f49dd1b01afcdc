// Folders for administrators only and the presence pipe on the real Windows API (under Wine):
// the security Windows keeps for them, read back as Windows reports it.
#include "platform/admin_folders.h"

#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <memory>
#include <regex>
#include <string>

#include "base/text.h"
#include "engine/stage.h"
#include "platform/pipe.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

// The DACL of an object as SDDL text ("" when it cannot be read).
std::wstring DaclText(const std::wstring& name, SE_OBJECT_TYPE type) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(name.c_str(), type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                            nullptr, &descriptor) != ERROR_SUCCESS)
    return L"";
  LPWSTR text = nullptr;
  std::wstring result;
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    result = text;
    LocalFree(text);
  }
  LocalFree(descriptor);
  return result;
}

std::wstring TempFolder(const wchar_t* name) {
  wchar_t temp[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  return std::wstring(temp, length) + name;
}

class AdminFoldersWine : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = TempFolder((L"orvex-admin-only-" + std::to_wstring(GetCurrentProcessId())).c_str());
  }
  void TearDown() override {
    DeleteFileW((folder_ + L"\\inside.txt").c_str());
    RemoveDirectoryW((folder_ + L"\\sub").c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  std::wstring folder_;
};

// The folder's DACL is protected (nothing inherited from %TEMP%) and names SYSTEM and the
// administrators only; what is made inside inherits exactly that.
TEST_F(AdminFoldersWine, FolderGetsAProtectedDaclForSystemAndAdministrators) {
  uint32_t error = 0;
  ASSERT_TRUE(platform::MakeAdminOnlyDirectory(folder_, &error)) << error;
  EXPECT_EQ(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", DaclText(folder_, SE_FILE_OBJECT));
  HANDLE file = CreateFileW((folder_ + L"\\inside.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  CloseHandle(file);
  ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\sub").c_str(), nullptr));
  EXPECT_EQ(L"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)",
            DaclText(folder_ + L"\\inside.txt", SE_FILE_OBJECT));
  EXPECT_EQ(L"D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)",
            DaclText(folder_ + L"\\sub", SE_FILE_OBJECT));
  EXPECT_TRUE(platform::OnlyAdministratorsCanWrite(folder_));
  EXPECT_TRUE(platform::OnlyAdministratorsCanWrite(folder_ + L"\\sub"));
}

// A folder of the name that exists already is never taken over, whoever made it.
TEST_F(AdminFoldersWine, ExistingFolderIsRefused) {
  ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  uint32_t error = 0;
  EXPECT_FALSE(platform::MakeAdminOnlyDirectory(folder_, &error));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), error);
  EXPECT_FALSE(platform::OnlyAdministratorsCanWrite(folder_));
}

// A folder whose DACL lets users write, or that has no DACL at all, is not one.
TEST_F(AdminFoldersWine, FoldersOthersMayWriteAreRecognised) {
  const wchar_t* const descriptors[] = {
      L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)",  // users read: still ours
      L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)",
      L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;AU)",  // handed down to new files
      L"D:P(A;OICI;FA;;;SY)(A;OICI;0x4;;;WD)",                   // everyone may add folders
      L"D:NO_ACCESS_CONTROL",
  };
  const bool adminOnly[] = {true, false, false, false, false};
  for (std::size_t i = 0; i < sizeof descriptors / sizeof descriptors[0]; ++i) {
    SCOPED_TRACE(WideToUtf8(descriptors[i]));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        descriptors[i], SDDL_REVISION_1, &descriptor, nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), &attributes));
    LocalFree(descriptor);
    EXPECT_EQ(adminOnly[i], platform::OnlyAdministratorsCanWrite(folder_));
    ASSERT_TRUE(RemoveDirectoryW(folder_.c_str()));
  }
}

// CreateInTempDir makes the session folder that way, and never uses one that exists: a name
// that is taken gets a random suffix.
TEST_F(AdminFoldersWine, SessionFolderIsNewAndForAdministratorsOnly) {
  ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));  // someone was first
  CStage stage("S");
  Json::Value doc;
  std::unique_ptr<IModule> module =
      test::MakeRegisteredModule("CreateInTempDir",
                                 R"({"saveTo": ".SessionDir", "directory": "orvex-admin-only-)" +
                                     std::to_string(GetCurrentProcessId()) + "\"}",
                                 stage);
  ASSERT_TRUE(module);
  ASSERT_EQ(0, module->Execute(doc));
  const std::wstring made = Utf8ToWide(doc["SessionDir"].asString());
  ASSERT_EQ(folder_.size() + 17, made.size()) << WideToUtf8(made);
  EXPECT_EQ(folder_ + L"-", made.substr(0, folder_.size() + 1));
  EXPECT_TRUE(
      std::regex_match(WideToUtf8(made.substr(folder_.size() + 1)), std::regex("[0-9a-f]{16}")))
      << WideToUtf8(made);
  EXPECT_EQ(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", DaclText(made, SE_FILE_OBJECT));
  EXPECT_TRUE(RemoveDirectoryW(made.c_str()));
}

std::wstring PipePath(const std::wstring& name) { return L"\\\\.\\pipe\\" + name; }

// The presence pipe: for administrators only, one instance (ours, made first), gone with its
// owner.
TEST(PresencePipeWine, AdministratorsOnlyFirstAndOnlyInstanceClosedWithItsOwner) {
  const std::wstring name = L"orvex-presence-test-" + std::to_wstring(GetCurrentProcessId());
  {
    platform::PresencePipe pipe = platform::CreatePresencePipe(name);
    ASSERT_TRUE(pipe.IsOpen());
    EXPECT_EQ(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", DaclText(PipePath(name), SE_KERNEL_OBJECT));
    // Nobody adds an instance of their own beside it, with or without asking for the first.
    HANDLE second = CreateNamedPipeW(PipePath(name).c_str(), PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_MESSAGE | PIPE_NOWAIT, PIPE_UNLIMITED_INSTANCES,
                                     1024, 1024, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, second);
    if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    EXPECT_FALSE(platform::CreatePresencePipe(name).IsOpen());
  }
  // Its handle is closed: the pipe is gone.
  HANDLE client =
      CreateFileW(PipePath(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, client);
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
}

// A pipe of that name that someone else made first is never joined.
TEST(PresencePipeWine, PipeSomeoneElseMadeFirstIsNotJoined) {
  const std::wstring name = L"orvex-presence-squat-" + std::to_wstring(GetCurrentProcessId());
  HANDLE squatter =
      CreateNamedPipeW(PipePath(name).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_NOWAIT,
                       PIPE_UNLIMITED_INSTANCES, 1024, 1024, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, squatter);
  EXPECT_FALSE(platform::CreatePresencePipe(name).IsOpen());
  CloseHandle(squatter);
  EXPECT_TRUE(platform::CreatePresencePipe(name).IsOpen());
}

}  // namespace
}  // namespace orvex
