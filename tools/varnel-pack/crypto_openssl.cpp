// pack_crypto.h through OpenSSL's libcrypto (the native tool).
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <algorithm>
#include <memory>

#include "pack_crypto.h"

namespace varnel::pack {
namespace {

struct Free {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
  void operator()(BIGNUM* p) const { BN_clear_free(p); }
  void operator()(OSSL_PARAM_BLD* p) const { OSSL_PARAM_BLD_free(p); }
  void operator()(OSSL_PARAM* p) const { OSSL_PARAM_free(p); }
  void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

constexpr char kCurve[] = "prime256v1";

// The failure with libcrypto's own reason, when it gave one.
bool Failed(const char* what, std::string& error) {
  error = what;
  const unsigned long code = ERR_get_error();
  if (code != 0) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    error += " (";
    error += reason;
    error += ")";
  }
  ERR_clear_error();
  return false;
}

// 0x04 || X || Y: the uncompressed point form libcrypto reads and writes.
std::array<std::uint8_t, 65> PointOctets(const PublicKey& key) {
  std::array<std::uint8_t, 65> point{};
  point[0] = 0x04;
  std::copy(key.begin(), key.end(), point.begin() + 1);
  return point;
}

// An EVP_PKEY of the curve from the public point and, when `d` is given,
// the private scalar.
Owned<EVP_PKEY> MakeKey(const PublicKey& publicKey, const std::array<std::uint8_t, 32>* d,
                        std::string& error) {
  const std::array<std::uint8_t, 65> point = PointOctets(publicKey);
  Owned<OSSL_PARAM_BLD> build(OSSL_PARAM_BLD_new());
  Owned<BIGNUM> scalar(d ? BN_bin2bn(d->data(), static_cast<int>(d->size()), nullptr) : nullptr);
  if (!build || (d && !scalar) ||
      !OSSL_PARAM_BLD_push_utf8_string(build.get(), OSSL_PKEY_PARAM_GROUP_NAME, kCurve, 0) ||
      !OSSL_PARAM_BLD_push_octet_string(build.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(),
                                        point.size()) ||
      (d && !OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_PRIV_KEY, scalar.get()))) {
    Failed("cannot prepare the key", error);
    return nullptr;
  }
  Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(build.get()));
  Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !ctx || EVP_PKEY_fromdata_init(ctx.get()) <= 0 ||
      EVP_PKEY_fromdata(ctx.get(), &key, d ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                        params.get()) <= 0) {
    Failed("not a key of the P-256 curve", error);
    return nullptr;
  }
  Owned<EVP_PKEY> owned(key);
  Owned<EVP_PKEY_CTX> check(EVP_PKEY_CTX_new_from_pkey(nullptr, key, nullptr));
  if (!check || EVP_PKEY_public_check(check.get()) <= 0) {
    Failed("the public key is not a point of the P-256 curve", error);
    return nullptr;
  }
  return owned;
}

}  // namespace

bool Sha256(const std::string& bytes, Digest& digest, std::string& error) {
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr) != 1 ||
      length != digest.size())
    return Failed("SHA-256 failed", error);
  return true;
}

bool GenerateKey(PrivateKey& key, std::string& error) {
  Owned<EVP_PKEY> pkey(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", kCurve));
  if (!pkey) return Failed("cannot generate a P-256 key", error);
  BIGNUM* d = nullptr;
  if (EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_PRIV_KEY, &d) != 1)
    return Failed("cannot read the new private key", error);
  Owned<BIGNUM> scalar(d);
  std::array<std::uint8_t, 65> point{};
  std::size_t length = 0;
  if (BN_bn2binpad(scalar.get(), key.d.data(), static_cast<int>(key.d.size())) != 32 ||
      EVP_PKEY_get_octet_string_param(pkey.get(), OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point.data(),
                                      point.size(), &length) != 1 ||
      length != point.size() || point[0] != 0x04)
    return Failed("cannot read the new public key", error);
  std::copy(point.begin() + 1, point.end(), key.publicKey.begin());
  return true;
}

bool CheckPublicKey(const PublicKey& key, std::string& error) {
  return MakeKey(key, nullptr, error) != nullptr;
}

bool SignDigest(const PrivateKey& key, const Digest& digest, Signature& signature,
                std::string& error) {
  Owned<EVP_PKEY> pkey = MakeKey(key.publicKey, &key.d, error);
  if (!pkey) return false;
  Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
  unsigned char der[80];
  std::size_t length = sizeof der;
  if (!ctx || EVP_PKEY_sign_init(ctx.get()) <= 0 ||
      EVP_PKEY_sign(ctx.get(), der, &length, digest.data(), digest.size()) <= 0)
    return Failed("signing failed", error);
  // libcrypto writes DER; the file holds r || s.
  const unsigned char* in = der;
  Owned<ECDSA_SIG> sig(d2i_ECDSA_SIG(nullptr, &in, static_cast<long>(length)));
  const BIGNUM* r = nullptr;
  const BIGNUM* s = nullptr;
  if (sig) ECDSA_SIG_get0(sig.get(), &r, &s);
  if (!sig || BN_bn2binpad(r, signature.data(), 32) != 32 ||
      BN_bn2binpad(s, signature.data() + 32, 32) != 32)
    return Failed("cannot read the signature", error);
  return true;
}

bool VerifyDigest(const PublicKey& key, const Digest& digest, const Signature& signature,
                  std::string& error) {
  Owned<EVP_PKEY> pkey = MakeKey(key, nullptr, error);
  if (!pkey) return false;
  Owned<ECDSA_SIG> sig(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return Failed("cannot prepare the signature", error);
  }
  unsigned char* der = nullptr;
  const int length = i2d_ECDSA_SIG(sig.get(), &der);
  if (length <= 0) return Failed("cannot prepare the signature", error);
  Owned<EVP_PKEY_CTX> ctx(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr));
  const bool valid = ctx && EVP_PKEY_verify_init(ctx.get()) > 0 &&
                     EVP_PKEY_verify(ctx.get(), der, static_cast<std::size_t>(length),
                                     digest.data(), digest.size()) == 1;
  OPENSSL_free(der);
  ERR_clear_error();
  if (!valid) error = "the signature does not verify";
  return valid;
}

}  // namespace varnel::pack
