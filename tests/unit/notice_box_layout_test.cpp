#include "dialogs/notice_box_layout.h"

#include <gtest/gtest.h>

using namespace varnel;

TEST(NoticeBoxLayout, StripAndButtonOnlyWithAnAddress) {
  const NoticeLayout plain = LayoutNoticeBox({600, 400}, false);
  EXPECT_EQ(plain.text, (Rect2{3, 0, 597, 400}));
  EXPECT_EQ(plain.button, Rect2{});

  const NoticeLayout withAddress = LayoutNoticeBox({600, 400}, true);
  EXPECT_EQ(withAddress.text, (Rect2{3, 0, 597, 357}));
  EXPECT_EQ(withAddress.button, (Rect2{220, 367, 160, 25}));
  // An odd width: the button stays centred, rounded down.
  EXPECT_EQ(LayoutNoticeBox({301, 200}, true).button, (Rect2{70, 167, 160, 25}));
}

TEST(NoticeBoxLayout, TextFaceAndScreenCentre) {
  EXPECT_EQ(NoticeTextFace(""), "Verdana");
  EXPECT_EQ(NoticeTextFace("Tahoma"), "Verdana");
  EXPECT_EQ(NoticeTextFace("tahoma"), "tahoma");  // only exactly "Tahoma" is replaced
  EXPECT_EQ(NoticeTextFace("Arial"), "Arial");
  EXPECT_EQ(CentreOnScreen({1024, 768}, {501, 300}), (Rect2{261, 234, 501, 300}));
  // A box larger than the screen: negative, truncated toward zero.
  EXPECT_EQ(CentreOnScreen({1024, 768}, {1101, 800}), (Rect2{-38, -16, 1101, 800}));
}

TEST(NoticeBoxLayout, OnlyWebAddressesAreOpened) {
  struct Case {
    const char* address;
    bool web;
  } cases[] = {
      {"http://example.test/news.html", true}, {"HTTPS://example.test/", true},
      {"Http://x", true},                      {"http://", false},
      {"https:", false},                       {"\\\\host\\share\\setup.exe", false},
      {"C:\\Windows\\notepad.exe", false},     {"file:///C:/x.exe", false},
      {"mailto:a@example.test", false},        {"ftp://example.test/x", false},
      {" http://x", false},  // trimmed by the caller first
      // One text for the shell: nothing that could split it or add options.
      {"http://x/\" --profile C:\\evil", false}, {"http://x/a b", false},
      {"http://x/\r\nnext", false},                {"http://x/\ta", false},
      {"http://x/\x7f", false},                     {"https://x/a%20b?q=1&r=2#f", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsWebAddress(c.address), c.web) << c.address;
}
