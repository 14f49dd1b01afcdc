#include "prompts/closing_prompts.h"

#include "common/restart_flag.h"
#include "engine/progress.h"
#include "probes/knowledge_base.h"
#include "prompts/prompt_reads.h"
#include "prompts/snippets.h"

namespace orvex {

int CCheckPromptUninstallable::Execute(Json::Value& doc) {
  if (ConfigFlag(doc, ".InstallConfig.installer.install")) return 0;
  Record(doc)["error"] = ConfigText(doc, ".InstallConfig.installer.error");
  if (Ask(progress, ConfigText(doc, ".InstallConfig.installer.reason"), "Help", "Quit",
          "Press help to get more help", 2) == 1)
    OpenKnowledgeBaseArticle(ConfigText(doc, ".InstallConfig.installer.help"));
  return -1;
}

int CCheckPromptRestart::Execute(Json::Value& doc) {
  if (!ConfigFlag(doc, kRestartFlagPath)) return 0;
  // "Restart Later" is the accepting button, "Restart Now" the declining one.
  const PromptChoice choice =
      progress ? progress->PromptForChoice(
                     "You must restart  your system to complete Orvex installation.",
                     "Restart Later", "Restart Now", "Do you want to restart your system now?.", 0)
               : PromptChoice::kDismissed;
  if (choice != PromptChoice::kDeclined) return 0;
  if (InjectModules({{kRestartSnippet, "", ""}}, InjectedErrorHandler()) != 0) {
    Record(doc)["error"] = "MODULE_INJECTION_FAILED";
    return -1;
  }
  return 0;
}

}  // namespace orvex
