// The simulated machine: which profile is loaded, what the program changed, and where its
// drives live on the host.
#include "platform/sim/machine.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "base/json_text.h"
#include "base/text.h"
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

bool IsDrivePath(const std::wstring& path) {
  return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
         ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// Where the process starts: the profile's "currentDirectory", else the user's downloads (the
// installer is run from there), else the system drive's root.
std::wstring CurrentDirectoryOf(const Json::Value& profile) {
  const Json::Value& given = profile["currentDirectory"];
  if (given.isString() && IsDrivePath(Utf8ToWide(given.asString())))
    return Utf8ToWide(given.asString());
  const Json::Value& environment = profile["environment"];
  const Json::Value& user = MemberNoCase(environment, "USERPROFILE");
  if (user.isString() && IsDrivePath(Utf8ToWide(user.asString())))
    return Utf8ToWide(user.asString()) + L"\\Downloads";
  const Json::Value& drive = MemberNoCase(environment, "SystemDrive");
  if (drive.isString() && IsDrivePath(Utf8ToWide(drive.asString()) + L"\\"))
    return Utf8ToWide(drive.asString()) + L"\\";
  return L"C:\\";
}

// The profile's "ansiCodePage": one of the code pages Windows uses as a system's ANSI code page
// (default 1252, an English Windows).
uint32_t AnsiCodePageOf(const Json::Value& profile) {
  static const uint32_t kAnsiCodePages[] = {874,  932,  936,  949,  950,  1250, 1251,
                                            1252, 1253, 1254, 1255, 1256, 1257, 1258};
  const Json::Value& given = profile["ansiCodePage"];
  if (given.isNull()) return 1252;
  if (given.isUInt())
    for (uint32_t codePage : kAnsiCodePages)
      if (given.asUInt() == codePage) return codePage;
  throw std::invalid_argument("\"ansiCodePage\" is not a Windows ANSI code page: " +
                              given.toStyledString());
}

void LoadInto(Machine& machine, const Json::Value& profile) {
  if (!profile.isObject()) throw std::invalid_argument("a machine profile is a JSON object");
  std::string error;
  RegistryTree registry;
  if (!registry.Load(profile["registry"], &error)) throw std::invalid_argument(error);
  const uint32_t ansiCodePage = AnsiCodePageOf(profile);

  machine = Machine();
  machine.profile = profile;
  machine.is64Bit = profile.get("osBits", 64).asInt() == 64;
  machine.ansiCodePage = ansiCodePage;
  machine.currentDirectory = CurrentDirectoryOf(profile);
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

// A profile file is only ever made new: O_EXCL and O_NOFOLLOW keep whatever stands at the
// name (a link planted there too) from being written through.
void WriteNewFile(const std::string& host, const std::string& content) {
  const int descriptor =
      open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0) return;
  for (std::size_t done = 0; done < content.size();) {
    const ssize_t put = write(descriptor, content.data() + done, content.size() - done);
    if (put <= 0) break;
    done += static_cast<std::size_t>(put);
  }
  close(descriptor);
}

std::wstring ProfileVariableW(const char* name) {
  std::string value;
  return ProfileEnvironmentVariable(name, &value) ? Utf8ToWide(value) : std::wstring();
}

// The drives, the Windows folders, the user's folders and the profile's files, so that the
// program finds the machine as Windows would leave it. Every path goes through the sandbox's
// mapping: a profile names Windows paths, and one that leads out of the sandbox is skipped.
void PrepareSandbox(Machine& machine) {
  machine.sandboxReady = true;
  std::error_code ignored;
  std::wstring systemDrive = ProfileVariableW("SystemDrive");
  if (!IsDrivePath(systemDrive + L"\\")) systemDrive = L"C:";
  fs::create_directories(SandboxRoot() + "/" + static_cast<char>(std::towupper(systemDrive[0])),
                         ignored);
  std::wstring systemRoot = ProfileVariableW("SystemRoot");
  if (!IsDrivePath(systemRoot)) systemRoot = systemDrive + L"\\Windows";
  std::vector<std::wstring> folders = {systemRoot + L"\\System32\\drivers",
                                       machine.currentDirectory};
  if (machine.is64Bit) folders.push_back(systemRoot + L"\\SysWOW64");
  for (const char* name : {"TEMP", "TMP", "USERPROFILE", "ProgramFiles", "ProgramData"}) {
    const std::wstring folder = ProfileVariableW(name);
    if (IsDrivePath(folder)) folders.push_back(folder);
  }
  for (const std::wstring& folder : folders) {
    const std::string host = MapPath(folder, false);
    if (!host.empty()) fs::create_directories(host, ignored);
  }
  const Json::Value& files = machine.profile["files"];
  if (!files.isObject()) return;
  for (const std::string& name : files.getMemberNames()) {
    const std::string host = MapPath(Utf8ToWide(name), false);
    if (host.empty() || fs::exists(host, ignored)) continue;
    if (!files[name].isConvertibleTo(Json::stringValue)) continue;
    fs::create_directories(fs::path(host).parent_path(), ignored);
    WriteNewFile(host, files[name].asString());
  }
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

void EnsureSandboxReady() {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  Machine& machine = CurrentMachine();
  if (!machine.sandboxReady) PrepareSandbox(machine);
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
  state["installedProducts"] = machine.installedProducts;
  state["startedPrograms"] = machine.startedPrograms;
  Json::Value& pipes = state["openPipes"] = Json::Value(Json::arrayValue);
  for (const std::wstring& pipe : machine.openPipes) pipes.append(WideToUtf8(pipe));
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

ScopedMachine::ScopedMachine(const Json::Value& profile) : previous_(Profile()) {
  LoadMachine(profile);
}

ScopedMachine::~ScopedMachine() { LoadMachine(previous_); }

}  // namespace sim
}  // namespace orvex
