#include "dialogs/message_markup.h"

#include <gtest/gtest.h>

namespace varnel {
namespace {

struct MarkupCase {
  const char* markup;
  const char* text;
  std::vector<BoldRange> bold;
};

class MarkupTest : public ::testing::TestWithParam<MarkupCase> {};

TEST_P(MarkupTest, GivesPlainTextAndBoldRanges) {
  const MarkupCase& c = GetParam();
  const MarkupText m = ParseMarkup(c.markup);
  EXPECT_EQ(m.text, c.text);
  EXPECT_EQ(m.bold, c.bold);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MarkupTest,
    ::testing::Values(
        MarkupCase{"a<b>b</b>c", "abc", {{1, 2}}},
        MarkupCase{"a<B>b</B>c", "abc", {{1, 2}}},
        // A closing tag before the opening one: both go, nothing is bold.
        MarkupCase{"x</b>y<b>z", "xyz", {}},
        MarkupCase{"one<P>two", "one\r\ntwo", {}},
        MarkupCase{"one<p>two<t>three", "one\r\ntwo\tthree", {}},
        MarkupCase{"one\\\\ntwo\\\\tthree", "one\r\ntwo\tthree", {}},
        // Upper-case N after the backslashes is no line break.
        MarkupCase{"one\\\\Ntwo", "one\\\\Ntwo", {}},
        // Network paths keep their doubled backslash, even before n or t.
        MarkupCase{"\\\\nas01\\updates\\setup.exe<P><P>Unable to save!",
                   "\\\\nas01\\updates\\setup.exe\r\n\r\nUnable to save!", {}},
        MarkupCase{"Folder: \\\\tserver\\share<P>", "Folder: \\\\tserver\\share\r\n", {}},
        MarkupCase{"<b>\\\\nas\\x</b>", "\\\\nas\\x", {{0, 7}}},
        MarkupCase{"(\\\\nas\\x)", "(\\\\nas\\x)", {}},
        // Escapes inside words and before a blank stay escapes.
        MarkupCase{"line\\\\nnext\\\\nlast", "line\r\nnext\r\nlast", {}},
        MarkupCase{"end. \\\\nNext line", "end. \r\nNext line", {}},
        // A line break counts two characters in the positions.
        MarkupCase{"a<P><b>bold</b>", "a\r\nbold", {{3, 7}}},
        MarkupCase{"<<b>HEAD</b><P><P>text<P>", "HEAD\r\n\r\ntext\r\n", {{0, 4}}},
        // "<<b>" elsewhere keeps its first "<".
        MarkupCase{"x<<b>y</b>", "x<y", {{2, 3}}},
        MarkupCase{"a < b <i>c</i>", "a < b <i>c</i>", {}},
        MarkupCase{"<b>1</b> and <b>2</b>", "1 and 2", {{0, 1}, {6, 7}}},
        // An opening tag without a closing one is dropped, text stays plain.
        MarkupCase{"<b>open", "open", {}},
        MarkupCase{"</b></b>x", "x", {}},
        MarkupCase{"", "", {}}));

TEST(MsgBoxHeading, BuiltInTitlesAreUpperCasedTranslationsStay) {
  EXPECT_EQ(MsgBoxHeading("Error"), "ERROR");
  EXPECT_EQ(MsgBoxHeading("Attention"), "ATTENTION");
  EXPECT_EQ(MsgBoxHeading("Confirm"), "CONFIRM");
  EXPECT_EQ(MsgBoxHeading("Fehler"), "Fehler");
  // The test is a substring one and case-sensitive.
  EXPECT_EQ(MsgBoxHeading("rror"), "RROR");
  EXPECT_EQ(MsgBoxHeading("error"), "error");
}

TEST(MsgBoxHeading, HeadingTextRendersAsBoldTitleEmptyLineAndText) {
  const MarkupText m = ParseMarkup(TextWithHeading("Error", "Disk full"));
  EXPECT_EQ(m.text, "ERROR\r\n\r\nDisk full\r\n");
  ASSERT_EQ(m.bold.size(), 1u);
  EXPECT_EQ(m.bold[0], (BoldRange{0, 5}));
}

}  // namespace
}  // namespace varnel
