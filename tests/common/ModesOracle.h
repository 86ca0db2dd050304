// OpenSSL's libcrypto as the oracle of CCM, OCB3, key wrap (with and without padding) and XTS:
// one-shot calls through EVP. Only for test files that include <openssl/evp.h> themselves (a build
// without libcrypto leaves them out).
#pragma once

#include <openssl/evp.h>

#include <stdexcept>

#include "Oracle.h"

namespace testing_support {

inline const EVP_CIPHER* OpenSSLModeCipher(const std::string& mode, std::size_t keyBytes) {
  const std::string name = "aes-" + std::to_string(8 * keyBytes) + "-" + mode;
  const EVP_CIPHER* c = EVP_get_cipherbyname(name.c_str());
  if (c == nullptr) throw std::invalid_argument("no cipher " + name);
  return c;
}

// CCM or OCB sealing: the cipher text and a tag of tagBytes.
inline GCMResult OpenSSLAEADSeal(const std::string& mode, const Bytes& key, const Bytes& nonce, const Bytes& aad,
                                 const Bytes& plain, std::size_t tagBytes) {
  const bool ccm = mode == "ccm";
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  GCMResult r{Bytes(plain.size() + 16), Bytes(tagBytes)};
  const Bytes dummy(1);
  const std::uint8_t* in = plain.empty() ? dummy.data() : plain.data();
  int n = 0, m = 0;
  bool ok = EVP_EncryptInit_ex(ctx, OpenSSLModeCipher(mode, key.size()), nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, static_cast<int>(nonce.size()), nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, static_cast<int>(tagBytes), nullptr) == 1 &&
            EVP_EncryptInit_ex(ctx, nullptr, nullptr, key.data(), nonce.data()) == 1 &&
            (!ccm || EVP_EncryptUpdate(ctx, nullptr, &n, nullptr, static_cast<int>(plain.size())) == 1) &&
            (aad.empty() || EVP_EncryptUpdate(ctx, nullptr, &n, aad.data(), static_cast<int>(aad.size())) == 1) &&
            EVP_EncryptUpdate(ctx, r.Cipher.data(), &n, in, static_cast<int>(plain.size())) == 1 &&
            EVP_EncryptFinal_ex(ctx, r.Cipher.data() + n, &m) == 1 &&
            EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, static_cast<int>(tagBytes), r.Tag.data()) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL " + mode + " sealing failed");
  r.Cipher.resize(static_cast<std::size_t>(n + m));
  return r;
}

// Key wrap: RFC 3394 (padded false) or RFC 5649.
inline Bytes OpenSSLWrap(bool wrap, bool padded, const Bytes& kek, const Bytes& in) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  Bytes out(in.size() + 16);
  int n = 0, m = 0;
  const bool ok =
      EVP_CipherInit_ex(ctx, OpenSSLModeCipher(padded ? "wrap-pad" : "wrap", kek.size()), nullptr, kek.data(), nullptr,
                        wrap ? 1 : 0) == 1 &&
      EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1 &&
      EVP_CipherFinal_ex(ctx, out.data() + n, &m) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL key wrap failed");
  out.resize(static_cast<std::size_t>(n + m));
  return out;
}

// XTS over one data unit; key = data key || tweak key.
inline Bytes OpenSSLXTS(bool encrypt, const Bytes& key, const Bytes& tweak, const Bytes& in) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size());
  int n = 0;
  const bool ok = EVP_CipherInit_ex(ctx, OpenSSLModeCipher("xts", key.size() / 2), nullptr, key.data(), tweak.data(),
                                    encrypt ? 1 : 0) == 1 &&
                  EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size())) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL XTS failed");
  return out;
}

}  // namespace testing_support
