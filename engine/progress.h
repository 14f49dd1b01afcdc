#pragma once
// How modules and stages talk to the user: a progress indicator (status, detail, bar, step
// row, yes/no questions) and a callback handler (module failures, completed stages).

#include <json/json.h>

#include <string>
#include <utility>

namespace orvex {

// How a question ended: with the accepting button, with the declining button, or with neither
// (the prompt was closed or Esc pressed, or nobody could be asked).
enum class PromptChoice { kAccepted, kDeclined, kDismissed };

class IProgressIndicator {
 public:
  virtual ~IProgressIndicator() = default;
  virtual void SetStatus(std::string text) = 0;
  virtual void SetDetail(std::string text) = 0;
  virtual void ShowProgressBar() = 0;
  virtual void HideProgressBar() = 0;
  virtual void SetProgress(int percent) = 0;
  // The run is at stage index of count (index counts from 1; 0 before the first stage).
  virtual void SetStep(int index, int count) = 0;
  // Asks the user and waits for the answer: 1 when the okCaption button was chosen, 0 for the
  // cancelCaption button or a closed prompt. An empty caption hides its button. Severity 0 is
  // green, 1 orange, 2 red, anything else grey.
  virtual int Prompt(std::string message, std::string okCaption, std::string cancelCaption,
                     std::string detail, int severity) = 0;
  virtual void SetName(std::string name) = 0;
  virtual std::string GetName() = 0;
  // Prompt for questions where declining does something of its own: an explicit choice of the
  // declining button is told from a dismissal. An indicator that cannot tell them apart
  // reports every answer but the accepting button as a dismissal.
  virtual PromptChoice PromptForChoice(std::string message, std::string okCaption,
                                       std::string cancelCaption, std::string detail,
                                       int severity) {
    return Prompt(std::move(message), std::move(okCaption), std::move(cancelCaption),
                  std::move(detail), severity) == 1
               ? PromptChoice::kAccepted
               : PromptChoice::kDismissed;
  }
};

// Holds the name; detail texts are ignored unless an indicator shows them.
class CBasicPI : public IProgressIndicator {
 public:
  void SetDetail(std::string) override {}
  void SetName(std::string name) override { name_ = std::move(name); }
  std::string GetName() override { return name_; }

 private:
  std::string name_;
};

class ICallbackHandler {
 public:
  virtual ~ICallbackHandler() = default;
  // A module failed and no error handler accepted the failure. 0 lets the stage go on with the
  // next module; anything else discontinues the stage.
  virtual int OnModuleFailed(Json::Value* doc, std::string stageName, std::string moduleName) = 0;
  virtual void OnStageDone(Json::Value* doc, std::string stageName) = 0;
  virtual void SetName(std::string name) = 0;
  virtual std::string GetName() = 0;
};

class CBasicCB : public ICallbackHandler {
 public:
  void SetName(std::string name) override { name_ = std::move(name); }
  std::string GetName() override { return name_; }

 private:
  std::string name_;
};

}  // namespace orvex
