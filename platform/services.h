#pragma once
// The service control manager and device I/O, for the kernel drivers the installer starts.

#include <cstdint>
#include <memory>
#include <string>

namespace orvex {
namespace platform {

// One open service (SC_HANDLE). Destroying it calls CloseServiceHandle.
class IService {
 public:
  virtual ~IService() = default;
  // StartServiceW with no arguments; *error gets GetLastError on failure.
  [[nodiscard]] virtual bool Start(uint32_t* error) = 0;
  // ControlService(SERVICE_CONTROL_STOP).
  [[nodiscard]] virtual bool Stop() = 0;
  // DeleteService.
  [[nodiscard]] virtual bool Delete() = 0;
  // QueryServiceStatus: true when the query succeeded; *running = SERVICE_RUNNING.
  [[nodiscard]] virtual bool QueryRunning(bool* running) = 0;
};

enum class ServiceManagerAccess { kAllAccess, kRead };
enum class ServiceAccess { kAllAccess, kQueryStatus };

// The service control manager of the local machine (SC_HANDLE). Destroying it closes it.
class IServiceManager {
 public:
  virtual ~IServiceManager() = default;
  // CreateServiceW(name, displayName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
  // SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, binaryPath, no group, tag, dependencies,
  // account or password). Null on failure.
  [[nodiscard]] virtual std::unique_ptr<IService> CreateKernelDriverService(
      const std::wstring& name, const std::wstring& displayName,
      const std::wstring& binaryPath) = 0;
  // OpenServiceW; null on failure.
  [[nodiscard]] virtual std::unique_ptr<IService> OpenServiceByName(const std::wstring& name,
                                                                    ServiceAccess access) = 0;
};

// OpenSCManagerW(NULL, NULL, access); null on failure.
[[nodiscard]] std::unique_ptr<IServiceManager> OpenServiceManager(ServiceManagerAccess access);

// An open device (CreateFileA handle). Destroying it closes the handle.
class IDevice {
 public:
  virtual ~IDevice() = default;
  // DeviceIoControl(code, in, inSize, out, outSize, &returned, NULL).
  [[nodiscard]] virtual bool Control(uint32_t code, const void* in, uint32_t inSize, void* out,
                                     uint32_t outSize) = 0;
};

// CreateFileW(the UTF-8 path, GENERIC_READ | GENERIC_WRITE, no sharing, NULL, OPEN_EXISTING,
// FILE_ATTRIBUTE_NORMAL, NULL); null on failure.
[[nodiscard]] std::unique_ptr<IDevice> OpenDevice(const std::string& path);

}  // namespace platform
}  // namespace orvex
