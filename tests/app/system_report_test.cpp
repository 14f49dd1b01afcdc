// The system information report: whole texts for typical machines, written out line by line
// as the crash report's reader sees them.

#include "app/system_report.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/gpu_fixture.h"

namespace orvex {
namespace {

using test::MakeGpu;

// A Windows 7 desktop: one adapter, one network card, no security product, no product.
CSystemInfo Windows7Desktop() {
  CSystemInfo info;
  info.manufacturer = "Dell Inc.";
  info.model = "OptiPlex 7010";
  info.diskSerial = "WD-WMAZA0454107";
  info.hostId = "3f2c9a";
  info.biosSerial = "7XK2Q5J";
  info.osName = "Microsoft Windows 7 Professional ";
  info.osArch = "x64";
  info.osVersion = "6.1.7601";
  info.osMajor = 6;
  info.osMinor = 1;
  info.processorName = "Intel(R) Core(TM) i5-3470 CPU @ 3.20GHz";
  info.processorMfr = "GenuineIntel";
  info.processorCount = 4;
  info.openglMajorText = "4";
  info.openglVersion = "4.0.0 - Build 10.18.10.4358";
  info.openglMajor = 4;
  info.openglMinor = 0;
  info.openglVendor = "Intel";
  info.ramMb = "8192";
  info.screenSize = "1920x1080";
  info.dotnetVersion = "4.0";
  info.dotnetMajor = 4;
  info.dotnetMinor = 0;
  info.macAddresses = {"001A2B3C4D5E"};
  info.gpus = {MakeGpu("Intel(R) HD Graphics 2500", "10.18.10.4358", "8086", "0152", 4358, "INTEL",
                       "INTEL")};
  info.gpuCount = 1;
  info.singleGpu = true;
  return info;
}

TEST(SystemReport, Windows7HasNoVirtualizationLinesAndNoProductLine) {
  ReportExtras extras;
  extras.vt.supported = true;  // never printed before Windows 8
  extras.vt.enabled = true;
  extras.installDir = "C:\\Program Files\\Orvex";
  EXPECT_EQ(
      " -------------------- System Information ---------------------\n"
      " System Manufacturer             : Dell Inc.\n"
      " System Model                    : OptiPlex 7010\n"
      " Disk Serial Number              : WD-WMAZA0454107  3f2c9a\n"
      " BIOS Serial Number              : 7XK2Q5J\n"
      " Operating System                : Microsoft Windows 7 Professional \n"
      " OS Architecture                 : x64\n"
      " OS Version (Major.Minor)        : 6.1.7601 (6.1)\n"
      " Processor                       : Intel(R) Core(TM) i5-3470 CPU @ 3.20GHz\n"
      " Processor Manufacturer          : GenuineIntel\n"
      " Number of Processor             : 4\n"
      " System RAM                      : 8192 MB\n"
      " Screen Resolution               : 1920x1080\n"
      " MAC address(s)                  : 001A2B3C4D5E \n"
      " OpenGL Version (Major.Minor)    : 4 (4.0 / 4.0.0 - Build 10.18.10.4358)\n"
      " OpenGL Version Vendor           : Intel\n"
      " Video controllers / #Active     : Single / 1\n"
      " GPU Controller #1 :\n"
      "    GPU Video Controller         : Intel(R) HD Graphics 2500\n"
      "    GPU Manufacturer             : INTEL\n"
      "    GPU Vendor / Device Id       : 8086/0152\n"
      "    GPU Driver Version(build)    : 10.18.10.4358 (4358)\n"
      "    GPU Driver provider          : INTEL\n"
      "    GPU Active State             : 1\n"
      " Antivirus Software(s) installed : \n"
      " .Net Version (Maj.Min)          : 4.0 (4.0)\n"
      " OrvexInstall Dir                : C:\\Program Files\\Orvex\n"
      " OrvexUserData Dir               : \n"
      " OrvexVMHome Path                : \n"
      " -----------------------------------------------------------------\n"
      "\n"
      "\n",
      FormatSystemReport(Windows7Desktop(), extras));
}

TEST(SystemReport, Windows8WithoutAdapterOrNetworkCardAndWithOneSecurityProduct) {
  CSystemInfo info;
  info.manufacturer = "innotek GmbH";
  info.model = "VirtualBox";
  info.osName = "Microsoft Windows 8 Pro";
  info.osArch = "x86";
  info.osVersion = "6.2.9200";
  info.osMajor = 6;
  info.osMinor = 2;
  info.processorMfr = "AuthenticAMD";
  info.openglMajorText = "0";
  info.ramMb = "3072";
  info.screenSize = "1024x768";
  info.securityProducts = {"Windows Defender"};
  info.singleGpu = true;
  ReportExtras extras;
  extras.vt.supported = true;
  extras.vt.enabled = false;
  extras.installedVersion = "2.0.6.8063";
  extras.installDir = "C:\\Program Files\\Orvex";
  extras.userDataDir = "C:\\ProgramData\\Orvex";
  EXPECT_EQ(
      " -------------------- System Information ---------------------\n"
      " System Manufacturer             : innotek GmbH\n"
      " System Model                    : VirtualBox\n"
      " Disk Serial Number              :   \n"
      " BIOS Serial Number              : \n"
      " Operating System                : Microsoft Windows 8 Pro\n"
      " OS Architecture                 : x86\n"
      " OS Version (Major.Minor)        : 6.2.9200 (6.2)\n"
      " Processor                       : \n"
      " Processor Manufacturer          : AuthenticAMD\n"
      " Number of Processor             : 0\n"
      " System RAM                      : 3072 MB\n"
      " Screen Resolution               : 1024x768\n"
      " VT-x Supported                  : 1\n"
      " VT-x Enabled in BIOS            : 0\n"
      " MAC address(s)                  : \n"
      " OpenGL Version (Major.Minor)    : 0 (0.0 / )\n"
      " OpenGL Version Vendor           : \n"
      " Video controllers / #Active     : Single / 0\n"
      " Antivirus Software(s) installed : Windows Defender\n"
      " .Net Version (Maj.Min)          :  (0.0)\n"
      " Orvex Version Installed         : 2.0.6.8063\n"
      " OrvexInstall Dir                : C:\\Program Files\\Orvex\n"
      " OrvexUserData Dir               : C:\\ProgramData\\Orvex\n"
      " OrvexVMHome Path                : \n"
      " -----------------------------------------------------------------\n"
      "\n"
      "\n",
      FormatSystemReport(info, extras));
}

TEST(SystemReport, Windows10LaptopWithTwoAdaptersThreeSecurityProductsAndTwoMacs) {
  CSystemInfo info = Windows7Desktop();
  info.manufacturer = "LENOVO";
  info.model = "20L5";
  info.hostId = "";
  info.osName = "Microsoft Windows 10 Home";
  info.osVersion = "10.0.19045";
  info.osMajor = 10;
  info.osMinor = 0;
  info.processorCount = 8;
  info.openglMajorText = "4";
  info.openglVersion = "4.6.0 NVIDIA 456.71";
  info.openglMajor = 4;
  info.openglMinor = 6;
  info.openglVendor = "NVIDIA Corporation";
  info.macAddresses = {"001A2B3C4D5E", "9C5A44E1B2C3"};
  info.securityProducts = {"Avast Antivirus", "Malwarebytes", "Windows Defender"};
  info.gpus = {MakeGpu("Intel(R) UHD Graphics 620", "26.20.100.7262", "8086", "5917", 7262, "INTEL",
                       "INTEL"),
               MakeGpu("GeForce MX150", "26.21.14.4587", "10DE", "1D12", 4587, "NVIDIA", "NVIDIA")};
  info.gpuCount = 2;
  info.singleGpu = false;
  info.dotnetVersion = "4.8";
  info.dotnetMajor = 4;
  info.dotnetMinor = 8;
  ReportExtras extras;
  extras.vt.supported = true;
  extras.vt.enabled = true;
  extras.installedVersion = "2.0.5.7010";
  extras.installDir = "D:\\Orvex";
  extras.userDataDir = "D:\\Orvex\\UserData";
  extras.vmHomePath = "D:\\OrvexHome";
  EXPECT_EQ(
      " -------------------- System Information ---------------------\n"
      " System Manufacturer             : LENOVO\n"
      " System Model                    : 20L5\n"
      " Disk Serial Number              : WD-WMAZA0454107  \n"
      " BIOS Serial Number              : 7XK2Q5J\n"
      " Operating System                : Microsoft Windows 10 Home\n"
      " OS Architecture                 : x64\n"
      " OS Version (Major.Minor)        : 10.0.19045 (10.0)\n"
      " Processor                       : Intel(R) Core(TM) i5-3470 CPU @ 3.20GHz\n"
      " Processor Manufacturer          : GenuineIntel\n"
      " Number of Processor             : 8\n"
      " System RAM                      : 8192 MB\n"
      " Screen Resolution               : 1920x1080\n"
      " VT-x Supported                  : 1\n"
      " VT-x Enabled in BIOS            : 1\n"
      " MAC address(s)                  : 001A2B3C4D5E 9C5A44E1B2C3 \n"
      " OpenGL Version (Major.Minor)    : 4 (4.6 / 4.6.0 NVIDIA 456.71)\n"
      " OpenGL Version Vendor           : NVIDIA Corporation\n"
      " Video controllers / #Active     : Multiple / 2\n"
      " GPU Controller #1 :\n"
      "    GPU Video Controller         : Intel(R) UHD Graphics 620\n"
      "    GPU Manufacturer             : INTEL\n"
      "    GPU Vendor / Device Id       : 8086/5917\n"
      "    GPU Driver Version(build)    : 26.20.100.7262 (7262)\n"
      "    GPU Driver provider          : INTEL\n"
      "    GPU Active State             : 1\n"
      " GPU Controller #2 :\n"
      "    GPU Video Controller         : GeForce MX150\n"
      "    GPU Manufacturer             : NVIDIA\n"
      "    GPU Vendor / Device Id       : 10DE/1D12\n"
      "    GPU Driver Version(build)    : 26.21.14.4587 (4587)\n"
      "    GPU Driver provider          : NVIDIA\n"
      "    GPU Active State             : 1\n"
      " Antivirus Software(s) installed : Avast Antivirus\n"
      "                                   Malwarebytes\n"
      "                                   Windows Defender\n"
      " .Net Version (Maj.Min)          : 4.8 (4.8)\n"
      " Orvex Version Installed         : 2.0.5.7010\n"
      " OrvexInstall Dir                : D:\\Orvex\n"
      " OrvexUserData Dir               : D:\\Orvex\\UserData\n"
      " OrvexVMHome Path                : D:\\OrvexHome\n"
      " -----------------------------------------------------------------\n"
      "\n"
      "\n",
      FormatSystemReport(info, extras));
}

// The virtualization lines follow the operating system's version alone.
TEST(SystemReport, VirtualizationLinesFromWindows8On) {
  const struct {
    int major, minor;
    bool shown;
  } cases[] = {
      {6, 1, false}, {6, 2, true},  {6, 3, true},  {10, 0, true},
      {5, 2, false}, {6, 0, false}, {0, 0, false},  // 0.0: the OS query failed
  };
  const std::string vtLines =
      " VT-x Supported                  : 1\n"
      " VT-x Enabled in BIOS            : 0\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    EXPECT_EQ(c.shown, ReportShowsVirtualization(c.major, c.minor));
    CSystemInfo info = Windows7Desktop();
    info.osMajor = c.major;
    info.osMinor = c.minor;
    ReportExtras extras;
    extras.vt.supported = true;
    const std::string report = FormatSystemReport(info, extras);
    const std::string::size_type at = report.find(vtLines);
    EXPECT_EQ(c.shown, at != std::string::npos);
    if (c.shown) {  // right after the screen line, before the MAC line
      const std::string before = " Screen Resolution               : 1920x1080\n";
      const std::string after = " MAC address(s)                  : ";
      ASSERT_GE(at, before.size());
      EXPECT_EQ(before, report.substr(at - before.size(), before.size()));
      EXPECT_EQ(after, report.substr(at + vtLines.size(), after.size()));
    }
  }
}

}  // namespace
}  // namespace orvex
