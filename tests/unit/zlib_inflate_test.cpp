// The package's own inflate (src/package/zlib_inflate.cpp) against zlib:
// every stream zlib's deflate writes comes back byte for byte, whatever the
// level, strategy or the way the input is cut into pieces; broken streams
// end with zlib's own verdict and message, never a crash.
#include "package/zlib_inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace varnel {
namespace {

std::string Deflate(const std::string& data, int level = Z_DEFAULT_COMPRESSION, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
  std::string out(deflateBound(&zs, static_cast<uLong>(data.size())), '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

// zlib's own inflate of `z`: its return code and message.
struct ZlibVerdict {
  int code;
  std::string message;
  std::string out;
};
ZlibVerdict ZlibInflate(const std::string& z, std::size_t room) {
  z_stream zs{};
  inflateInit(&zs);
  std::string out(room + 1, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data()));
  zs.avail_in = static_cast<uInt>(z.size());
  zs.next_out = reinterpret_cast<Bytef*>(&out[0]);
  zs.avail_out = static_cast<uInt>(out.size());
  const int code = inflate(&zs, Z_FINISH);
  ZlibVerdict v{code, zs.msg ? zs.msg : "", out.substr(0, zs.total_out)};
  inflateEnd(&zs);
  return v;
}

// Our inflate of `z`, handed over in pieces of `piece` bytes.
InflateOutcome Inflate(const std::string& z, std::string& out, std::size_t piece = 65536,
                       std::size_t limit = 1 << 26) {
  std::size_t at = 0;
  const InflateInput input = [&](const unsigned char*& data, std::size_t& size) {
    if (at >= z.size()) return false;
    data = reinterpret_cast<const unsigned char*>(z.data()) + at;
    size = std::min(piece, z.size() - at);
    at += size;
    return true;
  };
  return InflateZlib(input, out, limit);
}

std::string Text(std::mt19937& rng, std::size_t size) {
  static const char* const words[] = {"setup", "engine", "member", "the", "a", "\r\n", "0", "1999", "folder", "of"};
  std::string s;
  while (s.size() < size) {
    s += words[rng() % 10];
    s += ' ';
  }
  s.resize(size);
  return s;
}

std::string Random(std::mt19937& rng, std::size_t size, unsigned alphabet = 256) {
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng() % alphabet);
  return s;
}

TEST(ZlibInflate, GivesBackWhatDeflateWrote) {
  std::mt19937 rng(7);
  // Skewed data gives long codes (beyond the one-look-up table); runs give
  // overlapping copies; random data gives stored blocks.
  std::string skewed;
  for (int i = 0; i < 200000; ++i) skewed += static_cast<char>(rng() % 1000 < 990 ? 'a' : rng() % 256);
  const std::vector<std::pair<const char*, std::string>> inputs = {
      {"empty", ""},
      {"one byte", "x"},
      {"text", Text(rng, 300000)},
      {"random", Random(rng, 200000)},
      {"few symbols", Random(rng, 100000, 3)},
      {"skewed", skewed},
      {"run", std::string(70000, 'z') + "end"},
  };
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const auto& [what, data] : inputs) {
    for (int level : {0, 1, 6, 9}) {
      for (int strategy : strategies) {
        SCOPED_TRACE(std::string(what) + " level " + std::to_string(level) + " strategy " + std::to_string(strategy));
        const std::string z = Deflate(data, level, strategy);
        std::string out = "left over";
        const InflateOutcome r = Inflate(z, out, level == 6 ? 1 : 65536);
        ASSERT_EQ(r.status, InflateStatus::kEnded) << r.message;
        ASSERT_EQ(out, data);
      }
    }
  }
}

TEST(ZlibInflate, PiecesOfAnySize) {
  std::mt19937 rng(3);
  const std::string data = Text(rng, 150000) + Random(rng, 70000) + Text(rng, 5000);
  const std::string z = Deflate(data);
  for (std::size_t piece : {1u, 2u, 3u, 7u, 255u, 4096u, 65537u}) {
    std::string out;
    ASSERT_EQ(Inflate(z, out, piece).status, InflateStatus::kEnded) << piece;
    ASSERT_EQ(out, data) << piece;
  }
}

TEST(ZlibInflate, LimitAndPump) {
  const std::string data(3 * 1024 * 1024 + 5, 'A');
  const std::string z = Deflate(data);
  std::string out;
  EXPECT_EQ(Inflate(z, out, 65536, data.size()).status, InflateStatus::kEnded);
  EXPECT_EQ(out.size(), data.size());
  EXPECT_EQ(Inflate(z, out, 65536, data.size() - 1).status, InflateStatus::kBeyond);
  // Stored blocks count against the limit too.
  EXPECT_EQ(Inflate(Deflate("0123456789", 0), out, 65536, 9).status, InflateStatus::kBeyond);

  std::size_t at = 0;
  int pumps = 0;
  const InflateInput once = [&](const unsigned char*& p, std::size_t& n) {
    if (at) return false;
    at = 1;
    p = reinterpret_cast<const unsigned char*>(z.data());
    n = z.size();
    return true;
  };
  EXPECT_EQ(InflateZlib(once, out, 1 << 26, [&] { ++pumps; }).status, InflateStatus::kEnded);
  EXPECT_GE(pumps, 3);  // one for each MiB
}

TEST(ZlibInflate, BrokenStreamsGetZlibsVerdict) {
  std::mt19937 rng(11);
  const std::string data = Text(rng, 20000) + Random(rng, 3000);
  const std::string good = Deflate(data);
  const std::string fixed = Deflate(Text(rng, 3000), 6, Z_FIXED);
  auto with = [](std::string s, std::size_t at, unsigned char byte) {
    s[at] = static_cast<char>(byte);
    return s;
  };
  std::string badCheck = good;
  badCheck.back() ^= 1;
  const std::string stored = Deflate("stored", 0);
  const struct {
    const char* what;
    std::string z;
    const char* message;
  } cases[] = {
      {"header check", with(good, 1, 0x9D), "incorrect header check"},
      {"method", "\x09\x15" "abc", "unknown compression method"},
      {"window size", "\x88\x98" "abc", "invalid window size"},
      {"dictionary", "\x78\xBB" "abcdef", ""},  // zlib says Z_NEED_DICT, without a message
      {"block type 3", "\x78\x9C\x07", "invalid block type"},
      {"stored lengths", with(stored, 5, 0), "invalid stored block lengths"},
      {"data check", badCheck, "incorrect data check"},
      {"distance too far back", std::string("\x78\x9C\x03\x02\x00", 5), "invalid distance too far back"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out;
    const InflateOutcome r = Inflate(c.z, out);
    const ZlibVerdict zlib = ZlibInflate(c.z, 1 << 20);
    ASSERT_EQ(zlib.message, c.message);  // the case shows what it claims
    EXPECT_EQ(r.status, InflateStatus::kCorrupt);
    EXPECT_STREQ(r.message, c.message);
    EXPECT_EQ(r.code, zlib.code);
  }

  // Cut anywhere before its end, a stream is truncated, or broken where zlib
  // says so; flipped bits give zlib's verdict, never a crash. Whatever zlib
  // accepts, we accept with the same bytes.
  for (const std::string* z : {&good, &fixed}) {
    for (std::size_t cut = 0; cut < z->size(); cut += 1 + cut / 50) {
      std::string out;
      const InflateOutcome r = Inflate(z->substr(0, cut), out, 5);
      EXPECT_NE(r.status, InflateStatus::kEnded) << cut;
    }
    for (int i = 0; i < 3000; ++i) {
      std::string z2 = *z;
      const std::size_t at = 2 + rng() % (z2.size() - 2);
      z2[at] = static_cast<char>(z2[at] ^ (1u << (rng() % 8)));
      std::string out;
      const InflateOutcome r = Inflate(z2, out, 1 + rng() % 300);
      const ZlibVerdict zlib = ZlibInflate(z2, 1 << 20);
      if (zlib.code == Z_STREAM_END) {
        ASSERT_EQ(r.status, InflateStatus::kEnded) << at;
        ASSERT_EQ(out, zlib.out);
      } else if (zlib.code == Z_DATA_ERROR) {
        ASSERT_EQ(r.status, InflateStatus::kCorrupt) << at << " " << zlib.message;
        ASSERT_EQ(r.message, zlib.message) << at;
      } else {
        ASSERT_NE(r.status, InflateStatus::kEnded) << at;
      }
    }
  }
}

}  // namespace
}  // namespace varnel
