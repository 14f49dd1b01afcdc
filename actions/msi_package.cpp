#include "actions/msi_package.h"

#include <climits>
#include <cstdint>

#include "base/text.h"
#include "platform/msi_install.h"

namespace orvex {

namespace {

// _wtol: optional blanks and sign, then digits up to the first other character; a value out
// of the 32-bit range gives LONG_MAX or LONG_MIN.
int ParseLong(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    value = value * 10 + (text[at] - '0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) break;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int>(value);
}

// The external handler msi.dll calls; the context is the package being installed.
int ORVEX_MSI_CALLBACK ExternalHandler(void* context, uint32_t type, const wchar_t* text) {
  if (!context) return 0;
  return static_cast<CMsiPackage*>(context)->HandleMessage(type, text);
}

}  // namespace

bool ParseProgressText(const std::string& text, ProgressFields* fields) {
  ProgressFields parsed;
  std::size_t at = 0;
  int expected = 1;
  for (;;) {
    while (at < text.size() && text[at] == ' ') ++at;
    if (at >= text.size()) break;
    if (text.size() - at < 3 || text[at + 1] != ':' || text[at + 2] != ' ') return false;
    const int field = text[at] - '0';
    if (field != expected) return false;
    at += 3;
    const std::size_t end = text.find(' ', at);
    const std::string value =
        text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? text.size() : end;
    if (field == 1) {
      if (value.size() != 1 || value[0] < '0' || value[0] > '9') return false;
      parsed.type = value[0] - '0';
    } else if (field == 2) {
      parsed.field2 = ParseLong(value);
      if (parsed.type == 2 || parsed.type == 3) break;
    } else if (field == 3) {
      parsed.field3 = ParseLong(value);
      if (parsed.type == 1) break;
    } else {
      parsed.field4 = ParseLong(value);
      break;
    }
    ++expected;
  }
  if (expected == 1) return false;  // an empty text, or blanks only
  if (fields) *fields = parsed;
  return true;
}

int ProgressPercent(int64_t position, int64_t total) {
  if (total <= 0 || position <= 0) return 0;
  if (position >= total) return 100;
  if (position <= INT64_MAX / 100) return static_cast<int>(position * 100 / total);
  // position * 100 needs more than 64 bits: multiply into two words and divide bit by bit.
  const uint64_t a = static_cast<uint64_t>(position);
  const uint64_t b = static_cast<uint64_t>(total);
  const uint64_t low = (a & 0xFFFFFFFFu) * 100;
  const uint64_t high = (a >> 32) * 100;
  uint64_t productLow = (high << 32) + low;
  uint64_t productHigh = (high >> 32) + (productLow < low ? 1 : 0);
  uint64_t quotient = 0;
  uint64_t remainder = 0;
  for (int bit = 127; bit >= 0; --bit) {
    const uint64_t next = bit >= 64 ? (productHigh >> (bit - 64)) & 1 : (productLow >> bit) & 1;
    remainder = (remainder << 1) | next;  // remainder < b < 2^63: no overflow
    if (remainder >= b) {
      remainder -= b;
      if (bit < 64) quotient |= uint64_t{1} << bit;
    }
  }
  return static_cast<int>(quotient);
}

std::string MsiCommandLine(const std::vector<MsiProperty>& properties) {
  std::string line;
  for (const MsiProperty& property : properties)
    line += " " + property.first + "=" + property.second;
  return line;
}

CMsiPackage::CMsiPackage(std::wstring path, std::vector<MsiProperty> properties,
                         IMSIHandler* handler)
    : path_(std::move(path)), properties_(std::move(properties)), handler_(handler) {}

uint32_t CMsiPackage::Install() {
  const uint32_t previousLevel = platform::SetInstallUiLevel(kUiLevel);
  const platform::InstallMessageHandler previousHandler =
      platform::SetInstallMessageHandler(&ExternalHandler, kMessageFilter, this);
  const uint32_t result = platform::InstallProduct(path_, Utf8ToWide(MsiCommandLine(properties_)));
  // This package is the handler's context and ends with the installation; Windows Installer
  // does not report the previous handler's filter and context.
  platform::SetInstallMessageHandler(previousHandler, previousHandler ? kMessageFilter : 0,
                                     nullptr);
  platform::SetInstallUiLevel(previousLevel);
  return result;
}

int CMsiPackage::HandleMessage(uint32_t type, const wchar_t* text) {
  if (!text) return 0;
  const std::string narrow = ToNarrow(text);
  if (!handler_) return 1;
  switch (type & platform::kInstallMessageKindMask) {
    case platform::kInstallMessageFatalExit:
      handler_->OnFatalExit(narrow);
      break;
    case platform::kInstallMessageError:
      handler_->OnError(narrow);
      break;
    case platform::kInstallMessageWarning:
      handler_->OnWarning(narrow);
      break;
    case platform::kInstallMessageInstallStart:
      handler_->OnInstallStart(narrow);
      break;
    case platform::kInstallMessageInstallEnd:
      handler_->OnInstallEnd(narrow);
      break;
    case platform::kInstallMessageActionStart: {
      const std::size_t first = narrow.find('*');
      if (first != std::string::npos) {
        const std::size_t second = narrow.find('*', first + 1);
        const std::string piece = narrow.substr(
            first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (!piece.empty() && piece != " ") handler_->OnActionStart(piece);
      }
      step_ = 0;
      break;
    }
    case platform::kInstallMessageActionData:
      if (step_ != 0 && total_ != 0) {
        position_ += step_;
        ReportPercent();
      }
      break;
    case platform::kInstallMessageProgress:
      OnProgressText(narrow);
      break;
    default:
      break;
  }
  return 1;
}

void CMsiPackage::OnProgressText(const std::string& text) {
  if (!ParseProgressText(text, &fields_)) return;
  switch (fields_.type) {
    case 0:
      total_ = fields_.field2;
      position_ = 0;
      break;
    case 1:
      if (fields_.field3 != 0) step_ = fields_.field2;
      break;
    case 2:
      position_ += fields_.field2;
      break;
    default:
      break;
  }
  if (total_ != 0) ReportPercent();
}

void CMsiPackage::ReportPercent() { handler_->OnProgress(ProgressPercent(position_, total_)); }

}  // namespace orvex
