// The keyed API's further modes beside OpenSSL's EVP with a context set up once and reused:
// XTS over 4 KiB data units, CCM and OCB3 sealing of 16 KiB (12-byte nonce, 16 bytes of
// additional data, 16-byte tag; CCM's nonce 12 bytes, tag 16), and key wrap of a 32-byte key.
// AES-128 and AES-256 (XTS: 32- and 64-byte keys). Per message both sides set only the nonce or
// tweak. Names: "Ours/Modes_<case>@<kernel>" and "OpenSSL/Modes_<case>". EAX has no peer in EVP;
// its row shows our figure alone.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "BenchData.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/kernel/AESKernel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kKey(64, 0x2B), kNonce(16, 0x5A), kAAD(16, 0xA5);

enum class Op { XTS, CCM, OCB, EAX, KW };

void Ours(benchmark::State& state, Op op, std::size_t keyBytes, std::size_t n) {
  AESKeyed::TAESKey key;
  AESKeyed::TXTSKey xts;
  Bytes k(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(op == Op::XTS ? 2 * keyBytes : keyBytes));
  k.back() ^= 1;  // the XTS halves differ
  if ((op == Op::XTS ? xts.SetKey(k) : key.SetKey(k)) != 0) state.SkipWithError("SetKey failed");
  const Bytes& in = bench::Sized(n);
  Bytes out(n + 8), tag(16);
  platform::TCharArray16 tweak{};
  const auto nonce = std::span(kNonce).first(12);
  for (auto _ : state) {
    platform::Integer st = 0;
    switch (op) {
      case Op::XTS: st = xts.Encrypt(tweak, in, out); ++tweak[0]; break;
      case Op::CCM: st = key.CCM_Seal(nonce, kAAD, in, out, tag); break;
      case Op::OCB: st = key.OCB_Seal(nonce, kAAD, in, out, tag); break;
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
    case Op::XTS: return b128 ? EVP_aes_128_xts() : EVP_aes_256_xts();
    case Op::CCM: return b128 ? EVP_aes_128_ccm() : EVP_aes_256_ccm();
    case Op::OCB: return b128 ? EVP_aes_128_ocb() : EVP_aes_256_ocb();
    case Op::EAX:
    case Op::KW: break;
  }
  return b128 ? EVP_aes_128_wrap() : EVP_aes_256_wrap();
}

void OpenSSL(benchmark::State& state, Op op, std::size_t keyBytes, std::size_t n) {
  const Bytes& in = bench::Sized(n);
  Bytes out(n + 16), tag(16), k(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(op == Op::XTS ? 2 * keyBytes : keyBytes));
  k.back() ^= 1;
  Bytes tweak(16);
  const bool aead = op == Op::CCM || op == Op::OCB;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  bool ok = EVP_EncryptInit_ex(ctx, Cipher(op, keyBytes), nullptr, nullptr, nullptr) == 1;
  if (aead)
    ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, 12, nullptr) == 1 &&
         EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, nullptr) == 1;
  ok = ok && EVP_EncryptInit_ex(ctx, nullptr, nullptr, k.data(), nullptr) == 1;
  for (auto _ : state) {
    int len = 0, fin = 0;
    ok = ok && EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, op == Op::XTS ? tweak.data() : kNonce.data()) == 1;
    if (op == Op::CCM) ok = ok && EVP_EncryptUpdate(ctx, nullptr, &len, nullptr, static_cast<int>(n)) == 1;
    if (aead) ok = ok && EVP_EncryptUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size())) == 1;
    ok = ok && EVP_EncryptUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n)) == 1;
    if (op != Op::XTS) ok = ok && EVP_EncryptFinal_ex(ctx, out.data() + len, &fin) == 1;
    if (aead) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, tag.data()) == 1;
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
               {Op::CCM, "CCM-seal", bench::kCallSizes[2]},
               {Op::OCB, "OCB-seal", bench::kCallSizes[2]},
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
