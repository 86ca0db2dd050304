// The keyed API's further modes beside OpenSSL's EVP with a context set up once and reused:
// XTS over 4 KiB data units (encryption "XTS", decryption "XTS-dec"), CCM and OCB3 sealing of
// 16 KiB (12-byte nonce, 16 bytes of additional data, 16-byte tag; CCM's nonce 12 bytes, tag 16)
// and OCB3 opening of the same message, and key wrap of a 32-byte key. AES-128 and AES-256 (XTS:
// 32- and 64-byte keys). Per message both sides set only the nonce or tweak. Names:
// "Ours/Modes_<case>@<kernel>" and "OpenSSL/Modes_<case>". EAX has no peer in EVP; its row shows
// our figure alone.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "BenchData.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/kernel/AESKernel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kKey(64, 0x2B), kNonce(16, 0x5A), kAAD(16, 0xA5);

enum class Op { XTS, XTSDec, CCM, OCB, OCBOpen, EAX, KW };

bool TwoKeys(Op op) { return op == Op::XTS || op == Op::XTSDec; }

// The key both sides take: keyBytes of the pattern (twice as many for XTS, whose halves differ).
Bytes KeyFor(Op op, std::size_t keyBytes) {
  Bytes k(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(TwoKeys(op) ? 2 * keyBytes : keyBytes));
  k[k.size() / 2] ^= 1;
  return k;
}

void Ours(benchmark::State& state, Op op, std::size_t keyBytes, std::size_t n) {
  AESKeyed::TAESKey key;
  AESKeyed::TXTSKey xts;
  const Bytes k = KeyFor(op, keyBytes);
  if ((TwoKeys(op) ? xts.SetKey(k) : key.SetKey(k)) != 0) state.SkipWithError("SetKey failed");
  const auto nonce = std::span(kNonce).first(12);
  // What the decryptions take: the data unit and the sealed message (its tag in tag).
  Bytes out(n + 8), tag(16), sealed(n);
  const Bytes& plain = bench::Sized(n);
  if (op == Op::OCBOpen && key.OCB_Seal(nonce, kAAD, plain, sealed, tag) != 0) state.SkipWithError("OCB_Seal failed");
  const Bytes& in = op == Op::OCBOpen ? sealed : plain;
  platform::TCharArray16 tweak{};
  for (auto _ : state) {
    platform::Integer st = 0;
    switch (op) {
      case Op::XTS: st = xts.Encrypt(tweak, in, out); ++tweak[0]; break;
      case Op::XTSDec: st = xts.Decrypt(tweak, in, out); ++tweak[0]; break;
      case Op::CCM: st = key.CCM_Seal(nonce, kAAD, in, out, tag); break;
      case Op::OCB: st = key.OCB_Seal(nonce, kAAD, in, out, tag); break;
      case Op::OCBOpen: st = key.OCB_Open(nonce, kAAD, in, tag, std::span(out).first(n)); break;
      case Op::EAX: st = key.EAX_Seal(nonce, kAAD, in, out, tag); break;
      case Op::KW: st = key.WrapKey(in, out); break;
    }
    if (st != 0) state.SkipWithError("keyed operation failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

const EVP_CIPHER* Cipher(Op op, std::size_t keyBytes) {
  const bool b128 = keyBytes == 16;
  switch (op) {
    case Op::XTS:
    case Op::XTSDec: return b128 ? EVP_aes_128_xts() : EVP_aes_256_xts();
    case Op::CCM: return b128 ? EVP_aes_128_ccm() : EVP_aes_256_ccm();
    case Op::OCB:
    case Op::OCBOpen: return b128 ? EVP_aes_128_ocb() : EVP_aes_256_ocb();
    case Op::EAX:
    case Op::KW: break;
  }
  return b128 ? EVP_aes_128_wrap() : EVP_aes_256_wrap();
}

// One EVP operation on ctx (set up with cipher and key; enc 1 or 0): per message the nonce or
// tweak, CCM's length, the additional data, the data, the final step and the tag (read after
// sealing, given before opening).
bool EVPMessage(EVP_CIPHER_CTX* ctx, Op op, int enc, const Bytes& iv, const std::uint8_t* in, std::size_t n,
                std::uint8_t* out, Bytes& tag) {
  const bool aead = op == Op::CCM || op == Op::OCB || op == Op::OCBOpen;
  int len = 0, fin = 0;
  bool ok = EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, iv.data(), enc) == 1;
  if (aead && enc == 0) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, tag.data()) == 1;
  if (op == Op::CCM) ok = ok && EVP_CipherUpdate(ctx, nullptr, &len, nullptr, static_cast<int>(n)) == 1;
  if (aead) ok = ok && EVP_CipherUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size())) == 1;
  ok = ok && EVP_CipherUpdate(ctx, out, &len, in, static_cast<int>(n)) == 1;
  if (!TwoKeys(op)) ok = ok && EVP_CipherFinal_ex(ctx, out + len, &fin) == 1;
  if (aead && enc == 1) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, tag.data()) == 1;
  return ok;
}

EVP_CIPHER_CTX* EVPContext(Op op, std::size_t keyBytes, int enc) {
  const Bytes k = KeyFor(op, keyBytes);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  bool ok = EVP_CipherInit_ex(ctx, Cipher(op, keyBytes), nullptr, nullptr, nullptr, enc) == 1;
  if (op == Op::CCM || op == Op::OCB || op == Op::OCBOpen)
    ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, 12, nullptr) == 1 &&
         EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, nullptr) == 1;
  ok = ok && EVP_CipherInit_ex(ctx, nullptr, nullptr, k.data(), nullptr, enc) == 1;
  if (!ok) {
    EVP_CIPHER_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

void OpenSSL(benchmark::State& state, Op op, std::size_t keyBytes, std::size_t n) {
  const int enc = op == Op::XTSDec || op == Op::OCBOpen ? 0 : 1;
  Bytes out(n + 16), tag(16), sealed(n), tweak(16);
  const Bytes nonce(kNonce.begin(), kNonce.begin() + 12);
  const Bytes& iv = TwoKeys(op) ? tweak : nonce;
  EVP_CIPHER_CTX* ctx = EVPContext(op, keyBytes, enc);
  bool ok = ctx != nullptr;
  if (op == Op::OCBOpen) {
    EVP_CIPHER_CTX* sealer = EVPContext(op, keyBytes, 1);
    ok = ok && sealer != nullptr && EVPMessage(sealer, op, 1, iv, bench::Sized(n).data(), n, sealed.data(), tag);
    EVP_CIPHER_CTX_free(sealer);
  }
  const std::uint8_t* in = op == Op::OCBOpen ? sealed.data() : bench::Sized(n).data();
  for (auto _ : state) {
    ok = ok && EVPMessage(ctx, op, enc, iv, in, n, out.data(), tag);
    ++tweak[0];
    benchmark::DoNotOptimize(out.data());
  }
  if (!ok) state.SkipWithError("EVP failed");
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

const bool kRegistered = [] {
  std::string at = "@";
  at += AESModes::kernel::KernelName(AESModes::kernel::TExpandedKey().Id());
  const struct {
    Op What;
    const char* Name;
    std::size_t Bytes;
  } cases[] = {{Op::XTS, "XTS", 4096},
               {Op::XTSDec, "XTS-dec", 4096},
               {Op::CCM, "CCM-seal", bench::kCallSizes[2]},
               {Op::OCB, "OCB-seal", bench::kCallSizes[2]},
               {Op::OCBOpen, "OCB-open", bench::kCallSizes[2]},
               {Op::EAX, "EAX-seal", bench::kCallSizes[2]},
               {Op::KW, "KW", 32}};
  for (const std::size_t keyBytes : {16, 32})
    for (const auto& c : cases) {
      std::string name = "Modes_";
      name.append(c.Name).append(keyBytes == 16 ? "_AES128" : "_AES256").append(bench::SizeName(c.Bytes));
      benchmark::RegisterBenchmark(("Ours/" + name + at).c_str(), Ours, c.What, keyBytes, c.Bytes);
      if (c.What != Op::EAX) benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSL, c.What, keyBytes, c.Bytes);
    }
  return true;
}();

}  // namespace
