#pragma once
// The maker's model-specific-register driver (quarn_hwio.sys, service "PHYMEM"): installed and
// started as a kernel driver service when needed, then asked for one register through its
// device. Diagnostics go to standard output only.

#include <cstdint>
#include <string>

namespace orvex {

constexpr const char* kMsrDriverFileName = "quarn_hwio.sys";
constexpr const wchar_t* kMsrServiceName = L"PHYMEM";
constexpr const char* kMsrDevicePath = "\\\\.\\PhyMem";
// Device type 0x9C40, function 0x914, METHOD_BUFFERED, FILE_READ_ACCESS.
constexpr uint32_t kReadMsrControlCode = 0x9C406450;

// Reads one register; the low byte of its value is reply[8]. Starts the driver from
// driverDirectory first when its service is not running. False when the device could not be
// opened or the control call failed.
bool ReadMsr(uint16_t msr, const std::wstring& driverDirectory, uint8_t (&reply)[16]);

// True when the device opens, installing and starting the service from
// directory + "\\quarn_hwio.sys" when it does not.
bool EnsureMsrDriver(const std::wstring& directory);

// Service routines on "PHYMEM"; each opens and closes its own handles.
bool InstallMsrService(const std::wstring& binaryPath);
bool RemoveMsrService();
bool StopMsrService();
bool StartMsrService();
bool IsMsrServiceRunning();

}  // namespace orvex
