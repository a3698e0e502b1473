#include "utils/delimited_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using varnel::SUB;

TEST(DelimitedList, CountAndItems) {
  struct Case {
    std::string list;
    int count;
    int index;
    std::string item;  // "<def>" marks the default
  };
  const Case cases[] = {
      {"|a||b|", 3, 1, "<def>"},
      {"|a||b|", 3, 2, "b"},
      {"|x|y|z|", 3, -1, "z"},
      {"|x|y|z|", 3, 3, "<def>"},
      {"|x|y|z|", 3, -2, "<def>"},
      {"|a|b", 0, 1, "<def>"},  // no closing separator: last item missing
      {"|a|b", 0, 0, "a"},
      {"|a|b", 0, -1, "<def>"},
      {"", 0, 0, "<def>"},
      {"|", 0, 0, "<def>"},
      {"||", 1, 0, "<def>"},
      {"\x01" "English\x01" "s1=x\x01", 2, 1, "s1=x"},
      {"|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|", 7, 6, "&Ignore"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list + " #" + std::to_string(c.index));
    EXPECT_EQ(SUB::ListCount(c.list), c.count);
    EXPECT_EQ(SUB::ListItem(c.list, c.index, "<def>"), c.item);
  }
}

TEST(DelimitedList, ItemInt) {
  EXPECT_EQ(SUB::ListItemInt("|12|-7|x|| 3|", 0, 99), 12);
  EXPECT_EQ(SUB::ListItemInt("|12|-7|x|| 3|", 1, 99), -7);
  EXPECT_EQ(SUB::ListItemInt("|12|-7|x|| 3|", 2, 99), 99);
  EXPECT_EQ(SUB::ListItemInt("|12|-7|x|| 3|", 3, 99), 99);
  EXPECT_EQ(SUB::ListItemInt("|12|-7|x|| 3|", 4, 99), 3);
  EXPECT_EQ(SUB::ListItemInt("|5x|", 0, 99), 99);
  EXPECT_EQ(SUB::ListItemInt("|-|", 0, 99), 99);
  EXPECT_EQ(SUB::ListItemInt("|9223372036854775807|", 0, 0), INT64_MAX);
  EXPECT_EQ(SUB::ListItemInt("|-9223372036854775808|", 0, 0), INT64_MIN);
  EXPECT_EQ(SUB::ListItemInt("|9223372036854775808|", 0, 5), 5);
  EXPECT_EQ(SUB::ListItemInt("|99999999999999999999|", 0, 5), 5);
}

TEST(DelimitedList, Value) {
  struct Case {
    std::string list, name;
    bool ci, dropAll;
    std::string expected;
  };
  const Case cases[] = {
      {"|Name=A|Size =5|", "size", true, true, "5"},
      {"|Name=A|Size =5|", "size", false, true, "<missing>"},
      {"|Name=A|Size =5|", "Size", false, true, "5"},
      // Without dropAllBlanks only the blanks before the list's first "=" go.
      {"|Name=A|Size =5|", "Size", false, false, "<missing>"},
      {"|Name  =A|Size=5|", "Name", false, false, "A"},
      {"|Size= 5|", "Size", false, false, " 5"},
      {"|Size=|", "Size", false, false, "<empty>"},
      {"|Other=1|", "Size", false, false, "<missing>"},
      {"|a=1|b=2|", "a=", false, false, "1"},  // name already ends with "="
      {"|==x|", "=", false, false, "x"},       // "=" alone still gets one
      {"|=x|", "", false, false, "x"},
      {"||", "a", false, false, "<missing>"},
      {"|a=1", "a", false, false, "<missing>"},  // not a list
      {"|xa=1|a=2|", "a", false, false, "2"},    // whole names only
      {"|v=a = b|k =c|", "k", false, true, "c"},
      {"|v=a = b|k =c|", "v", false, true, "a= b"},  // blanks before "=" inside values go too
      {"\x01" "English\x01" "S1 =Hello\x01", "s1", true, true, "Hello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list + " / " + c.name);
    EXPECT_EQ(SUB::ListValue(c.list, c.name, c.ci, c.dropAll, "<empty>", "<missing>"), c.expected);
  }
}

TEST(DelimitedList, IndexOfAndContains) {
  EXPECT_EQ(SUB::ListIndexOf("|a|b|c|", "a", -1), 0);
  EXPECT_EQ(SUB::ListIndexOf("|a|b|c|", "C", -1), 2);
  EXPECT_EQ(SUB::ListIndexOf("  |a|b|c|  ", " b ", -1), 1);
  EXPECT_EQ(SUB::ListIndexOf("|a||c|", "c", -1), 2);
  EXPECT_EQ(SUB::ListIndexOf("|a|b|c|", "d", -1), -1);
  EXPECT_EQ(SUB::ListIndexOf("", "a", -7), -7);

  EXPECT_TRUE(SUB::ListContains("|One|Two|", "Two", false, false));
  EXPECT_FALSE(SUB::ListContains("|One|Two|", "two", false, false));
  EXPECT_TRUE(SUB::ListContains("|One|Two|", "two", false, true));
  EXPECT_FALSE(SUB::ListContains("|One|Two|", " Two ", false, false));
  EXPECT_TRUE(SUB::ListContains(" |One|Two| ", " Two ", true, false));
  EXPECT_FALSE(SUB::ListContains("|One|Two|", "On", false, false));
  EXPECT_FALSE(SUB::ListContains("|One||", "", false, false));
  EXPECT_FALSE(SUB::ListContains("", "One", false, false));
}

TEST(DelimitedList, NamesValuesZip) {
  EXPECT_EQ(SUB::ListNames("|a=1|b = 2|c|", true), "|a|b||");
  EXPECT_EQ(SUB::ListValues("|a=1|b = 2|c|", true), "|1|2||");
  EXPECT_EQ(SUB::ListValues("|a=1|b = 2|c|", false), "|1| 2||");
  EXPECT_EQ(SUB::ListValues("#u=x|y#v#", false), "*x|y**");  // "|" inside a value
  EXPECT_EQ(SUB::ListNames("", true), "");

  EXPECT_EQ(SUB::ListZip("|a|b|c|", "|1|", false), "|a=1|b=|c=|");
  EXPECT_EQ(SUB::ListZip("|a|b|", "|1|2|3|", false), "|a=1|b=2|=3|");
  EXPECT_EQ(SUB::ListZip("|a|||", "|1|||", true), "|a=1|");
  EXPECT_EQ(SUB::ListZip("|a|||", "|1|||", false), "|a=1|=|=|");
  EXPECT_EQ(SUB::ListZip("", "", true), "");
}

TEST(DelimitedList, Edits) {
  EXPECT_EQ(SUB::ListDelete("|a|b|c|", 1), "|a|c|");
  EXPECT_EQ(SUB::ListDelete("|a||c|", 0), "||c|");
  EXPECT_EQ(SUB::ListDelete("|a|b|c|", 3), "|a|b|c|");
  EXPECT_EQ(SUB::ListDelete("|a|b|c|", -1), "|a|b|c|");
  EXPECT_EQ(SUB::ListDelete("|a|", 0), "");

  EXPECT_EQ(SUB::ListSetItem("|a|b|", 4, "c"), "|a|b|||c|");
  EXPECT_EQ(SUB::ListSetItem("|a|b|", 0, "z"), "|z|b|");
  EXPECT_EQ(SUB::ListSetItem("", 0, "a"), "|a|");
  EXPECT_EQ(SUB::ListSetItem("#a#b#", 1, "c"), "#a#c#");
  EXPECT_EQ(SUB::ListSetItem("|a|b|", 1, "x|y"), "*a*x|y*");
  EXPECT_EQ(SUB::ListSetItem("|a*|b|", 1, "x|y"), "~a*~x|y~");

  EXPECT_EQ(SUB::ListReverse("|a||c|"), "|c||a|");
  EXPECT_EQ(SUB::ListReverse("#1#"), "#1#");
  EXPECT_EQ(SUB::ListReverse("|"), "");

  EXPECT_EQ(SUB::ListUnique("|A|a| A|b|"), "|A|b|");
  EXPECT_EQ(SUB::ListUnique("|||"), "");
  EXPECT_EQ(SUB::ListUnique("#x##y#X#"), "#x#y#");

  EXPECT_EQ(SUB::ListTrimEmpty("|||a||b|||", true, false), "|||a||b|");
  EXPECT_EQ(SUB::ListTrimEmpty("|||a||b|||", false, true), "|a||b|||");
  EXPECT_EQ(SUB::ListTrimEmpty("|||a||b|||", true, true), "|a||b|");
  EXPECT_EQ(SUB::ListTrimEmpty("||||", true, false), "");
  EXPECT_EQ(SUB::ListTrimEmpty("||", false, true), "");
}

TEST(DelimitedList, BuildAndReseparate) {
  EXPECT_EQ(SUB::ListFromArray({"a", "b"}, false), "|a|b|");
  EXPECT_EQ(SUB::ListFromArray({}, false), "");
  EXPECT_EQ(SUB::ListFromArray({""}, false), "||");
  EXPECT_EQ(SUB::ListFromArray({"a|b", "c*"}, false), "~a|b~c*~");
  EXPECT_EQ(SUB::ListFromArray({"x", "X", "", "y"}, true), "|x|y|");
  // Every candidate occurs: the assembly separator stays.
  const std::string all = "|*~^!@#$&\xFF";
  EXPECT_EQ(SUB::ListFromArray({all, "b"}, false), std::string("\0", 1) + all + '\0' + "b" + '\0');

  EXPECT_EQ(SUB::ListAppend("", {"a", "b"}, false), "|a|b|");
  EXPECT_EQ(SUB::ListAppend("#a#", {"b", "c"}, false), "#a#b#c#");
  EXPECT_EQ(SUB::ListAppend("#a#", {"b#"}, false), "|a|b#|");
  EXPECT_EQ(SUB::ListAppend("|a|", {"A", "b"}, true), "|a|b|");
  EXPECT_EQ(SUB::ListAppend("|a", {"b"}, false), "|a|b|");

  EXPECT_EQ(SUB::ListReseparate("plain"), "|plain|");
  EXPECT_EQ(SUB::ListReseparate("a|b"), "*a|b*");
  EXPECT_EQ(SUB::ListReseparate("#a#b#"), "|a|b|");
  EXPECT_EQ(SUB::ListReseparate("#a|#b#"), "*a|*b*");
  EXPECT_EQ(SUB::ListReseparate(std::string("\0x\0", 3)), "|x|");
  EXPECT_EQ(SUB::ListReseparate(std::string("\0", 1)), "");
  EXPECT_EQ(SUB::ListReseparate(""), "");
  // The separator byte is replaced wherever it stands, also as the first character.
  EXPECT_EQ(SUB::ListReseparate("\x01" "a\x01" "b\x01"), "|a|b|");
}

}  // namespace
