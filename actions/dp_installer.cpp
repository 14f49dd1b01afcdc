#include "actions/dp_installer.h"

#include <memory>

#include "actions/zip_extract.h"
#include "common/dialog_cells.h"
#include "base/json_text.h"
#include "engine/progress.h"
#include "base/text.h"
#include "engine/value_path.h"
#include "platform/process_launch.h"

namespace orvex {

namespace {

constexpr uint32_t kPackageFailed = 0x80000000u;
constexpr uint32_t kRestartNeeded = 0x40000000u;
constexpr uint32_t kInstalledCountMask = 0xFFu;

// Where a path argument reaches a command line in quotes, a quote of its own would end them
// early and let the rest pass as further options.
bool HasQuote(const std::string& text) { return text.find('"') != std::string::npos; }

// The restart flag's place in the document: "is_restart" as written, not resolved. Empty when
// it is missing, not a text or a path without steps; the flag is then stored nowhere (such a
// path would address the whole document).
std::string RestartFlagPath(const Json::Value& args) {
  const Json::Value& given = Member(args, "is_restart");
  // "." and ".." have no step either: they too address the whole document.
  if (!given.isString() || ParsePath(given.asString()).empty()) return std::string();
  return given.asString();
}

}  // namespace

int DecodeDpinstExitCode(uint32_t code, bool* restart) {
  *restart = false;
  if (code & kPackageFailed) return -1;
  if ((code & kInstalledCountMask) == 0) return -1;
  *restart = (code & kRestartNeeded) != 0;
  return 0;
}

std::wstring DpinstParameters(const std::string& driverFolder) {
  std::string folder = driverFolder;
  while (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return Utf8ToWide("/F /LM /Q /PATH \"" + folder + "\"");
}

int RunDpinst(const std::string& dpinstPath, const std::string& archivePath,
              const std::string& destDir, const std::string& dirSuffix, bool* restart,
              uint32_t waitMilliseconds, bool* timedOut) {
  *restart = false;
  if (timedOut) *timedOut = false;
  if (HasQuote(dpinstPath) || HasQuote(destDir) || HasQuote(dirSuffix)) return -1;
  // dpinst on a folder that did not unpack would install whatever an earlier run left there.
  if (!ExtractZip(archivePath, destDir)) return -1;
  platform::ProgramLaunch launch;
  launch.file = Utf8ToWide("\"" + dpinstPath + "\"");
  launch.parameters = DpinstParameters(destDir + "\\" + dirSuffix);
  launch.showCommand = platform::kShowMaximized;
  std::unique_ptr<platform::IStartedProcess> process = platform::StartProgram(launch, nullptr);
  if (!process) return -1;
  // An unread code would read as STILL_ACTIVE (0x103): "3 packages installed".
  uint32_t code = 0;
  const platform::WaitResult end = process->WaitForExit(waitMilliseconds);
  if (end == platform::WaitResult::kTimedOut && timedOut) *timedOut = true;
  if (end != platform::WaitResult::kExited || !process->ExitCode(&code)) return -1;
  return DecodeDpinstExitCode(code, restart);
}

int CDPInstaller::Execute(Json::Value& doc) {
  uint32_t waitMilliseconds = 0;
  std::string invalidLimit;
  if (!ReadWaitLimit(args, kDriverInstallerWaitSeconds, &waitMilliseconds, &invalidLimit)) {
    RecordResult(doc, "fatal", invalidLimit, "INVALID_TIMEOUT");
    return -1;
  }

  const std::string dpinstDir = ResolveStringArg(Member(args, "dpinst_dir"), doc);
  const std::string srcDir = ResolveStringArg(Member(args, "src_dir"), doc);
  const std::string srcFile = ResolveStringArg(Member(args, "src_file"), doc);
  const std::string destDir = ResolveStringArg(Member(args, "dest_dir"), doc);
  const std::string dirSuffix = ResolveStringArg(Member(args, "dir_suffix"), doc);
  const std::string restartPath = RestartFlagPath(args);
  // The flag needs a place the run may write to before a driver is installed: not the
  // running stage's record, its status or a module's record, not inside a text or a number.
  if (!restartPath.empty() && !MayStore(doc, MakePath(doc, restartPath), Json::Value(false))) {
    RecordResult(doc, "failed", "Not able to store a value at " + restartPath,
                 "PATH_NOT_WRITABLE");
    return -1;
  }

  const std::string dpinstPath = dpinstDir + "\\" + "dpinst.exe";
  const std::string archivePath = srcDir + "\\" + srcFile;
  // An empty directory would put the work in the root of the current drive.
  const bool argumentsGiven = !dpinstDir.empty() && !srcDir.empty() && !srcFile.empty() &&
                              !destDir.empty() && !dirSuffix.empty();

  if (progress) progress->SetDetail("DP Installing " + archivePath);
  EnableMainDialogCancel(false);
  bool restart = false;
  bool timedOut = false;
  const int result = argumentsGiven ? RunDpinst(dpinstPath, archivePath, destDir, dirSuffix,
                                                &restart, waitMilliseconds, &timedOut)
                                    : -1;
  if (result != 0 && timedOut) {
    RecordResult(doc, "failed", DidNotFinishText("dpinst.exe", waitMilliseconds),
                 "PROGRAM_TIMEOUT");
  } else if (result != 0) {
    RecordResult(doc, "failed", "Unable to install " + archivePath, "");
  }
  if (result != 0) {
    if (progress) progress->Prompt("Could not install driver.", "Ok", "", "Please try again later.", 2);
    EnableMainDialogCancel(true);
    return -1;
  }
  const bool stored =
      restartPath.empty() || Store(doc, MakePath(doc, restartPath), restart, restartPath);
  EnableMainDialogCancel(true);
  return stored ? 0 : -1;
}

}  // namespace orvex
