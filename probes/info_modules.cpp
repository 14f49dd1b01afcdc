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

Json::Value* CInfoModule::Target(Json::Value& doc, const char* suffix) {
  const std::string path = Member(args, "saveTo").asString() + suffix;
  Json::Value* target = MakePath(doc, path);
  if (!target)
    RecordResult(doc, "failed", "Not able to store a value at " + path, "PATH_NOT_WRITABLE");
  return target;
}

int CGetDOTNetInfo::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  Json::Value* target = Target(doc, ".dotnet");
  if (!target) return -1;
  *target = DotNetLayout(GetSystemInfo());
  return 0;
}

int CGetOSVersion::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  Json::Value* target = Target(doc, ".osver");
  if (!target) return -1;
  *target = OsVersionLayout(GetSystemInfo());
  return 0;
}

int CGetTotalRAM::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  Json::Value* target = Target(doc, ".ram");
  if (!target) return -1;
  GetSystemInfo();  // the first information module builds the record
  *target = Json::Value(static_cast<Json::Int64>(InstalledMemoryMb()));
  return 0;
}

int CGetPlatformInfo::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  Json::Value* target = Target(doc, ".platform");
  if (!target) return -1;
  *target = PlatformLayout(GetSystemInfo());
  return 0;
}

int COpenGLVersion::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  Json::Value* target = Target(doc, ".opengl");
  if (!target) return -1;
  *target = OpenGlLayout(GetSystemInfo());
  return 0;
}

int CGPUDriverVersion::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  Json::Value* target = Target(doc, ".gpu");
  if (!target) return -1;
  *target = GpuLayout(GetSystemInfo());
  return 0;
}

int CGetVTInfo::Execute(Json::Value& doc) {
  if (!CheckSaveTo(doc)) return -1;
  if (Member(args, "directory").isNull()) {
    RecordResult(doc, "fatal", "The directory string is null", "DIRECTORY_PATH_NULL");
    return -1;
  }
  const std::wstring directory = Utf8ToWide(ResolveStringArg(Member(args, "directory"), doc));
  Json::Value* target = Target(doc, ".vt");
  if (!target) return -1;
  *target = VtLayout(CheckVirtualization(directory));
  return 0;
}

}  // namespace orvex
