// The service control manager and device I/O. Every handle is closed by its owner's destructor.
#include <windows.h>

#include "platform/services.h"

namespace orvex {
namespace platform {
namespace {

class Service : public IService {
 public:
  explicit Service(SC_HANDLE handle) : handle_(handle) {}
  ~Service() override { CloseServiceHandle(handle_); }
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  bool Start(uint32_t* error) override {
    if (StartServiceW(handle_, 0, nullptr)) return true;
    if (error) *error = GetLastError();
    return false;
  }

  bool Stop() override {
    SERVICE_STATUS status = {};
    return ControlService(handle_, SERVICE_CONTROL_STOP, &status) != 0;
  }

  bool Delete() override { return DeleteService(handle_) != 0; }

  bool QueryRunning(bool* running) override {
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(handle_, &status)) return false;
    if (running) *running = status.dwCurrentState == SERVICE_RUNNING;
    return true;
  }

 private:
  SC_HANDLE handle_;
};

class ServiceManager : public IServiceManager {
 public:
  explicit ServiceManager(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceManager() override { CloseServiceHandle(handle_); }
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;

  std::unique_ptr<IService> CreateKernelDriverService(const std::wstring& name,
                                                      const std::wstring& displayName,
                                                      const std::wstring& binaryPath) override {
    SC_HANDLE service = CreateServiceW(handle_, name.c_str(), displayName.c_str(),
                                       SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                       binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr,
                                       nullptr);
    if (!service) return nullptr;
    return std::unique_ptr<IService>(new Service(service));
  }

  std::unique_ptr<IService> OpenServiceByName(const std::wstring& name,
                                              ServiceAccess access) override {
    DWORD rights = access == ServiceAccess::kAllAccess ? SERVICE_ALL_ACCESS : SERVICE_QUERY_STATUS;
    SC_HANDLE service = OpenServiceW(handle_, name.c_str(), rights);
    if (!service) return nullptr;
    return std::unique_ptr<IService>(new Service(service));
  }

 private:
  SC_HANDLE handle_;
};

class Device : public IDevice {
 public:
  explicit Device(HANDLE handle) : handle_(handle) {}
  ~Device() override { CloseHandle(handle_); }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out,
               uint32_t outSize) override {
    DWORD returned = 0;
    return DeviceIoControl(handle_, code, const_cast<void*>(in), inSize, out, outSize, &returned,
                           nullptr) != 0;
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<IServiceManager> OpenServiceManager(ServiceManagerAccess access) {
  DWORD rights = access == ServiceManagerAccess::kAllAccess ? SC_MANAGER_ALL_ACCESS : GENERIC_READ;
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, rights);
  if (!manager) return nullptr;
  return std::unique_ptr<IServiceManager>(new ServiceManager(manager));
}

std::unique_ptr<IDevice> OpenDevice(const std::string& path) {
  HANDLE device = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) return nullptr;
  return std::unique_ptr<IDevice>(new Device(device));
}

}  // namespace platform
}  // namespace orvex
