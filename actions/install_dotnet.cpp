#include "actions/install_dotnet.h"

#include <memory>

#include "base/text.h"
#include "engine/install_plan.h"
#include "engine/value_path.h"
#include "platform/process_launch.h"

namespace orvex {

int CInstallDOTNET::Execute(Json::Value& doc) {
  const std::string sessionDir = GetStringByPath(doc, ".SessionDir");
  const std::string setupPath = sessionDir + "\\" + "dotnet_setup.exe";
  // Without a session directory the path would name the root of the current drive.
  std::unique_ptr<platform::IStartedProcess> process;
  if (!sessionDir.empty() && sessionDir.find('"') == std::string::npos) {
    platform::ProgramLaunch launch;
    launch.file = Utf8ToWide("\"" + setupPath + "\"");
    launch.showCommand = platform::kShowMaximized;
    process = platform::StartProgram(launch, nullptr);
  }
  if (!process) {
    RecordResult(doc, "failed", "Unable to start " + setupPath, "");
    return -1;
  }
  // The setup goes on after the installer ends; only the handle is closed.
  process.reset();
  if (plan) plan->abortMessage = "Run this installer after .NET installation is complete";
  return -1;
}

}  // namespace orvex
