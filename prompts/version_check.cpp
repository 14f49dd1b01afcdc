#include "prompts/version_check.h"

#include <array>
#include <climits>
#include <string>

#include "base/json_text.h"
#include "base/text.h"
#include "engine/value_path.h"
#include "probes/desktop_backup.h"
#include "probes/product_lookup.h"
#include "prompts/process_check.h"
#include "prompts/prompt_reads.h"
#include "prompts/version_text.h"

namespace orvex {

namespace {

// An installed version number: only integer nodes count, clamped to int.
int VersionNumber(const Json::Value& product, const char* key) {
  const Json::Value& node = Member(product, key);
  if (node.isIntegral() && node.type() != Json::booleanValue) {
    if (node.type() == Json::uintValue)
      return node.asLargestUInt() > INT_MAX ? INT_MAX : static_cast<int>(node.asLargestUInt());
    const Json::LargestInt v = node.asLargestInt();
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
  }
  return 0;
}

// Versions up to 1.0.13 kept the product's shortcuts on the public desktop; the upgrade
// removes them and PostInstall puts the saved ones back.
bool NeedsDesktopBackup(const std::array<int, 3>& installed) {
  return installed[0] == 1 && installed[1] == 0 && installed[2] <= 13;
}

// The session folder is CreateInTempDir's, made for administrators only; a missing one is not
// made here, where it would get the user's rights.
void BackUpDesktopForSession(const Json::Value& doc) {
  const Json::Value& sessionDir = FindPath(doc, ".SessionDir");
  if (!sessionDir.isString() || sessionDir.asString().empty()) return;
  // The backup never fails the module.
  (void)BackUpPublicDesktop(Utf8ToWide(sessionDir.asString()));
}

}  // namespace

int CCheckPromptVersion::Stop(Json::Value& doc, const std::string& error) {
  Record(doc)["error"] = error;
  return -1;
}

int CCheckPromptVersion::Execute(Json::Value& doc) {
  const std::string versionText = CutVersionText(ConfigText(doc, ".InstallConfig.installer.url"));
  // Without a version every installed product would count as up to date, and a piece of the
  // address would be reported as the version installed.
  if (!IsVersionText(versionText)) {
    Ask(progress, "The version of Orvex to install could not be read.", "", "Quit",
        "Kindly contact to support for further assistance.", 2);
    return Stop(doc, "ORVEX_VERSION_UNREADABLE");
  }
  if (Json::Value* written = MakePath(doc, ".Config.installer.orvexversion"))
    *written = versionText;
  const std::array<int, 4> offered = ParseVersionText(versionText);

  const Json::Value& product = FindPath(doc, ".Config.product");
  if (Member(product, "name").isNull()) return 0;
  const std::array<int, 3> installed{VersionNumber(product, "major_version"),
                                     VersionNumber(product, "minor_version"),
                                     VersionNumber(product, "sub_minor_version")};
  if (!IsOlderVersion(installed, offered)) {
    Ask(progress, "Your version of Orvex is already up to date.", "", "Quit", "", 0);
    return Stop(doc, "ORVEX_UPTODATE");
  }
  if (CheckLighterEdition(doc) != 0) return -1;

  if (Ask(progress, "You already have an older version of Orvex installed on your System.",
          "Upgrade", "Abort", "Do you want to upgrade it ?", 0) != 1)
    return Stop(doc, "ORVEX_UPGRADE_ABORTED");
  if (IsProcessRunning(kProductExecutable, false)) {
    Ask(progress,
        "This setup requires Orvex to be closed in all the users. Close Orvex and try again.", "",
        "Quit", "", 0);
    return Stop(doc, "ORVEXEXE_TOBE_CLOSED");
  }
  if (NeedsDesktopBackup(installed)) BackUpDesktopForSession(doc);
  return 0;
}

int CCheckPromptVersion::CheckLighterEdition(Json::Value& doc) {
  // Looked up with creation, as the configuration's own reader does: a missing member is
  // left in the document as null.
  const Json::Value* upgradeCodes = MakePath(doc, ".InstallConfig.upgradecode");
  if (!upgradeCodes || upgradeCodes->isNull()) return 0;
  const Json::Value& lighterEdition = Member(*upgradeCodes, "orvexjblite");
  // Without a code there is no lighter edition to look for.
  if (!lighterEdition.isString() || lighterEdition.asString().empty()) return 0;

  const uint32_t found = FindRelatedProduct(ToWide(lighterEdition.asString()));
  if (found == kNoRelatedOrvex) return 0;
  if (found == kRelatedProductIsOrvex) {
    Ask(progress, "You already have  Orvex (1.1.x) installed on your System.", "", "Quit",
        "Upgrade  to Orvex (2.x.x) is not supported", 2);
    return Stop(doc, "ORVEX_UPGRADE_FROM_ORVEXLITE ");
  }
  Ask(progress, "Unable to upgrade to Orvex (2.x.x).", "", "Quit",
      "Kindly contact to support for further assistance.", 2);
  return Stop(doc, "MSI_GET_INFO_FAILED : " + std::to_string(found));
}

}  // namespace orvex
