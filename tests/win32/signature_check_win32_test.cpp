// SHA-256 and ECDSA P-256 verification through the system's CNG under Wine,
// against answers made with the openssl command line:
//   openssl ecparam -name prime256v1 -genkey -noout -out k.pem
//   openssl ec -in k.pem -pubout -outform DER | tail -c 64   (X||Y)
//   printf abc | openssl dgst -sha256 -sign k.pem            (DER r, s)
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "utils/file_helpers.h"
#include "utils/info_signature.h"
#include "utils/signature_check.h"
#include "utils_test_support.h"

namespace {

using namespace varnel;

const char kPublicKeyHex[] =
    "daf16ac17457eaacefaab2feb9df85ac7d63f8ea5bf2c9b27c24a356da0e9784"
    "686884be485f03dc5e1ed43f1601ccc0720c5c58902ad08bc182b3d24c8cc435";
const char kSignatureOfAbcHex[] =
    "d556c8751e697bb75e72b6094fc2d8440ba0186853eda8b2c571fc6e4e068ddb"
    "a0463f5d48db9330cddaba00a30f4b025ffb26aa42801c4a3dda2370348950f6";
const char kSha256OfAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const char kSha256OfMillionA[] = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";

template <std::size_t N>
std::array<unsigned char, N> Bytes(const char* hex) {
  std::array<unsigned char, N> out{};
  EXPECT_TRUE(ParseHexBytes(hex, out.data(), N)) << hex;
  return out;
}

TEST(Sha256, KnownAnswersInOneOrManyPieces) {
  Sha256Digest digest{};
  ASSERT_TRUE(Sha256Of("abc", 3, digest.data()));
  EXPECT_EQ(HexText(digest.data(), 32), kSha256OfAbc);

  // A million "a" fed in uneven pieces, as a download hands them over.
  const std::string million(1000000, 'a');
  Sha256Stream stream;
  ASSERT_TRUE(stream.ok());
  std::size_t at = 0, piece = 1;
  while (at < million.size()) {
    const std::size_t n = std::min(piece, million.size() - at);
    ASSERT_TRUE(stream.Add(million.data() + at, n));
    at += n;
    piece = piece * 3 + 7;
  }
  ASSERT_TRUE(stream.Finish(digest.data()));
  EXPECT_EQ(HexText(digest.data(), 32), kSha256OfMillionA);
  EXPECT_FALSE(stream.ok());  // spent
}

TEST(Sha256, FileThroughItsHandleFromTheFirstByte) {
  varnel_test::ScratchFolder scratch("sha256file");
  const std::string path = scratch.path + "a.bin";
  ASSERT_TRUE(WriteFileText(path, std::string(1000000, 'a')));
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD got = 0;
  char skip[10];
  ReadFile(file, skip, sizeof skip, &got, nullptr);  // a moved position does not matter
  Sha256Digest digest{};
  std::int64_t size = 0;
  EXPECT_TRUE(Sha256OfFile(file, digest.data(), size));
  EXPECT_EQ(size, 1000000);
  EXPECT_EQ(HexText(digest.data(), 32), kSha256OfMillionA);
  CloseHandle(file);
}

TEST(VerifyP256, TheSignatureOnlyFitsItsKeyAndItsBytes) {
  const PublicKey key = Bytes<64>(kPublicKeyHex);
  const SignatureBytes sig = Bytes<64>(kSignatureOfAbcHex);
  EXPECT_TRUE(VerifyP256Bytes(key.data(), "abc", 3, sig.data()));
  const Sha256Digest digest = Bytes<32>(kSha256OfAbc);
  EXPECT_TRUE(VerifyP256(key.data(), digest.data(), sig.data()));

  EXPECT_FALSE(VerifyP256Bytes(key.data(), "abd", 3, sig.data()));
  EXPECT_FALSE(VerifyP256Bytes(key.data(), "abc", 2, sig.data()));
  for (std::size_t i : {0u, 31u, 32u, 63u}) {
    SignatureBytes bad = sig;
    bad[i] ^= 1;
    EXPECT_FALSE(VerifyP256Bytes(key.data(), "abc", 3, bad.data())) << i;
  }
  // Another point of the curve (the generator) and a point off the curve.
  const PublicKey generator = Bytes<64>(
      "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296"
      "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5");
  EXPECT_FALSE(VerifyP256Bytes(generator.data(), "abc", 3, sig.data()));
  PublicKey offCurve = key;
  offCurve[63] ^= 1;
  EXPECT_FALSE(VerifyP256Bytes(offCurve.data(), "abc", 3, sig.data()));
  const SignatureBytes zero{};
  EXPECT_FALSE(VerifyP256Bytes(key.data(), "abc", 3, zero.data()));
}

}  // namespace
