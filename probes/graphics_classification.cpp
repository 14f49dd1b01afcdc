#include "probes/graphics_classification.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace orvex {

namespace {

// Each provider's words, searched in this order anywhere in the caption, also inside words
// ("Corporation" contains "ati"), with ASCII letters in either case: what the regular
// expressions ".*(intel)", ".*(ati)|(radeon)|(amd)", ... with icase found, without carrying a
// regular-expression engine for four fixed searches.
struct ProviderWords {
  const char* provider;
  std::vector<std::string> words;  // lower case
};

const std::vector<ProviderWords>& ProviderSearches() {
  static const std::vector<ProviderWords> searches = {
      {"INTEL", {"intel"}},
      {"ATI", {"ati", "radeon", "amd"}},
      {"NVIDIA", {"nvidia", "geforce"}},
      {"MICROSOFT", {"microsoft", "vga"}},
  };
  return searches;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsIgnoringAsciiCase(const std::string& text, const std::string& lowerWord) {
  const auto found =
      std::search(text.begin(), text.end(), lowerWord.begin(), lowerWord.end(),
                  [](char fromText, char fromWord) { return AsciiLower(fromText) == fromWord; });
  return found != text.end();
}

std::vector<std::string> SplitKeepingEmpty(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t found = text.find(separator, start);
    pieces.push_back(text.substr(start, found == std::string::npos ? found : found - start));
    if (found == std::string::npos) return pieces;
    start = found + 1;
  }
}

// text without its first count characters; "" when it is shorter.
std::string DropPrefix(const std::string& text, std::size_t count) {
  return text.size() > count ? text.substr(count) : std::string();
}

}  // namespace

std::string ClassifyDriverProvider(const std::string& caption) {
  for (const ProviderWords& entry : ProviderSearches())
    for (const std::string& word : entry.words)
      if (ContainsIgnoringAsciiCase(caption, word)) return entry.provider;
  return std::string();
}

std::string ClassifyVendorId(const std::string& vendorId) {
  if (vendorId == "8086" || vendorId == "8087" || vendorId == "163c") return "INTEL";
  if (vendorId == "10DE") return "NVIDIA";
  if (vendorId == "1002" || vendorId == "1022") return "ATI";
  return "UNKNOWN";
}

void SplitPnpDeviceId(const std::string& pnpDeviceId, std::string* vendorId,
                      std::string* deviceId) {
  if (pnpDeviceId.empty()) return;
  const std::vector<std::string> pieces = SplitKeepingEmpty(pnpDeviceId, '&');
  if (pieces.size() <= 2) return;
  *vendorId = DropPrefix(pieces[0], 8);  // PCI\VEN_
  *deviceId = DropPrefix(pieces[1], 4);  // DEV_
}

int DriverBuildNumber(const std::string& driverVersion) {
  const std::size_t last = driverVersion.rfind('.');
  if (last == std::string::npos) return 0;
  int number = 0;
  if (std::sscanf(driverVersion.c_str() + last + 1, "%d", &number) != 1) return 0;
  return number;
}

GpuInfo DescribeVideoController(const VideoControllerProperties& properties) {
  GpuInfo gpu;
  gpu.name = properties.videoProcessor.empty() ? properties.caption : properties.videoProcessor;
  gpu.driverVersion =
      properties.driverVersion.empty() ? properties.caption : properties.driverVersion;
  SplitPnpDeviceId(properties.pnpDeviceId, &gpu.vendorId, &gpu.deviceId);
  gpu.buildNum = DriverBuildNumber(gpu.driverVersion);
  gpu.driverProvider = ClassifyDriverProvider(properties.caption);
  gpu.manufacturer = ClassifyVendorId(gpu.vendorId);
  gpu.active = true;
  return gpu;
}

}  // namespace orvex
