#include "probes/registry_values.h"

#include <memory>

#include "base/codepage.h"
#include "base/text.h"

namespace orvex {

namespace {

// RegQueryValueExA into a zeroed 128-byte buffer: the text and its zero must fit.
constexpr std::size_t kReadBufferBytes = 128;

std::string RawBytesUpToZero(const std::vector<uint8_t>& data) {
  std::string text;
  for (uint8_t byte : data) {
    if (byte == 0) break;
    text.push_back(static_cast<char>(byte));
  }
  return text;
}

std::vector<uint8_t> Utf16LeWithZero(const std::wstring& text) {
  std::vector<uint8_t> data;
  for (wchar_t unit : text) {
    data.push_back(static_cast<uint8_t>(unit & 0xFF));
    data.push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  data.push_back(0);
  data.push_back(0);
  return data;
}

int WriteValue(const std::string& keyPath, const std::string& valueName,
               const platform::RegistryValue& value) {
  std::unique_ptr<platform::IRegistryKey> key =
      platform::OpenLocalMachineKey(ToWide(keyPath), platform::RegistryAccess::kAllAccess,
                                    platform::RegistryView::k64Bit, nullptr);
  if (!key) {
    key = platform::CreateLocalMachineKey(ToWide(keyPath), platform::RegistryView::k64Bit, nullptr);
  }
  if (!key) return -1;
  return key->SetValue(ToWide(valueName), value, nullptr) ? 0 : -1;
}

}  // namespace

std::wstring RegistryValueText(const platform::RegistryValue& value) {
  std::wstring text;
  if (value.type != platform::kRegSz && value.type != platform::kRegExpandSz) return text;
  for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
    const wchar_t unit = static_cast<wchar_t>(value.data[i] | (value.data[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

int ReadRegistryString(const std::string& keyPath, const std::string& valueName,
                       std::string* text) {
  std::unique_ptr<platform::IRegistryKey> key = platform::OpenLocalMachineKey(
      ToWide(keyPath), platform::RegistryAccess::kRead, platform::RegistryView::k64Bit, nullptr);
  if (!key) return -1;
  platform::RegistryValue value;
  // Twice the ANSI buffer: a UTF-16 text of the same length.
  if (!key->QueryValue(ToWide(valueName), 2 * kReadBufferBytes, &value, nullptr)) return -1;
  const bool isText = value.type == platform::kRegSz || value.type == platform::kRegExpandSz;
  const std::string read = isText ? ToAnsi(RegistryValueText(value)) : RawBytesUpToZero(value.data);
  if (read.size() >= kReadBufferBytes) return -1;  // RegQueryValueExA: ERROR_MORE_DATA
  *text = read;
  return 0;
}

int WriteRegistryDword(const std::string& keyPath, const std::string& valueName, uint32_t data) {
  platform::RegistryValue value;
  value.type = platform::kRegDword;
  for (int shift = 0; shift < 32; shift += 8) value.data.push_back((data >> shift) & 0xFF);
  return WriteValue(keyPath, valueName, value);
}

int WriteRegistryString(const std::string& keyPath, const std::string& valueName,
                        const std::string& text) {
  platform::RegistryValue value;
  value.type = platform::kRegSz;
  value.data = Utf16LeWithZero(ToWide(text));
  return WriteValue(keyPath, valueName, value);
}

}  // namespace orvex
