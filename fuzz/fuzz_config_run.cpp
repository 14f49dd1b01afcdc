// Loads a configuration text and runs it on the console, as the console installer does.
// Run it with -close_fd_mask=3: the console indicator's and handler's prints only slow it down.

#include <memory>

#include "app/installer_session.h"
#include "common/run_flags.h"
#include "engine/install_plan.h"
#include "engine/stage_loader.h"
#include "engine/value_path.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvex;
  std::string text = fuzz::Text(data, size);
  fuzz::RunTolerant([&] {
    CStageLoader loader;
    platform::LocalTime time;
    time.year = 2016, time.month = 2, time.day = 5, time.hour = 9, time.minute = 3;
    SeedSessionVariables(loader.SessionVariables(), "console", "PIConsole", "C:\\Setup", time);
    loader.SessionVariables()["FLAG"] = true;
    loader.SessionVariables()["NUMBER"] = 8;
    std::unique_ptr<CInstallPlan> plan(loader.Load(text));
    if (!plan) return;
    PlanRegistration registration(plan.get());
    g_cancelRequested = false;
    RunPlan();
    (void)FindPath(plan->doc, ".LastStage.status.progress");
  });
  return 0;
}
