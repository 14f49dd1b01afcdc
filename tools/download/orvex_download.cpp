// orvex-download [--sha256 HEX] URL DEST: fetches URL into DEST with the installer's
// segmented download and prints the number of bytes written. With --sha256 the file is put in
// place only when its SHA-256 is HEX. A download that was cut resumes where it stopped when
// run again with the same URL and DEST. Exit status 0 on success; on failure 1, with the
// error's description on standard error (2 for a usage error or a malformed digest). Used by
// scripts/bench-download and for trials against a server by hand. The host build writes through the
// simulated machine: DEST is a Windows path there ("C:\\x.bin" is $ORVEX_SIM_ROOT/C/x.bin).
#include <cstdio>
#include <exception>
#include <string>

#include "actions/segmented_download.h"
#include "base/text.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: orvex-download [--sha256 HEX] URL DEST\n");
  return 2;
}

// pinned: --sha256 was given, and sha256 must be a digest (an empty one is no digest: it
// would check nothing).
int Download(const std::string& url, const std::wstring& destination, bool pinned,
             const std::string& sha256) {
  // Checked before any request, as the installer does.
  if (pinned && orvex::NormalizeSha256(sha256).empty()) {
    std::fprintf(stderr, "orvex-download: --sha256 needs 64 hexadecimal digits\n");
    return 2;
  }
  try {
    orvex::CHttpDownload download(url, destination, nullptr, L"INSTALLER");
    if (pinned && !download.ExpectSha256(sha256)) return 2;
    const uint32_t written = download.Run();
    std::printf("%lu\n", static_cast<unsigned long>(written));
    return 0;
  } catch (const orvex::CHttpDownloadEx& error) {
    std::fprintf(stderr, "orvex-download: %s\n", orvex::DescribeDownloadError(error).c_str());
    // A refused certificate's sentence (a hash mismatch's digests are in the description).
    if (!error.text.empty() && error.code != orvex::CHttpDownloadEx::kHashMismatch)
      std::fprintf(stderr, "orvex-download: %s\n", error.text.c_str());
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
  if (argc == 5 && std::wstring(argv[1]) == L"--sha256")
    return Download(orvex::WideToUtf8(argv[3]), argv[4], true, orvex::WideToUtf8(argv[2]));
  if (argc != 3) return Usage();
  return Download(orvex::WideToUtf8(argv[1]), argv[2], false, "");
}
#else
// Arguments arrive as the bytes the shell was given: UTF-8, like the simulated machine's
// paths. (std::filesystem would decode them with the C locale and throw on "é".)
int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--sha256")
    return Download(argv[3], orvex::Utf8ToWide(argv[4]), true, argv[2]);
  if (argc != 3) return Usage();
  return Download(argv[1], orvex::Utf8ToWide(argv[2]), false, "");
}
#endif
