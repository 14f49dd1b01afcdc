#pragma once
// What tests under Wine read back of an object's security, as SDDL text.

#include <windows.h>
#include <accctrl.h>

#include <string>

namespace orvex::test {

// The DACL of a named object (a file, a folder, a pipe ...) as SDDL text; "" when it cannot be
// read.
std::wstring DaclText(const std::wstring& name, SE_OBJECT_TYPE type = SE_FILE_OBJECT);

}  // namespace orvex::test
