// The registry helpers on simulated machines: values under HKEY_LOCAL_MACHINE in the
// 64-bit view, keys created where the reads look, and read failures.

#include "probes/registry_values.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "tests/support/probes_machines.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;

TEST(ProbesRegistryHelpers, StringRoundTripInTheSixtyFourBitView) {
  // The product's key exists (its setup made it): writes and reads meet in the 64-bit view.
  sim::ScopedMachine machine(
      J(R"({"name": "registry", "registry": {"SOFTWARE\\Quarn\\Orvex": {}}})"));
  EXPECT_EQ(
      0, WriteRegistryString("Software\\Quarn\\Orvex", "InstallDir", "C:\\Program Files\\Orvex\\"));
  std::string text = "untouched";
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "InstallDir", &text));
  EXPECT_EQ("C:\\Program Files\\Orvex\\", text);

  // Stored as REG_SZ with its terminating zero.
  std::unique_ptr<platform::IRegistryKey> key =
      platform::OpenLocalMachineKey(L"SOFTWARE\\Quarn\\Orvex", platform::RegistryAccess::kRead,
                                    platform::RegistryView::k64Bit, nullptr);
  ASSERT_TRUE(key);
  platform::RegistryValue raw;
  ASSERT_TRUE(key->QueryValue(L"InstallDir", 1024, &raw, nullptr));
  EXPECT_EQ(platform::kRegSz, raw.type);
  ASSERT_EQ(2 * (text.size() + 1), raw.data.size());
  EXPECT_EQ(0, raw.data[raw.data.size() - 1]);
  EXPECT_EQ(0, raw.data[raw.data.size() - 2]);
}

TEST(ProbesRegistryHelpers, MissingKeyIsCreatedWhereTheReadsLook) {
  // The reads use the 64-bit view; a key the 32-bit installer creates must land there too,
  // not in WOW6432Node, or the value written would never be read back.
  for (const char* profile :
       {R"({"name": "32-bit", "osBits": 32})", R"({"name": "64-bit", "osBits": 64})"}) {
    sim::ScopedMachine machine(J(profile));
    EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "UserDataDir", "C:\\Data"));
    const std::string created = Compact(sim::MachineState()["createdKeys"]);
    EXPECT_EQ(std::string::npos, created.find("WOW6432Node")) << created;
    std::string text;
    EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "UserDataDir", &text)) << profile;
    EXPECT_EQ("C:\\Data", text);
  }
}

TEST(ProbesRegistryHelpers, DwordAndReadFailures) {
  sim::ScopedMachine machine(J(R"({"name": "registry", "registry": {
      "SOFTWARE\\Quarn\\Orvex": {"Number": {"dword": 7}, "Empty": ""}}})"));
  EXPECT_EQ(0, WriteRegistryDword("Software\\Quarn\\Orvex", "Flag", 0x01020304));
  std::unique_ptr<platform::IRegistryKey> key =
      platform::OpenLocalMachineKey(L"SOFTWARE\\Quarn\\Orvex", platform::RegistryAccess::kRead,
                                    platform::RegistryView::k64Bit, nullptr);
  ASSERT_TRUE(key);
  platform::RegistryValue raw;
  ASSERT_TRUE(key->QueryValue(L"Flag", 16, &raw, nullptr));
  EXPECT_EQ(platform::kRegDword, raw.type);
  EXPECT_EQ(std::vector<uint8_t>({4, 3, 2, 1}), raw.data);

  std::string text = "untouched";
  EXPECT_EQ(-1, ReadRegistryString("Software\\Quarn\\Orvex", "Missing", &text));
  EXPECT_EQ(-1, ReadRegistryString("Software\\Quarn\\Nothing", "InstallDir", &text));
  EXPECT_EQ("untouched", text);
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "Empty", &text));
  EXPECT_EQ("", text);

  // The 128-byte buffer: 127 characters and the zero fit, 128 do not.
  EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "Long", std::string(127, 'x')));
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "Long", &text));
  EXPECT_EQ(std::string(127, 'x'), text);
  EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "Long", std::string(128, 'x')));
  text = "untouched";
  EXPECT_EQ(-1, ReadRegistryString("Software\\Quarn\\Orvex", "Long", &text));
  EXPECT_EQ("untouched", text);
}

// Texts go into the registry and come out of it in UTF-16, UTF-8 on either side: a Cyrillic
// product folder read on a machine whose ANSI code page is Chinese stays whole.
TEST(ProbesRegistryHelpers, TextsStayWholeWhateverTheCodePage) {
  sim::ScopedMachine machine(J(R"({"name": "registry", "ansiCodePage": 936, "registry": {
      "SOFTWARE\\Quarn\\Orvex": {"InstallDir": "C:\\\u041a\u0432\u0430\u0440\u043d\\\u5b89\u88c5\\"}}})"));
  std::string text;
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "InstallDir", &text));
  EXPECT_EQ("C:\\\xd0\x9a\xd0\xb2\xd0\xb0\xd1\x80\xd0\xbd\\\xe5\xae\x89\xe8\xa3\x85\\", text);
  const std::string written = "\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0 \xe2\x84\xa2";  // Анна ™
  EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "User", written));
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "User", &text));
  EXPECT_EQ(written, text);
  // The limit counts characters, as a 128-byte ANSI read counted them: 127 Cyrillic letters
  // (254 bytes of UTF-8) fit.
  std::string long127;
  for (int i = 0; i < 127; ++i) long127 += "\xd0\xaf";
  EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "Long", long127));
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "Long", &text));
  EXPECT_EQ(long127, text);
}

}  // namespace
}  // namespace orvex
