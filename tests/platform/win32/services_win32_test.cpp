// The service control manager of the Wine prefix: a kernel driver service created, started
// (its driver file does not exist), queried and deleted again.
#include "platform/services.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

const wchar_t kService[] = L"OrvexTestDriver";

TEST(Win32Services, KernelDriverServiceLifecycle) {
  auto manager = OpenServiceManager(ServiceManagerAccess::kAllAccess);
  ASSERT_NE(manager, nullptr);
  // Left over from an interrupted run in a kept prefix.
  if (auto stale = manager->OpenServiceByName(kService, ServiceAccess::kAllAccess)) stale->Delete();

  std::wstring binary = TempPath() + L"OrvexNoSuchDriver.sys";
  auto created = manager->CreateKernelDriverService(kService, kService, binary);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(manager->CreateKernelDriverService(kService, kService, binary), nullptr);
  EXPECT_EQ(GetLastError(), kErrorServiceExists);
  created.reset();

  auto service = manager->OpenServiceByName(kService, ServiceAccess::kAllAccess);
  ASSERT_NE(service, nullptr);
  uint32_t error = 0;
  EXPECT_FALSE(service->Start(&error));
  EXPECT_NE(error, 0u);
  EXPECT_NE(error, kErrorServiceAlreadyRunning);

  auto reader = OpenServiceManager(ServiceManagerAccess::kRead);
  ASSERT_NE(reader, nullptr);
  auto status = reader->OpenServiceByName(kService, ServiceAccess::kQueryStatus);
  ASSERT_NE(status, nullptr);
  bool running = true;
  EXPECT_TRUE(status->QueryRunning(&running));
  EXPECT_FALSE(running);
  // Not running: there is nothing to stop.
  EXPECT_FALSE(service->Stop());

  EXPECT_TRUE(service->Delete());
  service.reset();
  status.reset();
  EXPECT_EQ(manager->OpenServiceByName(kService, ServiceAccess::kAllAccess), nullptr);
  EXPECT_EQ(GetLastError(), kErrorServiceDoesNotExist);
}

TEST(Win32Services, QueryOnlyHandleCannotControlTheService) {
  auto manager = OpenServiceManager(ServiceManagerAccess::kAllAccess);
  ASSERT_NE(manager, nullptr);
  auto created = manager->CreateKernelDriverService(L"OrvexTestDriver2", L"OrvexTestDriver2",
                                                    TempPath() + L"OrvexNoSuchDriver.sys");
  ASSERT_NE(created, nullptr);
  auto queryOnly = manager->OpenServiceByName(L"OrvexTestDriver2", ServiceAccess::kQueryStatus);
  ASSERT_NE(queryOnly, nullptr);
  uint32_t error = 0;
  EXPECT_FALSE(queryOnly->Start(&error));
  EXPECT_EQ(error, kErrorAccessDenied);
  EXPECT_FALSE(queryOnly->Delete());
  EXPECT_TRUE(created->Delete());
}

TEST(Win32Services, MissingDeviceCannotBeOpened) {
  EXPECT_EQ(OpenDevice("\\\\.\\OrvexNoSuchDevice"), nullptr);
}

}  // namespace
}  // namespace platform
}  // namespace orvex
