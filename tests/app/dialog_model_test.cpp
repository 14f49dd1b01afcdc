// What the windows show, checked without a window.

#include "app/dialog_model.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

TEST(DialogModel, StepRowForTheThirdOfSevenStages) {
  std::vector<StepSquare> squares = StepRow(3, 7, 150);
  ASSERT_EQ(7u, squares.size());
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(10 + 10 * i, squares[i].left);
    EXPECT_EQ(squares[i].left + 8, squares[i].right);
    EXPECT_EQ(130, squares[i].top);
    EXPECT_EQ(138, squares[i].bottom);
    EXPECT_EQ(i < 3 ? kStepDone : kStepPending, squares[i].fill);
  }
  EXPECT_TRUE(StepRow(0, 0, 150).empty());
  for (const StepSquare& square : StepRow(0, 4, 150)) EXPECT_EQ(kStepPending, square.fill);
}

TEST(DialogModel, SeverityColoursTheDetailLine) {
  const std::pair<int, Rgb> cases[] = {{0, {0, 165, 0}},
                                       {1, {165, 128, 0}},
                                       {2, {255, 0, 0}},
                                       {7, {100, 100, 100}},
                                       {-1, {100, 100, 100}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(c.second, SeverityColour(c.first));
  }
}

TEST(DialogModel, PromptTextsAreWidenedByteByByteAndStatusDecodedAsUtf8) {
  EXPECT_EQ(L"Retry", WidenBytes("Retry"));
  // "é" in UTF-8 is two bytes: the prompt shows two characters, the status line one.
  EXPECT_EQ((std::wstring{L'\u00c3', L'\u00a9'}), WidenBytes("\xc3\xa9"));
  EXPECT_EQ(L"Caf\u00e9", StatusText("Caf\xc3\xa9"));
}

TEST(DialogModel, PromptArgumentsReachTheirPlacesAndEmptyCaptionsHideButtons) {
  // Prompt's arguments come as message, okCaption, cancelCaption, detail, severity: the
  // product's own prompts, each text distinct, so that two swapped arguments show.
  struct Case {
    const char* message;
    const char* okCaption;
    const char* cancelCaption;
    const char* detail;
    bool okShown;
    bool cancelShown;
  } cases[] = {
      {"Do you want to stop the installation ?", "Yes", "No", "An internet connection is required",
       true, true},
      {"Could not download files from Internet.", "Ok", "", "", true, false},
      {"You must restart  your system to complete Orvex installation.", "Restart Later",
       "Restart Now", "Do you want to restart your system now?.", true, true},
      {"Unable to install", "", "Quit", "Press help to get more help", false, true},
  };
  for (const Case& c : cases) {
    const PromptRequest request =
        MakePromptRequest(c.message, c.okCaption, c.cancelCaption, c.detail, 1);
    EXPECT_EQ(c.message, request.message);
    EXPECT_EQ(c.detail, request.detail);
    EXPECT_EQ(c.okCaption, request.okCaption) << c.message;
    EXPECT_EQ(c.cancelCaption, request.cancelCaption) << c.message;
    EXPECT_EQ(c.okShown, PromptButtonShown(request.okCaption)) << c.message;
    EXPECT_EQ(c.cancelShown, PromptButtonShown(request.cancelCaption)) << c.message;
    EXPECT_EQ(1, request.severity);
  }
}

TEST(DialogModel, OnlyTheAcceptingButtonAnswersYes) {
  const std::pair<long long, int> cases[] = {
      {1, 1},                 // IDOK: the accepting button, or Enter
      {2, 0},                 // IDCANCEL: the declining button
      {kPromptDismissed, 0},  // Esc, the window closed
      {0, 0},                 // the dialog could not be shown
      {-1, 0},                // DialogBox failed
      {6, 0},                 // any other command that ended the dialog
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(c.second, PromptAnswer(c.first));
  }
}

// The restart question acts on its declining button: only the button itself declines; Esc,
// a closed window and a window that never showed are dismissals.
TEST(DialogModel, OnlyTheDecliningButtonDeclines) {
  const std::pair<long long, PromptChoice> cases[] = {
      {1, PromptChoice::kAccepted},
      {2, PromptChoice::kDeclined},
      {kPromptDismissed, PromptChoice::kDismissed},
      {-1, PromptChoice::kDismissed},
      {6, PromptChoice::kDismissed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(c.second, PromptChoiceOf(c.first));
  }
}

}  // namespace
}  // namespace orvex
