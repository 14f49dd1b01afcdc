// The simulated machine: which profile is loaded, what the program changed, and where its
// drives live on the host.
#include "platform/sim/machine.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "engine/json_text.h"
#include "engine/text.h"
#include "platform/shell.h"
#include "platform/sim/machine_internal.h"

namespace orvex {
namespace sim {
namespace {

namespace fs = std::filesystem;

// Never destroyed: the state file is written by an exit handler, after which static objects
// may already be gone.
Machine* g_machine = nullptr;
std::string* g_sandboxRoot = nullptr;
uint64_t g_generation = 0;
thread_local bool t_fsRedirectionOff = false;

std::string ReadWholeFile(const std::string& path, bool* ok) {
  std::ifstream in(path, std::ios::binary);
  *ok = static_cast<bool>(in);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void LoadInto(Machine& machine, const Json::Value& profile) {
  if (!profile.isObject()) throw std::invalid_argument("a machine profile is a JSON object");
  std::string error;
  RegistryTree registry;
  if (!registry.Load(profile["registry"], &error)) throw std::invalid_argument(error);

  machine = Machine();
  machine.profile = profile;
  machine.is64Bit = profile.get("osBits", 64).asInt() == 64;
  machine.registry = std::move(registry);
  for (const std::string& name : profile["services"].getMemberNames()) {
    const Json::Value& entry = profile["services"][name];
    ServiceEntry service;
    service.name = Utf8ToWide(name);
    service.displayName = Utf8ToWide(entry.get("displayName", name).asString());
    service.binaryPath = Utf8ToWide(entry.get("binaryPath", "").asString());
    service.running = entry.get("running", false).asBool();
    machine.services[service.name] = service;
  }
  machine.generation = ++g_generation;
}

void WriteStateAtExit() {
  const char* path = std::getenv("ORVEX_SIM_STATE");
  if (!path || !*path) return;
  std::ofstream out(path, std::ios::binary);
  out << StyledJson(MachineState());
}

// The machine named by ORVEX_SIM_MACHINE, or the built-in one.
void LoadFromEnvironment(Machine& machine) {
  const char* path = std::getenv("ORVEX_SIM_MACHINE");
  Json::Value profile = DefaultProfile();
  if (path && *path) {
    bool readable = false;
    const std::string text = ReadWholeFile(path, &readable);
    std::string error = "cannot be read";
    if (!readable || !ParseJson(text, profile, &error)) {
      std::fprintf(stderr, "simulated machine: the profile %s %s\n", path, error.c_str());
      std::exit(2);
    }
  }
  try {
    LoadInto(machine, profile);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "simulated machine: the profile %s is not usable: %s\n",
                 path && *path ? path : "(built-in)", e.what());
    std::exit(2);
  }
  std::atexit(WriteStateAtExit);
}

std::string& RootFolder() {
  if (!g_sandboxRoot) {
    const char* root = std::getenv("ORVEX_SIM_ROOT");
    const std::string chosen = root && *root ? root : "orvex-sim";
    std::error_code ignored;
    g_sandboxRoot = new std::string(fs::absolute(chosen, ignored).string());
  }
  return *g_sandboxRoot;
}

// The entry of dir whose name equals name without regard to case, else name itself: Windows
// finds "System32" when asked for "system32".
std::string ResolveComponent(const std::string& dir, const std::wstring& name) {
  const std::string exact = dir + "/" + WideToUtf8(name);
  struct stat info;
  if (lstat(exact.c_str(), &info) == 0) return exact;
  std::string match;
  if (DIR* listing = opendir(dir.c_str())) {
    while (dirent* entry = readdir(listing)) {
      if (EqualsNoCase(Utf8ToWide(entry->d_name), name)) {
        match = dir + "/" + entry->d_name;
        break;
      }
    }
    closedir(listing);
  }
  return match.empty() ? exact : match;
}

std::wstring ProfileVariableW(const char* name) {
  std::string value;
  return ProfileEnvironmentVariable(name, &value) ? Utf8ToWide(value) : std::wstring();
}

bool IsDrivePath(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]);
}

// The drives, the Windows folders, the user's folders and the profile's files, so that the
// program finds the machine as Windows would leave it.
void PrepareSandbox(Machine& machine) {
  machine.sandboxReady = true;
  std::error_code ignored;
  std::wstring systemDrive = ProfileVariableW("SystemDrive");
  if (!IsDrivePath(systemDrive)) systemDrive = L"C:";
  fs::create_directories(MapPath(systemDrive + L"\\", false), ignored);
  std::wstring systemRoot = ProfileVariableW("SystemRoot");
  if (!IsDrivePath(systemRoot)) systemRoot = systemDrive + L"\\Windows";
  fs::create_directories(MapPath(systemRoot + L"\\System32\\drivers", false), ignored);
  if (machine.is64Bit) fs::create_directories(MapPath(systemRoot + L"\\SysWOW64", false), ignored);
  for (const char* name : {"TEMP", "TMP", "USERPROFILE", "ProgramFiles", "ProgramData"}) {
    const std::wstring folder = ProfileVariableW(name);
    if (IsDrivePath(folder)) fs::create_directories(MapPath(folder, false), ignored);
  }
  const Json::Value& files = machine.profile["files"];
  for (const std::string& name : files.getMemberNames()) {
    const std::string host = MapPath(Utf8ToWide(name), false);
    if (fs::exists(host, ignored)) continue;
    fs::create_directories(fs::path(host).parent_path(), ignored);
    std::ofstream(host, std::ios::binary) << files[name].asString();
  }
}

// SystemRoot\System32 of a 32-bit process on 64-bit Windows is SystemRoot\SysWOW64.
void Redirect(std::vector<std::wstring>& names) {
  std::wstring systemRoot = ProfileVariableW("SystemRoot");
  if (!IsDrivePath(systemRoot)) systemRoot = L"C:\\Windows";
  std::vector<std::wstring> rootNames = Split(systemRoot.substr(2), L'\\', true);
  if (names.size() <= rootNames.size()) return;
  for (std::size_t i = 0; i < rootNames.size(); ++i)
    if (!EqualsNoCase(names[i], rootNames[i])) return;
  if (EqualsNoCase(names[rootNames.size()], L"System32")) names[rootNames.size()] = L"SysWOW64";
}

}  // namespace

std::recursive_mutex& MachineLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;
  return *lock;
}

Machine& CurrentMachine() {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  if (!g_machine) {
    g_machine = new Machine;
    LoadFromEnvironment(*g_machine);
  }
  return *g_machine;
}

bool ProfileEnvironmentVariable(const std::string& name, std::string* value) {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  const Json::Value& found = MemberNoCase(CurrentMachine().profile["environment"], name);
  if (!found.isString()) return false;
  if (value) *value = found.asString();
  return true;
}

std::string MapPath(const std::wstring& windowsPath, bool redirect) {
  std::wstring path = windowsPath;
  if (path.compare(0, 4, L"\\\\?\\") == 0) path.erase(0, 4);
  if (!IsDrivePath(path)) {
    std::string host = WideToUtf8(path);
    ReplaceAll(host, "\\", "/");
    return host;
  }
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  Machine& machine = CurrentMachine();
  if (!machine.sandboxReady) PrepareSandbox(machine);
  std::wstring rest = path.substr(2);
  for (wchar_t& c : rest)
    if (c == L'/') c = L'\\';
  std::vector<std::wstring> names;
  for (const std::wstring& name : Split(rest, L'\\', true)) {
    if (name == L".") continue;
    if (name == L"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.push_back(name);
  }
  if (redirect && machine.is64Bit) Redirect(names);
  std::string host = RootFolder() + "/" + static_cast<char>(std::towupper(path[0]));
  for (const std::wstring& name : names) host = ResolveComponent(host, name);
  return host;
}

void SetFsRedirectionOff(bool off) { t_fsRedirectionOff = off; }
bool FsRedirectionOff() { return t_fsRedirectionOff; }

void LoadMachine(const Json::Value& profile) {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  Machine loaded;
  LoadInto(loaded, profile);
  if (!g_machine) {
    g_machine = new Machine;
    if (std::getenv("ORVEX_SIM_STATE")) std::atexit(WriteStateAtExit);
  }
  *g_machine = std::move(loaded);
}

const Json::Value& Profile() {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  return CurrentMachine().profile;
}

Json::Value MachineState() {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  Machine& machine = CurrentMachine();
  Json::Value state(Json::objectValue);
  state["machine"] = machine.profile.get("name", "").asString();
  state["createdKeys"] = machine.createdKeys;
  state["registryWrites"] = machine.registryWrites;
  Json::Value& services = state["services"] = Json::Value(Json::objectValue);
  for (const auto& entry : machine.services) {
    Json::Value& service = services[WideToUtf8(entry.second.name)];
    service["displayName"] = WideToUtf8(entry.second.displayName);
    service["binaryPath"] = WideToUtf8(entry.second.binaryPath);
    service["running"] = entry.second.running;
  }
  state["serviceEvents"] = machine.serviceEvents;
  state["restartRequests"] = machine.restartRequests;
  state["startedPrograms"] = machine.startedPrograms;
  Json::Value& urls = state["openedUrls"] = Json::Value(Json::arrayValue);
  for (const std::string& url : platform::OpenedUrls()) urls.append(url);
  return state;
}

std::string SandboxRoot() {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  return RootFolder();
}

void SetSandboxRoot(const std::string& root) {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  std::error_code ignored;
  RootFolder() = fs::absolute(root, ignored).string();
  CurrentMachine().sandboxReady = false;
}

std::string HostPath(const std::wstring& windowsPath) {
  return MapPath(windowsPath, !FsRedirectionOff());
}

ScopedMachine::ScopedMachine(const Json::Value& profile) : previous_(Profile()) {
  LoadMachine(profile);
}

ScopedMachine::~ScopedMachine() { LoadMachine(previous_); }

}  // namespace sim
}  // namespace orvex
