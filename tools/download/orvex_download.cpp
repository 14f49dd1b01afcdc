// orvex-download URL DEST: fetches URL into DEST with the installer's segmented download and
// prints the number of bytes written. Exit status 0 on success; on failure 1, with the
// error's description on standard error. Used by scripts/bench-download and for trials
// against a server by hand. The host build writes through the simulated machine: DEST is a
// Windows path there ("C:\\x.bin" is $ORVEX_SIM_ROOT/C/x.bin).
#include <cstdio>
#include <filesystem>
#include <string>

#include "actions/segmented_download.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: orvex-download URL DEST\n");
    return 2;
  }
  try {
    // The path class decodes the narrow argument the way the system's file names are encoded.
    const std::wstring destination = std::filesystem::path(argv[2]).wstring();
    orvex::CHttpDownload download(argv[1], destination, nullptr, L"INSTALLER");
    const uint32_t written = download.Run();
    std::printf("%lu\n", static_cast<unsigned long>(written));
    return 0;
  } catch (const orvex::CHttpDownloadEx& error) {
    std::fprintf(stderr, "orvex-download: %s\n", orvex::DescribeDownloadError(error).c_str());
    return 1;
  }
}
