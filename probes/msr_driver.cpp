#include "probes/msr_driver.h"

#include <cstdio>
#include <memory>

#include "base/text.h"
#include "platform/services.h"
#include "platform/win_codes.h"
#include "probes/msr_request.h"

namespace orvex {

namespace {

std::unique_ptr<platform::IService> OpenMsrService(platform::ServiceManagerAccess managerAccess,
                                                   platform::ServiceAccess serviceAccess) {
  std::unique_ptr<platform::IServiceManager> manager = platform::OpenServiceManager(managerAccess);
  if (!manager) return nullptr;
  return manager->OpenServiceByName(kMsrServiceName, serviceAccess);
}

}  // namespace

bool ReadMsr(uint16_t msr, const std::wstring& driverDirectory, uint8_t (&reply)[16]) {
  uint8_t request[16];
  FillMsrRequest(msr, request);
  if (!IsMsrServiceRunning() && !EnsureMsrDriver(driverDirectory)) return false;
  std::unique_ptr<platform::IDevice> device = platform::OpenDevice(kMsrDevicePath);
  if (!device) return false;
  return device->Control(kReadMsrControlCode, request, sizeof(request), reply, sizeof(reply));
}

bool EnsureMsrDriver(const std::wstring& directory) {
  if (platform::OpenDevice(kMsrDevicePath)) return true;  // closed again at once
  const std::wstring path = directory + L"\\" + ToWide(kMsrDriverFileName);
  std::printf("Driver path/name:%s\n", ToNarrow(path).c_str());
  if (!InstallMsrService(path)) {
    std::printf("Failed in Install MSR driver\n");
    return false;
  }
  if (!StartMsrService()) {
    std::printf("Failed in Start MSR driver\n");
    return false;
  }
  return true;
}

bool InstallMsrService(const std::wstring& binaryPath) {
  RemoveMsrService();  // a stale registration would make the creation fail
  std::unique_ptr<platform::IServiceManager> manager =
      platform::OpenServiceManager(platform::ServiceManagerAccess::kAllAccess);
  if (!manager) return false;
  return manager->CreateKernelDriverService(kMsrServiceName, kMsrServiceName, binaryPath) !=
         nullptr;
}

bool RemoveMsrService() {
  StopMsrService();
  std::unique_ptr<platform::IService> service = OpenMsrService(
      platform::ServiceManagerAccess::kAllAccess, platform::ServiceAccess::kAllAccess);
  return service && service->Delete();
}

bool StopMsrService() {
  std::unique_ptr<platform::IService> service = OpenMsrService(
      platform::ServiceManagerAccess::kAllAccess, platform::ServiceAccess::kAllAccess);
  return service && service->Stop();
}

bool StartMsrService() {
  std::unique_ptr<platform::IService> service = OpenMsrService(
      platform::ServiceManagerAccess::kAllAccess, platform::ServiceAccess::kAllAccess);
  if (!service) return false;
  uint32_t error = 0;
  if (service->Start(&error)) return true;
  if (error == platform::kErrorServiceAlreadyRunning) {
    std::printf("Start Driver: Service already running\n");
    return true;
  }
  std::printf("MSR Driver Error code:%d %0X\n", static_cast<int>(error),
              static_cast<unsigned>(error));
  return false;
}

bool IsMsrServiceRunning() {
  std::unique_ptr<platform::IService> service =
      OpenMsrService(platform::ServiceManagerAccess::kRead, platform::ServiceAccess::kQueryStatus);
  bool running = false;
  return service && service->QueryRunning(&running) && running;
}

}  // namespace orvex
