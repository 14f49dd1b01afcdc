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
#include "platform/win32/admin_only_security.h"
#include "tests/support/security_text_win32.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::DaclText;

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

// The descriptor the folder is created with: a protected DACL naming SYSTEM and the
// administrators only, handed down to what is made inside. (Wine keeps no descriptor of its
// own for files: it reads a folder's DACL back from the Unix mode it made of ours, so there
// the folder shows no entry for anyone but SYSTEM and the owner, where a folder made with
// the default descriptor shows Everyone.)
TEST_F(AdminFoldersWine, FolderIsMadeWithAProtectedDaclForSystemAndAdministrators) {
  platform::AdminOnlySecurity security(platform::AdminOnlySecurity::kFolder);
  ASSERT_NE(nullptr, security.Attributes());
  LPWSTR text = nullptr;
  ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
      security.Attributes()->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
      &text, nullptr));
  EXPECT_EQ(std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"), text);
  LocalFree(text);

  uint32_t error = 0;
  ASSERT_TRUE(platform::MakeAdminOnlyDirectory(folder_, &error)) << error;
  const std::wstring made = DaclText(folder_, SE_FILE_OBJECT);
  const std::wstring plain = folder_ + L"\\sub";
  ASSERT_TRUE(CreateDirectoryW(plain.c_str(), nullptr));
  const std::wstring other = DaclText(plain, SE_FILE_OBJECT);
  for (const wchar_t* anyone : {L";;;WD)", L";;;BU)", L";;;AU)"}) {
    EXPECT_EQ(std::wstring::npos, made.find(anyone)) << WideToUtf8(made);
  }
  EXPECT_NE(std::wstring::npos, other.find(L";;;WD)")) << WideToUtf8(other);
}

// A folder of the name that exists already is never taken over, whoever made it.
TEST_F(AdminFoldersWine, ExistingFolderIsRefused) {
  ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
  uint32_t error = 0;
  EXPECT_FALSE(platform::MakeAdminOnlyDirectory(folder_, &error));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_ALREADY_EXISTS), error);
  EXPECT_FALSE(platform::OnlyAdministratorsCanWrite(folder_));
}

// Which descriptors leave a folder to the administrators: the owner and every allowing entry
// (also one only handed down) must be SYSTEM, the administrators or TrustedInstaller where
// the entry lets write, add, delete or change the DACL or owner.
TEST(AdminOnlyDescriptorsWine, OnlyAdministratorsCanChangeWhatTheyOwnAndAlone) {
  struct Case {
    const wchar_t* sddl;
    bool adminOnly;
  };
  const Case cases[] = {
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},
      {L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", true},  // users read
      {L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
       L"D:P(A;OICI;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
       L"(A;OICI;0x1200a9;;;WD)",
       true},  // TrustedInstaller's, as System32
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(D;OICI;FA;;;BU)", true},    // a denial
      {L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},  // a user owns it
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)", false},
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICIIO;GA;;;AU)", false},  // handed down to new files
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;0x4;;;WD)", false},   // everyone may add folders
      {L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;WD;;;S-1-5-21-1-2-3-1001)", false},  // may rewrite the DACL
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.sddl));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(c.sddl, SDDL_REVISION_1,
                                                                     &descriptor, nullptr));
    EXPECT_EQ(c.adminOnly, platform::OnlyAdministratorsCanChange(descriptor));
    LocalFree(descriptor);
  }
  // A NULL DACL lets everyone do everything, whoever owns the folder.
  SECURITY_DESCRIPTOR nullDacl;
  ASSERT_TRUE(InitializeSecurityDescriptor(&nullDacl, SECURITY_DESCRIPTOR_REVISION));
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  ASSERT_TRUE(SetSecurityDescriptorOwner(&nullDacl, administrators, FALSE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&nullDacl, TRUE, nullptr, FALSE));
  EXPECT_FALSE(platform::OnlyAdministratorsCanChange(&nullDacl));
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
  EXPECT_EQ(std::wstring::npos, DaclText(made, SE_FILE_OBJECT).find(L";;;WD)"));
  EXPECT_TRUE(RemoveDirectoryW(made.c_str()));
}

std::wstring PipePath(const std::wstring& name) { return L"\\\\.\\pipe\\" + name; }

// The DACL of the pipe as its handle reports it (a client's, with READ_CONTROL only).
std::wstring PipeDaclText(const std::wstring& path) {
  HANDLE client = CreateFileW(path.c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (client == INVALID_HANDLE_VALUE) return L"";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PACL dacl = nullptr;
  std::wstring result;
  if (GetSecurityInfo(client, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                      nullptr, &descriptor) == ERROR_SUCCESS &&
      descriptor) {
    LPWSTR text = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
      result = text;
      LocalFree(text);
    }
    LocalFree(descriptor);
  }
  CloseHandle(client);
  return result;
}

// The presence pipe: for administrators only, one instance (ours, made first), gone with its
// owner.
TEST(PresencePipeWine, AdministratorsOnlyFirstAndOnlyInstanceClosedWithItsOwner) {
  const std::wstring name = L"orvex-presence-test-" + std::to_wstring(GetCurrentProcessId());
  {
    platform::PresencePipe pipe = platform::CreatePresencePipe(name);
    ASSERT_TRUE(pipe.IsOpen());
    EXPECT_EQ(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", PipeDaclText(PipePath(name)));
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
  // Wine 8 takes FILE_FLAG_FIRST_PIPE_INSTANCE without enforcing it (tried: our instance was
  // added beside the other one); Windows refuses with ERROR_ACCESS_DENIED.
  if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
    GTEST_SKIP() << "Wine does not enforce FILE_FLAG_FIRST_PIPE_INSTANCE";
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
