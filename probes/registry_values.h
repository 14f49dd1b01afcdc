#pragma once
// Values under HKEY_LOCAL_MACHINE as 8-bit texts and numbers.

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace orvex {

// Reads a value of the key in the 64-bit view (also from the 32-bit installer). 0 and the
// text (up to its first zero, at most 127 bytes) in *text, or -1 with *text unchanged.
int ReadRegistryString(const std::string& keyPath, const std::string& valueName, std::string* text);

// Writes a REG_DWORD / a REG_SZ (with its terminating zero). The key is opened, or else
// created, in the 64-bit view, where ReadRegistryString looks for it. 0 or -1.
int WriteRegistryDword(const std::string& keyPath, const std::string& valueName, uint32_t data);
int WriteRegistryString(const std::string& keyPath, const std::string& valueName,
                        const std::string& text);

// The UTF-16 text of a REG_SZ / REG_EXPAND_SZ value up to its first zero; "" for other types.
std::wstring RegistryValueText(const platform::RegistryValue& value);

}  // namespace orvex
