#pragma once
// Environment variables of the process, "" when not set.

#include <string>

namespace orvex {

std::string GetEnvString(const std::string& name);
std::wstring GetEnvStringW(const std::wstring& name);
// "SystemDrive", e.g. C:.
std::string GetSystemDrive();

}  // namespace orvex
