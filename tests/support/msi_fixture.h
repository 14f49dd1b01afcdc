#pragma once
// The Windows Installer package built by tests/CMakeLists.txt from fixtures/orvex-fixture.wxs,
// installed into the Wine prefix for the length of a test suite.
#include <windows.h>
#include <msi.h>

#include <string>

namespace orvex {
namespace test {

// Codes and texts as the package declares them.
constexpr const wchar_t* kFixtureProductCode = L"{6D3B1E0A-5C44-4F0B-9E0C-2B7F4A1D8E21}";
constexpr const wchar_t* kFixtureUpgradeCode = L"{3F2A8C1D-7B6E-4E55-A0D4-91C2B5E7F310}";
constexpr const wchar_t* kFixtureName = L"Orvex";
constexpr const wchar_t* kFixtureManufacturer = L"Quarn";
constexpr const wchar_t* kFixtureVersion = L"2.0.6.8063";

// The package's path as Windows sees it: Wine maps the Unix root to drive Z:.
inline std::wstring FixturePackagePath() {
  std::string unixPath = ORVEX_FIXTURE_MSI;
  std::wstring path = L"Z:";
  for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

// Silent install and removal through msi.dll; both give the Windows Installer result.
inline UINT InstallFixturePackage() {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  return MsiInstallProductW(FixturePackagePath().c_str(), L"");
}

inline UINT RemoveFixturePackage() {
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  return MsiConfigureProductW(kFixtureProductCode, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT);
}

}  // namespace test
}  // namespace orvex
