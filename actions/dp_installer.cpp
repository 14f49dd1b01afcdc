#include "actions/dp_installer.h"

#include <cstdio>
#include <memory>

#include "actions/zip_extract.h"
#include "base/json_text.h"
#include "base/text.h"
#include "common/session_cells.h"
#include "engine/progress.h"
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

std::string DescribeDpinstExitCode(uint32_t code) {
  char hex[11];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  std::string words = std::string("dpinst.exe ended with exit code ") + hex + ": " +
                      std::to_string(code & kInstalledCountMask) + " driver packages installed, " +
                      std::to_string((code >> 8) & 0xFFu) + " only copied to the driver store, " +
                      std::to_string((code >> 16) & 0xFFu) + " could not be installed";
  if (code & kPackageFailed) words += ", a package failed";
  if (code & kRestartNeeded) words += ", a restart is needed";
  return words;
}

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
              uint32_t waitMilliseconds, bool* timedOut, std::string* failure) {
  std::string ignored;
  if (!failure) failure = &ignored;
  *restart = false;
  if (timedOut) *timedOut = false;
  if (HasQuote(dpinstPath) || HasQuote(destDir) || HasQuote(dirSuffix)) {
    *failure = "A folder of the driver holds a double quote";
    return -1;
  }
  // dpinst on a folder that did not unpack would install whatever an earlier run left there.
  if (!ExtractZip(archivePath, destDir)) {
    *failure = "The driver archive " + archivePath + " could not be unpacked into " + destDir;
    return -1;
  }
  platform::ProgramLaunch launch;
  launch.file = Utf8ToWide("\"" + dpinstPath + "\"");
  launch.parameters = DpinstParameters(destDir + "\\" + dirSuffix);
  launch.showCommand = platform::kShowMaximized;
  uint32_t startError = 0;
  std::unique_ptr<platform::IStartedProcess> process = platform::StartProgram(launch, &startError);
  if (!process) {
    *failure =
        dpinstPath + " could not be started (Windows error " + std::to_string(startError) + ")";
    return -1;
  }
  // An unread code would read as STILL_ACTIVE (0x103): "3 packages installed".
  uint32_t code = 0;
  const platform::WaitResult end = process->WaitForExit(waitMilliseconds);
  if (end == platform::WaitResult::kTimedOut) {
    if (timedOut) *timedOut = true;
    *failure = DidNotFinishText("dpinst.exe", waitMilliseconds);
    return -1;
  }
  if (end != platform::WaitResult::kExited || !process->ExitCode(&code)) {
    *failure = dpinstPath + " was started but its end could not be waited for";
    return -1;
  }
  if (DecodeDpinstExitCode(code, restart) != 0) {
    *failure = DescribeDpinstExitCode(code);
    return -1;
  }
  return 0;
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
    RecordResult(doc, "failed", "Not able to store a value at " + restartPath, "PATH_NOT_WRITABLE");
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
  std::string failure = "The driver's folders and archive are not all given";
  const int result = argumentsGiven ? RunDpinst(dpinstPath, archivePath, destDir, dirSuffix,
                                                &restart, waitMilliseconds, &timedOut, &failure)
                                    : -1;
  if (result != 0 && timedOut) {
    RecordResult(doc, "failed", DidNotFinishText("dpinst.exe", waitMilliseconds),
                 "PROGRAM_TIMEOUT");
  } else if (result != 0) {
    // The report sends "error" as the failure's reason: what dpinst or the unpacking did.
    RecordResult(doc, "failed", "Unable to install " + archivePath, failure);
  }
  if (result != 0) {
    if (progress)
      progress->Prompt("Could not install driver.", "Ok", "", "Please try again later.", 2);
    EnableMainDialogCancel(true);
    return -1;
  }
  const bool stored =
      restartPath.empty() || Store(doc, MakePath(doc, restartPath), restart, restartPath);
  EnableMainDialogCancel(true);
  return stored ? 0 : -1;
}

}  // namespace orvex
