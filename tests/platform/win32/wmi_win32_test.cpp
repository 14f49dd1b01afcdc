// WMI through Wine's real provider (wbemprox): sessions, queries, typed properties and COM
// initialisation balance.
#include "platform/wmi.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <thread>

namespace orvex {
namespace platform {
namespace {

std::unique_ptr<IWmiRow> FirstRow(IWmiSession* session, const std::wstring& wql) {
  if (!session->ExecQuery(wql)) return nullptr;
  return session->Next();
}

TEST(Win32Wmi, OperatingSystemPropertiesKeepTheirTypes) {
  auto session = ConnectWmi(L"ROOT\\CIMV2");
  ASSERT_NE(session, nullptr);
  auto row = FirstRow(session.get(), L"SELECT * FROM Win32_OperatingSystem");
  ASSERT_NE(row, nullptr);

  WmiValue caption = row->Get(L"Caption");
  EXPECT_EQ(caption.type, WmiValue::kString);
  EXPECT_NE(caption.text.find(L"Windows"), std::wstring::npos);

  // The version text is the one Windows itself reports.
  WmiValue version = row->Get(L"Version");
  ASSERT_EQ(version.type, WmiValue::kString);
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  std::wstring expectedPrefix =
      std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L".";
  EXPECT_EQ(version.text.compare(0, expectedPrefix.size(), expectedPrefix), 0) << version.text;

  WmiValue primary = row->Get(L"Primary");
  EXPECT_EQ(primary.type, WmiValue::kBool);
  EXPECT_TRUE(primary.flag);

  WmiValue missing = row->Get(L"NoSuchProperty");
  EXPECT_EQ(missing.type, WmiValue::kNull);
  EXPECT_TRUE(missing.text.empty());

  // One operating system: the result set ends after it.
  EXPECT_EQ(session->Next(), nullptr);
}

TEST(Win32Wmi, WhereConditionSelectsRows) {
  auto session = ConnectWmi(L"ROOT\\CIMV2");
  ASSERT_NE(session, nullptr);
  auto os = FirstRow(session.get(), L"SELECT * FROM Win32_OperatingSystem");
  ASSERT_NE(os, nullptr);
  std::wstring drive = os->Get(L"SystemDrive").text;
  ASSERT_FALSE(drive.empty());

  auto disk =
      FirstRow(session.get(), L"SELECT * FROM Win32_LogicalDisk WHERE DeviceID = '" + drive + L"'");
  ASSERT_NE(disk, nullptr);
  EXPECT_EQ(disk->Get(L"DeviceID").text, drive);
  EXPECT_EQ(session->Next(), nullptr);
}

TEST(Win32Wmi, FailedQueryLeavesNoRowsBehind) {
  auto session = ConnectWmi(L"ROOT\\CIMV2");
  ASSERT_NE(session, nullptr);
  // A query with rows still pending, then a failing one: its rows must not leak into the
  // failed query's answer.
  ASSERT_TRUE(session->ExecQuery(L"SELECT * FROM Win32_OperatingSystem"));
  // Windows refuses an unknown class in ExecQuery; Wine accepts it and fails the first Next.
  // Either way no row comes back.
  session->ExecQuery(L"SELECT * FROM Win32_NoSuchClass");
  EXPECT_EQ(session->Next(), nullptr);
  ASSERT_TRUE(session->ExecQuery(L"SELECT * FROM Win32_OperatingSystem"));
}

TEST(Win32Wmi, UnknownNamespaceGivesNoSession) {
  EXPECT_EQ(ConnectWmi(L"ROOT\\NoSuchNamespace"), nullptr);
  // A failed connection does not spoil the next one.
  EXPECT_NE(ConnectWmi(L"ROOT\\CIMV2"), nullptr);
}

TEST(Win32Wmi, SessionsOneAfterAnotherOnOneThread) {
  // The first sets the process's COM security; the later ones meet RPC_E_TOO_LATE.
  for (int i = 0; i < 3; ++i) {
    auto session = ConnectWmi(L"ROOT\\CIMV2");
    ASSERT_NE(session, nullptr) << i;
    EXPECT_NE(FirstRow(session.get(), L"SELECT * FROM Win32_ComputerSystem"), nullptr) << i;
  }
}

// COM state of the calling thread after a session: CoInitializeEx with the other model
// answers RPC_E_CHANGED_MODE only while COM is still initialised.
TEST(Win32Wmi, MultithreadedSessionBalancesComInitialisation) {
  HRESULT after = E_FAIL;
  std::thread worker([&after] {
    {
      auto session = ConnectWmi(L"ROOT\\CIMV2");
      if (!session) return;
    }
    after = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(after)) CoUninitialize();
  });
  worker.join();
  EXPECT_EQ(after, S_OK) << "the session left the thread in the multithreaded apartment";
}

TEST(Win32Wmi, ApartmentThreadFallsBackAndKeepsCom) {
  HRESULT first = E_FAIL, after = E_FAIL;
  bool connected = false, rowRead = false;
  std::thread worker([&] {
    first = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
      auto session = ConnectWmi(L"ROOT\\CIMV2");
      connected = session != nullptr;
      if (session) rowRead = FirstRow(session.get(), L"SELECT * FROM Win32_Processor") != nullptr;
    }
    CoUninitialize();  // balances the thread's own initialisation
    // The session joined the apartment and left it initialised.
    after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(after)) CoUninitialize();
    CoUninitialize();  // the reference the session kept
  });
  worker.join();
  ASSERT_EQ(first, S_OK);
  EXPECT_TRUE(connected);
  EXPECT_TRUE(rowRead);
  EXPECT_EQ(after, RPC_E_CHANGED_MODE);
}

}  // namespace
}  // namespace platform
}  // namespace orvex
