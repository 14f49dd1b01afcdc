#pragma once
// A synchronous WMI connection for one probe: Connect, any number of queries and reads, Close.
// No operation throws or reports an error: every failure gives an empty answer (no row, an
// empty list, "", false or 0) and callers treat that as a missing value.

#include <memory>
#include <string>
#include <vector>

#include "platform/wmi.h"

namespace orvex {

// One result row; destroying it releases the object.
using WmiRow = std::unique_ptr<platform::IWmiRow>;

class CWmiConnection {
 public:
  CWmiConnection() = default;
  ~CWmiConnection() { Close(); }
  CWmiConnection(const CWmiConnection&) = delete;
  CWmiConnection& operator=(const CWmiConnection&) = delete;

  void Connect(const std::wstring& wmiNamespace);
  void Close();
  bool IsConnected() const { return session_ != nullptr; }

  // "SELECT * FROM " + className, with " WHERE " + condition when the condition is not empty.
  static std::string QueryText(const std::string& className, const std::string& condition);
  // "ASSOCIATORS OF {" + objectPath + "} WHERE AssocClass = " + assocClass (not quoted).
  static std::string AssociatorsText(const std::string& objectPath, const std::string& assocClass);

  WmiRow QueryFirst(const std::string& className, const std::string& condition);
  std::vector<WmiRow> QueryAll(const std::string& className, const std::string& condition);

  // Property reads; texts come back in UTF-8.
  static std::string GetString(const WmiRow& row, const std::string& property);
  static bool GetBool(const WmiRow& row, const std::string& property);
  static int GetInt(const WmiRow& row, const std::string& property);

  // GetString of the first row, "" when there is none.
  std::string GetValue(const std::string& className, const std::string& property,
                       const std::string& condition);
  // The same in UTF-16 throughout, without narrowing.
  std::wstring GetValue(const std::wstring& className, const std::wstring& property,
                        const std::wstring& condition);
  // The property of the last associated row that has it as a string, in UTF-8.
  std::string GetAssociatedValue(const std::string& objectPath, const std::string& assocClass,
                                 const std::string& property);

 private:
  std::unique_ptr<platform::IWmiSession> session_;
};

}  // namespace orvex
