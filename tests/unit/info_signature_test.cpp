// The text forms of signed updates: hexadecimal bytes, the key item and the
// signature line that ends a signed .info or makes up a ".sig" sidecar.
#include "utils/info_signature.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace varnel;

SignatureBytes CountingSignature() {
  SignatureBytes s{};
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<unsigned char>(i * 4 + 1);
  return s;
}

TEST(HexBytes, LowerCaseOutAndExactLengthIn) {
  const unsigned char bytes[] = {0x00, 0x0f, 0xa5, 0xff};
  EXPECT_EQ(HexText(bytes, 4), "000fa5ff");
  unsigned char out[4] = {};
  ASSERT_TRUE(ParseHexBytes("000FA5fF", out, 4));
  EXPECT_EQ(HexText(out, 4), "000fa5ff");
  for (const char* bad : {"000fa5f", "000fa5ff0", "000fa5fg", " 00fa5ff", "0x0fa5ff", ""})
    EXPECT_FALSE(ParseHexBytes(bad, out, 4)) << bad;
}

TEST(KeyItem, AbsentValidOrDamaged) {
  const std::string hex = HexText(CountingSignature().data(), 64);  // any 64 bytes
  PublicKey key{};
  EXPECT_EQ(ParseKeyItem("", key), KeyItemState::absent);
  EXPECT_EQ(ParseKeyItem("  ", key), KeyItemState::absent);
  ASSERT_EQ(ParseKeyItem(hex, key), KeyItemState::valid);
  EXPECT_EQ(HexText(key.data(), key.size()), hex);
  EXPECT_EQ(ParseKeyItem(" " + hex + "\r\n", key), KeyItemState::valid);
  // A package that names a key it can't spell must never pass as keyless.
  for (const std::string& bad : {hex.substr(1), hex + "0", hex.substr(0, 127) + "z", std::string("no")})
    EXPECT_EQ(ParseKeyItem(bad, key), KeyItemState::damaged) << bad;
}

TEST(SignatureLine, RoundTripsThroughTheSplit) {
  const SignatureBytes sig = CountingSignature();
  const std::string line = SignatureLine(sig);
  EXPECT_EQ(line, std::string(kSignatureLinePrefix) + HexText(sig.data(), 64) + "\r\n");

  const std::string text = "[NewSetup]\r\nVersionNew=2\r\n";
  const SignedBuffer split = SplitSignedBuffer(text + line);
  ASSERT_TRUE(split.isSigned);
  EXPECT_EQ(split.signedBytes, text.size());
  EXPECT_EQ(split.signature, sig);

  // A sidecar holds only the line: nothing is signed before it.
  const SignedBuffer sidecar = SplitSignedBuffer(line);
  ASSERT_TRUE(sidecar.isSigned);
  EXPECT_EQ(sidecar.signedBytes, 0u);
}

TEST(SignatureLine, OnlyTheLastLineCountsAndOnlyBlanksMayFollowIt) {
  const std::string sigHex = HexText(CountingSignature().data(), 64);
  const std::string good = std::string(kSignatureLinePrefix) + sigHex;
  const std::string body = "[General]\r\nA=1\r\n";
  struct Case {
    std::string file;
    bool isSigned;
    std::size_t signedBytes;
  };
  const Case cases[] = {
      {body, false, 0},
      {body + good, true, body.size()},                      // no line end at all
      {body + good + "\n", true, body.size()},
      {body + good + "\r\n \t\r\n", true, body.size()},
      {body + good + "\r\nB=2\r\n", false, 0},              // a value after the signature
      {body + good + "0\r\n", false, 0},                    // 129 digits
      {body + good.substr(0, good.size() - 1) + "\r\n", false, 0},  // 127 digits
      {body + good.substr(0, good.size() - 1) + "x", false, 0},
      {body + "  " + good + "\r\n", false, 0},              // not at the start of a line
      {body + "X" + good + "\r\n", false, 0},
      // An earlier signature line is just a comment of the signed text; a
      // damaged last one makes the file unsigned even with a good one before.
      {body + good + "\r\nC=3\r\n" + good + "\r\n", true, body.size() + good.size() + 2 + 5},
      {body + good + "\r\n" + std::string(kSignatureLinePrefix) + "00\r\n", false, 0},
      {std::string(kSignatureLinePrefix).substr(1), false, 0},
  };
  for (const Case& c : cases) {
    const SignedBuffer split = SplitSignedBuffer(c.file);
    EXPECT_EQ(split.isSigned, c.isSigned) << c.file;
    if (c.isSigned) {
      EXPECT_EQ(split.signedBytes, c.signedBytes) << c.file;
    }
  }
}

}  // namespace
