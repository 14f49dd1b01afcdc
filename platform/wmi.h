#pragma once
// Windows Management Instrumentation: one session on a namespace that runs WQL texts and hands
// back rows whose properties keep their VARIANT type. Query texts, narrowing and the reading
// rules live above this seam (probes/wmi_connection); this is only IWbemLocator/IWbemServices/
// IEnumWbemClassObject/IWbemClassObject.

#include <cstdint>
#include <memory>
#include <string>

namespace orvex {
namespace platform {

// A property value as IWbemClassObject::Get hands it over.
struct WmiValue {
  // VARIANT types that matter to the installer; every other type reads as kOther.
  enum Type { kNull = 1, kString = 8, kBool = 11, kInt32 = 3, kOther = 0xFFFF };
  Type type = kNull;
  std::wstring text;   // kString
  bool flag = false;   // kBool: VARIANT_TRUE
  int32_t number = 0;  // kInt32
};

// One result row (IWbemClassObject). Destroying it releases the object.
class IWmiRow {
 public:
  virtual ~IWmiRow() = default;
  // Get(name, 0, &variant, NULL, NULL); a failed Get reads as kNull.
  virtual WmiValue Get(const std::wstring& property) const = 0;
};

// A connected IWbemServices with the enumerator of its most recent query.
class IWmiSession {
 public:
  virtual ~IWmiSession() = default;
  // ExecQuery("WQL", text, WBEM_FLAG_FORWARD_ONLY, NULL, &enumerator); false when it failed.
  // The enumerator replaces the previous query's.
  [[nodiscard]] virtual bool ExecQuery(const std::wstring& wql) = 0;
  // Next(WBEM_INFINITE, 1, ...) on the current enumerator: the row, or null at the end of the
  // result set, on an error, or when there is no enumerator.
  [[nodiscard]] virtual std::unique_ptr<IWmiRow> Next() = 0;
};

// COM initialisation (multithreaded, falling back to an apartment), process security,
// the locator and ConnectServer on the namespace ("ROOT\\CIMV2", "root\\SecurityCenter2"),
// then the proxy blanket. Null when any required step failed. Destroying the session releases
// enumerator, services and locator in that order and balances COM initialisation, except
// after the apartment fallback, which leaves COM initialised.
[[nodiscard]] std::unique_ptr<IWmiSession> ConnectWmi(const std::wstring& wmiNamespace);

}  // namespace platform
}  // namespace orvex
