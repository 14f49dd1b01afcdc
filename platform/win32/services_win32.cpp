// The service control manager and device I/O. Every handle is closed by its owner (ScopedHandle).
#include "platform/services.h"

#include <windows.h>

#include "base/text.h"
#include "platform/win32/scoped_handle.h"

namespace orvex {
namespace platform {
namespace {

class Service : public IService {
 public:
  explicit Service(SC_HANDLE handle) : handle_(handle) {}

  bool Start(uint32_t* error) override {
    if (StartServiceW(handle_.Get(), 0, nullptr)) return true;
    if (error) *error = GetLastError();
    return false;
  }

  bool Stop() override {
    SERVICE_STATUS status = {};
    return ControlService(handle_.Get(), SERVICE_CONTROL_STOP, &status) != 0;
  }

  bool Delete() override { return DeleteService(handle_.Get()) != 0; }

  bool QueryRunning(bool* running) override {
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(handle_.Get(), &status)) return false;
    if (running) *running = status.dwCurrentState == SERVICE_RUNNING;
    return true;
  }

 private:
  ScopedServiceHandle handle_;
};

class ServiceManager : public IServiceManager {
 public:
  explicit ServiceManager(SC_HANDLE handle) : handle_(handle) {}

  std::unique_ptr<IService> CreateKernelDriverService(const std::wstring& name,
                                                      const std::wstring& displayName,
                                                      const std::wstring& binaryPath) override {
    SC_HANDLE service =
        CreateServiceW(handle_.Get(), name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                       binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!service) return nullptr;
    return std::unique_ptr<IService>(new Service(service));
  }

  std::unique_ptr<IService> OpenServiceByName(const std::wstring& name,
                                              ServiceAccess access) override {
    DWORD rights = access == ServiceAccess::kAllAccess ? SERVICE_ALL_ACCESS : SERVICE_QUERY_STATUS;
    SC_HANDLE service = OpenServiceW(handle_.Get(), name.c_str(), rights);
    if (!service) return nullptr;
    return std::unique_ptr<IService>(new Service(service));
  }

 private:
  ScopedServiceHandle handle_;
};

class Device : public IDevice {
 public:
  explicit Device(HANDLE handle) : handle_(handle) {}

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out,
               uint32_t outSize) override {
    DWORD returned = 0;
    return DeviceIoControl(handle_.Get(), code, const_cast<void*>(in), inSize, out, outSize,
                           &returned, nullptr) != 0;
  }

 private:
  ScopedFileHandle handle_;
};

}  // namespace

std::unique_ptr<IServiceManager> OpenServiceManager(ServiceManagerAccess access) {
  DWORD rights = access == ServiceManagerAccess::kAllAccess ? SC_MANAGER_ALL_ACCESS : GENERIC_READ;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, rights);
  if (!manager) return nullptr;
  return std::unique_ptr<IServiceManager>(new ServiceManager(manager));
}

std::unique_ptr<IDevice> OpenDevice(const std::string& path) {
  HANDLE device = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<IDevice>(new Device(device));
}

}  // namespace platform
}  // namespace orvex
