// Registry round trips under HKEY_LOCAL_MACHINE in the Wine prefix, through both views.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/registry.h"
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
    std::unique_ptr<IRegistryKey> key;
    EXPECT_EQ(CreateLocalMachineKey(path_, RegistryView::kDefault, &key), kErrorSuccess);
    return key;
  }

  static constexpr const wchar_t* kParent = L"SOFTWARE\\OrvexTest\\";
  std::wstring path_;
};

TEST_F(Win32Registry, ValuesReadBackInEveryView) {
  {
    auto key = Create();
    ASSERT_NE(key, nullptr);
    ASSERT_EQ(key->SetValue(L"Text", Sz(L"C:\\Program Files\\Orvex")), kErrorSuccess);
    ASSERT_EQ(key->SetValue(L"Number", Raw(kRegDword, {0x78, 0x56, 0x34, 0x12})), kErrorSuccess);
    ASSERT_EQ(key->SetValue(L"Bytes", Raw(kRegBinary, {1, 0, 255})), kErrorSuccess);
  }
  const RegistryValue expected[] = {Sz(L"C:\\Program Files\\Orvex"),
                                    Raw(kRegDword, {0x78, 0x56, 0x34, 0x12}),
                                    Raw(kRegBinary, {1, 0, 255})};
  const wchar_t* names[] = {L"Text", L"Number", L"Bytes"};
#ifdef _WIN64
  // A 64-bit process writes its default view, which is the 64-bit one; the 32-bit view of
  // SOFTWARE is WOW6432Node, where the key is not.
  const RegistryView same_keys[] = {RegistryView::kDefault, RegistryView::k64Bit};
  std::unique_ptr<IRegistryKey> redirected;
  EXPECT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::k32Bit, &redirected),
            kErrorFileNotFound);
#else
  // The test process is 32-bit: the default view and the 32-bit view are the same keys. The
  // 64-bit view is too in a 32-bit prefix, where both flags are ignored.
  const RegistryView same_keys[] = {RegistryView::kDefault, RegistryView::k32Bit,
                                    RegistryView::k64Bit};
#endif
  for (RegistryView view : same_keys) {
    SCOPED_TRACE(static_cast<int>(view));
    std::unique_ptr<IRegistryKey> key;
    ASSERT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kRead, view, &key), kErrorSuccess);
    for (int i = 0; i < 3; ++i) {
      RegistryValue read;
      ASSERT_EQ(key->QueryValue(names[i], 256, &read), kErrorSuccess) << i;
      EXPECT_EQ(read.type, expected[i].type) << i;
      EXPECT_EQ(read.data, expected[i].data) << i;
    }
  }
}

#ifdef _WIN64
// What a 32-bit installer sees on 64-bit Windows, from the other side: a key written through
// the 32-bit view lands in WOW6432Node and is invisible to the 64-bit view.
TEST_F(Win32Registry, The32BitViewIsRedirectedForA64BitProcess) {
  std::unique_ptr<IRegistryKey> key;
  ASSERT_EQ(CreateLocalMachineKey(path_, RegistryView::k32Bit, &key), kErrorSuccess);
  ASSERT_EQ(key->SetValue(L"Text", Sz(L"x86")), kErrorSuccess);
  key.reset();

  std::unique_ptr<IRegistryKey> native;
  EXPECT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::k64Bit, &native),
            kErrorFileNotFound);
  std::unique_ptr<IRegistryKey> wow;
  const std::wstring wow_path = L"SOFTWARE\\WOW6432Node" + path_.substr(8);
  ASSERT_EQ(OpenLocalMachineKey(wow_path, RegistryAccess::kRead, RegistryView::k64Bit, &wow),
            kErrorSuccess);
  RegistryValue read;
  ASSERT_EQ(wow->QueryValue(L"Text", 256, &read), kErrorSuccess);
  EXPECT_EQ(read.data, Sz(L"x86").data);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, wow_path.c_str());
}
#endif

TEST_F(Win32Registry, ShortBufferAndMissingValues) {
  auto key = Create();
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->SetValue(L"Text", Sz(L"abcdefgh")), kErrorSuccess);
  RegistryValue read;
  EXPECT_EQ(key->QueryValue(L"Text", 8, &read), kErrorMoreData);
  EXPECT_EQ(key->QueryValue(L"Text", 18, &read), kErrorSuccess);
  EXPECT_EQ(read.data.size(), 18u);
  EXPECT_EQ(key->QueryValue(L"Absent", 64, &read), kErrorFileNotFound);

  std::unique_ptr<IRegistryKey> missing;
  EXPECT_EQ(OpenLocalMachineKey(path_ + L"\\Absent", RegistryAccess::kRead,
                                RegistryView::k64Bit, &missing),
            kErrorFileNotFound);
  EXPECT_EQ(missing, nullptr);
}

TEST_F(Win32Registry, ReadAccessRefusesWrites) {
  ASSERT_NE(Create(), nullptr);
  std::unique_ptr<IRegistryKey> key;
  ASSERT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::kDefault, &key),
            kErrorSuccess);
  EXPECT_EQ(key->SetValue(L"Text", Sz(L"x")), kErrorAccessDenied);
  ASSERT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kAllAccess, RegistryView::k64Bit, &key),
            kErrorSuccess);
  EXPECT_EQ(key->SetValue(L"Text", Sz(L"x")), kErrorSuccess);
}

TEST_F(Win32Registry, SubKeysCountedAndEnumerated) {
  const std::vector<std::wstring> children = {L"v2.0.50727", L"v3.5", L"v4", L"v4.0"};
  for (const auto& child : children) {
    std::unique_ptr<IRegistryKey> created;
    ASSERT_EQ(CreateLocalMachineKey(path_ + L"\\" + child, RegistryView::kDefault, &created), kErrorSuccess);
  }
  std::unique_ptr<IRegistryKey> key;
  ASSERT_EQ(OpenLocalMachineKey(path_, RegistryAccess::kRead, RegistryView::k64Bit, &key),
            kErrorSuccess);
  uint32_t count = 0;
  ASSERT_EQ(key->QuerySubKeyCount(&count), kErrorSuccess);
  EXPECT_EQ(count, children.size());

  std::vector<std::wstring> names;
  std::wstring name;
  uint32_t index = 0;
  uint32_t result;
  while ((result = key->EnumSubKey(index, 255, &name)) == kErrorSuccess) {
    names.push_back(name);
    ++index;
  }
  EXPECT_EQ(result, kErrorNoMoreItems);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, children);
  // A buffer of 4 characters cannot hold any of the names with its terminating zero.
  EXPECT_EQ(key->EnumSubKey(0, 4, &name), kErrorMoreData);
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
  for (const Case& c : cases) ASSERT_EQ(key->SetValue(c.name, c.value), kErrorSuccess) << c.name;
  for (const Case& c : cases) {
    uint32_t number = 0xDEADBEEF;
    EXPECT_EQ(GetLocalMachineDwordOrBinary(path_, c.name, &number), c.result) << c.name;
    EXPECT_EQ(number, c.number) << c.name;
  }
  uint32_t number = 7;
  EXPECT_EQ(GetLocalMachineDwordOrBinary(path_, L"Absent", &number), kErrorFileNotFound);
  EXPECT_EQ(GetLocalMachineDwordOrBinary(path_ + L"\\Absent", L"Dword", &number),
            kErrorFileNotFound);
  EXPECT_EQ(number, 7u);
}

}  // namespace
}  // namespace platform
}  // namespace orvex
