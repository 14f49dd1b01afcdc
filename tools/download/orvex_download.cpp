// orvex-download URL DEST: fetches URL into DEST with the installer's segmented download and
// prints the number of bytes written. Exit status 0 on success; on failure 1, with the
// error's description on standard error. Used by scripts/bench-download and for trials
// against a server by hand. The host build writes through the simulated machine: DEST is a
// Windows path there ("C:\\x.bin" is $ORVEX_SIM_ROOT/C/x.bin).
#include <cstdio>
#include <exception>
#include <string>

#include "actions/segmented_download.h"
#include "base/text.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: orvex-download URL DEST\n");
  return 2;
}

int Download(const std::string& url, const std::wstring& destination) {
  try {
    orvex::CHttpDownload download(url, destination, nullptr, L"INSTALLER");
    const uint32_t written = download.Run();
    std::printf("%lu\n", static_cast<unsigned long>(written));
    return 0;
  } catch (const orvex::CHttpDownloadEx& error) {
    std::fprintf(stderr, "orvex-download: %s\n", orvex::DescribeDownloadError(error).c_str());
    if (!error.text.empty()) std::fprintf(stderr, "orvex-download: %s\n", error.text.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "orvex-download: %s\n", error.what());
  }
  return 1;
}

}  // namespace

#ifdef _WIN32
// The wide command line: a destination in any script arrives whole, whatever the ANSI code
// page would have made of it.
int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return Usage();
  return Download(orvex::WideToUtf8(argv[1]), argv[2]);
}
#else
// Arguments arrive as the bytes the shell was given: UTF-8, like the simulated machine's
// paths. (std::filesystem would decode them with the C locale and throw on "é".)
int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  return Download(argv[1], orvex::Utf8ToWide(argv[2]));
}
#endif
