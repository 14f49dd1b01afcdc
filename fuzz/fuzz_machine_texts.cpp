// What the machine reports about itself, read by the system inspection: disk and BIOS serials,
// PNP device ids, driver and OS version texts, adapter captions, product versions. The input
// is split at line feeds into those fields; each reader must stay within its text and give a
// result of the documented kind.

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "probes/graphics_classification.h"
#include "probes/info_layouts.h"
#include "probes/record_facts.h"
#include "probes/serial_numbers.h"
#include "probes/system_info.h"
#include "probes/version_number.h"

namespace {

std::vector<std::string> Fields(const std::string& text, std::size_t count) {
  std::vector<std::string> fields(count);
  std::size_t field = 0;
  for (char c : text) {
    if (c == '\n' && field + 1 < count) {
      ++field;
      continue;
    }
    fields[field].push_back(c);
  }
  return fields;
}

void Check(bool holds) {
  if (!holds) std::abort();
}

bool OneOf(const std::string& value, const std::vector<std::string>& allowed) {
  for (const std::string& candidate : allowed)
    if (value == candidate) return true;
  return false;
}

bool LettersAndDigitsOnly(const std::string& text) {
  for (unsigned char c : text)
    if (c >= 0x80 || !std::isalnum(c)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvex;
  const std::vector<std::string> f = Fields(fuzz::Text(data, size), 6);

  const std::string disk = CleanDiskSerial(f[0]);
  Check(disk.size() <= f[0].size());
  Check(DecodeHexSerial(f[0]).size() <= f[0].size() / 2);
  Check(LettersAndDigitsOnly(CleanBiosSerial(f[1], f[0])));

  VideoControllerProperties controller{f[2], f[3], f[4], f[5]};
  const GpuInfo gpu = DescribeVideoController(controller);
  Check(OneOf(gpu.manufacturer, {"INTEL", "NVIDIA", "ATI", "UNKNOWN"}));
  Check(OneOf(gpu.driverProvider, {"INTEL", "ATI", "NVIDIA", "MICROSOFT", ""}));
  Check(gpu.vendorId.size() <= f[5].size() && gpu.deviceId.size() <= f[5].size());

  int major = 0, minor = 0;
  ParseMajorMinor(f[4], &major, &minor);
  (void)ArchitectureClass(f[1]);
  (void)ProcessorCountFrom(f[2]);

  ProductProperties product{f[0], f[1], f[2], f[3], f[4]};
  const Json::Value layout = ProductLayout(product);
  Check(layout["build"].isInt() && layout["sub_minor_version"].isInt());
  return 0;
}
