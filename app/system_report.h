#pragma once
// The plain-text system information report of the crash report ("systeminfo"): the system
// information record and a few extra facts, one labelled line each, "\n" line ends.

#include <string>

#include "probes/system_info.h"
#include "probes/virtualization.h"

namespace orvex {

// The facts the report prints besides the system information record.
struct ReportExtras {
  VtStatus vt;                   // printed only where ReportShowsVirtualization holds
  std::string installedVersion;  // Win32_Product "Version" of Orvex; "" leaves the line out
  std::string installDir;
  std::string userDataDir;
  std::string vmHomePath;  // ORVEX_ORVEXVM_USER_HOME
};

// Windows 8 (6.2) and later: the report runs the virtualization check and prints its lines.
bool ReportShowsVirtualization(int osMajor, int osMinor);

// The report text for a record and its extras; no probing.
std::string FormatSystemReport(const CSystemInfo& info, const ReportExtras& extras);

// The report for the machine the process runs on: the cached system information record, and
// as extras the virtualization check (no driver directory; only where it is printed), the
// installed product's version from WMI, the installation paths from the registry and the
// virtual machine's home folder from the environment.
std::string BuildSystemReport();

}  // namespace orvex
