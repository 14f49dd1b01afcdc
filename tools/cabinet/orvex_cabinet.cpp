// orvex-cabinet DESTINATION CABINET...: extracts each cabinet with the installer's own
// extraction (CCabinet over FDI: Cabinet.dll on Windows, the simulated machine's FDI on the
// host) into DESTINATION\<the cabinet's file name>, a folder it creates, and prints one line
// per cabinet: its file name, a tab, and "ok" or FDI's error text. Paths are Windows paths
// (the host build maps them into the simulated machine's sandbox). scripts/cabinet-parity.sh
// runs it in both builds and compares. Exit status 0 when every line was printed, 2 on bad
// arguments or a destination that cannot be made.
#include <cstdio>
#include <string>

#include "actions/cabinet.h"
#include "base/text.h"
#include "platform/files.h"

namespace {

std::wstring FileNameOf(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// The folder and its parents; true when it exists afterwards.
bool MakeFolders(const std::wstring& folder) {
  for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
       at = folder.find(L'\\', at + 1)) {
    // Parents that exist already fail with ERROR_ALREADY_EXISTS; the last check tells.
    (void)orvex::platform::MakeDirectory(folder.substr(0, at), nullptr);
  }
  uint32_t error = 0;
  return orvex::platform::MakeDirectory(folder, &error) || orvex::platform::PathExists(folder);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: orvex-cabinet DESTINATION CABINET...\n");
    return 2;
  }
  const std::wstring destination = orvex::Utf8ToWide(argv[1]);
  if (!MakeFolders(destination)) {
    std::fprintf(stderr, "orvex-cabinet: cannot make %s\n", argv[1]);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const std::wstring cabinet = orvex::Utf8ToWide(argv[i]);
    const std::wstring name = FileNameOf(cabinet);
    const std::wstring folder = destination + L"\\" + name;
    if (!MakeFolders(folder)) {
      std::fprintf(stderr, "orvex-cabinet: cannot make %s\n", orvex::WideToUtf8(folder).c_str());
      return 2;
    }
    orvex::CCabinet extraction(cabinet, folder);
    const bool extracted = extraction.Extract() == 0;
    std::printf("%s\t%s\n", orvex::WideToUtf8(name).c_str(),
                extracted ? "ok" : extraction.LastError().c_str());
    std::fflush(stdout);
  }
  return 0;
}
