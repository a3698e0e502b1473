// Update keys in the build tool: the key files, the fingerprint, the key
// item of a package's update block.
#pragma once
#include <string>

#include "pack_crypto.h"

namespace varnel::pack {

// First 16 bytes of SHA-256 over X || Y as 32 hex digits; "" when hashing
// failed (`error` set).
std::string Fingerprint(const PublicKey& key, std::string& error);

// Read a key file; 0, or the exit code of a failure already reported.
int LoadPublicKeyFile(const std::string& path, PublicKey& key);
int LoadPrivateKeyFile(const std::string& path, PrivateKey& key);

// What a package's update block says about its key: none (item 5 empty or
// absent), a key, or an item that is no key.
enum class EmbeddedKey { kNone, kKey, kDamaged };
EmbeddedKey ReadEmbeddedKey(const std::string& updateBlock, PublicKey& key);

}  // namespace varnel::pack
