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

TEST(DialogModel, WindowTextsAreDecodedAsUtf8AndBadBytesShowAsReplacementCharacters) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"Retry", L"Retry"},
      {"M\xc3\xb6"
       "chten Sie",
       L"M\u00f6"
       L"chten Sie"},
      {"\xd0\xa3\xd1\x81\xd1\x82\xd0\xb0\xd0\xbd\xd0\xbe\xd0\xb2\xd0\xb8\xd1\x82\xd1\x8c",
       L"\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u0438\u0442\u044c"},
      {"\xe5\xae\x89\xe8\xa3\x85", L"\u5b89\u88c5"},
      // A Latin-1 byte and a sequence cut short: one U+FFFD each, the rest intact.
      {"Caf\xe9 ok", L"Caf\ufffd ok"},
      {"\xe5\xae", L"\ufffd"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.first));
    EXPECT_EQ(c.second, DisplayText(c.first));
  }
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
