// Cabinet extraction over arbitrary bytes: the simulated machine's FDI (libmspack) reads the
// input as a cabinet and the extraction's callbacks decide where each entry goes. Besides
// crashes it checks that nothing is written anywhere in the sandbox but the destination folder.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <stdlib.h>

#include "actions/cabinet.h"
#include "fuzz/fuzz_support.h"
#include "platform/sim/machine.h"

namespace {

namespace fs = std::filesystem;

const std::string& Sandbox() {
  static const std::string root = [] {
    char pattern[] = "/tmp/orvex-fuzz-cab-XXXXXX";
    const std::string made = mkdtemp(pattern) ? pattern : "/tmp/orvex-fuzz-cab";
    orvex::sim::SetSandboxRoot(made);
    return made;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvex;
  const std::string& root = Sandbox();
  const std::wstring work = L"C:\\work";
  const std::wstring destination = L"C:\\work\\out";
  std::error_code ignored;
  fs::remove_all(root + "/C/work", ignored);
  fs::create_directories(sim::HostPath(destination), ignored);
  {
    std::ofstream cabinet(sim::HostPath(work + L"\\input.cab"), std::ios::binary);
    cabinet.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CCabinet cabinet(work + L"\\input.cab", destination);
  const int result = cabinet.Extract();
  if (result != 0 && result != -1) std::abort();
  if (result == -1 && cabinet.LastError().empty()) std::abort();

  // Every file lies in the destination folder, or is the cabinet itself.
  const fs::path out = sim::HostPath(destination);
  const fs::path input = sim::HostPath(work + L"\\input.cab");
  for (auto it = fs::recursive_directory_iterator(root, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored)) continue;
    const fs::path found = it->path();
    if (found == input) continue;
    if (found.parent_path() != out) std::abort();
  }
  return 0;
}
