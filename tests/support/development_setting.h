#pragma once
// Development settings (platform/development_settings.h) for the life of a test: on the host
// the environment variable of that name, under Wine the string value of that name in the test
// prefix's HKEY_LOCAL_MACHINE\Software\Quarn\Orvex\Development, as an administrator would set
// it. The earlier state (the value, or its absence) comes back when the object goes.

#include <optional>
#include <string>

#include "tests/support/test_support.h"

namespace orvex {
namespace test {

class ScopedDevelopmentSetting {
 public:
  // std::nullopt removes the setting for the object's life.
  ScopedDevelopmentSetting(const char* name, std::optional<std::string> value);
  ~ScopedDevelopmentSetting();
  ScopedDevelopmentSetting(const ScopedDevelopmentSetting&) = delete;
  ScopedDevelopmentSetting& operator=(const ScopedDevelopmentSetting&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// Writes (or, for std::nullopt, removes) a development setting; throws when it cannot.
void WriteDevelopmentSetting(const char* name, const std::optional<std::string>& value);

// Plain http for the life of the object, as a developer allows it for a local test service
// without TLS: "DOWNLOAD_DOMAIN" set to the service's address with its "http://" scheme (the
// download host is the only address the tests that use it leave alone).
class ScopedPlainHttp {
 public:
  explicit ScopedPlainHttp(const std::string& serviceBaseUrl)
      : setting_("DOWNLOAD_DOMAIN", serviceBaseUrl + "/") {}

 private:
  ScopedDevelopmentSetting setting_;
};

}  // namespace test
}  // namespace orvex
