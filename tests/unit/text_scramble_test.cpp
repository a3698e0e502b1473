#include "utils/text_scramble.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

using varnel::ScrambleText;
using varnel::ScrambleTextWithKey;

std::string AllBytes() {
  std::string s;
  for (int c = 0; c < 256; ++c) s += static_cast<char>(c);
  return s;
}

TEST(ScrambleText, KnownVector) {
  // Key 0 -> 33 ('!'); position 1 uses (1 + 33) XOR 'A'.
  EXPECT_EQ(ScrambleTextWithKey("A", true, false, 0), std::string("Scrambled=01!") + char(34 ^ 'A'));
  // Position 2 uses 2 - 33 = -31, low byte 0xE1.
  EXPECT_EQ(ScrambleTextWithKey("AB", true, false, 0),
            std::string("Scrambled=01!") + char(34 ^ 'A') + char(0xE1 ^ 'B'));
  EXPECT_EQ(ScrambleTextWithKey("A", true, true, 0), "536372616D626C65643D30312163");
}

TEST(ScrambleText, RoundTripsForEveryKey) {
  const std::string texts[] = {"x", "secret password", AllBytes(), std::string(1000, '\0')};
  for (const std::string& text : texts) {
    for (int key = 0; key < 90; ++key) {
      for (bool hex : {false, true}) {
        std::string scrambled = ScrambleTextWithKey(text, true, hex, key);
        ASSERT_NE(scrambled, text);
        if (!hex) {
          ASSERT_EQ(scrambled.compare(0, 12, "Scrambled=01"), 0);
          ASSERT_EQ(scrambled[12], char(key + 33));
        }
        ASSERT_EQ(ScrambleText(scrambled, false, hex), text) << "key " << key << " hex " << hex;
      }
    }
  }
}

TEST(ScrambleText, RandomKeyRoundTrips) {
  std::string scrambled = ScrambleText("http://example.test/update", true, false);
  EXPECT_EQ(ScrambleText(scrambled, false, false), "http://example.test/update");
}

TEST(ScrambleText, NoOpCasesReturnInput) {
  std::string scrambled = ScrambleTextWithKey("abc", true, false, 5);
  EXPECT_EQ(ScrambleText(scrambled, true, false), scrambled);  // already scrambled
  EXPECT_EQ(ScrambleText("plain", false, false), "plain");     // nothing to unscramble
  EXPECT_EQ(ScrambleText("", true, true), "");
  EXPECT_EQ(ScrambleText("", false, true), "");
  EXPECT_EQ(ScrambleText("ABCD", false, true), "ABCD");  // hex of a plain text
}

TEST(ScrambleText, MalformedHexNeverFails) {
  // Bad pairs become 0xFF and an odd tail is read alone: neither gives the
  // marker, so the input comes back unchanged.
  EXPECT_EQ(ScrambleText("ZZ5", false, true), "ZZ5");
  // A marker with nothing behind it unscrambles to empty text.
  EXPECT_EQ(ScrambleText("Scrambled=01", false, false), "");
  std::string scrambledHex = ScrambleTextWithKey("hello", true, true, 10);
  // Lower-case hex digits decode as well.
  std::string lower;
  for (char c : scrambledHex) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(ScrambleText(lower, false, true), "hello");
}

}  // namespace
