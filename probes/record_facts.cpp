#include "probes/record_facts.h"

#include <algorithm>
#include <cstdio>

namespace orvex {

std::string ArchitectureClass(const std::string& osArchitecture) {
  return osArchitecture.find("64") != std::string::npos ? "x64" : "x86";
}

int ProcessorCountFrom(const std::string& text) {
  int count = 0;
  if (std::sscanf(text.c_str(), "%d", &count) != 1) return 0;
  return count;
}

bool IsWindows8OrLater(int osMajor, int osMinor) {
  return (osMajor == 6 && osMinor >= 2) || osMajor >= 10;
}

std::vector<std::string> SortedWithoutDuplicates(std::vector<std::string> texts) {
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  return texts;
}

}  // namespace orvex
