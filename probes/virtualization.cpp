#include "probes/virtualization.h"

#include "base/text.h"
#include "platform/admin_folders.h"
#include "platform/files.h"
#include "platform/processor.h"
#include "probes/msr_driver.h"
#include "probes/record_facts.h"

namespace orvex {

namespace {

constexpr uint32_t kVirtFirmwareEnabledFeature = 21;  // PF_VIRT_FIRMWARE_ENABLED
constexpr uint16_t kFeatureControlMsr = 0x3A;         // IA32_FEATURE_CONTROL

bool ProcessorSupportsVirtualization(const std::string& vendor) {
  if (vendor == "AuthenticAMD") return (platform::Cpuid(0x80000001).ecx & 0x4) != 0;  // SVM
  return (platform::Cpuid(1).ecx & 0x20) != 0;                                        // VMX
}

// Copies the driver next to the system's own drivers, never over an installed copy. The kernel
// runs what it finds there, so the copy is taken only from a folder nobody without elevation
// can change (the session's working folder): never from a folder a user could have put a file
// of their own in, nor from the current drive's root (no directory given).
void CopyDriverToSystem(const std::wstring& directory, const std::wstring& system32) {
  if (directory.empty() || !platform::OnlyAdministratorsCanWrite(directory)) return;
  platform::ScopedFsRedirectionOff redirectionOff;
  const std::wstring source = directory + L"\\" + ToWide(kMsrDriverFileName);
  // A copy that is already there is kept (the copy fails then); should there be none after
  // all, the driver cannot start and the check counts as enabled.
  if (platform::PathExists(source))
    (void)platform::CopyFileTo(source, system32 + L"\\" + ToWide(kMsrDriverFileName), true);
}

// Older Windows cannot tell; an Intel processor's feature-control register can. Anything that
// goes wrong on the way counts as enabled, so that the installer does not block on our check.
bool IntelVirtualizationEnabledByRegister(const std::wstring& directory) {
  // The system folder as Windows knows it: %SystemRoot% is the process's environment, which a
  // user can set, and the service would start the driver from wherever it names.
  const std::wstring system32 = platform::SystemDirectory();
  if (system32.empty()) return true;
  CopyDriverToSystem(directory, system32);
  uint8_t reply[16] = {};
  if (!ReadMsr(kFeatureControlMsr, system32, reply)) return true;
  return (reply[8] & 0x06) != 0;  // VMX inside or outside SMX; the lock bit is not looked at
}

}  // namespace

VtStatus CheckVirtualization(const CSystemInfo& info, const std::wstring& directory) {
  VtStatus status;
  status.supported = ProcessorSupportsVirtualization(info.processorMfr);
  if (!status.supported) return status;
  if (IsWindows8OrLater(info.osMajor, info.osMinor)) {
    status.enabled =
        platform::ProcessorFeaturePresent(kVirtFirmwareEnabledFeature) || info.vtFirmwareEnabled;
    return status;
  }
  if (info.processorMfr != "GenuineIntel") {
    status.enabled = true;
    return status;
  }
  status.enabled = IntelVirtualizationEnabledByRegister(directory);
  return status;
}

VtStatus CheckVirtualization(const std::wstring& directory) {
  return CheckVirtualization(GetSystemInfo(), directory);
}

}  // namespace orvex
