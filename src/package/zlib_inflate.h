// A compact inflate for zlib streams (RFC 1950 around RFC 1951), used for
// the package's member blocks in place of zlib's own: the stub only ever
// inflates, and zlib's inflate is about 25 KB of the stub. It decodes the
// same streams, reports broken ones with zlib's messages and checks the
// Adler-32 at the end. The output is the whole member, so the window for
// back references is the output itself.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace varnel {

// Hands out the next piece of compressed input (`data`, `size`); false when
// no more follows (or it cannot be read: the caller keeps why).
using InflateInput = std::function<bool(const unsigned char*& data, std::size_t& size)>;

enum class InflateStatus {
  kEnded,      // the stream ended and its check value matched
  kTruncated,  // the input ran out before the stream ended
  kBeyond,     // the output would grow beyond the limit
  kCorrupt,    // broken data: `message` holds zlib's text for it
};

struct InflateOutcome {
  InflateStatus status = InflateStatus::kCorrupt;
  const char* message = "";
  int code = 0;  // zlib's return code for kCorrupt (Z_DATA_ERROR, Z_NEED_DICT)
};

// Inflates one zlib stream into `out`, which is grown as needed (its size
// and contents on entry are only room) and left at the bytes produced.
// Output beyond `limit` bytes is kBeyond. `pump`, when set, is called after
// every MiB of output.
InflateOutcome InflateZlib(const InflateInput& input, std::string& out, std::size_t limit,
                           const std::function<void()>& pump = {});

}  // namespace varnel
