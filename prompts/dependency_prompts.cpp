#include "prompts/dependency_prompts.h"

#include "common/web_service.h"
#include "engine/value_path.h"
#include "probes/knowledge_base.h"
#include "prompts/prompt_reads.h"
#include "prompts/snippets.h"

namespace orvex {

namespace {

// Recorded when the modules to inject cannot be made: nothing was injected.
constexpr const char* kInjectionFailed = "MODULE_INJECTION_FAILED";

}  // namespace

int CCheckPromptDOTNET::Execute(Json::Value& doc) {
  if (!ConfigFlag(doc, ".InstallConfig.system.dotnet.prompt")) return 0;
  if (Ask(progress, "You need .NET version 4.0 or above to run Orvex. Do you want to install it?",
          "Yes", "Abort",
          "This is a mandatory step. Orvex will not install without .NET 4.0 or above.", 2) != 1) {
    Record(doc)["error"] = "DOTNET_INSTALL_ABORTED";
    return -1;
  }
  // .NET is mandatory: without a session directory to download it into, the run cannot go on.
  const Json::Value& sessionDir = FindPath(doc, ".SessionDir");
  if (!sessionDir.isString() || sessionDir.asString().empty()) {
    Record(doc)["error"] = "DOTNET_SESSION_DIR_MISSING";
    return -1;
  }
  if (Ask(progress, "This would launch the .NET installer which may require a restart.", "Continue",
          "Abort", "Please run this installer again once the system is restarted.", 0) != 1) {
    Record(doc)["error"] = "DOTNET_RESTART_ABORTED";
    return -1;
  }
  const std::vector<InjectedModule> modules{
      {kDotNetDownloadSnippet, kDownloadUrlPlaceholder, GetDownloadBaseUrl()},
      {kDotNetExtractionSnippet, "", ""},
      {kDotNetInstallationSnippet, "", ""},
  };
  if (InjectModules(modules, [](IModule* failed, const std::vector<IModule*>&) {
        return AlwaysFail(failed);
      }) != 0) {
    Record(doc)["error"] = kInjectionFailed;
    return -1;
  }
  return 0;
}

int CCheckPromptGPUDriver::Execute(Json::Value& doc) {
  const bool prompt = ConfigFlag(doc, ".InstallConfig.display.driver.prompt");
  const bool must = ConfigFlag(doc, ".InstallConfig.display.driver.installmust");
  if (!prompt && !must) return 0;
  if (must && !prompt) {
    if (Ask(progress,
            "You need to upgrade your Graphics driver inorder to successfully install Orvex.",
            "Help", "Abort", "Press Help to know more about this error.", 2) == 1) {
      OpenKnowledgeBaseArticle("upgradegraphicsdriver");
      Record(doc)["error"] = "NO_GRAPHICS_UPDATE_HELP";
    } else {
      Record(doc)["error"] = "NO_GRAPHICS_UPDATE_ABORTED";
    }
    return -1;
  }
  if (must) {
    if (Ask(progress,
            "You need to upgrade your Graphics driver inorder to successfully install Orvex. Do "
            "you want to upgrade it ?",
            "Yes", "Abort",
            "This is a mandatory step. Orvex will not install without graphics driver upgrade.",
            1) != 1) {
      Record(doc)["error"] = "GRAPHICS_UPDATE_MUST_ABORTED";
      return -1;
    }
    return InjectDriverUpdate(doc);
  }
  if (Ask(progress, "Your Graphics driver seems to be outdated. Do you want to upgrade it ?", "Yes",
          "Skip", "You can skip this step, but some applications may not run properly in Orvex.",
          1) != 1)
    return 0;
  return InjectDriverUpdate(doc);
}

int CCheckPromptGPUDriver::InjectDriverUpdate(Json::Value& doc) {
  const std::vector<InjectedModule> modules{
      {kDriverAddressQuerySnippet, kServerUrlPlaceholder, GetBaseUrl()},
      {kDriverDownloadSnippet, "", ""},
      {kDriverInstallationSnippet, "", ""},
  };
  CStage* owner = stage;
  if (InjectModules(modules, [owner](IModule* failed, const std::vector<IModule*>& injected) {
        return GpuFailureHandler(failed, owner, injected);
      }) != 0) {
    Record(doc)["error"] = kInjectionFailed;
    return -1;
  }
  return 0;
}

int CCheckPromptVT::Execute(Json::Value& doc) {
  if (!ConfigFlag(doc, ".InstallConfig.vt.prompt")) return 0;
  if (Ask(progress, "VT is not enabled. Do you want me to show how to enable it ?", "Yes", "Skip",
          "You can skip this step, but may have some performance issues.", 1) != 1)
    return 0;
  OpenKnowledgeBaseArticle("enablevt");
  if (Ask(progress, "Do you want to exit this installation to enable VT ?", "Yes", "Continue",
          "You can resume this installation after enabling VT in the BIOS", 0) == 1) {
    Record(doc)["error"] = "EXIT_TO_ENABLE_VT";
    return -1;
  }
  return 0;
}

}  // namespace orvex
