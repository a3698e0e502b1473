// varnel-pack keygen, and the key files that build and publish read.
#include "pack_keys.h"

#include <cstdio>

#include "pack_commands.h"
#include "signing_text.h"
#include "tool_files.h"
#include "utils/delimited_list.h"
#include "utils/utf8_files.h"

namespace varnel::pack {
namespace {

constexpr int kUpdateKeyItem = 5;

// "keys/product", "keys/product.key" and "keys/product.pub" all name the
// pair keys/product.key + keys/product.pub.
std::string KeyStem(const std::string& out) {
  for (const char* ext : {".key", ".pub"}) {
    const std::size_t n = std::string(ext).size();
    if (out.size() > n && out.compare(out.size() - n, n, ext) == 0) return out.substr(0, out.size() - n);
  }
  return out;
}

}  // namespace

std::string Fingerprint(const PublicKey& key, std::string& error) {
  Digest digest;
  if (!Sha256(std::string(key.begin(), key.end()), digest, error)) return {};
  return HexText(digest.data(), 16);
}

int LoadPublicKeyFile(const std::string& path, PublicKey& key) {
  std::string text, error;
  if (!ReadWholeFile(path, text)) return Fail("cannot read key file " + path);
  if (!ParsePublicKeyFile(text, key, error)) return Fail(path + " " + error);
  if (!CheckPublicKey(key, error)) return Fail(path + ": " + error);
  return 0;
}

int LoadPrivateKeyFile(const std::string& path, PrivateKey& key) {
  std::string text, error;
  if (!ReadWholeFile(path, text)) return Fail("cannot read key file " + path);
  if (!ParsePrivateKeyFile(text, key, error)) return Fail(path + " " + error);
  if (!CheckPublicKey(key.publicKey, error)) return Fail(path + ": " + error);
  return 0;
}

EmbeddedKey ReadEmbeddedKey(const std::string& updateBlock, PublicKey& key) {
  const std::string item = SUB::ListItem(updateBlock, kUpdateKeyItem, "");
  if (item.empty()) return EmbeddedKey::kNone;
  return ParseKeyItem(item, key) ? EmbeddedKey::kKey : EmbeddedKey::kDamaged;
}

int RunKeygen(const Args& args) {
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--out" && i + 1 < args.size()) {
      out = args[++i];
    } else if (args[i].compare(0, 6, "--out=") == 0) {
      out = args[i].substr(6);
    } else {
      return Fail("unknown argument for keygen: " + args[i] + " (see varnel-pack --help)", 2);
    }
  }
  if (out.empty()) return Fail("keygen needs --out PATH/NAME", 2);
  const std::string stem = KeyStem(out);
  const std::string keyPath = stem + ".key";
  const std::string pubPath = stem + ".pub";
  // A key that signs releases is never replaced by accident.
  for (const std::string& path : {keyPath, pubPath}) {
    if (FileExists(path)) return Fail(path + " exists; keygen never overwrites a key");
  }
  const std::size_t slash = stem.find_last_of("/\\");
  if (slash != std::string::npos && slash > 0 && !MakeFolders(stem.substr(0, slash)))
    return Fail("cannot create folder " + stem.substr(0, slash));

  PrivateKey key;
  std::string error;
  if (!GenerateKey(key, error)) return Fail(error);
  const std::string fingerprint = Fingerprint(key.publicKey, error);
  if (fingerprint.empty()) return Fail(error);
  if (!WriteNewFile(keyPath, PrivateKeyFileText(key), true)) return Fail("cannot write " + keyPath);
  if (!WriteNewFile(pubPath, PublicKeyFileText(key.publicKey), false)) {
    RemoveFileUtf8(keyPath);
    return Fail("cannot write " + pubPath);
  }
  std::printf("wrote %s (the private key: keep it secret, never ship it)\n", keyPath.c_str());
  std::printf("wrote %s (the public key: build --update-key %s)\n", pubPath.c_str(), pubPath.c_str());
  std::printf("fingerprint %s\n", fingerprint.c_str());
  return 0;
}

}  // namespace varnel::pack
