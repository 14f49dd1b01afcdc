// orvex-sysinfo: what the installer sees of the machine it runs on.
//
//   orvex-sysinfo                     the system information report of the crash report
//   orvex-sysinfo --profile [--upgrade-code {GUID}]...
//                                     the machine as a profile for the simulated machine
//                                     (platform/sim/README.md); upgrade codes help attach
//                                     upgrade codes to installed products
//   orvex-sysinfo --record            the system information record and what the eight
//                                     information modules write, as JSON (messages of the
//                                     virtualization check go to standard error)
//
// People who write installation configurations capture a user's machine with --profile and
// replay it with the host build (ORVEX_SIM_MACHINE=profile.json). --record prints the same
// facts on both sides, so a replay can be compared with the real machine.
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/module_table.h"
#include "app/system_report.h"
#include "base/json_text.h"
#include "base/text.h"
#include "tools/sysinfo/profile_recorder.h"
#include "tools/sysinfo/system_record.h"

namespace {

#ifdef _WIN32
int DuplicateFd(int fd) { return _dup(fd); }
void ReplaceFd(int from, int to) { _dup2(from, to); }
void CloseFd(int fd) { _close(fd); }
#else
int DuplicateFd(int fd) { return dup(fd); }
void ReplaceFd(int from, int to) { dup2(from, to); }
void CloseFd(int fd) { close(fd); }
#endif

int Usage() {
  std::fprintf(stderr, "usage: orvex-sysinfo [--profile [--upgrade-code {GUID}]... | --record]\n");
  return 2;
}

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// The virtualization check writes its driver messages to standard output; while the record is
// gathered they go to standard error, so that standard output holds the JSON alone.
class StdoutToStderr {
 public:
  StdoutToStderr() {
    std::fflush(stdout);
    saved_ = DuplicateFd(1);
    if (saved_ >= 0) ReplaceFd(2, 1);
  }
  ~StdoutToStderr() {
    std::fflush(stdout);
    if (saved_ < 0) return;
    ReplaceFd(saved_, 1);
    CloseFd(saved_);
  }
  StdoutToStderr(const StdoutToStderr&) = delete;
  StdoutToStderr& operator=(const StdoutToStderr&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  orvex::RegisterModuleTable();
#ifdef _WIN32
  // The report's line ends are "\n" exactly; text mode would turn them into "\r\n".
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (argc == 1) {
    Print(orvex::BuildSystemReport());
    return 0;
  }
  if (std::strcmp(argv[1], "--record") == 0 && argc == 2) {
    Json::Value record;
    {
      StdoutToStderr diverted;
      record = orvex::sysinfo::RecordInstallerView();
    }
    Print(orvex::StyledJson(record));
    return 0;
  }
  if (std::strcmp(argv[1], "--profile") != 0) return Usage();
  orvex::sysinfo::RecordOptions options;
  for (int i = 2; i < argc; i += 2) {
    if (std::strcmp(argv[i], "--upgrade-code") != 0 || i + 1 >= argc) return Usage();
    options.upgradeCodes.push_back(orvex::Utf8ToWide(argv[i + 1]));
  }
  Print(orvex::StyledJson(orvex::sysinfo::RecordMachineProfile(options)));
  return 0;
}
