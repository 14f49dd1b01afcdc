#include "app/dialog_model.h"

#include "base/text.h"

namespace orvex {

std::vector<StepSquare> StepRow(int index, int count, int clientHeight) {
  std::vector<StepSquare> squares;
  const int top = clientHeight - 20;
  for (int i = 0; i < count; ++i) {
    const int left = 10 + 10 * i;
    squares.push_back({left, top, left + 8, top + 8, i < index ? kStepDone : kStepPending});
  }
  return squares;
}

Rgb SeverityColour(int severity) {
  switch (severity) {
    case 0:
      return {0, 165, 0};
    case 1:
      return {165, 128, 0};
    case 2:
      return {255, 0, 0};
    default:
      return {100, 100, 100};
  }
}

PromptRequest MakePromptRequest(std::string message, std::string okCaption,
                                std::string cancelCaption, std::string detail, int severity) {
  return PromptRequest{std::move(message), std::move(detail), std::move(cancelCaption),
                       std::move(okCaption), severity};
}

int PromptAnswer(long long windowResult) { return windowResult == kPromptAccepted ? 1 : 0; }

PromptChoice PromptChoiceOf(long long windowResult) {
  if (windowResult == kPromptAccepted) return PromptChoice::kAccepted;
  if (windowResult == kPromptDeclined) return PromptChoice::kDeclined;
  return PromptChoice::kDismissed;
}

bool PromptButtonShown(const std::string& caption) { return !caption.empty(); }

std::wstring DisplayText(const std::string& utf8) { return Utf8ToWide(utf8); }

}  // namespace orvex
