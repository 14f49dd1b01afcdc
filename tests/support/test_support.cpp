#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/module_table.h"
#include "base/json_text.h"
#include "base/text.h"
#include "engine/module_registry.h"
#ifndef _WIN32
#include "platform/sim/machine.h"
#endif

namespace orvex {
namespace test {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

namespace {

// Every test process knows the installer's module classes, as the programs do from their
// start (static initialisation, before any test runs).
[[maybe_unused]] const bool kModuleTableRegistered = (RegisterModuleTable(), true);

}  // namespace

Json::Value J(const std::string& text) {
  Json::Value value;
  std::string error;
  EXPECT_TRUE(ParseJson(text, value, &error)) << error << " in " << text;
  return value;
}

std::unique_ptr<IModule> MakeRegisteredModule(const std::string& className, const std::string& args,
                                              CStage& stage, IProgressIndicator* indicator) {
  std::unique_ptr<IModule> module(CreateModuleByClass(className));
  if (!module) {
    ADD_FAILURE() << "no module class " << className;
    return module;
  }
  module->SetName("M");
  module->SetArgs(J(args));
  module->SetProgressIndicator(indicator);
  EXPECT_EQ(0, module->Init(nullptr, &stage));
  return module;
}

void AddRegisteredModules(CStage& stage,
                          const std::vector<std::pair<std::string, std::string>>& modules,
                          IProgressIndicator* indicator) {
  for (const auto& module : modules) {
    IModule* made = CreateModuleByClass(module.first);
    if (!made) {
      ADD_FAILURE() << "no module class " << module.first;
      continue;
    }
    made->SetName(module.first);
    made->SetArgs(J(module.second));
    made->SetProgressIndicator(indicator);
    stage.AddModule(made);
  }
}

namespace {

// The values are UTF-8, as the installer reads the environment: on Windows through the wide
// calls (the narrow ones would carry them in the ANSI code page).
void SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
  _wputenv_s(Utf8ToWide(name).c_str(), Utf8ToWide(value).c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

void UnsetVariable(const char* name) {
#ifdef _WIN32
  _wputenv_s(Utf8ToWide(name).c_str(), L"");  // an empty value removes the variable
#else
  unsetenv(name);
#endif
}

bool FindVariable(const char* name, std::string* value) {
#ifdef _WIN32
  const wchar_t* found = _wgetenv(Utf8ToWide(name).c_str());
  if (found) *value = WideToUtf8(found);
#else
  const char* found = std::getenv(name);
  if (found) *value = found;
#endif
  return found != nullptr;
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  had_ = FindVariable(name, &old_);
  SetVariable(name_, value);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    SetVariable(name_, old_);
  else
    UnsetVariable(name_);
}

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

FakeModule::FakeModule(std::string moduleName, std::vector<std::string>* journal, int executeResult,
                       int rollbackResult)
    : journal_(journal), executeResult_(executeResult), rollbackResult_(rollbackResult) {
  SetName(std::move(moduleName));
}

int FakeModule::Execute(Json::Value& doc) {
  journal_->push_back("exec:" + name);
  if (onExecute) onExecute(doc);
  return executeResult_;
}

int FakeModule::Rollback(Json::Value&) {
  journal_->push_back("rollback:" + name);
  return rollbackResult_;
}

std::filesystem::path ScratchRoot() {
#ifdef _WIN32
  return std::filesystem::temp_directory_path();
#else
  return std::filesystem::path(sim::HostPath(L"C:\\"));
#endif
}

std::wstring PlatformPath(const std::filesystem::path& file) {
#ifdef _WIN32
  return file.wstring();
#else
  const std::string root = sim::SandboxRoot() + "/";
  std::string text = file.string();
  if (text.compare(0, root.size(), root) != 0 || text.size() < root.size() + 1)
    return Utf8ToWide(text);
  // <root>/C/x/y is C:\x\y
  std::string windows = text.substr(root.size(), 1) + ":" + text.substr(root.size() + 1);
  for (char& c : windows)
    if (c == '/') c = '\\';
  if (windows.size() == 2) windows += '\\';
  return Utf8ToWide(windows);
#endif
}

}  // namespace test
}  // namespace orvex
