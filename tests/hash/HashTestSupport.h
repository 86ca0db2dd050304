// Helpers of the hash tests: the kinds by name and one-call forms returning vectors.
#pragma once

#include <stdexcept>
#include <string>

#include "Oracle.h"
#include "crypto/hash/HMAC.h"
#include "crypto/hash/Hash.h"
#include "crypto/hash/KDF.h"

namespace testing_support {

inline Hash::THashKind KindFromName(const std::string& name) {
  if (name == "md5" || name == "MD5") return Hash::THashKind::MD5;
  if (name == "sha1" || name == "SHA1") return Hash::THashKind::SHA1;
  if (name == "sha256" || name == "SHA256") return Hash::THashKind::SHA256;
  if (name == "sha512" || name == "SHA512") return Hash::THashKind::SHA512;
  throw std::invalid_argument("no digest named " + name);
}

inline Bytes DigestOf(Hash::THashKind kind, const Bytes& data) {
  Bytes out(Hash::DigestSize(kind));
  if (Hash::Digest(kind, data, out) != 0) throw std::runtime_error("Digest failed");
  return out;
}

inline Bytes HMACOf(Hash::THashKind kind, const Bytes& key, const Bytes& data) {
  Bytes out(Hash::DigestSize(kind));
  if (Hash::HMAC(kind, key, data, out) != 0) throw std::runtime_error("HMAC failed");
  return out;
}

inline Bytes PBKDF2Of(Hash::THashKind kind, const Bytes& password, const Bytes& salt, std::uint32_t iterations,
                      std::size_t size) {
  Bytes out(size);
  if (Hash::PBKDF2_HMAC(kind, password, salt, iterations, out) != 0) throw std::runtime_error("PBKDF2 failed");
  return out;
}

}  // namespace testing_support
