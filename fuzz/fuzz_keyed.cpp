// The keyed API (a key set up once) on any input: GCM sealing equals the buffer form and the
// incremental encryptor fed in the input's own pieces; opening restores the data, and opening
// the input's bytes as cipher text under the input's tag either succeeds with the real plain text
// or fails with every output byte zero. CTR and OFB of any length round-trip and equal the buffer
// form (OFB on whole blocks); CMAC equals the buffer form and verifies its own tag, never a changed one.
#include <algorithm>

#include "FuzzSupport.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/AESModes.h"

using fuzz_support::Integer;
using fuzz_support::TBytes;

namespace {

Integer Bits(std::size_t bytes) { return static_cast<Integer>(8 * bytes); }

void CheckGCM(const AESKeyed::TAESKey& key, const TBytes& keyBytes, fuzz_support::TFuzzReader& r) {
  const TBytes iv = r.Bytes(1 + r.Byte() % 40), aad = r.Bytes(r.Byte() % 40);
  const std::size_t tagBytes = 4 + r.Byte() % 13, piece = 1 + r.Byte() % 40;
  const TBytes data = r.Bytes(r.Byte() * 3u);
  TBytes cipher(data.size()), tag(tagBytes);
  FUZZ_CHECK(key.GCM_Seal(iv, aad, data, cipher, tag) == 0);

  if (!data.empty() && !aad.empty()) {
    AESModes::TAESModes modes;
    TBytes refCipher(data.size()), refTag(16);
    FUZZ_CHECK(modes.GCM_EncryptBinaryBuffer(data, static_cast<Integer>(data.size()), aad, Bits(aad.size()), refCipher,
                                             keyBytes, Bits(keyBytes.size()), iv, Bits(iv.size()), refTag, 128) == 0);
    FUZZ_CHECK(cipher == refCipher && std::equal(tag.begin(), tag.end(), refTag.begin()));
  }

  AESKeyed::TGCMEncryptor gcm(key);
  TBytes pieces(data.size()), piecesTag(tagBytes);
  FUZZ_CHECK(gcm.Begin(iv, aad) == 0);
  for (std::size_t at = 0; at < data.size(); at += piece) {
    const std::size_t n = std::min(piece, data.size() - at);
    FUZZ_CHECK(gcm.Update(std::span(data).subspan(at, n), std::span(pieces).subspan(at, n)) == 0);
  }
  FUZZ_CHECK(gcm.Finish(piecesTag) == 0 && pieces == cipher && piecesTag == tag);

  TBytes plain(data.size(), 0xEE);
  FUZZ_CHECK(key.GCM_Open(iv, aad, cipher, tag, plain) == 0 && plain == data);

  // The input's bytes as a cipher text and a tag: either genuine or nothing released.
  const TBytes forged = r.Bytes(r.Byte()), forgedTag = r.Bytes(tagBytes);
  TBytes out(forged.size(), 0xEE);
  const Integer st = key.GCM_Open(iv, aad, forged, forgedTag, out);
  FUZZ_CHECK(st == 0 || st == -200);
  if (st == -200) FUZZ_CHECK(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0; }));
}

void CheckStreamModes(const AESKeyed::TAESKey& key, const TBytes& keyBytes, fuzz_support::TFuzzReader& r) {
  const TBytes ivBytes = r.Bytes(16), data = r.Bytes(r.Byte() * 2u);
  AESModes::TAESModes modes;
  for (const Integer mode : {2, 3}) {
    platform::TCharArray16 iv;
    std::copy_n(ivBytes.begin(), 16, iv.begin());
    TBytes cipher(data.size()), back(data.size());
    FUZZ_CHECK((mode == 2 ? key.CryptOFB(data, cipher, iv) : key.CryptCTR(data, cipher, iv)) == 0);
    std::copy_n(ivBytes.begin(), 16, iv.begin());
    FUZZ_CHECK((mode == 2 ? key.CryptOFB(cipher, back, iv) : key.CryptCTR(cipher, back, iv)) == 0 && back == data);
    // The buffer form: CTR decryption takes a partial last block, OFB whole blocks only.
    if (data.empty() || (mode == 2 && data.size() % 16 != 0)) continue;
    TBytes ref(data.size());
    Integer size = 0;
    FUZZ_CHECK(modes.DecryptBinaryBuffer(data, ref, size, keyBytes, 0, false, ivBytes, false, mode) == 0);
    FUZZ_CHECK(ref == cipher);
  }
}

void CheckCMAC(const AESKeyed::TAESKey& key, const TBytes& keyBytes, fuzz_support::TFuzzReader& r) {
  const TBytes msg = r.Rest();
  TBytes tag(16);
  FUZZ_CHECK(key.MAC_Generate(msg, tag) == 0 && key.MAC_Verify(msg, tag) == 0);
  if (!msg.empty()) {
    AESModes::TAESModes modes;
    TBytes ref(16);
    FUZZ_CHECK(modes.MAC_GenerationBinaryBuffer(msg, keyBytes, Bits(keyBytes.size()), ref, 128) == 0 && ref == tag);
  }
  const std::size_t flip = msg.size() % 16;
  tag[flip] ^= 1;
  FUZZ_CHECK(key.MAC_Verify(msg, tag) == -205);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::TFuzzReader r(data, size);
  const TBytes keyBytes = r.Bytes(fuzz_support::KeyLength(r.Byte()));
  AESKeyed::TAESKey key;
  const Integer st = key.SetKey(keyBytes);
  const bool valid = keyBytes.size() == 16 || keyBytes.size() == 24 || keyBytes.size() == 32;
  FUZZ_CHECK(st == (valid ? 0 : -206) && key.HasKey() == valid);
  if (!valid) return 0;
  CheckGCM(key, keyBytes, r);
  CheckStreamModes(key, keyBytes, r);
  CheckCMAC(key, keyBytes, r);
  return 0;
}
