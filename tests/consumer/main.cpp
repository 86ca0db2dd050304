// Encrypts and decrypts a buffer and derives a key through the installed headers and library; exit
// status 0 when the AES-128 and HKDF known answers and the round trip hold and the version header
// agrees with the library.
#include <algorithm>
#include <cstdio>

#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/AESModes.h"
#include "crypto/hash/KDF.h"
#include "orvoaes/Version.h"

int main() {
  platform::TBytes key(16), plain(16), cipher(16), back(16);
  for (int i = 0; i < 16; ++i) {
    key[i] = static_cast<std::uint8_t>(i);
    plain[i] = static_cast<std::uint8_t>(0x11 * i);
  }
  const platform::TBytes expected = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                     0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};
  AESModes::TAESModes modes;
  platform::Integer size = 0;
  const bool ok = modes.EncryptBinaryBuffer(plain, cipher, size, key, 128, false, {}, false, 0) == 0 &&
                  cipher == expected && modes.DecryptBinaryBuffer(cipher, back, size, key, 128, false, {}, false, 0) == 0 &&
                  back == plain;
  AESKeyed::TAESKey keyed;  // the same block through a key set up once
  platform::TBytes keyedOut(16);
  const bool keyedOk = keyed.SetKey(key) == 0 && keyed.EncryptECB(plain, keyedOut) == 0 && keyedOut == expected;
  // SHA-256 and HKDF through their installed headers: RFC 5869's third case.
  const platform::TBytes ikm(22, 0x0b), okmStart = {0x8d, 0xa4, 0xe7, 0x75, 0xa5, 0x63, 0xc1, 0x8f};
  platform::TBytes prk(32), okm(42);
  const bool hashOk = Hash::HKDF_Extract(Hash::THashKind::SHA256, {}, ikm, prk) == 0 &&
                      Hash::HKDF_Expand(Hash::THashKind::SHA256, prk, {}, okm) == 0 &&
                      std::equal(okmStart.begin(), okmStart.end(), okm.begin());
  const bool sameVersion = modes.GetVersionNumber() == ORVOAES_VERSION_NUMBER;
  const bool all = ok && keyedOk && hashOk && sameVersion;
  std::printf("consumer of OrvoAES %s: %s\n", ORVOAES_VERSION_STRING,
              all ? "OK" : (ok && keyedOk && hashOk ? "FAILED (the version header differs from the library)" : "FAILED"));
  return all ? 0 : 1;
}
