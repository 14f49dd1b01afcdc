// Programs on the simulated machine: nothing runs. A start is recorded in the machine's state
// ("startedPrograms") and the program's exit code comes from the profile's "programs".
#include "platform/process_launch.h"

#include <sys/stat.h>

#include <mutex>

#include "base/text.h"
#include "platform/files.h"
#include "platform/profile_notation.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/sim/sim_text.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {

namespace {

constexpr uint32_t kStillActive = 259;  // STILL_ACTIVE: what a running process's code reads

// The file as the shell reads lpFile: one pair of enclosing double quotes is not part of it.
std::wstring Unquoted(const std::wstring& file) {
  if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"')
    return file.substr(1, file.size() - 2);
  return file;
}

std::wstring LastComponent(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// The profile's description of a program, by its file name: {"exitCode", "startError",
// "waitFails", "neverExits", "exitCodeFails"}; an empty object when the profile does not
// describe it.
Json::Value ProgramBehaviour(const std::wstring& fileName) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& profile = sim::CurrentMachine().profile;
  const Json::Value found = sim::MemberNoCase(profile["programs"], WideToUtf8(fileName));
  return found.isObject() ? found : Json::Value(Json::objectValue);
}

bool Flag(const Json::Value& behaviour, const char* name) {
  const Json::Value& flag = behaviour[name];
  return flag.isBool() && flag.asBool();
}

class SimulatedProcess : public IStartedProcess {
 public:
  explicit SimulatedProcess(Json::Value behaviour) : behaviour_(std::move(behaviour)) {}

  // Nothing runs, so nothing is waited for: a program that never exits has run out the time
  // at once.
  WaitResult WaitForExit(uint32_t) override {
    if (Flag(behaviour_, "waitFails")) return WaitResult::kFailed;
    return Flag(behaviour_, "neverExits") ? WaitResult::kTimedOut : WaitResult::kExited;
  }

  bool ExitCode(uint32_t* code) override {
    if (Flag(behaviour_, "exitCodeFails")) return false;
    if (Flag(behaviour_, "neverExits")) {
      *code = kStillActive;
      return true;
    }
    uint64_t number = 0;
    const Json::Value& given = behaviour_["exitCode"];
    if (given.isNull())
      number = 0;
    else if (given.isInt64())
      number = static_cast<uint64_t>(given.asInt64());
    else if (!ProfileNumber(given, &number))
      return false;
    *code = static_cast<uint32_t>(number);
    return true;
  }

 private:
  const Json::Value behaviour_;
};

// Whether file names a program directly in the system folder: Windows' own programs (cmd.exe)
// are there on every machine, so the sandbox need not hold them.
bool IsSystemProgram(const std::wstring& file) {
  const std::wstring folder = SystemDirectory();
  const std::size_t cut = file.find_last_of(L"\\/");
  return !folder.empty() && cut != std::wstring::npos &&
         sim::EqualsNoCase(file.substr(0, cut), folder);
}

}  // namespace

std::unique_ptr<IStartedProcess> StartProgram(const ProgramLaunch& launch, uint32_t* error) {
  const std::wstring file = Unquoted(launch.file);
  const Json::Value behaviour = ProgramBehaviour(LastComponent(file));
  uint32_t refused = 0;
  if (file.empty()) {
    refused = kErrorFileNotFound;
  } else if (behaviour["startError"].isUInt()) {
    refused = behaviour["startError"].asUInt();
  } else if (file.find_first_of(L"\\/:") != std::wstring::npos && !IsSystemProgram(file)) {
    // A program given by a path must be there, as for the shell; the machine refuses paths
    // that lead out of its sandbox.
    const std::string host = sim::HostPath(file);
    struct stat info;
    if (host.empty() || stat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
      refused = kErrorFileNotFound;
  }
  if (refused) {
    if (error) *error = refused;
    return nullptr;
  }
  Json::Value record(Json::objectValue);
  record["file"] = WideToUtf8(launch.file);
  record["parameters"] = WideToUtf8(launch.parameters);
  record["show"] = launch.showCommand;
  {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::CurrentMachine().startedPrograms.append(record);
  }
  return std::make_unique<SimulatedProcess>(behaviour);
}

}  // namespace platform
}  // namespace orvex
