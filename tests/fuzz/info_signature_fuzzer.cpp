// Feeds arbitrary bytes to the readers of signed updates: the split of a
// .info or sidecar at its signature line, the key item, the expiry. A split
// must stay inside the buffer, end where a signature line begins and give
// back the signature that line spells.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "update/agent_files.h"
#include "utils/info_signature.h"

using namespace varnel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const SignedBuffer split = SplitSignedBuffer(input);
  if (split.isSigned) {
    if (split.signedBytes > size) std::abort();
    if (split.signedBytes > 0 && input[split.signedBytes - 1] != '\n') std::abort();
    if (input.compare(split.signedBytes, sizeof(kSignatureLinePrefix) - 1, kSignatureLinePrefix) != 0) std::abort();
    // The line spells the signature (in either case).
    const std::string hex = input.substr(split.signedBytes + sizeof(kSignatureLinePrefix) - 1, 128);
    SignatureBytes again;
    if (!ParseHexBytes(hex, again.data(), again.size()) || again != split.signature) std::abort();
  }
  PublicKey key;
  if (ParseKeyItem(input, key) == KeyItemState::valid && HexText(key.data(), key.size()).size() != 128)
    std::abort();
  ExpiryRefusal(input, 1800000000u);
  return 0;
}
