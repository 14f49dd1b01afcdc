// Access checks, access lists and account SIDs against Wine's security implementation.
#include "platform/security.h"

#include <windows.h>
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include "platform/environment.h"
#include "platform/files.h"

namespace orvex {
namespace platform {
namespace {

// The mapping the rights checker uses for files.
const GenericMapping kFileMapping = {0x120089, 0x120116, 0x1200A0, 0x1F01FF};

std::wstring TempDirectory() {
  std::wstring temp = TempPath();
  if (!temp.empty()) temp.pop_back();  // no trailing backslash, as the checker passes it
  return temp;
}

// A directory that lives for one test, made with the given security descriptor (SDDL), or
// with the default one when sddl is null.
class ScopedDirectory {
 public:
  explicit ScopedDirectory(const wchar_t* name, const wchar_t* sddl = nullptr)
      : path_(TempPath() + name + std::to_wstring(GetCurrentProcessId())) {
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (sddl && !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                    sddl, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr))
      return;
    made_ = CreateDirectoryW(path_.c_str(), sddl ? &attributes : nullptr) != 0;
    if (attributes.lpSecurityDescriptor) LocalFree(attributes.lpSecurityDescriptor);
  }
  ~ScopedDirectory() { RemoveDirectoryW(path_.c_str()); }
  bool made() const { return made_; }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  bool made_ = false;
};

TEST(Win32Security, ProcessTokenAccessToDirectories) {
  EXPECT_TRUE(ProcessTokenHasAccess(TempDirectory(), GENERIC_READ | GENERIC_WRITE, kFileMapping));
  EXPECT_FALSE(ProcessTokenHasAccess(TempPath() + L"OrvexNoSuchDirectory",
                                     GENERIC_READ | GENERIC_WRITE, kFileMapping));
}

TEST(Win32Security, AccessCheckFollowsTheDirectoryAcl) {
  // Everyone may read, nobody may write. (Wine keeps a file's access list as Unix permission
  // bits, which is enough for this one.)
  ScopedDirectory readOnly(L"OrvexReadOnlyAcl", L"D:P(A;OICI;FR;;;WD)");
  ASSERT_TRUE(readOnly.made());
  EXPECT_TRUE(ProcessTokenHasAccess(readOnly.path(), GENERIC_READ, kFileMapping));
  EXPECT_FALSE(ProcessTokenHasAccess(readOnly.path(), GENERIC_READ | GENERIC_WRITE, kFileMapping));
}

TEST(Win32Security, AccessListOfTheTemporaryDirectory) {
  std::vector<AccessEntry> entries;
  ASSERT_TRUE(ReadFileAccessList(TempDirectory(), &entries));
  ASSERT_FALSE(entries.empty());
  for (const AccessEntry& entry : entries) {
    EXPECT_EQ(entry.sid.compare(0, 4, L"S-1-"), 0)
        << std::string(entry.sid.begin(), entry.sid.end());
    EXPECT_NE(entry.mask, 0u);
  }
  EXPECT_FALSE(ReadFileAccessList(TempPath() + L"OrvexNoSuchDirectory", &entries));
}

TEST(Win32Security, TemporaryDirectoryGrantsSystemAndTheUser) {
  // The access list of the user's temporary directory names SYSTEM and the user with full
  // access (Wine makes it from the Unix permissions, Windows inherits it from the profile).
  std::wstring user;
  ASSERT_TRUE(AccountSidText(EnvironmentVariableW(L"USERNAME"), &user));
  std::vector<AccessEntry> entries;
  ASSERT_TRUE(ReadFileAccessList(TempDirectory(), &entries));
  bool systemAllowed = false, userAllowed = false;
  for (const AccessEntry& entry : entries) {
    if (entry.type != ACCESS_ALLOWED_ACE_TYPE) continue;
    if (entry.sid == L"S-1-5-18" && entry.mask == FILE_ALL_ACCESS) systemAllowed = true;
    if (entry.sid == user && entry.mask == FILE_ALL_ACCESS) userAllowed = true;
  }
  EXPECT_TRUE(systemAllowed);
  EXPECT_TRUE(userAllowed);
}

TEST(Win32Security, AccountSids) {
  std::wstring user = EnvironmentVariableW(L"USERNAME");
  ASSERT_FALSE(user.empty());
  std::wstring sid;
  ASSERT_TRUE(AccountSidText(user, &sid));
  // A local user's SID: the machine's domain part and a relative id.
  EXPECT_EQ(sid.compare(0, 9, L"S-1-5-21-"), 0) << std::string(sid.begin(), sid.end());

  ASSERT_TRUE(AccountSidText(L"SYSTEM", &sid));
  EXPECT_EQ(sid, L"S-1-5-18");

  sid = L"unchanged";
  EXPECT_FALSE(AccountSidText(L"OrvexNoSuchAccount", &sid));
  EXPECT_EQ(sid, L"unchanged");
}

}  // namespace
}  // namespace platform
}  // namespace orvex
