#pragma once
// The information modules: each copies facts about the machine into the session document at
// its "saveTo" path plus its own suffix (".Config" + ".platform", ...).

#include "engine/module.h"

namespace orvex {

// The frame the eight share: the "saveTo" argument and the node they fill.
class CInfoModule : public CBasicModule {
 protected:
  // False after recording "fatal" / "There is no saveTo path" (with the code
  // "NO_SAVETO_PATH" unless withErrorCode is false) when "saveTo" is missing.
  bool CheckSaveTo(Json::Value& doc, bool withErrorCode = true);
  // The node at saveTo + suffix, created with its parents, where value may be stored; null,
  // with a "failed" / "PATH_NOT_WRITABLE" record, when the path runs into a value that cannot
  // hold members or names a record the run keeps writing into (CBasicModule::MayStore).
  Json::Value* Target(Json::Value& doc, const char* suffix, const Json::Value& value);
  // Stores value at saveTo + suffix; -1 after the record Target makes, 0 otherwise.
  int Save(Json::Value& doc, const char* suffix, Json::Value value);
};

// "GetDOTNetInfo": ".dotnet".
class CGetDOTNetInfo : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "GetOSVersion": ".osver".
class CGetOSVersion : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "GetTotalRAM": ".ram", the installed memory in MB as an integer (3072 when unknown).
class CGetTotalRAM : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "GetPlatformInfo": ".platform".
class CGetPlatformInfo : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "GetOpenGLVersion": ".opengl".
class COpenGLVersion : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "GetGPUDriverVersion": ".gpu".
class CGPUDriverVersion : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "GetVTInfo": ".vt", the virtualization check with the driver "directory" argument.
class CGetVTInfo : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
