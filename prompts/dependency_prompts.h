#pragma once
// The prompts for what the product needs: .NET, an up-to-date graphics driver, hardware
// virtualization. The web service's configuration (or a rule) sets their flags under
// ".InstallConfig"; when the user agrees, .NET and the driver are fixed by modules injected
// right after the prompt.

#include "prompts/module_injection.h"

namespace orvex {

// "CheckPromptDOTNET": ".InstallConfig.system.dotnet.prompt".
class CCheckPromptDOTNET : public CPromptModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "CheckPromptGPUDriver": ".InstallConfig.display.driver.prompt" and ".installmust".
class CCheckPromptGPUDriver : public CPromptModule {
 public:
  int Execute(Json::Value& doc) override;

 private:
  int InjectDriverUpdate(Json::Value& doc);
};

// "CheckPromptVT": ".InstallConfig.vt.prompt"; only explains how to enable it.
class CCheckPromptVT : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
