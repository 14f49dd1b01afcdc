// orvex-download [--sha256 HEX] [--cache DIR] URL DEST: fetches URL into DEST with the
// installer's segmented download and prints the number of bytes written. With --sha256 the
// file is put in place only when its SHA-256 is HEX. With --cache (and --sha256) the download
// goes through the cache folder DIR as the installer's go through its machine-wide one: a
// download that was cut resumes there whatever DEST, a verified file there is put at DEST
// without a request; what the cache did is said on standard error. Without the cache a
// download that was cut resumes where it stopped when run again with the same URL and DEST.
// Exit status 0 on success; on failure 1, with the error's description on standard error (2
// for a usage error or a malformed digest). Used by scripts/bench-download and for trials
// against a server by hand. The host build writes through the simulated machine: DEST and DIR
// are Windows paths there ("C:\\x.bin" is $ORVEX_SIM_ROOT/C/x.bin).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "actions/cached_download.h"
#include "actions/segmented_download.h"
#include "base/text.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: orvex-download [--sha256 HEX] [--cache DIR] URL DEST\n");
  return 2;
}

struct Request {
  bool pinned = false;  // --sha256 was given: sha256 must be a digest
  std::string sha256;
  bool cached = false;  // --cache was given
  std::wstring cacheFolder;
  std::string url;
  std::wstring destination;
};

int Download(const Request& request) {
  // Checked before any request, as the installer does (an empty digest would check nothing).
  if (request.pinned && orvex::NormalizeSha256(request.sha256).empty()) {
    std::fprintf(stderr, "orvex-download: --sha256 needs 64 hexadecimal digits\n");
    return 2;
  }
  try {
    orvex::CCachedDownload download(request.url, request.destination,
                                    request.pinned ? request.sha256 : std::string(), nullptr,
                                    L"INSTALLER", request.cached ? request.cacheFolder : L"");
    const uint32_t written = download.Run();
    std::printf("%lu\n", static_cast<unsigned long>(written));
    if (request.cached)
      std::fprintf(stderr, "orvex-download: cache: %s\n", download.Note().c_str());
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

// Arguments as UTF-8; paths are converted once they are known to be paths.
int Run(const std::vector<std::string>& arguments) {
  Request request;
  std::size_t next = 0;
  while (next + 2 < arguments.size()) {
    if (arguments[next] == "--sha256" && !request.pinned) {
      request.pinned = true;
      request.sha256 = arguments[next + 1];
    } else if (arguments[next] == "--cache" && !request.cached) {
      request.cached = true;
      request.cacheFolder = orvex::Utf8ToWide(arguments[next + 1]);
    } else {
      return Usage();
    }
    next += 2;
  }
  if (arguments.size() - next != 2) return Usage();
  request.url = arguments[next];
  request.destination = orvex::Utf8ToWide(arguments[next + 1]);
  return Download(request);
}

}  // namespace

#ifdef _WIN32
// The wide command line: a destination in any script arrives whole, whatever the ANSI code
// page would have made of it.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(orvex::WideToUtf8(argv[i]));
  return Run(arguments);
}
#else
// Arguments arrive as the bytes the shell was given: UTF-8, like the simulated machine's
// paths. (std::filesystem would decode them with the C locale and throw on "é".)
int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return Run(arguments);
}
#endif
