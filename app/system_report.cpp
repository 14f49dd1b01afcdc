#include "app/system_report.h"

#include <string>

#include "base/text.h"
#include "platform/environment.h"
#include "probes/install_paths.h"
#include "probes/wmi_connection.h"

namespace orvex {
namespace {

// The report's text, written with << like a stream but without the C++ streams, whose locale
// machinery would be the largest part of the Windows program: the report prints only text and
// decimal integers.
class ReportText {
 public:
  ReportText& operator<<(const std::string& text) {
    text_ += text;
    return *this;
  }
  ReportText& operator<<(const char* text) {
    text_ += text;
    return *this;
  }
  ReportText& operator<<(int number) {
    text_ += std::to_string(number);
    return *this;
  }
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

// Every further security product sits under the first, past the label's width.
const char kContinuationIndent[] = "                                   ";

void WriteGpu(ReportText& out, int number, const GpuInfo& gpu) {
  out << " GPU Controller #" << number << " :\n";
  out << "    GPU Video Controller         : " << gpu.name << "\n";
  out << "    GPU Manufacturer             : " << gpu.manufacturer << "\n";
  out << "    GPU Vendor / Device Id       : " << gpu.vendorId << "/" << gpu.deviceId << "\n";
  out << "    GPU Driver Version(build)    : " << gpu.driverVersion << " (" << gpu.buildNum
      << ")\n";
  out << "    GPU Driver provider          : " << gpu.driverProvider << "\n";
  out << "    GPU Active State             : " << (gpu.active ? 1 : 0) << "\n";
}

void WriteSecurityProducts(ReportText& out, const std::vector<std::string>& products) {
  out << " Antivirus Software(s) installed : ";
  for (std::size_t i = 0; i < products.size(); ++i) {
    if (i > 0) out << "\n" << kContinuationIndent;
    out << products[i];
  }
  out << "\n";
}

// The "Version" of the first Win32_Product row named Orvex, "" when there is none.
std::string InstalledProductVersion(CWmiConnection& wmi) {
  return ToNarrow(wmi.GetValue(std::wstring(L"Win32_Product"), std::wstring(L"Version"),
                               std::wstring(L"Name = 'Orvex'")));
}

}  // namespace

bool ReportShowsVirtualization(int osMajor, int osMinor) {
  return (osMajor >= 6 && osMinor >= 2) || osMajor >= 10;
}

std::string FormatSystemReport(const CSystemInfo& info, const ReportExtras& extras) {
  ReportText out;
  out << " -------------------- System Information ---------------------\n";
  out << " System Manufacturer             : " << info.manufacturer << "\n";
  out << " System Model                    : " << info.model << "\n";
  out << " Disk Serial Number              : " << info.diskSerial << "  " << info.hostId << "\n";
  out << " BIOS Serial Number              : " << info.biosSerial << "\n";
  out << " Operating System                : " << info.osName << "\n";
  out << " OS Architecture                 : " << info.osArch << "\n";
  out << " OS Version (Major.Minor)        : " << info.osVersion << " (" << info.osMajor << "."
      << info.osMinor << ")\n";
  out << " Processor                       : " << info.processorName << "\n";
  out << " Processor Manufacturer          : " << info.processorMfr << "\n";
  out << " Number of Processor             : " << info.processorCount << "\n";
  out << " System RAM                      : " << info.ramMb << " MB\n";
  out << " Screen Resolution               : " << info.screenSize << "\n";
  if (ReportShowsVirtualization(info.osMajor, info.osMinor)) {
    out << " VT-x Supported                  : " << (extras.vt.supported ? 1 : 0) << "\n";
    out << " VT-x Enabled in BIOS            : " << (extras.vt.enabled ? 1 : 0) << "\n";
  }
  out << " MAC address(s)                  : ";
  for (const std::string& mac : info.macAddresses) out << mac << " ";
  out << "\n";
  out << " OpenGL Version (Major.Minor)    : " << info.openglMajorText << " (" << info.openglMajor
      << "." << info.openglMinor << " / " << info.openglVersion << ")\n";
  out << " OpenGL Version Vendor           : " << info.openglVendor << "\n";
  out << " Video controllers / #Active     : " << (info.gpus.size() > 1 ? "Multiple" : "Single")
      << " / " << info.gpuCount << "\n";
  for (std::size_t i = 0; i < info.gpus.size(); ++i) {
    WriteGpu(out, static_cast<int>(i + 1), info.gpus[i]);
  }
  WriteSecurityProducts(out, info.securityProducts);
  out << " .Net Version (Maj.Min)          : " << info.dotnetVersion << " (" << info.dotnetMajor
      << "." << info.dotnetMinor << ")\n";
  if (!extras.installedVersion.empty()) {
    out << " Orvex Version Installed         : " << extras.installedVersion << "\n";
  }
  out << " OrvexInstall Dir                : " << extras.installDir << "\n";
  out << " OrvexUserData Dir               : " << extras.userDataDir << "\n";
  out << " OrvexVMHome Path                : " << extras.vmHomePath << "\n";
  out << " -----------------------------------------------------------------\n\n\n";
  return out.str();
}

std::string BuildSystemReport() {
  CWmiConnection wmi;
  wmi.Connect(L"ROOT\\CIMV2");
  const CSystemInfo& info = GetSystemInfo();
  ReportExtras extras;
  if (ReportShowsVirtualization(info.osMajor, info.osMinor)) {
    extras.vt = CheckVirtualization(L"");
  }
  extras.installedVersion = InstalledProductVersion(wmi);
  extras.installDir = GetInstallDir();
  extras.userDataDir = GetUserDataDir();
  extras.vmHomePath = platform::EnvironmentVariable("ORVEX_ORVEXVM_USER_HOME");
  std::string text = FormatSystemReport(info, extras);
  wmi.Close();
  return text;
}

}  // namespace orvex
