#include "probes/info_modules.h"

#include "base/json_text.h"
#include "base/text.h"
#include "engine/value_path.h"
#include "probes/info_layouts.h"
#include "probes/installed_memory.h"
#include "probes/record_facts.h"
#include "probes/system_info.h"
#include "probes/virtualization.h"

namespace orvex {

bool CInfoModule::CheckSaveTo(Json::Value& doc, bool withErrorCode) {
  // A "saveTo" that is not a text names no place; it counts as missing rather than letting
  // the JSON library throw on the session thread.
  if (Member(args, "saveTo").isString()) return true;
  RecordResult(doc, "fatal", "There is no saveTo path", withErrorCode ? "NO_SAVETO_PATH" : "");
  return false;
}

Json::Value* CInfoModule::Target(Json::Value& doc, const char* suffix, const Json::Value& value) {
  const std::string path = Member(args, "saveTo").asString() + suffix;
  Json::Value* target = MakePath(doc, path);
  if (MayStore(doc, target, value)) return target;
  RecordResult(doc, "failed", "Not able to store a value at " + path, "PATH_NOT_WRITABLE");
  return nullptr;
}

int CInfoModule::Save(Json::Value& doc, const char* suffix, Json::Value value) {
  Json::Value* target = Target(doc, suffix, value);
  if (!target) return -1;
  *target = std::move(value);
  return 0;
}

int CGetDOTNetInfo::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  return Save(doc, ".dotnet", DotNetLayout(GetSystemInfo()));
}

int CGetOSVersion::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  return Save(doc, ".osver", OsVersionLayout(GetSystemInfo()));
}

int CGetTotalRAM::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  GetSystemInfo();  // the first information module builds the record
  return Save(doc, ".ram", Json::Value(static_cast<Json::Int64>(InstalledMemoryMb())));
}

int CGetPlatformInfo::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  return Save(doc, ".platform", PlatformLayout(GetSystemInfo()));
}

int COpenGLVersion::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  return Save(doc, ".opengl", OpenGlLayout(GetSystemInfo()));
}

int CGPUDriverVersion::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  return Save(doc, ".gpu", GpuLayout(GetSystemInfo()));
}

int CGetVTInfo::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  // An empty directory would make the driver look-up search the root of the current drive.
  const std::string directory = ResolvePathArg(Member(args, "directory"), doc);
  if (directory.empty()) {
    RecordResult(doc, "fatal", "The directory string is null", "DIRECTORY_PATH_NULL");
    return -1;
  }
  return Save(doc, ".vt", VtLayout(CheckVirtualization(Utf8ToWide(directory))));
}

}  // namespace orvex
