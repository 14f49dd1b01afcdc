// The installer's messages as CMsiPackage reads them. The input is a list of messages, one a
// line: the first byte picks the kind (progress, action data, action start and the others),
// the rest is the text. Besides crashes it checks that every reported percentage lies within
// 0..100 and that the parser never accepts what it must refuse.

#include <cstdlib>
#include <string>

#include "actions/msi_package.h"
#include "base/text.h"
#include "fuzz/fuzz_support.h"
#include "platform/msi_install.h"

namespace {

class CheckingHandler : public orvex::IMSIHandler {
 public:
  void OnInstallStart(const std::string&) override {}
  void OnInstallEnd(const std::string&) override {}
  void OnActionStart(const std::string& action) override {
    if (action.empty() || action == " " || action.find('*') != std::string::npos) std::abort();
  }
  void OnProgress(int percent) override {
    if (percent < 0 || percent > 100) std::abort();
  }
  void OnFatalExit(const std::string&) override {}
  void OnError(const std::string&) override {}
  void OnWarning(const std::string&) override {}
};

const uint32_t kKinds[] = {
    orvex::platform::kInstallMessageProgress,    orvex::platform::kInstallMessageActionData,
    orvex::platform::kInstallMessageActionStart, orvex::platform::kInstallMessageError,
    orvex::platform::kInstallMessageFatalExit,   orvex::platform::kInstallMessageInstallStart,
    orvex::platform::kInstallMessageInstallEnd,  orvex::platform::kInstallMessageInfo,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvex;
  const std::string input = fuzz::Text(data, size);
  ProgressFields fields;
  if (ParseProgressText(input, &fields)) {
    if (input.find_first_not_of(' ') == std::string::npos) std::abort();
    if (fields.type < 0 || fields.type > 9) std::abort();
  }
  CheckingHandler handler;
  CMsiPackage package(L"C:\\fuzz.msi", {}, &handler);
  std::size_t start = 0;
  while (start < input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    const std::string line = input.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    const uint32_t kind =
        kKinds[static_cast<unsigned char>(line[0]) % (sizeof kKinds / sizeof kKinds[0])];
    const std::wstring text = ToWide(line.substr(1));
    if (package.HandleMessage(kind | (static_cast<unsigned char>(line[0]) & 0xFF), text.c_str()) !=
        1)
      std::abort();
  }
  return 0;
}
