#pragma once
// What the installer's two windows show, kept apart from the window code so that it can be
// checked on any machine: the step row's squares, the prompt's texts and the detail colours.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/progress.h"

namespace orvex {

struct Rgb {
  uint8_t red, green, blue;
  bool operator==(const Rgb& other) const {
    return red == other.red && green == other.green && blue == other.blue;
  }
};

constexpr Rgb kStepBorder{128, 128, 128};
constexpr Rgb kStepDone{0, 255, 0};
constexpr Rgb kStepPending{224, 224, 224};

struct StepSquare {
  int left, top, right, bottom;  // pixels in the client area
  Rgb fill;
};

// One square per stage along the bottom of the window: squares before index are done, the
// rest pending; none when count is 0.
std::vector<StepSquare> StepRow(int index, int count, int clientHeight);

// The colour of the prompt's detail line by severity: 0 green, 1 orange, 2 red, else grey.
Rgb SeverityColour(int severity);

// A question for the prompt window, as the indicator's Prompt receives it.
struct PromptRequest {
  std::string message;
  std::string detail;
  std::string cancelCaption;  // "" hides the declining button
  std::string okCaption;      // "" hides the accepting button
  int severity = 0;
};

// The request behind the indicator's Prompt(message, okCaption, cancelCaption, detail,
// severity), whose arguments come in another order than the request's fields.
PromptRequest MakePromptRequest(std::string message, std::string okCaption,
                                std::string cancelCaption, std::string detail, int severity);

// How the prompt window ended, as Prompt answers it: 1 only for the accepting button (the
// dialog's IDOK, 1); the declining button (IDCANCEL, 2), Esc, a closed window or a failure to
// show it (0, -1) decline.
constexpr int kPromptAccepted = 1;
int PromptAnswer(long long windowResult);

// The prompt window ends with the declining button's id (IDCANCEL, 2) only when that button
// was chosen; Esc and closing the window end it with kPromptDismissed.
constexpr int kPromptDeclined = 2;
constexpr int kPromptDismissed = 0;
// How the prompt window ended, for questions where declining does something of its own: a
// failure to show the window (-1) counts as dismissed.
PromptChoice PromptChoiceOf(long long windowResult);

// A button whose caption is empty is hidden.
bool PromptButtonShown(const std::string& caption);

// What the windows show of a narrow text (prompt texts and captions, the status line): the
// text is UTF-8, and bytes that are not show as U+FFFD.
std::wstring DisplayText(const std::string& utf8);

}  // namespace orvex
