// Cabinet extraction over arbitrary bytes: the simulated machine's FDI (libmspack) reads the
// input as a cabinet and the extraction's callbacks decide where each entry goes. Besides
// crashes it checks that nothing is written anywhere in the sandbox but the destination folder.

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

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

std::set<fs::path> FilesBelow(const std::string& root, const fs::path& except) {
  std::set<fs::path> files;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(root, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    if (!it->is_directory(ignored) && it->path() != except) files.insert(it->path());
  }
  return files;
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
  // The machine's own files, found before the first extraction.
  static const std::set<fs::path> machineFiles = FilesBelow(root, fs::path());
  {
    std::ofstream cabinet(sim::HostPath(work + L"\\input.cab"), std::ios::binary);
    cabinet.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  CCabinet cabinet(work + L"\\input.cab", destination);
  const int result = cabinet.Extract();
  if (result != 0 && result != -1) std::abort();
  if (result == -1 && cabinet.LastError().empty()) std::abort();

  // Every file lies in the destination folder, is the cabinet itself, or was there before
  // (the machine's own files).
  const fs::path out = sim::HostPath(destination);
  const fs::path input = sim::HostPath(work + L"\\input.cab");
  for (const fs::path& found : FilesBelow(root, input)) {
    if (found.parent_path() != out && !machineFiles.count(found)) std::abort();
  }
  return 0;
}
