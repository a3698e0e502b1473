#include "dialogs/message_box_layout.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

TEST(MsgBoxButtons, EverySetHasItsCaptionsAndResults) {
  struct Case {
    unsigned set;
    std::vector<std::string> captions;
    std::vector<int> results;
  };
  const Case cases[] = {
      {0, {"&OK"}, {1}},
      {1, {"&OK", "&Cancel"}, {1, 2}},
      {2, {"&Abort", "&Retry", "&Ignore"}, {3, 4, 5}},
      {3, {"&Yes", "&No", "&Cancel"}, {6, 7, 2}},
      {4, {"&Yes", "&No"}, {6, 7}},
      {5, {"&Retry", "&Cancel"}, {4, 2}},
      {6, {}, {}},
      {15, {}, {}},
  };
  for (const Case& c : cases) {
    // Icon and other bits do not change the set.
    const auto buttons = MsgBoxButtons(c.set | 0x30 | 0x100, kMsgBoxButtonList);
    ASSERT_EQ(buttons.size(), c.captions.size()) << c.set;
    for (size_t i = 0; i < buttons.size(); ++i) {
      EXPECT_EQ(buttons[i].caption, c.captions[i]) << c.set;
      EXPECT_EQ(buttons[i].result, c.results[i]) << c.set;
    }
  }
}

TEST(MsgBoxButtons, CaptionsComeFromTheCallersListAndMissingItemsAreEmpty) {
  const auto buttons = MsgBoxButtons(4, "*&Ok*&Abbrechen*&Ja*");
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0].caption, "&Ja");
  EXPECT_EQ(buttons[1].caption, "");
  EXPECT_EQ(buttons[1].result, kIdNo);
}

TEST(MsgBoxButtons, DefaultButtonIsTakenModuloTheCount) {
  EXPECT_EQ(MsgBoxDefaultButton(0x004, 2), 0);
  EXPECT_EQ(MsgBoxDefaultButton(0x104, 2), 1);
  EXPECT_EQ(MsgBoxDefaultButton(0x204, 2), 0);
  EXPECT_EQ(MsgBoxDefaultButton(0x203, 3), 2);
  EXPECT_EQ(MsgBoxDefaultButton(0x300, 1), 0);
  EXPECT_EQ(MsgBoxDefaultButton(0x100, 0), 0);
}

// Width of a line: 10 pixels per character.
int TenPerChar(std::string_view line) { return static_cast<int>(line.size()) * 10; }

TEST(MeasureMsgBoxText, WidestLinePlusTenAndALineHeightPerLine) {
  EXPECT_EQ(MeasureMsgBoxText("abc\r\nabcdef", 13, TenPerChar), (Size2{70, 26}));
  // An empty last line does not count; an empty middle line does.
  EXPECT_EQ(MeasureMsgBoxText("abc\r\n\r\nab\r\n", 13, TenPerChar), (Size2{40, 39}));
  // An empty text is measured as one blank.
  EXPECT_EQ(MeasureMsgBoxText("", 13, TenPerChar), (Size2{20, 13}));
}

TEST(MeasureMsgBoxText, LongLinesAreCappedAt600AndCountOncePerFull600Pixels) {
  // One 1300-pixel line: 600 wide, three lines high.
  EXPECT_EQ(MeasureMsgBoxText(std::string(130, 'x'), 13, TenPerChar), (Size2{600, 39}));
  // Exactly 600 pixels already counts twice.
  EXPECT_EQ(MeasureMsgBoxText(std::string(60, 'x'), 13, TenPerChar), (Size2{600, 26}));
  EXPECT_EQ(MeasureMsgBoxText(std::string(59, 'x'), 13, TenPerChar), (Size2{600, 13}));
  EXPECT_EQ(MeasureMsgBoxText(std::string(58, 'x'), 13, TenPerChar), (Size2{590, 13}));
}

TEST(MsgBoxOuterSize, MarginsFramesAndTheMinimumWidth) {
  const FrameMetrics m{3, 3, 19};
  // Narrow and low text area: wide margins, still at least 360 wide.
  EXPECT_EQ(MsgBoxOuterSize({50, 13}, m), (Size2{360, 13 + 36 + 90 + 6 + 19}));
  EXPECT_EQ(MsgBoxOuterSize({199, 38}, m), (Size2{199 + 54 + 128 + 6, 38 + 36 + 90 + 25}));
  EXPECT_EQ(MsgBoxOuterSize({200, 39}, m), (Size2{360, 39 + 36 + 64 + 25}));
  EXPECT_EQ(MsgBoxOuterSize({240, 39}, m), (Size2{240 + 54 + 64 + 6, 164}));
  EXPECT_EQ(MsgBoxOuterSize({610, 39}, m), (Size2{610 + 54 + 64 + 6, 164}));
}

TEST(MsgBoxPlacement, CentredTextAreaAndButtonRow) {
  EXPECT_EQ(CentreIn({0, 0, 1024, 738}, {361, 200}), (Rect2{331, 269, 361, 200}));
  EXPECT_EQ(CentreIn({10, 0, 100, 100}, {120, 100}), (Rect2{0, 0, 120, 100}));
  const Size2 client{400, 150};
  EXPECT_EQ(MsgBoxTextPlace(client, {200, 39}), (Rect2{54 + 73, 37, 200, 150 - 37 - 39}));
  // Three buttons: the last ends 10 pixels from the right, no gaps.
  EXPECT_EQ(MsgBoxButtonPlace(client, 2, 3), (Rect2{320, 121, 70, 23}));
  EXPECT_EQ(MsgBoxButtonPlace(client, 1, 3), (Rect2{250, 121, 70, 23}));
  EXPECT_EQ(MsgBoxButtonPlace(client, 0, 3), (Rect2{180, 121, 70, 23}));
  EXPECT_EQ(MsgBoxButtonPlace(client, 0, 1), (Rect2{320, 121, 70, 23}));
}

TEST(MsgBoxKeys, AltChoosesBySecondCharacterFirstButtonWins) {
  const std::array<std::string, 3> yesNoCancel{"&Yes", "&No", "&Cancel"};
  EXPECT_EQ(AltKeyChoice(yesNoCancel, 'y'), 0);
  EXPECT_EQ(AltKeyChoice(yesNoCancel, 'N'), 1);
  EXPECT_EQ(AltKeyChoice(yesNoCancel, 'c'), 2);
  EXPECT_EQ(AltKeyChoice(yesNoCancel, 'x'), -1);
  EXPECT_EQ(AltKeyChoice({"&Ab", "&Ac", ""}, 'a'), 0);
  // The second character, whatever it is; a one-character caption never.
  EXPECT_EQ(AltKeyChoice({"Yes", "N", ""}, 'e'), 0);
  EXPECT_EQ(AltKeyChoice({"Yes", "N", ""}, 'n'), -1);
}

TEST(MsgBoxKeys, LetterChoosesByMnemonicLastButtonWins) {
  const std::array<std::string, 3> yesNoCancel{"&Yes", "&No", "&Cancel"};
  EXPECT_EQ(LetterKeyChoice(yesNoCancel, 'Y'), 0);
  EXPECT_EQ(LetterKeyChoice(yesNoCancel, 'n'), 1);
  EXPECT_EQ(LetterKeyChoice(yesNoCancel, 'C'), 2);
  EXPECT_EQ(LetterKeyChoice(yesNoCancel, 'Q'), -1);
  EXPECT_EQ(LetterKeyChoice({"Abort", "Re&try", "Ignore"}, 'T'), 1);
  EXPECT_EQ(LetterKeyChoice({"Abort", "Re&try", "Ignore"}, 'R'), -1);
  EXPECT_EQ(LetterKeyChoice({"&Ab", "&Ac", ""}, 'A'), 1);
}

}  // namespace
}  // namespace varnel
