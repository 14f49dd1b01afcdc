// The WMI connection's reading rules on a simulated machine: typed property reads, the first
// of several rows, associations, and the empty answers of a connection that failed.

#include "probes/wmi_connection.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/machine.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

class ProbesWmi : public ::testing::Test {
 protected:
  ProbesWmi()
      : machine_(J(R"({"name": "wmi", "wmi": {"ROOT\\CIMV2": {
            "Win32_Processor": [{"Name": "first", "NumberOfCores": {"type": 19, "value": 4},
                                 "CurrentClockSpeed": 2400, "Flag": true, "Off": false,
                                 "Empty": null},
                                {"Name": "second"}],
            "Win32_ComputerSystem": [{"UserName": "DOM\\\u00e9\u0141x", "Model": 5}]}},
            "wmiAssociations": {"ROOT\\CIMV2": [
              {"object": "Win32_LogicalDisk.DeviceID='C:'",
               "assocClass": "Win32_LogicalDiskToPartition",
               "rows": [{"DeviceID": "Disk #0, Partition #1"}, {"Other": "x"},
                        {"DeviceID": 3}]}]}})")) {}
  sim::ScopedMachine machine_;
};

TEST_F(ProbesWmi, TypedReadsOfTheFirstRow) {
  CWmiConnection wmi;
  wmi.Connect(L"ROOT\\CIMV2");
  ASSERT_TRUE(wmi.IsConnected());
  WmiRow row = wmi.QueryFirst("Win32_Processor", "");
  ASSERT_NE(nullptr, row);
  EXPECT_EQ("first", CWmiConnection::GetString(row, "Name"));
  EXPECT_EQ(2400, CWmiConnection::GetInt(row, "CurrentClockSpeed"));
  EXPECT_EQ(0, CWmiConnection::GetInt(row, "NumberOfCores"));  // VT_UI2 is not VT_I4
  EXPECT_EQ(0, CWmiConnection::GetInt(row, "Name"));
  EXPECT_EQ(0, CWmiConnection::GetInt(row, "Missing"));
  EXPECT_TRUE(CWmiConnection::GetBool(row, "Flag"));
  EXPECT_FALSE(CWmiConnection::GetBool(row, "Off"));
  EXPECT_FALSE(CWmiConnection::GetBool(row, "VirtualizationFirmwareEnabled"));  // absent
  EXPECT_FALSE(CWmiConnection::GetBool(row, "Name"));
  EXPECT_EQ("", CWmiConnection::GetString(row, "Empty"));
  EXPECT_EQ("", CWmiConnection::GetString(row, "CurrentClockSpeed"));

  const WmiRow none;
  EXPECT_EQ(-1, CWmiConnection::GetInt(none, "CurrentClockSpeed"));
  EXPECT_FALSE(CWmiConnection::GetBool(none, "Flag"));
  EXPECT_EQ("", CWmiConnection::GetString(none, "Name"));

  EXPECT_EQ(2u, wmi.QueryAll("Win32_Processor", "").size());
  EXPECT_EQ(1u, wmi.QueryAll("Win32_Processor", "Name = 'second'").size());
  EXPECT_TRUE(wmi.QueryAll("Win32_Nothing", "").empty());
  EXPECT_EQ(nullptr, wmi.QueryFirst("Win32_Processor", "Name = 'third'"));
}

TEST_F(ProbesWmi, TextsComeBackInUtf8) {
  CWmiConnection wmi;
  wmi.Connect(L"ROOT\\CIMV2");
  // U+00E9 and U+0141 are two bytes each in UTF-8, not their low bytes E9 and 41.
  EXPECT_EQ("DOM\\\xc3\xa9\xc5\x81x", wmi.GetValue("Win32_ComputerSystem", "UserName", ""));
  EXPECT_EQ(L"DOM\\\u00e9\u0141x", wmi.GetValue(L"Win32_ComputerSystem", L"UserName", L""));
  EXPECT_EQ("", wmi.GetValue("Win32_ComputerSystem", "Model", ""));
  EXPECT_EQ("", wmi.GetValue("Win32_Nothing", "Model", ""));
}

TEST_F(ProbesWmi, AssociatedValueIsTheLastStringOfTheRows) {
  CWmiConnection wmi;
  wmi.Connect(L"ROOT\\CIMV2");
  EXPECT_EQ("Disk #0, Partition #1",
            wmi.GetAssociatedValue("Win32_LogicalDisk.DeviceID='C:'",
                                   "Win32_LogicalDiskToPartition", "DeviceID"));
  EXPECT_EQ("", wmi.GetAssociatedValue("Win32_LogicalDisk.DeviceID='D:'",
                                       "Win32_LogicalDiskToPartition", "DeviceID"));
}

TEST_F(ProbesWmi, FailedConnectionGivesEmptyAnswers) {
  CWmiConnection wmi;
  wmi.Connect(L"root\\NoSuchNamespace");
  EXPECT_FALSE(wmi.IsConnected());
  EXPECT_EQ(nullptr, wmi.QueryFirst("Win32_Processor", ""));
  EXPECT_TRUE(wmi.QueryAll("Win32_Processor", "").empty());
  EXPECT_EQ("", wmi.GetValue("Win32_Processor", "Name", ""));
  EXPECT_EQ(L"", wmi.GetValue(L"Win32_Processor", L"Name", L""));
  EXPECT_EQ("", wmi.GetAssociatedValue("Win32_LogicalDisk.DeviceID='C:'",
                                       "Win32_LogicalDiskToPartition", "DeviceID"));
  wmi.Close();
  wmi.Close();  // harmless
}

}  // namespace
}  // namespace orvex
