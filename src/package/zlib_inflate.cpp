#include "package/zlib_inflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace varnel {
namespace {

constexpr int kMaxBits = 15;
// Codes up to this length are decoded by one table look-up; longer ones
// (rare by construction: each is used less than once in 1024 symbols)
// bit by bit.
constexpr int kFastBits = 10;
constexpr std::size_t kPumpEvery = 1024 * 1024;

constexpr int kDataError = Z_DATA_ERROR;
constexpr int kNeedDictionary = Z_NEED_DICT;

const std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const std::uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                         33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                         1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which a dynamic block lists the code-length code's lengths.
const std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// A canonical Huffman code: a table indexed by the next kFastBits input
// bits (entry: symbol << 4 | length, 0 when the code is longer or unused),
// and the counts and symbols in code order for the longer codes.
struct Huffman {
  std::uint16_t fast[1 << kFastBits];
  int maxLength;
  std::uint16_t count[kMaxBits + 1];
  std::uint16_t symbol[288];
};

enum class CodeKind { kCodeLengths, kLiteralLengths, kDistances };

// Builds the code from the lengths of `n` symbols. False for a set that
// zlib refuses: over-subscribed, or incomplete (allowed only for a code of
// a single one-bit code, and for the fixed codes).
bool BuildHuffman(Huffman& h, const std::uint8_t* lengths, int n, CodeKind kind, bool fixed = false) {
  std::memset(h.count, 0, sizeof h.count);
  for (int s = 0; s < n; ++s) ++h.count[lengths[s]];
  int maxLength = kMaxBits;
  while (maxLength > 0 && h.count[maxLength] == 0) --maxLength;
  h.maxLength = maxLength;
  std::memset(h.fast, 0, sizeof h.fast);
  h.count[0] = 0;
  if (maxLength == 0) return true;  // no symbols: every code is invalid
  int left = 1;
  for (int len = 1; len <= kMaxBits; ++len) {
    left = (left << 1) - h.count[len];
    if (left < 0) return false;
  }
  if (left > 0 && !fixed && (kind == CodeKind::kCodeLengths || maxLength != 1)) return false;

  std::uint16_t offset[kMaxBits + 2];
  offset[1] = 0;
  for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + h.count[len];
  std::uint16_t next[kMaxBits + 1];
  unsigned code = 0;
  for (int len = 1; len <= kMaxBits; ++len) {
    code = (code + h.count[len - 1]) << 1;
    next[len] = static_cast<std::uint16_t>(code);
  }
  for (int s = 0; s < n; ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    h.symbol[offset[len]++] = static_cast<std::uint16_t>(s);
    if (len > kFastBits) continue;
    // The stream holds codes from their first bit on, the table is indexed
    // by bits as they arrive: reverse the code.
    unsigned c = next[len]++, reversed = 0;
    for (int i = 0; i < len; ++i, c >>= 1) reversed = (reversed << 1) | (c & 1);
    for (unsigned i = reversed; i < (1u << kFastBits); i += 1u << len)
      h.fast[i] = static_cast<std::uint16_t>(s << 4 | len);
  }
  return true;
}

class Inflater {
 public:
  Inflater(const InflateInput& input, std::string& out, std::size_t limit, const std::function<void()>& pump)
      : input_(input), out_(out), limit_(limit), pump_(pump) {}

  // Inflates the stream; `out` is left at the bytes produced.
  InflateOutcome Run() {
    // The output never holds room beyond the limit: running out of room
    // is where the limit is checked.
    if (out_.size() > limit_) out_.resize(limit_);
    if (Stream()) outcome_.status = InflateStatus::kEnded;
    out_.resize(produced_);
    return outcome_;
  }

 private:
  using Word = std::size_t;  // bit buffer: 64 bits where the target has them
  static constexpr unsigned kWordBits = sizeof(Word) * 8;

  bool Fail(const char* message, int code = kDataError) {
    outcome_.status = InflateStatus::kCorrupt;
    outcome_.message = message;
    outcome_.code = code;
    return false;
  }
  int Failed(const char* message) {
    Fail(message);
    return -1;
  }
  bool MoreInput() {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    do {
      if (!input_(data, size)) {
        outcome_.status = InflateStatus::kTruncated;
        return false;
      }
    } while (size == 0);
    in_ = data;
    end_ = data + size;
    return true;
  }
  // At least n (<= 24) bits in the buffer.
  bool Need(unsigned n) {
    while (bitCount_ < n) {
      if (in_ == end_ && !MoreInput()) return false;
      bits_ |= static_cast<Word>(*in_++) << bitCount_;
      bitCount_ += 8;
    }
    return true;
  }
  // As many bits as the buffer takes from the current piece of input.
  void Refill() {
    while (bitCount_ <= kWordBits - 8 && in_ != end_) {
      bits_ |= static_cast<Word>(*in_++) << bitCount_;
      bitCount_ += 8;
    }
  }
  void Drop(unsigned n) {
    bits_ >>= n;
    bitCount_ -= n;
  }
  // n (<= 16) bits as a number; false at the end of the input.
  bool Bits(unsigned n, unsigned& value) {
    if (!Need(n)) return false;
    value = static_cast<unsigned>(bits_ & ((Word(1) << n) - 1));
    Drop(n);
    return true;
  }
  // The next symbol of `h`; -1 for an invalid code (with `invalid` as the
  // message) or the end of the input.
  int Decode(const Huffman& h, const char* invalid) {
    if (bitCount_ < kMaxBits) Refill();
    const unsigned entry = h.fast[bits_ & ((1u << kFastBits) - 1)];
    if (entry != 0 && (entry & 15) <= bitCount_) {
      Drop(entry & 15);
      return static_cast<int>(entry >> 4);
    }
    return DecodeSlowly(h, invalid);
  }
  int DecodeSlowly(const Huffman& h, const char* invalid);
  // Room for n more output bytes.
  bool Room(std::size_t n) {
    if (out_.size() - produced_ >= n) return true;
    return Grow(n);
  }
  bool Grow(std::size_t n);
  void Pumped() {
    if (produced_ >= nextPump_) {
      nextPump_ += kPumpEvery;
      if (pump_) pump_();
    }
  }

  bool Stream();
  bool Header();
  bool Stored();
  bool Dynamic();
  bool Codes(const Huffman& lengths, const Huffman& distances);
  int FastSymbols(const Huffman& lengths, const Huffman& distances);
  int Symbol(const Huffman& lengths, const Huffman& distances);
  // A copy of `length` bytes from `distance` back; it may overlap itself.
  __attribute__((always_inline)) static void Copy(char* to, std::size_t distance, unsigned length) {
    const char* from = to - distance;
    if (distance >= length) {
      std::memcpy(to, from, length);
    } else {
      for (unsigned i = 0; i < length; ++i) to[i] = from[i];
    }
  }
  bool Trailer();

  const InflateInput& input_;
  std::string& out_;
  const std::size_t limit_;
  const std::function<void()>& pump_;
  InflateOutcome outcome_;
  const unsigned char* in_ = nullptr;
  const unsigned char* end_ = nullptr;
  Word bits_ = 0;
  unsigned bitCount_ = 0;
  std::size_t produced_ = 0;
  std::size_t nextPump_ = kPumpEvery;
  Huffman lengths_;
  Huffman distances_;
};

int Inflater::DecodeSlowly(const Huffman& h, const char* invalid) {
  int code = 0, first = 0, index = 0;
  // No code is longer than maxLength: past it the bits are invalid, as
  // they are for zlib, however few of them follow.
  for (int len = 1; len <= h.maxLength; ++len) {
    unsigned bit = 0;
    if (!Bits(1, bit)) return -1;
    code |= static_cast<int>(bit);
    const int count = h.count[len];
    if (code - count < first) return h.symbol[index + (code - first)];
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  Fail(invalid);
  return -1;
}

bool Inflater::Grow(std::size_t n) {
  if (n > limit_ - produced_ || produced_ > limit_) {
    outcome_.status = InflateStatus::kBeyond;
    return false;
  }
  // Geometric growth keeps the work linear in the output size.
  std::size_t size = out_.size() < 32768 ? 65536 : out_.size() * 2;
  if (size < produced_ + n) size = produced_ + n;
  if (size > limit_) size = limit_;
  out_.resize(size);
  return true;
}

bool Inflater::Header() {
  unsigned cmf = 0, flg = 0;
  if (!Bits(8, cmf) || !Bits(8, flg)) return false;
  if ((cmf * 256 + flg) % 31 != 0) return Fail("incorrect header check");
  if ((cmf & 15) != Z_DEFLATED) return Fail("unknown compression method");
  if ((cmf >> 4) > 7) return Fail("invalid window size");
  // zlib asks for the dictionary without a message.
  if (flg & 0x20) return Fail("", kNeedDictionary);
  return true;
}

bool Inflater::Stored() {
  Drop(bitCount_ & 7);
  unsigned length = 0, complement = 0;
  if (!Bits(16, length) || !Bits(16, complement)) return false;
  if (length != (~complement & 0xFFFF)) return Fail("invalid stored block lengths");
  if (!Room(length)) return false;
  char* out = &out_[0];
  // Whole bytes still in the bit buffer come first.
  while (length > 0 && bitCount_ >= 8) {
    out[produced_++] = static_cast<char>(bits_ & 0xFF);
    Drop(8);
    --length;
  }
  while (length > 0) {
    if (in_ == end_ && !MoreInput()) return false;
    const std::size_t part = std::min<std::size_t>(length, static_cast<std::size_t>(end_ - in_));
    std::memcpy(out + produced_, in_, part);
    in_ += part;
    produced_ += part;
    length -= static_cast<unsigned>(part);
  }
  return true;
}

bool Inflater::Dynamic() {
  unsigned literals = 0, distances = 0, codeLengths = 0;
  if (!Bits(5, literals) || !Bits(5, distances) || !Bits(4, codeLengths)) return false;
  literals += 257;
  distances += 1;
  codeLengths += 4;
  if (literals > 286 || distances > 30) return Fail("too many length or distance symbols");
  std::uint8_t lengths[286 + 30] = {};
  for (unsigned i = 0; i < codeLengths; ++i) {
    unsigned length = 0;
    if (!Bits(3, length)) return false;
    lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(length);
  }
  if (!BuildHuffman(lengths_, lengths, 19, CodeKind::kCodeLengths)) return Fail("invalid code lengths set");
  std::memset(lengths, 0, 19);
  for (unsigned i = 0; i < literals + distances;) {
    const int symbol = Decode(lengths_, "invalid code lengths set");
    if (symbol < 0) return false;
    if (symbol < 16) {
      lengths[i++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    unsigned repeat = 0, value = 0;
    if (symbol == 16) {
      if (i == 0) return Fail("invalid bit length repeat");
      value = lengths[i - 1];
      if (!Bits(2, repeat)) return false;
      repeat += 3;
    } else if (symbol == 17) {
      if (!Bits(3, repeat)) return false;
      repeat += 3;
    } else {
      if (!Bits(7, repeat)) return false;
      repeat += 11;
    }
    if (i + repeat > literals + distances) return Fail("invalid bit length repeat");
    while (repeat--) lengths[i++] = static_cast<std::uint8_t>(value);
  }
  if (lengths[256] == 0) return Fail("invalid code -- missing end-of-block");
  if (!BuildHuffman(lengths_, lengths, static_cast<int>(literals), CodeKind::kLiteralLengths))
    return Fail("invalid literal/lengths set");
  if (!BuildHuffman(distances_, lengths + literals, static_cast<int>(distances), CodeKind::kDistances))
    return Fail("invalid distances set");
  return Codes(lengths_, distances_);
}

// One symbol (a literal, the block's end or a copy) with every check on
// the input and the output: 1 for more, 0 at the block's end, -1 failed.
int Inflater::Symbol(const Huffman& lengths, const Huffman& distances) {
  const int symbol = Decode(lengths, "invalid literal/length code");
  if (symbol < 0) return -1;
  if (symbol < 256) {
    if (!Room(1)) return -1;
    out_[produced_++] = static_cast<char>(symbol);
    Pumped();
    return 1;
  }
  if (symbol == 256) return 0;
  const unsigned index = static_cast<unsigned>(symbol - 257);
  if (index >= 29) return Failed("invalid literal/length code");
  unsigned extra = 0;
  if (!Bits(kLengthExtra[index], extra)) return -1;
  const unsigned length = kLengthBase[index] + extra;
  const int code = Decode(distances, "invalid distance code");
  if (code < 0) return -1;
  if (code >= 30) return Failed("invalid distance code");
  if (!Bits(kDistanceExtra[code], extra)) return -1;
  const std::size_t distance = kDistanceBase[code] + extra;
  if (distance > produced_) return Failed("invalid distance too far back");
  if (!Room(length)) return -1;
  Copy(&out_[produced_], distance, length);
  produced_ += length;
  Pumped();
  return 1;
}

// The symbol's entry (symbol << 4 | length) for a code longer than the
// table reaches, from bits known to hold all of it; 0 for an invalid code.
unsigned LongCode(const Huffman& h, std::size_t bits) {
  int code = 0, first = 0, index = 0;
  for (int len = 1; len <= h.maxLength; ++len, bits >>= 1) {
    code |= static_cast<int>(bits & 1);
    const int count = h.count[len];
    if (code - count < first) return static_cast<unsigned>(h.symbol[index + (code - first)]) << 4 | len;
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  return 0;
}

// Symbols while the input holds enough bytes for the longest one and the
// output room for the longest copy, with the state in locals (writes to
// the output could otherwise change the members, as far as the compiler
// knows). Stops before a symbol that needs the careful way: 1 for that,
// 0 at the block's end, -1 failed.
int Inflater::FastSymbols(const Huffman& lengths, const Huffman& distances) {
  constexpr unsigned kMask = (1u << kFastBits) - 1;
  // The longest copy, and the slack that lets a copy move eight bytes at a
  // time beyond its end.
  constexpr std::size_t kLongestCopy = 258 + 8;
  // Bytes the longest symbol can take: on 32 bits four refills of four.
  constexpr std::ptrdiff_t kLongestSymbol = 16;
  Word bits = bits_;
  unsigned count = bitCount_;
  const unsigned char* in = in_;
  const unsigned char* const end = end_;
  char* const out = &out_[0];
  std::size_t at = produced_;
  const std::size_t stop =
      std::min(out_.size() > kLongestCopy ? out_.size() - kLongestCopy : 0, nextPump_);
  auto refill = [&]() __attribute__((always_inline)) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (kWordBits == 64) {
      // Eight bytes at once; the whole bytes that fit are taken.
      Word next;
      std::memcpy(&next, in, sizeof next);
      bits |= next << count;
      in += (63 - count) >> 3;
      count |= 56;
      return;
    }
#endif
    while (count <= kWordBits - 8) {
      bits |= static_cast<Word>(*in++) << count;
      count += 8;
    }
  };
  int result = 1;
  while (at < stop && end - in >= kLongestSymbol) {
    refill();
    unsigned entry = lengths.fast[bits & kMask];
    if (entry == 0 && (entry = LongCode(lengths, bits)) == 0) {
      Fail("invalid literal/length code");
      result = -1;
      break;
    }
    bits >>= entry & 15;
    count -= entry & 15;
    const unsigned symbol = entry >> 4;
    if (symbol < 256) {
      out[at++] = static_cast<char>(symbol);
      continue;
    }
    if (symbol == 256) {
      result = 0;
      break;
    }
    const unsigned index = symbol - 257;
    if (index >= 29) {
      Fail("invalid literal/length code");
      result = -1;
      break;
    }
    if (kWordBits < 64) refill();
    const unsigned length = kLengthBase[index] + static_cast<unsigned>(bits & ((1u << kLengthExtra[index]) - 1));
    bits >>= kLengthExtra[index];
    count -= kLengthExtra[index];
    if (kWordBits < 64) refill();
    entry = distances.fast[bits & kMask];
    if (entry == 0 && (entry = LongCode(distances, bits)) == 0) {
      Fail("invalid distance code");
      result = -1;
      break;
    }
    bits >>= entry & 15;
    count -= entry & 15;
    const unsigned code = entry >> 4;
    if (code >= 30) {
      Fail("invalid distance code");
      result = -1;
      break;
    }
    if (kWordBits < 64) refill();
    const std::size_t distance = kDistanceBase[code] + static_cast<unsigned>(bits & ((1u << kDistanceExtra[code]) - 1));
    bits >>= kDistanceExtra[code];
    count -= kDistanceExtra[code];
    if (distance > at) {
      Fail("invalid distance too far back");
      result = -1;
      break;
    }
    char* to = out + at;
    if (distance >= 8) {
      const char* from = to - distance;
      for (unsigned done = 0; done < length; done += 8) std::memcpy(to + done, from + done, 8);
    } else {
      Copy(to, distance, length);
    }
    at += length;
  }
  // The eight-byte refill leaves the first bits of the next byte above
  // `count`; the rest of the inflater expects zeros there.
  bits_ = count < kWordBits ? bits & ((Word(1) << count) - 1) : bits;
  bitCount_ = count;
  in_ = in;
  produced_ = at;
  return result;
}

bool Inflater::Codes(const Huffman& lengths, const Huffman& distances) {
  for (;;) {
    int step = FastSymbols(lengths, distances);
    if (step == 1) step = Symbol(lengths, distances);
    if (step <= 0) return step == 0;
  }
}

bool Inflater::Trailer() {
  Drop(bitCount_ & 7);
  unsigned high = 0, low = 0;
  if (!Bits(16, high) || !Bits(16, low)) return false;
  // Big-endian on the wire, read here a byte at a time from the bit buffer.
  const unsigned long expected = (static_cast<unsigned long>(high & 0xFF) << 24) | ((high >> 8) << 16) |
                                 ((low & 0xFF) << 8) | (low >> 8);
  const unsigned long actual =
      adler32(adler32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(out_.data()), static_cast<uInt>(produced_));
  if (expected != actual) return Fail("incorrect data check");
  return true;
}

bool Inflater::Stream() {
  if (!Header()) return false;
  for (bool last = false; !last;) {
    unsigned final = 0, type = 0;
    if (!Bits(1, final) || !Bits(2, type)) return false;
    last = final != 0;
    bool ok = false;
    if (type == 0) {
      ok = Stored();
    } else if (type == 1) {
      // The fixed codes, built once. 288 literal/length and 32 distance
      // symbols, as zlib has them: the last two of each are invalid.
      static Huffman fixedLengths, fixedDistances;
      static bool built = false;
      if (!built) {
        std::uint8_t lengths[288];
        std::memset(lengths, 8, 144);
        std::memset(lengths + 144, 9, 112);
        std::memset(lengths + 256, 7, 24);
        std::memset(lengths + 280, 8, 8);
        BuildHuffman(fixedLengths, lengths, 288, CodeKind::kLiteralLengths, true);
        std::memset(lengths, 5, 32);
        BuildHuffman(fixedDistances, lengths, 32, CodeKind::kDistances, true);
        built = true;
      }
      ok = Codes(fixedLengths, fixedDistances);
    } else if (type == 2) {
      ok = Dynamic();
    } else {
      Fail("invalid block type");
    }
    if (!ok) return false;
    Pumped();
  }
  return Trailer();
}

}  // namespace

InflateOutcome InflateZlib(const InflateInput& input, std::string& out, std::size_t limit,
                           const std::function<void()>& pump) {
  Inflater inflater(input, out, limit, pump);
  return inflater.Run();
}

}  // namespace varnel
