// Registry round trips under HKEY_LOCAL_MACHINE in the Wine prefix, through both views.
#include "platform/registry.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

constexpr uint32_t kErrorDatatypeMismatch = 1629;
constexpr uint32_t kErrorUnsupportedType = 1630;

RegistryValue Sz(const std::wstring& text) {
  RegistryValue value;
  value.type = kRegSz;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
  value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
  return value;
}

RegistryValue Raw(uint32_t type, std::vector<uint8_t> data) {
  RegistryValue value;
  value.type = type;
  value.data = std::move(data);
  return value;
}

class Win32Registry : public ::testing::Test {
 protected:
  // One key per test, below a parent that the suite removes again.
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    path_ = kParent + std::wstring(name.begin(), name.end());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
  }
  static void TearDownTestSuite() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvexTest"); }

  std::unique_ptr<IRegistryKey> Create() {
    uint32_t error = kErrorSuccess;
    std::unique_ptr<IRegistryKey> key =
        CreateLocalMachineKey(path_, RegistryView::kDefault, &error);
    EXPECT_EQ(error, kErrorSuccess);
    return key;
  }

  static constexpr const wchar_t* kParent = L"SOFTWARE\\OrvexTest\\";
  std::wstring path_;
};

TEST_F(Win32Registry, ValuesReadBackInEveryView) {
  {
    auto key = Create();
    ASSERT_NE(key, nullptr);
    ASSERT_TRUE(key->SetValue(L"Text", Sz(L"C:\\Program Files\\Orvex"), nullptr));
    ASSERT_TRUE(key->SetValue(L"Number", Raw(kRegDword, {0x78, 0x56, 0x34, 0x12}), nullptr));
    ASSERT_TRUE(key->SetValue(L"Bytes", Raw(kRegBinary, {1, 0, 255}), nullptr));
  }
  const RegistryValue expected[] = {Sz(L"C:\\Program Files\\Orvex"),
                                    Raw(kRegDword, {0x78, 0x56, 0x34, 0x12}),
                                    Raw(kRegBinary, {1, 0, 255})};
  const wchar_t* names[] = {L"Text", L"Number", L"Bytes"};
#ifdef _WIN64
  // A 64-bit process writes its default view, which is the 64-bit one; the 32-bit view of
  // SOFTWARE is WOW6432Node, where the key is not.
  const RegistryView same_keys[] = {RegistryView::kDefault, RegistryView::k64Bit};
  uint32_t error = kErrorSuccess;
  EXPECT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::k32Bit, &error),
            nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
#else
  // The test process is 32-bit: the default view and the 32-bit view are the same keys. The
  // 64-bit view is too in a 32-bit prefix, where both flags are ignored.
  const RegistryView same_keys[] = {RegistryView::kDefault, RegistryView::k32Bit,
                                    RegistryView::k64Bit};
#endif
  for (RegistryView view : same_keys) {
    SCOPED_TRACE(static_cast<int>(view));
    std::unique_ptr<IRegistryKey> key =
        OpenLocalMachineKey(path_, RegistryAccess::kRead, view, nullptr);
    ASSERT_NE(key, nullptr);
    for (int i = 0; i < 3; ++i) {
      RegistryValue read;
      ASSERT_TRUE(key->QueryValue(names[i], 256, &read, nullptr)) << i;
      EXPECT_EQ(read.type, expected[i].type) << i;
      EXPECT_EQ(read.data, expected[i].data) << i;
    }
  }
}

#ifdef _WIN64
// What a 32-bit installer sees on 64-bit Windows, from the other side: a key written through
// the 32-bit view lands in WOW6432Node and is invisible to the 64-bit view.
TEST_F(Win32Registry, The32BitViewIsRedirectedForA64BitProcess) {
  std::unique_ptr<IRegistryKey> key = CreateLocalMachineKey(path_, RegistryView::k32Bit, nullptr);
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->SetValue(L"Text", Sz(L"x86"), nullptr));
  key.reset();

  uint32_t error = kErrorSuccess;
  EXPECT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::k64Bit, &error),
            nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
  const std::wstring wow_path = L"SOFTWARE\\WOW6432Node" + path_.substr(8);
  std::unique_ptr<IRegistryKey> wow =
      OpenLocalMachineKey(wow_path, RegistryAccess::kRead, RegistryView::k64Bit, nullptr);
  ASSERT_NE(wow, nullptr);
  RegistryValue read;
  ASSERT_TRUE(wow->QueryValue(L"Text", 256, &read, nullptr));
  EXPECT_EQ(read.data, Sz(L"x86").data);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, wow_path.c_str());
}
#endif

TEST_F(Win32Registry, ShortBufferAndMissingValues) {
  auto key = Create();
  ASSERT_NE(key, nullptr);
  ASSERT_TRUE(key->SetValue(L"Text", Sz(L"abcdefgh"), nullptr));
  RegistryValue read;
  uint32_t error = kErrorSuccess;
  EXPECT_FALSE(key->QueryValue(L"Text", 8, &read, &error));
  EXPECT_EQ(error, kErrorMoreData);
  EXPECT_TRUE(key->QueryValue(L"Text", 18, &read, &error));
  EXPECT_EQ(read.data.size(), 18u);
  EXPECT_FALSE(key->QueryValue(L"Absent", 64, &read, &error));
  EXPECT_EQ(error, kErrorFileNotFound);

  error = kErrorSuccess;
  EXPECT_EQ(
      OpenLocalMachineKey(path_ + L"\\Absent", RegistryAccess::kRead, RegistryView::k64Bit, &error),
      nullptr);
  EXPECT_EQ(error, kErrorFileNotFound);
}

TEST_F(Win32Registry, ReadAccessRefusesWrites) {
  ASSERT_NE(Create(), nullptr);
  std::unique_ptr<IRegistryKey> key =
      OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::kDefault, nullptr);
  ASSERT_NE(key, nullptr);
  uint32_t error = kErrorSuccess;
  EXPECT_FALSE(key->SetValue(L"Text", Sz(L"x"), &error));
  EXPECT_EQ(error, kErrorAccessDenied);
  key = OpenLocalMachineKey(path_, RegistryAccess::kAllAccess, RegistryView::k64Bit, nullptr);
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(key->SetValue(L"Text", Sz(L"x"), nullptr));
}

TEST_F(Win32Registry, SubKeysCountedAndEnumerated) {
  const std::vector<std::wstring> children = {L"v2.0.50727", L"v3.5", L"v4", L"v4.0"};
  for (const auto& child : children) {
    ASSERT_NE(CreateLocalMachineKey(path_ + L"\\" + child, RegistryView::kDefault, nullptr),
              nullptr);
  }
  std::unique_ptr<IRegistryKey> key =
      OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::k64Bit, nullptr);
  ASSERT_NE(key, nullptr);
  uint32_t count = 0;
  ASSERT_TRUE(key->QuerySubKeyCount(&count, nullptr));
  EXPECT_EQ(count, children.size());

  std::vector<std::wstring> names;
  std::wstring name;
  uint32_t index = 0;
  uint32_t error = kErrorSuccess;
  while (key->EnumSubKey(index, 255, &name, &error)) {
    names.push_back(name);
    ++index;
  }
  EXPECT_EQ(error, kErrorNoMoreItems);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, children);
  // A buffer of 4 characters cannot hold any of the names with its terminating zero.
  EXPECT_FALSE(key->EnumSubKey(0, 4, &name, &error));
  EXPECT_EQ(error, kErrorMoreData);
}

TEST_F(Win32Registry, DwordOrBinaryReading) {
  auto key = Create();
  ASSERT_NE(key, nullptr);
  struct Case {
    const wchar_t* name;
    RegistryValue value;
    uint32_t result;
    uint32_t number;  // what the call leaves in a number that starts as 0xDEADBEEF
  };
  const Case cases[] = {
      {L"Dword", Raw(kRegDword, {1, 0, 0, 0}), kErrorSuccess, 1},
      {L"Binary4", Raw(kRegBinary, {0x01, 0x02, 0x03, 0x04}), kErrorSuccess, 0x04030201},
      // A binary value must be exactly four bytes long to count as a number.
      {L"Binary1", Raw(kRegBinary, {0x01}), kErrorDatatypeMismatch, 0xDEADBEEF},
      {L"Binary8", Raw(kRegBinary, {1, 2, 3, 4, 5, 6, 7, 8}), kErrorDatatypeMismatch, 0xDEADBEEF},
      {L"Text", Sz(L"1"), kErrorUnsupportedType, 0xDEADBEEF},
  };
  for (const Case& c : cases) ASSERT_TRUE(key->SetValue(c.name, c.value, nullptr)) << c.name;
  for (const Case& c : cases) {
    uint32_t number = 0xDEADBEEF;
    uint32_t error = kErrorSuccess;
    const bool read = GetLocalMachineDwordOrBinary(path_, c.name, &number, &error);
    EXPECT_EQ(read, c.result == kErrorSuccess) << c.name;
    EXPECT_EQ(error, c.result) << c.name;
    EXPECT_EQ(number, c.number) << c.name;
  }
  uint32_t number = 7;
  uint32_t error = kErrorSuccess;
  EXPECT_FALSE(GetLocalMachineDwordOrBinary(path_, L"Absent", &number, &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  error = kErrorSuccess;
  EXPECT_FALSE(GetLocalMachineDwordOrBinary(path_ + L"\\Absent", L"Dword", &number, &error));
  EXPECT_EQ(error, kErrorFileNotFound);
  EXPECT_EQ(number, 7u);
}

}  // namespace
}  // namespace platform
}  // namespace orvex
