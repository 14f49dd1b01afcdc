// What the windows show, checked without a window.

#include <gtest/gtest.h>

#include "app/dialog_model.h"

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
  const std::pair<int, Rgb> cases[] = {
      {0, {0, 165, 0}}, {1, {165, 128, 0}}, {2, {255, 0, 0}}, {7, {100, 100, 100}}, {-1, {100, 100, 100}}};
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

}  // namespace
}  // namespace orvex
