// The service control manager and the register driver's device on the simulated machine.
// A kernel-driver service starts only when its binary exists in the sandbox (else
// StartServiceW fails with ERROR_FILE_NOT_FOUND, as Windows does when it cannot load the
// image); the device "\\.\PhyMem" opens only while the service "PHYMEM" runs and answers MSR
// reads from the profile's "msr" values. Services and their changes are in the machine state.
#include "platform/services.h"

#include <sys/stat.h>

#include <cstring>

#include "base/text.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

constexpr uint32_t kReadMsrControlCode = 0x9C406450;
const wchar_t kMsrServiceName[] = L"PHYMEM";

void RecordEvent(const std::string& event) { sim::CurrentMachine().serviceEvents.append(event); }

// The image path as the service control manager reads it, to a native Windows path.
std::wstring NativeImagePath(std::wstring path) {
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"')
    path = path.substr(1, path.size() - 2);
  if (path.compare(0, 4, L"\\??\\") == 0) return path.substr(4);
  std::string systemRoot = "C:\\Windows";
  sim::ProfileEnvironmentVariable("SystemRoot", &systemRoot);
  const std::wstring prefix = L"\\SystemRoot\\";
  if (sim::EqualsNoCase(path.substr(0, prefix.size()), prefix))
    return Utf8ToWide(systemRoot) + L"\\" + path.substr(prefix.size());
  if (path.size() < 2 || path[1] != L':') return Utf8ToWide(systemRoot) + L"\\" + path;
  return path;
}

bool ImageExists(const std::wstring& binaryPath) {
  struct stat info;
  const std::string host = sim::MapPath(NativeImagePath(binaryPath), false);
  return stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

class SimService : public IService {
 public:
  SimService(std::wstring name, bool allAccess, uint64_t generation)
      : name_(std::move(name)), allAccess_(allAccess), generation_(generation) {}

  bool Start(uint32_t* error) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    uint32_t failure = kErrorSuccess;
    sim::ServiceEntry* service = Entry();
    if (!service)
      failure = kErrorServiceDoesNotExist;
    else if (!allAccess_)
      failure = kErrorAccessDenied;
    else if (service->running)
      failure = kErrorServiceAlreadyRunning;
    else if (!ImageExists(service->binaryPath))
      failure = kErrorFileNotFound;
    RecordEvent("start " + Label(service) + ": " + std::to_string(failure));
    if (failure != kErrorSuccess) {
      if (error) *error = failure;
      return false;
    }
    service->running = true;
    return true;
  }

  bool Stop() override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::ServiceEntry* service = Entry();
    const bool stopped = service && allAccess_ && service->running;
    RecordEvent("stop " + Label(service) + (stopped ? ": 0" : ": failed"));
    if (stopped) service->running = false;
    return stopped;
  }

  bool Delete() override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::ServiceEntry* service = Entry();
    const bool deleted = service && allAccess_;
    RecordEvent("delete " + Label(service) + (deleted ? ": 0" : ": failed"));
    // Windows removes a service marked for deletion once it is stopped and its handles are
    // closed; the installer always stops it first, so the entry goes at once.
    if (deleted) sim::CurrentMachine().services.erase(name_);
    return deleted;
  }

  bool QueryRunning(bool* running) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::ServiceEntry* service = Entry();
    if (!service) return false;
    if (running) *running = service->running;
    return true;
  }

 private:
  // The name as the service was created, however the handle spelled it.
  std::string Label(const sim::ServiceEntry* service) const {
    return WideToUtf8(service ? service->name : name_);
  }

  sim::ServiceEntry* Entry() {
    sim::Machine& machine = sim::CurrentMachine();
    if (machine.generation != generation_) return nullptr;
    auto found = machine.services.find(name_);
    return found == machine.services.end() ? nullptr : &found->second;
  }

  std::wstring name_;
  bool allAccess_;
  uint64_t generation_;
};

class SimServiceManager : public IServiceManager {
 public:
  explicit SimServiceManager(bool allAccess) : allAccess_(allAccess) {}

  std::unique_ptr<IService> CreateKernelDriverService(const std::wstring& name,
                                                      const std::wstring& displayName,
                                                      const std::wstring& binaryPath) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::Machine& machine = sim::CurrentMachine();
    const bool created = allAccess_ && !name.empty() && machine.services.count(name) == 0;
    RecordEvent("create " + WideToUtf8(name) + (created ? ": 0" : ": failed"));
    if (!created) return nullptr;
    sim::ServiceEntry& service = machine.services[name];
    service.name = name;
    service.displayName = displayName;
    service.binaryPath = binaryPath;
    return std::unique_ptr<IService>(new SimService(name, true, machine.generation));
  }

  std::unique_ptr<IService> OpenServiceByName(const std::wstring& name,
                                              ServiceAccess access) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::Machine& machine = sim::CurrentMachine();
    if (machine.services.count(name) == 0) return nullptr;
    const bool allAccess = access == ServiceAccess::kAllAccess;
    if (allAccess && !allAccess_) return nullptr;
    return std::unique_ptr<IService>(new SimService(name, allAccess, machine.generation));
  }

 private:
  bool allAccess_;
};

// The register driver: a 16-byte request whose first four bytes are the MSR number, a 16-byte
// reply that carries the register's value from offset 8.
class MsrDevice : public IDevice {
 public:
  bool Control(uint32_t code, const void* in, uint32_t inSize, void* out,
               uint32_t outSize) override {
    if (code != kReadMsrControlCode || !in || inSize < 16 || !out || outSize < 16) return false;
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::Machine& machine = sim::CurrentMachine();
    auto service = machine.services.find(kMsrServiceName);
    if (service == machine.services.end() || !service->second.running) return false;
    uint32_t msr = 0;
    std::memcpy(&msr, in, sizeof msr);
    const Json::Value& values = machine.profile["msr"];
    for (const std::string& name : values.getMemberNames()) {
      uint64_t number = 0;
      uint64_t value = 0;
      if (!sim::ProfileNumber(name, &number) || number != msr) continue;
      if (!sim::ProfileNumber(values[name], &value)) return false;
      uint8_t reply[16] = {};
      std::memcpy(reply, &msr, sizeof msr);
      for (int i = 0; i < 8; ++i) reply[8 + i] = static_cast<uint8_t>(value >> (8 * i));
      std::memcpy(out, reply, sizeof reply);
      return true;
    }
    return false;  // a register the profile does not give cannot be read
  }
};

}  // namespace

std::unique_ptr<IServiceManager> OpenServiceManager(ServiceManagerAccess access) {
  return std::unique_ptr<IServiceManager>(
      new SimServiceManager(access == ServiceManagerAccess::kAllAccess));
}

std::unique_ptr<IDevice> OpenDevice(const std::string& path) {
  if (!sim::EqualsNoCase(path, "\\\\.\\PhyMem")) return nullptr;
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::Machine& machine = sim::CurrentMachine();
  auto service = machine.services.find(kMsrServiceName);
  if (service == machine.services.end() || !service->second.running) return nullptr;
  return std::unique_ptr<IDevice>(new MsrDevice);
}

}  // namespace platform
}  // namespace orvex
