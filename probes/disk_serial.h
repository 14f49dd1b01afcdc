#pragma once
// The serial number of the disk that holds the system drive.

#include <string>

namespace orvex {

// Follows the system drive to its partition and its disk drive over WMI associations, reads
// the drive's SerialNumber and cleans it (CleanDiskSerial). "" when any link is missing.
std::string ReadDiskSerial(const std::string& systemDrive);

}  // namespace orvex
