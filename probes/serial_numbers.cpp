#include "probes/serial_numbers.h"

#include <cctype>

#include "base/text.h"

namespace orvex {

namespace {

int HexDigitValue(char digit) {
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return digit - '0';
}

}  // namespace

bool IsHexText(const std::string& text) {
  if (text.empty()) return false;
  for (unsigned char c : text)
    if (!std::isxdigit(c)) return false;
  return true;
}

std::string DecodeHexSerial(const std::string& text) {
  std::string decoded;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    if (text[i] == '2' && text[i + 1] == '0') continue;
    const char byte = static_cast<char>(16 * HexDigitValue(text[i]) + HexDigitValue(text[i + 1]));
    if (byte == 0) break;
    decoded.push_back(byte);
  }
  return decoded;
}

std::string CleanDiskSerial(std::string serial) {
  EraseAll(serial, " ");
  if (IsHexText(serial)) serial = DecodeHexSerial(serial);
  return serial;
}

std::string KeepLettersAndDigits(const std::string& text) {
  std::string kept;
  for (char c : text) {
    const bool letterOrDigit =
        (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (letterOrDigit) kept.push_back(c);
  }
  return kept;
}

std::string CleanBiosSerial(std::string biosSerial, const std::string& diskSerial) {
  EraseAll(biosSerial, " ");
  biosSerial = KeepLettersAndDigits(biosSerial);
  if (biosSerial.empty()) biosSerial = KeepLettersAndDigits(diskSerial);
  return biosSerial;
}

}  // namespace orvex
