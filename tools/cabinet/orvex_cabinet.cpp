// orvex-cabinet DESTINATION CABINET...: extracts each cabinet with the installer's own
// extraction (CCabinet over FDI: Cabinet.dll on Windows, the simulated machine's FDI on the
// host) into DESTINATION\<the cabinet's file name>, a folder it creates, and prints one line
// per cabinet: its file name, a tab, and "ok" or FDI's error text. Paths are Windows paths
// (the host build maps them into the simulated machine's sandbox). scripts/cabinet-parity.sh
// runs it in both builds and compares. Exit status 0 when every line was printed, 2 on bad
// arguments or a destination that cannot be made.
#include <cstdio>
#include <string>
#include <vector>

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

// args: the destination, then the cabinets, in UTF-8.
int ExtractCabinets(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: orvex-cabinet DESTINATION CABINET...\n");
    return 2;
  }
  const std::wstring destination = orvex::Utf8ToWide(args[0]);
  if (!MakeFolders(destination)) {
    std::fprintf(stderr, "orvex-cabinet: cannot make %s\n", args[0].c_str());
    return 2;
  }
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::wstring cabinet = orvex::Utf8ToWide(args[i]);
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

}  // namespace

#ifdef _WIN32
// The wide command line: names in any script arrive whole, whatever the ANSI code page would
// have made of them.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(orvex::WideToUtf8(argv[i]));
  return ExtractCabinets(args);
}
#else
// Arguments arrive as the bytes the shell was given: UTF-8, like the simulated machine's paths.
int main(int argc, char** argv) {
  return ExtractCabinets(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
