// The handle owner closes exactly what it holds, once: a file opened without sharing stays
// locked while an owner holds it and opens again once it is closed; a named mutex disappears
// with its last handle.
#include "platform/win32/scoped_handle.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/files.h"

namespace orvex {
namespace platform {
namespace {

class ScopedHandleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = TempPath() + L"orvex-scoped-handle-" + std::to_wstring(GetCurrentProcessId());
  }
  void TearDown() override { DeleteFileW(path_.c_str()); }

  // Opened for writing with no sharing: a second open fails while this one is held.
  HANDLE OpenExclusive() const {
    return CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }

  // Whether the file is held: a second exclusive open fails with a sharing violation.
  bool IsHeld() const {
    HANDLE second = OpenExclusive();
    if (second == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(second);
    return false;
  }

  std::wstring path_;
};

TEST_F(ScopedHandleTest, ClosesTheFileWhenTheOwnerEnds) {
  {
    ScopedFileHandle file(OpenExclusive());
    ASSERT_TRUE(file.IsValid());
    EXPECT_TRUE(IsHeld());
  }
  EXPECT_FALSE(IsHeld());
}

TEST_F(ScopedHandleTest, MovedOwnershipClosesOnceWithTheNewOwner) {
  ScopedFileHandle moved;
  {
    ScopedFileHandle file(OpenExclusive());
    ASSERT_TRUE(file.IsValid());
    moved = std::move(file);
    EXPECT_FALSE(file.IsValid());
  }
  EXPECT_TRUE(IsHeld());
  EXPECT_TRUE(moved.Close());
  EXPECT_FALSE(moved.IsValid());
  EXPECT_FALSE(IsHeld());
}

TEST_F(ScopedHandleTest, ReleasedHandleStaysOpen) {
  HANDLE released;
  {
    ScopedFileHandle file(OpenExclusive());
    ASSERT_TRUE(file.IsValid());
    released = file.Release();
  }
  EXPECT_TRUE(IsHeld());
  CloseHandle(released);
  EXPECT_FALSE(IsHeld());
}

TEST_F(ScopedHandleTest, ResetAndReceiveCloseWhatWasHeld) {
  ScopedFileHandle file(OpenExclusive());
  ASSERT_TRUE(file.IsValid());
  file.Reset(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(IsHeld());

  file.Reset(OpenExclusive());
  ASSERT_TRUE(file.IsValid());
  HANDLE* slot = file.Receive();
  EXPECT_EQ(*slot, nullptr);
  EXPECT_FALSE(IsHeld());
}

// A failed CreateFileW answers INVALID_HANDLE_VALUE, a failed OpenMutexW NULL: every owner
// takes either for "nothing held", closes nothing and gives nothing back.
template <typename Owner>
void ExpectNothingHeld(const char* kind) {
  using Handle = typename Owner::Handle;
  for (Handle failure : {Handle(), reinterpret_cast<Handle>(INVALID_HANDLE_VALUE)}) {
    SCOPED_TRACE(std::string(kind) + (failure == Handle() ? " NULL" : " INVALID_HANDLE_VALUE"));
    Owner owner(failure);
    EXPECT_FALSE(owner.IsValid());
    EXPECT_TRUE(owner.Close());  // nothing to close: no CloseHandle on a failure value
    Owner again(failure);
    EXPECT_FALSE(Owner(std::move(again)).IsValid());
  }
}

TEST(ScopedHandle, EveryKindRejectsBothFailureValues) {
  ExpectNothingHeld<ScopedFileHandle>("file");
  ExpectNothingHeld<ScopedKernelObject>("kernel object");
  ExpectNothingHeld<ScopedFindHandle>("find");
  ExpectNothingHeld<ScopedRegistryKey>("registry key");
  ExpectNothingHeld<ScopedServiceHandle>("service");
}

TEST(ScopedHandle, EachKindKnowsItsFailureValue) {
  ScopedFileHandle missing(CreateFileW(L"C:\\orvex-no-such-folder\\file", GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_FALSE(missing.IsValid());
  EXPECT_TRUE(missing.Close());

  ScopedKernelObject none(OpenMutexW(SYNCHRONIZE, FALSE, L"orvex-scoped-handle-no-such-mutex"));
  EXPECT_FALSE(none.IsValid());
  EXPECT_TRUE(none.Close());

  WIN32_FIND_DATAW data;
  ScopedFindHandle noListing(FindFirstFileW(L"C:\\orvex-no-such-folder\\*", &data));
  EXPECT_FALSE(noListing.IsValid());
}

TEST(ScopedHandle, NamedMutexEndsWithItsLastOwner) {
  const std::wstring name = L"orvex-scoped-handle-" + std::to_wstring(GetCurrentProcessId());
  {
    ScopedKernelObject mutex(CreateMutexW(nullptr, FALSE, name.c_str()));
    ASSERT_TRUE(mutex.IsValid());
    ScopedKernelObject opened(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
    EXPECT_TRUE(opened.IsValid());
  }
  ScopedKernelObject after(OpenMutexW(SYNCHRONIZE, FALSE, name.c_str()));
  EXPECT_FALSE(after.IsValid());
}

TEST(ScopedHandle, RegistryKeyOwnerClosesWithRegCloseKey) {
  ScopedRegistryKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, key.Receive()),
            ERROR_SUCCESS);
  ASSERT_TRUE(key.IsValid());
  EXPECT_TRUE(key.Close());
  EXPECT_FALSE(key.IsValid());
}

}  // namespace
}  // namespace platform
}  // namespace orvex
