// The keyed API (AESKeyed::TAESKey: the key set up once) beside OpenSSL's EVP with a context
// initialised with the key once and reused: ECB, CTR, CBC decryption, GCM sealing and opening
// (12-byte IV, 16 bytes of additional data, 16-byte tag) on 64 B and 16 KiB, AES-128 and AES-256.
// Per message both sides set only the IV (ours: a copy of the counter or chaining block).
// Names: "Ours/Keyed_<case>@<kernel>" and "OpenSSL/Keyed_<case>".
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <map>
#include <string>

#include "BenchData.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/kernel/AESKernel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kKey(32, 0x2B), kIV(16, 0x5A), kAAD(16, 0xA5);

enum class Op { ECB, CTR, CBCDec, GCMSeal, GCMOpen };

struct TCase {
  Op What;
  const char* Name;
};
constexpr TCase kCases[] = {
    {Op::ECB, "ECB"}, {Op::CTR, "CTR"}, {Op::CBCDec, "CBC-dec"}, {Op::GCMSeal, "GCM-seal"}, {Op::GCMOpen, "GCM-open"}};

const EVP_CIPHER* Cipher(Op op, std::size_t keyBytes) {
  const bool b128 = keyBytes == 16;
  switch (op) {
    case Op::ECB: return b128 ? EVP_aes_128_ecb() : EVP_aes_256_ecb();
    case Op::CTR: return b128 ? EVP_aes_128_ctr() : EVP_aes_256_ctr();
    case Op::CBCDec: return b128 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
    case Op::GCMSeal:
    case Op::GCMOpen: break;
  }
  return b128 ? EVP_aes_128_gcm() : EVP_aes_256_gcm();
}

bool Decrypts(Op op) { return op == Op::CBCDec || op == Op::GCMOpen; }

// The input of a case: for opening, the sealed data and its tag.
struct TInput {
  Bytes In, Tag = Bytes(16);
};

const TInput& Input(Op op, std::size_t keyBytes, std::size_t n) {
  static std::map<std::tuple<Op, std::size_t, std::size_t>, TInput> inputs;
  TInput& in = inputs[{op, keyBytes, n}];
  if (in.In.size() == n) return in;
  in.In = bench::Sized(n);
  if (op == Op::GCMOpen) {
    AESKeyed::TAESKey key;
    key.SetKey(std::span(kKey).first(keyBytes));
    key.GCM_Seal(std::span(kIV).first(12), kAAD, bench::Sized(n), in.In, in.Tag);
  }
  return in;
}

void Ours(benchmark::State& state, Op op, std::size_t keyBytes, std::size_t n) {
  AESKeyed::TAESKey key;
  if (key.SetKey(std::span(kKey).first(keyBytes)) != 0) state.SkipWithError("SetKey failed");
  const TInput& in = Input(op, keyBytes, n);
  const auto iv12 = std::span(kIV).first(12);
  Bytes out(n), tag = in.Tag;
  for (auto _ : state) {
    platform::TCharArray16 iv;
    std::copy_n(kIV.begin(), 16, iv.begin());
    platform::Integer st = 0;
    switch (op) {
      case Op::ECB: st = key.EncryptECB(in.In, out); break;
      case Op::CTR: st = key.CryptCTR(in.In, out, iv); break;
      case Op::CBCDec: st = key.DecryptCBC(in.In, out, iv); break;
      case Op::GCMSeal: st = key.GCM_Seal(iv12, kAAD, in.In, out, tag); break;
      case Op::GCMOpen: st = key.GCM_Open(iv12, kAAD, in.In, tag, out); break;
    }
    if (st != 0) state.SkipWithError("keyed operation failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void OpenSSL(benchmark::State& state, Op op, std::size_t keyBytes, std::size_t n) {
  const TInput& in = Input(op, keyBytes, n);
  Bytes out(n + 16), tag = in.Tag;
  const bool gcm = op == Op::GCMSeal || op == Op::GCMOpen;
  const int enc = Decrypts(op) ? 0 : 1;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, Cipher(op, keyBytes), nullptr, kKey.data(), gcm ? nullptr : kIV.data(), enc);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  for (auto _ : state) {
    int len = 0;
    bool ok = true;
    if (op != Op::ECB) ok = EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, kIV.data(), enc) == 1;
    if (gcm) ok = ok && EVP_CipherUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size())) == 1;
    ok = ok && EVP_CipherUpdate(ctx, out.data(), &len, in.In.data(), static_cast<int>(n)) == 1;
    if (op == Op::GCMOpen) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, tag.data()) == 1;
    if (gcm) ok = ok && EVP_CipherFinal_ex(ctx, out.data() + len, &len) == 1;
    if (op == Op::GCMSeal) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data()) == 1;
    if (!ok) state.SkipWithError("EVP failed");
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

const bool kRegistered = [] {
  std::string at = "@";
  at += AESModes::kernel::KernelName(AESModes::kernel::TExpandedKey().Id());
  for (const std::size_t n : {bench::kCallSizes[0], bench::kCallSizes[2]})
    for (const std::size_t keyBytes : {16, 32})
      for (const TCase& c : kCases) {
        std::string name = "Keyed_";
        name.append(c.Name).append(keyBytes == 16 ? "_AES128" : "_AES256").append(bench::SizeName(n));
        benchmark::RegisterBenchmark(("Ours/" + name + at).c_str(), Ours, c.What, keyBytes, n);
        benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSL, c.What, keyBytes, n);
      }
  return true;
}();

}  // namespace
