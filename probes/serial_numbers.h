#pragma once
// Serial numbers as WMI reports them, made readable and comparable: disk serials that come as
// hexadecimal text of their ASCII characters, BIOS serials with blanks and punctuation.

#include <string>

namespace orvex {

// True when text is not empty and made only of hexadecimal digits.
bool IsHexText(const std::string& text);

// Walks text two characters at a time: "20" (an encoded blank) is skipped, any other pair
// becomes the byte it spells; the bytes up to the first zero byte are the result. Upper-case
// digits count like lower-case ones; a lone last character is dropped.
std::string DecodeHexSerial(const std::string& text);

// The disk serial as the record keeps it: blanks removed, then decoded when what is left is
// hexadecimal text.
std::string CleanDiskSerial(std::string serial);

// Only the ASCII letters and digits of text.
std::string KeepLettersAndDigits(const std::string& text);

// The BIOS serial as the record keeps it: blanks removed, then letters and digits only; when
// nothing is left, the disk serial cleaned the same way.
std::string CleanBiosSerial(std::string biosSerial, const std::string& diskSerial);

}  // namespace orvex
