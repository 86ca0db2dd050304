// A call's fixed cost side by side: ours beside OpenSSL 3 EVP, Botan 2, Crypto++ 8 and libsodium
// (each peer only when the build found it), one process, the same messages. Rows:
//   "<mode>_AES<bits>_<size>_newkey/<who>"   a new key in every call (ours: TAESModes' buffer forms)
//   "<mode>_AES<bits>_<size>_keyonce/<who>"  the key set once (ours: AESKeyed::TAESKey)
//   "SetKey_AES<bits>/<who>"                  the block modes' key set-up alone
//   "SetKeyNewObject_AES<bits>/Ours"          the same in a key object made for it
//   "SetKeyThen_<mode>_AES<bits>_64B/Ours"    SetKey and one call: with what the mode's first call derives
//   "GCMSeal_AES<bits>_<16KiB|64MiB>_keyonce/<who>" with a cycles_per_byte counter (TSC cycles)
// The key changes in every iteration of a "newkey" row (its first byte counts up), so no peer can
// keep a schedule from the previous call. bench/percall_table.py turns the JSON output into a
// table of medians with the best peer of each row.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/core_names.h>
#include <x86intrin.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/AESModes.h"

#ifdef PERCALL_BOTAN
#include <botan/block_cipher.h>
#include <botan/aead.h>
#include <botan/cipher_mode.h>
#include <botan/mac.h>
#include <botan/stream_cipher.h>
#endif
#ifdef PERCALL_CRYPTOPP
#include <cryptopp/aes.h>
#include <cryptopp/cmac.h>
#include <cryptopp/gcm.h>
#include <cryptopp/modes.h>
#endif
#ifdef PERCALL_SODIUM
#include <sodium.h>
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::Integer;

enum class Op { ECB, CBCEnc, CBCDec, CTR, GCMSeal, GCMOpen, CMAC };
constexpr const char* kOpName[] = {"ECB", "CBCEnc", "CBCDec", "CTR", "GCMSeal", "GCMOpen", "CMAC"};

struct TCase {
  Op What;
  std::size_t KeyBytes, Size;
  bool NewKey;
};

// The key of the next call: the first byte counts up when the row asks for a new key every call.
struct TKeys {
  Bytes Key;
  bool New;
  TKeys(std::size_t n, bool fresh) : Key(n), New(fresh) {
    for (std::size_t i = 0; i < n; ++i) Key[i] = static_cast<std::uint8_t>(0x2b + 29 * i);
  }
  const std::uint8_t* Next() {
    if (New) ++Key[0];
    return Key.data();
  }
};

const Bytes kIV16(16, 0xA5), kIV12(12, 0x5A), kAAD(16, 0x3C);

Bytes Message(std::size_t n) {
  Bytes m(n);
  for (std::size_t i = 0; i < n; ++i) m[i] = static_cast<std::uint8_t>(i * 131 + 7);
  return m;
}

// Messages sealed (by OpenSSL) under 64 keys, for the opening rows with a new key in every call:
// call i opens message i mod 64 under its own key, so every open succeeds and each call's key
// differs from the one before.
struct TSealedRing {
  static constexpr std::size_t kKeys = 64;
  std::vector<Bytes> Key, Cipher, Tag;
  TSealedRing(std::size_t keyBytes, std::size_t n) {
    const Bytes plain = Message(n);
    TKeys keys(keyBytes, true);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    for (std::size_t i = 0; i < kKeys; ++i) {
      keys.Next();
      Key.push_back(keys.Key);
      Cipher.emplace_back(n);
      Tag.emplace_back(16);
      int len = 0;
      EVP_EncryptInit_ex(ctx, keyBytes == 16 ? EVP_aes_128_gcm() : EVP_aes_256_gcm(), nullptr, Key.back().data(),
                         kIV12.data());
      EVP_EncryptUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size()));
      EVP_EncryptUpdate(ctx, Cipher.back().data(), &len, plain.data(), static_cast<int>(n));
      EVP_EncryptFinal_ex(ctx, Cipher.back().data() + len, &len);
      EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, Tag.back().data());
    }
    EVP_CIPHER_CTX_free(ctx);
  }
};

void Finish(benchmark::State& state, const TCase& c, bool ok) {
  if (!ok) state.SkipWithError("operation failed");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * c.Size));
}

// --- ours
void Ours(benchmark::State& state, TCase c) {
  const Bytes in = Message(c.Size);
  Bytes out(c.Size + 16), tag(16), iv(kIV16), back(c.Size + 16);
  TKeys keys(c.KeyBytes, c.NewKey);
  const Integer bits = static_cast<Integer>(8 * c.KeyBytes);
  AESModes::TAESModes modes;
  bool ok = true;
  if (c.NewKey) {
    Bytes key(c.KeyBytes);
    const TSealedRing ring(c.KeyBytes, c.What == Op::GCMOpen ? c.Size : 0);
    std::size_t i = 0;
    for (auto _ : state) {
      std::memcpy(key.data(), keys.Next(), c.KeyBytes);
      Integer size = 0;
      switch (c.What) {
        case Op::ECB: ok &= modes.EncryptBinaryBuffer(in, out, size, key, bits, false, iv, false, 0) == 0; break;
        case Op::CBCEnc: ok &= modes.EncryptBinaryBuffer(in, out, size, key, bits, false, iv, false, 1) == 0; break;
        case Op::CBCDec: ok &= modes.DecryptBinaryBuffer(in, out, size, key, bits, false, iv, false, 1) == 0; break;
        case Op::CTR: ok &= modes.EncryptBinaryBuffer(in, out, size, key, bits, false, iv, false, 3) == 0; break;
        case Op::GCMSeal:
          ok &= modes.GCM_EncryptBinaryBuffer(in, 0, kAAD, 128, out, key, bits, kIV12, 96, tag, 128) == 0;
          break;
        case Op::GCMOpen: {
          const std::size_t j = i++ % TSealedRing::kKeys;
          ok &= modes.GCM_DecryptBinaryBuffer(ring.Cipher[j], static_cast<Integer>(c.Size), kAAD, 128, out, ring.Key[j],
                                              bits, kIV12, 96, ring.Tag[j], 128) == 0;
          break;
        }
        case Op::CMAC: ok &= modes.MAC_GenerationBinaryBuffer(in, key, bits, tag, 128) == 0; break;
      }
      benchmark::DoNotOptimize(out.data());
      benchmark::ClobberMemory();
    }
  } else {
    AESKeyed::TAESKey key;
    const TSealedRing ring(c.KeyBytes, c.What == Op::GCMOpen ? c.Size : 0);
    ok &= key.SetKey(c.What == Op::GCMOpen ? std::span<const std::uint8_t>(ring.Key[0])
                                           : std::span<const std::uint8_t>(keys.Next(), c.KeyBytes)) == 0;
    platform::TCharArray16 IV{};
    for (auto _ : state) {
      std::memcpy(IV.data(), kIV16.data(), 16);
      switch (c.What) {
        case Op::ECB: ok &= key.EncryptECB(in, std::span(out).first(c.Size)) == 0; break;
        case Op::CBCEnc: ok &= key.EncryptCBC(in, std::span(out).first(c.Size), IV) == 0; break;
        case Op::CBCDec: ok &= key.DecryptCBC(in, std::span(out).first(c.Size), IV) == 0; break;
        case Op::CTR: ok &= key.CryptCTR(in, std::span(out).first(c.Size), IV) == 0; break;
        case Op::GCMSeal: ok &= key.GCM_Seal(kIV12, kAAD, in, std::span(out).first(c.Size), tag) == 0; break;
        case Op::GCMOpen:
          ok &= key.GCM_Open(kIV12, kAAD, ring.Cipher[0], ring.Tag[0], std::span(out).first(c.Size)) == 0;
          break;
        case Op::CMAC: ok &= key.MAC_Generate(in, tag) == 0; break;
      }
      benchmark::DoNotOptimize(out.data());
      benchmark::ClobberMemory();
    }
  }
  Finish(state, c, ok);
}

// --- OpenSSL EVP
const EVP_CIPHER* EVPCipher(Op op, std::size_t keyBytes) {
  const bool k128 = keyBytes == 16;
  switch (op) {
    case Op::ECB: return k128 ? EVP_aes_128_ecb() : EVP_aes_256_ecb();
    case Op::CBCEnc:
    case Op::CBCDec: return k128 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
    case Op::CTR: return k128 ? EVP_aes_128_ctr() : EVP_aes_256_ctr();
    default: return k128 ? EVP_aes_128_gcm() : EVP_aes_256_gcm();
  }
}

void OpenSSL(benchmark::State& state, TCase c) {
  const Bytes in = Message(c.Size);
  Bytes out(c.Size + 32), tag(16);
  TKeys keys(c.KeyBytes, c.NewKey);
  bool ok = true;
  if (c.What == Op::CMAC) {
    EVP_MAC* mac = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    char name[] = "AES-128-CBC";
    if (c.KeyBytes == 32) std::memcpy(name, "AES-256-CBC", sizeof name);
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, name, 0), OSSL_PARAM_construct_end()};
    ok &= EVP_MAC_init(ctx, keys.Next(), c.KeyBytes, params) == 1;
    for (auto _ : state) {
      std::size_t len = 0;
      ok &= (c.NewKey ? EVP_MAC_init(ctx, keys.Next(), c.KeyBytes, nullptr) : EVP_MAC_init(ctx, nullptr, 0, nullptr)) == 1;
      ok &= EVP_MAC_update(ctx, in.data(), in.size()) == 1;
      ok &= EVP_MAC_final(ctx, tag.data(), &len, tag.size()) == 1;
      benchmark::DoNotOptimize(tag.data());
    }
    EVP_MAC_CTX_free(ctx);
    EVP_MAC_free(mac);
    return Finish(state, c, ok);
  }
  const bool decrypt = c.What == Op::CBCDec || c.What == Op::GCMOpen;
  const bool gcm = c.What == Op::GCMSeal || c.What == Op::GCMOpen;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const EVP_CIPHER* cipher = EVPCipher(c.What, c.KeyBytes);
  const TSealedRing ring(c.KeyBytes, c.What == Op::GCMOpen ? c.Size : 0);
  ok &= EVP_CipherInit_ex(ctx, cipher, nullptr, c.What == Op::GCMOpen ? ring.Key[0].data() : keys.Next(), nullptr,
                          decrypt ? 0 : 1) == 1;
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  std::size_t i = 0;
  for (auto _ : state) {
    int len = 0, fin = 0;
    const std::uint8_t* iv = gcm ? kIV12.data() : kIV16.data();
    // Opening: message j of the ring under its key (the first one when the key stays).
    const std::size_t j = c.NewKey ? i++ % TSealedRing::kKeys : 0;
    const std::uint8_t* key = c.What == Op::GCMOpen ? ring.Key[j].data() : keys.Next();
    if (c.NewKey)
      ok &= EVP_CipherInit_ex(ctx, cipher, nullptr, key, iv, decrypt ? 0 : 1) == 1;
    else
      ok &= EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, iv, decrypt ? 0 : 1) == 1;
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    if (gcm) ok &= EVP_CipherUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size())) == 1;
    const std::uint8_t* from = c.What == Op::GCMOpen ? ring.Cipher[j].data() : in.data();
    ok &= EVP_CipherUpdate(ctx, out.data(), &len, from, static_cast<int>(c.Size)) == 1;
    if (c.What == Op::GCMOpen) EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, const_cast<std::uint8_t*>(ring.Tag[j].data()));
    const int f = EVP_CipherFinal_ex(ctx, out.data() + len, &fin);
    ok &= f == 1;
    if (c.What == Op::GCMSeal) ok &= EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data()) == 1;
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  Finish(state, c, ok);
}

#ifdef PERCALL_BOTAN
void Botan2(benchmark::State& state, TCase c) {
  const Bytes in = Message(c.Size);
  Bytes out(c.Size + 16), tag(16);
  TKeys keys(c.KeyBytes, c.NewKey);
  const std::string aes = c.KeyBytes == 16 ? "AES-128" : "AES-256";
  bool ok = true;
  try {
    switch (c.What) {
      case Op::ECB: {
        auto bc = Botan::BlockCipher::create_or_throw(aes);
        bc->set_key(keys.Next(), c.KeyBytes);
        for (auto _ : state) {
          if (c.NewKey) bc->set_key(keys.Next(), c.KeyBytes);
          bc->encrypt_n(in.data(), out.data(), c.Size / 16);
          benchmark::DoNotOptimize(out.data());
        }
        break;
      }
      case Op::CBCEnc:
      case Op::CBCDec: {
        auto m = Botan::Cipher_Mode::create_or_throw(aes + "/CBC/NoPadding",
                                                     c.What == Op::CBCDec ? Botan::DECRYPTION : Botan::ENCRYPTION);
        m->set_key(keys.Next(), c.KeyBytes);
        for (auto _ : state) {
          if (c.NewKey) m->set_key(keys.Next(), c.KeyBytes);
          m->start(kIV16.data(), 16);
          std::memcpy(out.data(), in.data(), c.Size);
          m->process(out.data(), c.Size);
          benchmark::DoNotOptimize(out.data());
        }
        break;
      }
      case Op::CTR: {
        auto s = Botan::StreamCipher::create_or_throw("CTR(" + aes + ")");
        s->set_key(keys.Next(), c.KeyBytes);
        for (auto _ : state) {
          if (c.NewKey) s->set_key(keys.Next(), c.KeyBytes);
          s->set_iv(kIV16.data(), 16);
          s->cipher(in.data(), out.data(), c.Size);
          benchmark::DoNotOptimize(out.data());
        }
        break;
      }
      case Op::GCMSeal:
      case Op::GCMOpen: {
        const bool open = c.What == Op::GCMOpen;
        auto m = Botan::AEAD_Mode::create_or_throw(aes + "/GCM", open ? Botan::DECRYPTION : Botan::ENCRYPTION);
        const TSealedRing ring(c.KeyBytes, open ? c.Size : 0);
        m->set_key(open ? ring.Key[0].data() : keys.Next(), c.KeyBytes);
        Botan::secure_vector<std::uint8_t> buf;
        buf.reserve(c.Size + 16);
        std::size_t i = 0;
        for (auto _ : state) {
          const std::size_t j = c.NewKey ? i++ % TSealedRing::kKeys : 0;
          if (c.NewKey) m->set_key(open ? ring.Key[j].data() : keys.Next(), c.KeyBytes);
          m->set_associated_data(kAAD.data(), kAAD.size());
          m->start(kIV12.data(), 12);
          if (open) {
            buf.assign(ring.Cipher[j].begin(), ring.Cipher[j].end());
            buf.insert(buf.end(), ring.Tag[j].begin(), ring.Tag[j].end());
          } else {
            buf.assign(in.begin(), in.end());
          }
          m->finish(buf);  // a failed tag check throws, which ends the row as failed
          benchmark::DoNotOptimize(buf.data());
        }
        break;
      }
      case Op::CMAC: {
        auto mac = Botan::MessageAuthenticationCode::create_or_throw("CMAC(" + aes + ")");
        mac->set_key(keys.Next(), c.KeyBytes);
        for (auto _ : state) {
          if (c.NewKey) mac->set_key(keys.Next(), c.KeyBytes);
          mac->update(in.data(), in.size());
          mac->final(tag.data());
          benchmark::DoNotOptimize(tag.data());
        }
        break;
      }
    }
  } catch (const std::exception&) {
    ok = false;
  }
  Finish(state, c, ok);
}
#endif

#ifdef PERCALL_CRYPTOPP
template <class Mode>
void CryptoppRun(benchmark::State& state, const TCase& c, const Bytes& in, Bytes& out, TKeys& keys, bool iv) {
  Mode m;
  if (iv) m.SetKeyWithIV(keys.Next(), c.KeyBytes, kIV16.data(), 16); else m.SetKey(keys.Next(), c.KeyBytes);
  for (auto _ : state) {
    if (c.NewKey) {
      if (iv) m.SetKeyWithIV(keys.Next(), c.KeyBytes, kIV16.data(), 16); else m.SetKey(keys.Next(), c.KeyBytes);
    } else if (iv) {
      m.Resynchronize(kIV16.data(), 16);
    }
    m.ProcessData(out.data(), in.data(), c.Size);
    benchmark::DoNotOptimize(out.data());
  }
}

void Cryptopp(benchmark::State& state, TCase c) {
  using namespace CryptoPP;
  const Bytes in = Message(c.Size);
  Bytes out(c.Size + 16), tag(16);
  TKeys keys(c.KeyBytes, c.NewKey);
  bool ok = true;
  switch (c.What) {
    case Op::ECB: CryptoppRun<ECB_Mode<AES>::Encryption>(state, c, in, out, keys, false); break;
    case Op::CBCEnc: CryptoppRun<CBC_Mode<AES>::Encryption>(state, c, in, out, keys, true); break;
    case Op::CBCDec: CryptoppRun<CBC_Mode<AES>::Decryption>(state, c, in, out, keys, true); break;
    case Op::CTR: CryptoppRun<CTR_Mode<AES>::Encryption>(state, c, in, out, keys, true); break;
    case Op::GCMSeal:
    case Op::GCMOpen: {
      GCM<AES>::Encryption enc;
      GCM<AES>::Decryption dec;
      const TSealedRing ring(c.KeyBytes, c.What == Op::GCMOpen ? c.Size : 0);
      enc.SetKeyWithIV(keys.Next(), c.KeyBytes, kIV12.data(), 12);
      if (c.What == Op::GCMOpen) dec.SetKeyWithIV(ring.Key[0].data(), c.KeyBytes, kIV12.data(), 12);
      std::size_t i = 0;
      for (auto _ : state) {
        if (c.What == Op::GCMSeal) {
          if (c.NewKey) enc.SetKeyWithIV(keys.Next(), c.KeyBytes, kIV12.data(), 12);
          enc.EncryptAndAuthenticate(out.data(), tag.data(), 16, kIV12.data(), 12, kAAD.data(), kAAD.size(), in.data(),
                                     c.Size);
        } else {
          const std::size_t j = c.NewKey ? i++ % TSealedRing::kKeys : 0;
          if (c.NewKey) dec.SetKeyWithIV(ring.Key[j].data(), c.KeyBytes, kIV12.data(), 12);
          ok &= dec.DecryptAndVerify(out.data(), ring.Tag[j].data(), 16, kIV12.data(), 12, kAAD.data(), kAAD.size(),
                                     ring.Cipher[j].data(), c.Size);
        }
        benchmark::DoNotOptimize(out.data());
      }
      break;
    }
    case Op::CMAC: {
      CMAC<AES> mac(keys.Next(), c.KeyBytes);
      for (auto _ : state) {
        if (c.NewKey) mac.SetKey(keys.Next(), c.KeyBytes);
        mac.CalculateDigest(tag.data(), in.data(), in.size());
        benchmark::DoNotOptimize(tag.data());
      }
      break;
    }
  }
  Finish(state, c, ok);
}
#endif

#ifdef PERCALL_SODIUM
// AES-256-GCM only (the one AES libsodium has), on processors with AES-NI and PCLMULQDQ.
void Sodium(benchmark::State& state, TCase c) {
  const Bytes in = Message(c.Size);
  Bytes out(c.Size + 16), tag(16);
  TKeys keys(c.KeyBytes, c.NewKey);
  const TSealedRing ring(c.KeyBytes, c.What == Op::GCMOpen ? c.Size : 0);
  crypto_aead_aes256gcm_state st;
  crypto_aead_aes256gcm_beforenm(&st, c.What == Op::GCMOpen ? ring.Key[0].data() : keys.Next());
  unsigned long long maclen = 0;
  bool ok = true;
  std::size_t i = 0;
  for (auto _ : state) {
    const std::size_t j = c.NewKey ? i++ % TSealedRing::kKeys : 0;
    if (c.What == Op::GCMSeal) {
      if (c.NewKey)
        crypto_aead_aes256gcm_encrypt_detached(out.data(), tag.data(), &maclen, in.data(), c.Size, kAAD.data(), kAAD.size(),
                                               nullptr, kIV12.data(), keys.Next());
      else
        crypto_aead_aes256gcm_encrypt_detached_afternm(out.data(), tag.data(), &maclen, in.data(), c.Size, kAAD.data(),
                                                       kAAD.size(), nullptr, kIV12.data(), &st);
    } else {
      const int r = c.NewKey ? crypto_aead_aes256gcm_decrypt_detached(out.data(), nullptr, ring.Cipher[j].data(), c.Size,
                                                                      ring.Tag[j].data(), kAAD.data(), kAAD.size(),
                                                                      kIV12.data(), ring.Key[j].data())
                             : crypto_aead_aes256gcm_decrypt_detached_afternm(out.data(), nullptr, ring.Cipher[j].data(),
                                                                              c.Size, ring.Tag[j].data(), kAAD.data(),
                                                                              kAAD.size(), kIV12.data(), &st);
      ok &= r == 0;
    }
    benchmark::DoNotOptimize(out.data());
  }
  Finish(state, c, ok);
}
#endif

// --- key set-up alone (the block modes' key)
void SetKeyOurs(benchmark::State& state, std::size_t keyBytes) {
  TKeys keys(keyBytes, true);
  AESKeyed::TAESKey key;
  bool ok = true;
  for (auto _ : state) {
    ok &= key.SetKey(std::span(keys.Next(), keyBytes)) == 0;
    benchmark::ClobberMemory();
  }
  if (!ok) state.SkipWithError("SetKey failed");
}
// The same with a key object made and destroyed in every iteration (its allocation and wipe).
void SetKeyNewObjectOurs(benchmark::State& state, std::size_t keyBytes) {
  TKeys keys(keyBytes, true);
  bool ok = true;
  for (auto _ : state) {
    AESKeyed::TAESKey key;
    ok &= key.SetKey(std::span(keys.Next(), keyBytes)) == 0;
    benchmark::DoNotOptimize(&key);
  }
  if (!ok) state.SkipWithError("SetKey failed");
}
// SetKey and then one 64-byte call: the key set-up with what the mode derives on its first call.
void FirstCallOurs(benchmark::State& state, TCase c) {
  TKeys keys(c.KeyBytes, true);
  AESKeyed::TAESKey key;
  const Bytes in = Message(c.Size);
  Bytes out(c.Size), tag(16);
  platform::TCharArray16 IV{};
  bool ok = true;
  for (auto _ : state) {
    ok &= key.SetKey(std::span(keys.Next(), c.KeyBytes)) == 0;
    switch (c.What) {
      case Op::ECB: ok &= key.EncryptECB(in, out) == 0; break;
      case Op::CBCDec: ok &= key.DecryptCBC(in, out, IV) == 0; break;
      case Op::GCMSeal: ok &= key.GCM_Seal(kIV12, kAAD, in, out, tag) == 0; break;
      case Op::CMAC: ok &= key.MAC_Generate(in, tag) == 0; break;
      default: ok &= key.OCB_Seal(kIV12, kAAD, in, out, tag) == 0; break;  // CTR's slot: OCB
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Finish(state, c, ok);
}
void SetKeyOpenSSL(benchmark::State& state, std::size_t keyBytes) {
  TKeys keys(keyBytes, true);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const EVP_CIPHER* cipher = EVPCipher(Op::CBCDec, keyBytes);
  for (auto _ : state) {
    EVP_DecryptInit_ex(ctx, cipher, nullptr, keys.Next(), nullptr);
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
}
#ifdef PERCALL_BOTAN
void SetKeyBotan(benchmark::State& state, std::size_t keyBytes) {
  TKeys keys(keyBytes, true);
  auto bc = Botan::BlockCipher::create_or_throw(keyBytes == 16 ? "AES-128" : "AES-256");
  for (auto _ : state) {
    bc->set_key(keys.Next(), keyBytes);
    benchmark::ClobberMemory();
  }
}
#endif

// --- GCM with the key set once on large messages, in TSC cycles per byte.
void GCMThroughput(benchmark::State& state, std::size_t n, int who) {
  const Bytes in = Message(n);
  Bytes out(n), tag(16);
  TKeys keys(32, false);
  AESKeyed::TAESKey key;
  key.SetKey(std::span(keys.Next(), 32));
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, keys.Next(), nullptr);
  bool ok = true;
  const std::uint64_t t0 = __rdtsc();
  for (auto _ : state) {
    if (who == 0) {
      ok &= key.GCM_Seal(kIV12, kAAD, in, out, tag) == 0;
    } else {
      int len = 0, fin = 0;
      ok &= EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, kIV12.data()) == 1;
      ok &= EVP_EncryptUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size())) == 1;
      ok &= EVP_EncryptUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n)) == 1;
      ok &= EVP_EncryptFinal_ex(ctx, out.data() + len, &fin) == 1;
      ok &= EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data()) == 1;
    }
    benchmark::DoNotOptimize(out.data());
  }
  const std::uint64_t t1 = __rdtsc();
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) state.SkipWithError("GCM failed");
  state.counters["cycles_per_byte"] =
      static_cast<double>(t1 - t0) / (static_cast<double>(state.iterations()) * static_cast<double>(n));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

std::string RowName(const TCase& c) {
  const std::size_t n = c.Size;
  return std::string(kOpName[static_cast<int>(c.What)]) + "_AES" + std::to_string(8 * c.KeyBytes) + "_" +
         (n >= 1024 ? std::to_string(n / 1024) + "KiB" : std::to_string(n) + "B") + (c.NewKey ? "_newkey" : "_keyonce");
}

// Registered from main: libsodium says whether its AES-GCM runs here only after sodium_init.
void RegisterAll() {
  for (const bool newKey : {true, false})
    for (const Op op : {Op::ECB, Op::CBCEnc, Op::CBCDec, Op::CTR, Op::GCMSeal, Op::GCMOpen, Op::CMAC})
      for (const std::size_t keyBytes : {16u, 32u})
        for (const std::size_t size : {64u, 1024u}) {
          const TCase c{op, keyBytes, size, newKey};
          const std::string row = RowName(c);
          benchmark::RegisterBenchmark((row + "/Ours").c_str(), Ours, c);
          benchmark::RegisterBenchmark((row + "/OpenSSL").c_str(), OpenSSL, c);
#ifdef PERCALL_BOTAN
          benchmark::RegisterBenchmark((row + "/Botan").c_str(), Botan2, c);
#endif
#ifdef PERCALL_CRYPTOPP
          benchmark::RegisterBenchmark((row + "/Cryptopp").c_str(), Cryptopp, c);
#endif
#ifdef PERCALL_SODIUM
          if (keyBytes == 32 && (op == Op::GCMSeal || op == Op::GCMOpen) && crypto_aead_aes256gcm_is_available())
            benchmark::RegisterBenchmark((row + "/Sodium").c_str(), Sodium, c);
#endif
        }
  for (const std::size_t keyBytes : {16u, 32u}) {
    const std::string row = "SetKey_AES" + std::to_string(8 * keyBytes);
    benchmark::RegisterBenchmark((row + "/Ours").c_str(), SetKeyOurs, keyBytes);
    benchmark::RegisterBenchmark((row + "/OpenSSL").c_str(), SetKeyOpenSSL, keyBytes);
    benchmark::RegisterBenchmark(("SetKeyNewObject_AES" + std::to_string(8 * keyBytes) + "/Ours").c_str(),
                                 SetKeyNewObjectOurs, keyBytes);
    for (const Op op : {Op::ECB, Op::CBCDec, Op::GCMSeal, Op::CMAC, Op::CTR}) {
      const TCase c{op, keyBytes, 64, true};
      const std::string name = op == Op::CTR ? std::string("OCBSeal") : kOpName[static_cast<int>(op)];
      benchmark::RegisterBenchmark(("SetKeyThen_" + name + "_AES" + std::to_string(8 * keyBytes) + "_64B/Ours").c_str(),
                                   FirstCallOurs, c);
    }
#ifdef PERCALL_BOTAN
    benchmark::RegisterBenchmark((row + "/Botan").c_str(), SetKeyBotan, keyBytes);
#endif
  }
  for (const std::size_t n : {std::size_t{16} << 10, std::size_t{64} << 20}) {
    const std::string row = std::string("GCMSeal_AES256_") + (n >> 20 ? "64MiB" : "16KiB") + "_keyonce_cpb";
    benchmark::RegisterBenchmark((row + "/Ours").c_str(), GCMThroughput, n, 0);
    benchmark::RegisterBenchmark((row + "/OpenSSL").c_str(), GCMThroughput, n, 1);
  }
}

}  // namespace

int main(int argc, char** argv) {
#ifdef PERCALL_SODIUM
  if (sodium_init() < 0) return 1;
#endif
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
