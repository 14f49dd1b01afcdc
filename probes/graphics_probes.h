#pragma once
// The graphics part of the system information record: the PCI video controllers and the
// OpenGL strings.

#include <string>
#include <vector>

#include "probes/gpu_info.h"

namespace orvex {

// The PCI video controllers in WMI order (possibly none), on their own WMI connection.
std::vector<GpuInfo> ProbeVideoControllers();

}  // namespace orvex
