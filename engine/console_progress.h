#pragma once
// The console progress indicator and callback handler: what configurations call "PIConsole"
// and "CBDefault". Tools and tests read their exact output.

#include "engine/progress.h"

namespace orvex {

// Writes status, detail and bar changes to standard output; declines every question.
class CConsolePI : public CBasicPI {
 public:
  void SetStatus(std::string text) override;
  void SetDetail(std::string text) override;
  void ShowProgressBar() override;
  void HideProgressBar() override;
  void SetProgress(int percent) override;
  void SetStep(int, int) override {}
  int Prompt(std::string, std::string, std::string, std::string, int) override { return 0; }
};

// Prints failures to standard error and always discontinues the stage.
class CDefaultCB : public CBasicCB {
 public:
  int OnModuleFailed(Json::Value* doc, std::string stageName, std::string moduleName) override;
  void OnStageDone(Json::Value* doc, std::string stageName) override;
};

}  // namespace orvex
