// Test helpers: OpenSSL's libcrypto as an independent oracle, and random test data. A build
// without libcrypto (the aarch64 cross build) defines AES_TEST_PORTABLE_ORACLE and gets the same
// operations from the portable kernel instead (PortableOracle.h), which the known-answer tests pin.
#pragma once

#ifndef AES_TEST_PORTABLE_ORACLE
#include <openssl/evp.h>
#endif

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_support {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const Bytes& b) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto x : b) {
    s += digits[x >> 4];
    s += digits[x & 15];
  }
  return s;
}

inline Bytes RandomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen());
  return b;
}

// A GCM oracle's result.
struct GCMResult {
  Bytes Cipher, Tag;  // Tag: all 16 bytes
};

#ifndef AES_TEST_PORTABLE_ORACLE
// mode: 0 ECB, 1 CBC, 2 OFB, 3 CTR (128-bit big-endian counter).
inline const EVP_CIPHER* OpenSSLCipher(int mode, std::size_t keyBytes) {
  switch (mode * 100 + static_cast<int>(keyBytes)) {
    case 16: return EVP_aes_128_ecb();
    case 24: return EVP_aes_192_ecb();
    case 32: return EVP_aes_256_ecb();
    case 116: return EVP_aes_128_cbc();
    case 124: return EVP_aes_192_cbc();
    case 132: return EVP_aes_256_cbc();
    case 216: return EVP_aes_128_ofb();
    case 224: return EVP_aes_192_ofb();
    case 232: return EVP_aes_256_ofb();
    case 316: return EVP_aes_128_ctr();
    case 324: return EVP_aes_192_ctr();
    case 332: return EVP_aes_256_ctr();
  }
  throw std::invalid_argument("no such cipher");
}

// One-shot AES with OpenSSL; padding is PKCS7 when pkcs7 is true.
inline Bytes OpenSSLCrypt(bool encrypt, int mode, const Bytes& key, const Bytes& iv, const Bytes& in, bool pkcs7) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 32);
  int n1 = 0, n2 = 0;
  const bool ok = EVP_CipherInit_ex(ctx, OpenSSLCipher(mode, key.size()), nullptr, key.data(),
                                    iv.empty() ? nullptr : iv.data(), encrypt ? 1 : 0) == 1 &&
                  EVP_CIPHER_CTX_set_padding(ctx, pkcs7 ? 1 : 0) == 1 &&
                  EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
                  EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL cipher failed");
  out.resize(static_cast<std::size_t>(n1 + n2));
  return out;
}

#endif

}  // namespace testing_support

#ifdef AES_TEST_PORTABLE_ORACLE
#include "PortableOracle.h"
#endif
