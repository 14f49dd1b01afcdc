// How the probes read what Windows reports: version numbers, WQL texts, serial numbers,
// graphics adapters and small facts. Pure logic: no machine is asked.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probes/graphics_classification.h"
#include "probes/record_facts.h"
#include "probes/serial_numbers.h"
#include "probes/system_info.h"
#include "probes/version_number.h"
#include "probes/wmi_connection.h"
#include "probes/wmi_queries.h"

namespace orvex {
namespace {

TEST(ProbesVersion, MajorAndMinorOfDottedTexts) {
  struct Case {
    const char* text;
    int major, minor;
  };
  const std::vector<Case> cases = {
      {"6.1.7601", 6, 1},
      {"10.0.10586", 10, 0},
      {"4.0", 4, 0},
      {"4", 4, 0},
      {"", 0, 0},
      {"4.8.09032", 4, 8},
      {"x.5", 0, 5},
      {"4.x", 4, 0},
      {".5", 0, 5},
      {"4.", 4, 0},
      {"4.5 (Compatibility Profile) Mesa", 4, 5},
      {"3.3.0 NVIDIA", 3, 3},
      {" 7 . 2", 7, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int major = -1, minor = -1;
    ParseMajorMinor(c.text, &major, &minor);
    EXPECT_EQ(c.major, major);
    EXPECT_EQ(c.minor, minor);
  }
}

TEST(ProbesVersion, EachCallReadsUpToTheNextSeparator) {
  std::size_t separator = 0;
  EXPECT_EQ(10, ParseVersionNumber("10.0.19045", 0, &separator));
  EXPECT_EQ(2u, separator);
  EXPECT_EQ(0, ParseVersionNumber("10.0.19045", separator + 1, &separator));
  EXPECT_EQ(4u, separator);
  EXPECT_EQ(19045, ParseVersionNumber("10.0.19045", separator + 1, &separator));
  EXPECT_EQ(std::string::npos, separator);
  // Past the end of the text there is nothing to read.
  EXPECT_EQ(0, ParseVersionNumber("4", 7, &separator));
  EXPECT_EQ(std::string::npos, separator);
}

TEST(ProbesWql, QueryTextsAreWrittenAsWmiMatchesThem) {
  EXPECT_EQ("SELECT * FROM Win32_Bios", CWmiConnection::QueryText("Win32_Bios", ""));
  EXPECT_EQ("SELECT * FROM Win32_VideoController WHERE PNPDeviceID LIKE  \"%PCI%\"",
            CWmiConnection::QueryText("Win32_VideoController", kPciVideoControllerCondition));
  EXPECT_EQ(
      "SELECT * FROM Win32_Networkadapter WHERE PNPDeviceID LIKE  \"%PCI%\" or "
      "PNPDeviceID LIKE  \"%SD%\"",
      CWmiConnection::QueryText("Win32_Networkadapter", kNetworkAdapterCondition));
  EXPECT_EQ(
      "ASSOCIATORS OF {Win32_LogicalDisk.DeviceID='C:'} WHERE AssocClass = "
      "Win32_LogicalDiskToPartition",
      CWmiConnection::AssociatorsText(LogicalDiskPath("C:"), "Win32_LogicalDiskToPartition"));
  EXPECT_EQ("Win32_DiskPartition.DeviceID='Disk #0, Partition #1'",
            DiskPartitionPath("Disk #0, Partition #1"));
  EXPECT_EQ(L"SID=\"S-1-5-21-1-2-3-1001\"", UserProfileCondition(L"S-1-5-21-1-2-3-1001"));
}

TEST(ProbesWql, DiskDriveConditionDoublesEachBackslashOnce) {
  EXPECT_EQ("DeviceID='\\\\\\\\.\\\\PHYSICALDRIVE0'", DiskDriveCondition("\\\\.\\PHYSICALDRIVE0"));
  EXPECT_EQ("DeviceID='PHYSICALDRIVE1'", DiskDriveCondition("PHYSICALDRIVE1"));
  EXPECT_EQ("DeviceID=''", DiskDriveCondition(""));
}

TEST(ProbesSerials, DiskSerialDecoding) {
  struct Case {
    const char* reported;
    const char* kept;
  };
  const std::vector<Case> cases = {
      {"20204d5a", "MZ"},                // encoded blanks are dropped
      {"12345678", "\x12\x34\x56\x78"},  // digits only is hexadecimal text too
      {"WD-WMAZA0454107", "WD-WMAZA0454107"},
      {"  WD-WMAZA0454107 ", "WD-WMAZA0454107"},
      {"5a 4d", "ZM"},  // blanks go before the test
      {"3153 3932", "1S92"},
      {"4d5a004142", "MZ"},  // ends at the first zero byte
      {"00", ""},
      {"", ""},
      {"   ", ""},
      {"4D5A", "MZ"},   // upper-case digits read like lower-case ones
      {"4d5a3", "MZ"},  // a lone last digit is dropped
      {"abcdefg", "abcdefg"},
      {"0x4d", "0x4d"},  // not hexadecimal digits only
      {"-12", "-12"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reported);
    EXPECT_EQ(c.kept, CleanDiskSerial(c.reported));
  }
}

TEST(ProbesSerials, LongHexSerialDecodesWhole) {
  std::string reported;
  for (int i = 0; i < 400; ++i) reported += "41";
  EXPECT_EQ(std::string(400, 'A'), CleanDiskSerial(reported));
}

TEST(ProbesSerials, BiosSerialCleaningAndFallback) {
  struct Case {
    const char* bios;
    const char* disk;
    const char* kept;
  };
  const std::vector<Case> cases = {
      {"To be filled by O.E.M.", "S1", "TobefilledbyOEM"},
      {"  PF0ABC12 ", "S1", "PF0ABC12"},
      {"", "WD-WMAZA0454107", "WDWMAZA0454107"},  // empty: the disk serial, cleaned
      {" . - ", "S-1", "S1"},                     // nothing left: the same
      {"", "", ""},
      {"\xe9t\xe9", "x", "t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bios);
    EXPECT_EQ(c.kept, CleanBiosSerial(c.bios, c.disk));
  }
}

TEST(ProbesGraphics, DriverProviderFromCaption) {
  struct Case {
    const char* caption;
    const char* provider;
  };
  const std::vector<Case> cases = {
      {"Intel(R) HD Graphics 4600", "INTEL"},
      {"AMD Radeon HD 7700 Series", "ATI"},
      {"NVIDIA GeForce GTX 960", "NVIDIA"},
      {"Microsoft Basic Display Adapter", "MICROSOFT"},
      {"Standard VGA Graphics Adapter", "MICROSOFT"},
      {"ATI Mobility Radeon", "ATI"},
      {"radeon rx 580", "ATI"},
      {"geforce 210", "NVIDIA"},
      {"NVIDIA Corporation", "ATI"},   // "ati" inside a word
      {"Intel Corporation", "INTEL"},  // intel goes first
      {"VMware SVGA 3D", "MICROSOFT"},
      {"Parallels Display Adapter (WDDM)", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption);
    EXPECT_EQ(c.provider, ClassifyDriverProvider(c.caption));
  }
}

TEST(ProbesGraphics, ManufacturerFromVendorIdExactly) {
  struct Case {
    const char* vendorId;
    const char* manufacturer;
  };
  const std::vector<Case> cases = {
      {"8086", "INTEL"}, {"8087", "INTEL"},   {"163c", "INTEL"},    {"10DE", "NVIDIA"},
      {"1002", "ATI"},   {"1022", "ATI"},     {"163C", "UNKNOWN"},  {"10de", "UNKNOWN"},
      {"", "UNKNOWN"},   {"15AD", "UNKNOWN"}, {"8086 ", "UNKNOWN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.vendorId);
    EXPECT_EQ(c.manufacturer, ClassifyVendorId(c.vendorId));
  }
}

TEST(ProbesGraphics, IdsFromPnpDeviceId) {
  struct Case {
    const char* pnp;
    const char* vendor;
    const char* device;
  };
  const std::vector<Case> cases = {
      {"PCI\\VEN_10DE&DEV_1401&SUBSYS_85BC1043&REV_A1\\4&1F7D", "10DE", "1401"},
      {"PCI\\VEN_8086&DEV_0412&SUBSYS_00000000", "8086", "0412"},
      {"PCI\\VEN_8086&DEV_0412", "", ""},  // two pieces are not enough
      {"ROOT\\BASICDISPLAY\\0000", "", ""},
      {"", "", ""},
      {"&&", "", ""},            // three empty pieces
      {"PCI\\VEN&D&X", "", ""},  // pieces shorter than their prefixes
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pnp);
    std::string vendor, device;
    SplitPnpDeviceId(c.pnp, &vendor, &device);
    EXPECT_EQ(c.vendor, vendor);
    EXPECT_EQ(c.device, device);
  }
}

TEST(ProbesGraphics, BuildNumberAfterTheLastDot) {
  struct Case {
    const char* version;
    int build;
  };
  const std::vector<Case> cases = {
      {"10.18.13.5598", 5598},
      {"23.21.13.8813", 8813},
      {"9", 0},
      {"", 0},
      {"1.2.", 0},
      {"1.2.x7", 0},
      {"Intel(R) HD Graphics 4600", 0},
      {"26.20.100.7262 beta", 7262},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    EXPECT_EQ(c.build, DriverBuildNumber(c.version));
  }
}

TEST(ProbesGraphics, ControllerDescription) {
  VideoControllerProperties nvidia{"GeForce GTX 960", "NVIDIA GeForce GTX 960", "23.21.13.8813",
                                   "PCI\\VEN_10DE&DEV_1401&SUBSYS_85BC1043&REV_A1"};
  GpuInfo gpu = DescribeVideoController(nvidia);
  EXPECT_EQ("GeForce GTX 960", gpu.name);
  EXPECT_EQ("23.21.13.8813", gpu.driverVersion);
  EXPECT_EQ("10DE", gpu.vendorId);
  EXPECT_EQ("1401", gpu.deviceId);
  EXPECT_EQ(8813, gpu.buildNum);
  EXPECT_EQ("NVIDIA", gpu.driverProvider);
  EXPECT_EQ("NVIDIA", gpu.manufacturer);
  EXPECT_TRUE(gpu.active);

  // Empty VideoProcessor and DriverVersion take the caption; the build number then comes
  // from the caption's last '.'.
  VideoControllerProperties bare{"", "Acme Display v1.23", "", "PCI\\VEN_1234&DEV_5678"};
  gpu = DescribeVideoController(bare);
  EXPECT_EQ("Acme Display v1.23", gpu.name);
  EXPECT_EQ("Acme Display v1.23", gpu.driverVersion);
  EXPECT_EQ(23, gpu.buildNum);
  EXPECT_EQ("", gpu.vendorId);
  EXPECT_EQ("", gpu.deviceId);
  EXPECT_EQ("UNKNOWN", gpu.manufacturer);
  EXPECT_EQ("", gpu.driverProvider);
  EXPECT_TRUE(gpu.active);
}

TEST(ProbesFacts, ArchitectureProcessorsAndSorting) {
  EXPECT_EQ("x64", ArchitectureClass("64-bit"));
  EXPECT_EQ("x64", ArchitectureClass("64 bits"));
  EXPECT_EQ("x86", ArchitectureClass("32-bit"));
  EXPECT_EQ("x86", ArchitectureClass(""));
  EXPECT_EQ("x64", ArchitectureClass("ARM 64-bit Processor"));

  EXPECT_EQ(8, ProcessorCountFrom("8"));
  EXPECT_EQ(0, ProcessorCountFrom(""));
  EXPECT_EQ(0, ProcessorCountFrom("many"));
  EXPECT_EQ(12, ProcessorCountFrom("12 cores"));

  EXPECT_EQ(std::vector<std::string>({"A", "B"}), SortedWithoutDuplicates({"B", "A", "A"}));
  EXPECT_EQ(std::vector<std::string>({"", "Defender", "a"}),
            SortedWithoutDuplicates({"a", "Defender", "", "Defender"}));
  EXPECT_EQ(std::vector<std::string>({"Z", "\xe9"}), SortedWithoutDuplicates({"\xe9", "Z"}));
}

TEST(ProbesFacts, WindowsEightOrLater) {
  struct Case {
    int major, minor;
    bool later;
  };
  const std::vector<Case> cases = {{6, 1, false}, {6, 2, true},  {6, 3, true},  {10, 0, true},
                                   {11, 0, true}, {5, 1, false}, {7, 0, false}, {9, 9, false},
                                   {0, 0, false}, {6, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    EXPECT_EQ(c.later, IsWindows8OrLater(c.major, c.minor));
  }
}

}  // namespace
}  // namespace orvex
