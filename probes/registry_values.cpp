#include "probes/registry_values.h"

#include <memory>

#include "base/text.h"

namespace orvex {

namespace {

// A text value is read in UTF-16 and handed on as UTF-8; at most 127 characters and the zero
// fit the buffer, as in a 128-byte ANSI read.
constexpr std::size_t kReadBufferChars = 128;

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
  if (!key->QueryValue(ToWide(valueName), 2 * kReadBufferChars, &value, nullptr)) return -1;
  const bool isText = value.type == platform::kRegSz || value.type == platform::kRegExpandSz;
  if (!isText) {
    // Binary data is handed on as its bytes up to the first zero; too long is ERROR_MORE_DATA.
    const std::string raw = RawBytesUpToZero(value.data);
    if (raw.size() >= kReadBufferChars) return -1;
    *text = raw;
    return 0;
  }
  const std::wstring wide = RegistryValueText(value);
  if (wide.size() >= kReadBufferChars) return -1;
  *text = WideToUtf8(wide);
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
