// OpenSSL's AES-CMAC as the test oracle.
#pragma once

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <stdexcept>

#include "Oracle.h"

namespace testing_support {

// The 16-byte AES-CMAC of msg under key (16, 24 or 32 bytes).
inline Bytes OpenSSLCMAC(const Bytes& key, const Bytes& msg) {
  const char* cipher = key.size() == 16 ? "AES-128-CBC" : key.size() == 24 ? "AES-192-CBC" : "AES-256-CBC";
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
  EVP_MAC_CTX* ctx = mac ? EVP_MAC_CTX_new(mac) : nullptr;
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, const_cast<char*>(cipher), 0),
                         OSSL_PARAM_construct_end()};
  Bytes tag(16);
  std::size_t n = 0;
  const bool ok = ctx && EVP_MAC_init(ctx, key.data(), key.size(), params) == 1 &&
                  EVP_MAC_update(ctx, msg.data(), msg.size()) == 1 && EVP_MAC_final(ctx, tag.data(), &n, 16) == 1;
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac);
  if (!ok || n != 16) throw std::runtime_error("OpenSSL CMAC failed");
  return tag;
}

}  // namespace testing_support
