// The misuse-resistant and derived-key modes of the keyed API beside what they are measured
// against: AES-GCM-SIV against our AES-GCM (same key size, 12-byte nonce, 16 bytes of additional
// data), AES-SIV against OpenSSL EVP's AES-SIV (one additional-data string of 16 bytes, one
// context for all messages), XAES-256-GCM against our AES-256-GCM with the key set once and with
// the key set up per message ("GCM-newkey", sealing only). Names:
// "Ours/AEAD_<mode>-<seal|open>_<key>_<size>@<kernel>" and "OpenSSL/AEAD_SIV-..._<size>".
// bench/aead_ratios.sh turns them into ratios (and adds cryptography's AESGCMSIV).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "BenchData.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/engine/kernel/AESKernel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using TSpan = std::span<const std::uint8_t>;

const Bytes kKey(64, 0x2B), kNonce(24, 0x5A), kAAD(16, 0xA5);

enum class Mode { GCM, GCMNewKey, GCMSIV, SIV, XAES };

// AES-256-GCM whose key is set up for the message (expansion, hash key and its powers), as
// XAES-256-GCM's subkey is: the engine's GCM computation made, keyed, run and wiped per message.
platform::Integer NewKeyGCM(TSpan key, TSpan iv, TSpan aad, TSpan in, std::span<std::uint8_t> out,
                            std::span<std::uint8_t> tag) {
  AESModes::detail::TGCMComputation gcm;
  if (const platform::Integer st = gcm.Init(key, 8)) return st;
  AESModes::detail::TGCMMessage s;
  gcm.SetIV(s, iv);
  gcm.AddAAD(s, aad.data(), aad.size());
  gcm.Encrypt(s, in.data(), out.data(), in.size());
  platform::TCharArray16 T;
  gcm.Finish(s, T);
  std::copy(T.begin(), T.end(), tag.begin());
  return 0;
}

void Ours(benchmark::State& state, Mode mode, bool seal, std::size_t keyBytes, std::size_t n) {
  AESKeyed::TAESKey key;
  AESKeyed::TSIVKey siv;
  AESKeyed::TXAESKey xaes;
  const TSpan k = TSpan(kKey).first(keyBytes);
  const bool keyed = mode == Mode::SIV ? siv.SetKey(k) == 0 : mode == Mode::XAES ? xaes.SetKey(k) == 0 : key.SetKey(k) == 0;
  if (!keyed) state.SkipWithError("SetKey failed");
  const TSpan n12 = TSpan(kNonce).first(12);
  const TSpan strings[] = {kAAD};
  // The sealed message for the openings: cipher text then tag (SIV: IV then cipher text).
  Bytes sealed(n + 16), out(n + 16);
  const Bytes& plain = bench::Sized(n);
  const std::span<std::uint8_t> c = std::span(sealed).first(n), t = std::span(sealed).subspan(n);
  switch (mode) {
    case Mode::GCM:
    case Mode::GCMNewKey: key.GCM_Seal(n12, kAAD, plain, c, t); break;
    case Mode::GCMSIV: key.GCMSIV_Seal(n12, kAAD, plain, c, t); break;
    case Mode::SIV: siv.Seal(strings, plain, sealed); break;
    case Mode::XAES: xaes.Seal(kNonce, kAAD, plain, c, t); break;
  }
  const std::span<std::uint8_t> o = std::span(out).first(n), ot = std::span(out).subspan(n);
  for (auto _ : state) {
    platform::Integer st = 0;
    switch (mode) {
      case Mode::GCM: st = seal ? key.GCM_Seal(n12, kAAD, plain, o, ot) : key.GCM_Open(n12, kAAD, c, t, o); break;
      case Mode::GCMNewKey: st = NewKeyGCM(k, n12, kAAD, plain, o, ot); break;
      case Mode::GCMSIV:
        st = seal ? key.GCMSIV_Seal(n12, kAAD, plain, o, ot) : key.GCMSIV_Open(n12, kAAD, c, t, o);
        break;
      case Mode::SIV: st = seal ? siv.Seal(strings, plain, out) : siv.Open(strings, sealed, o); break;
      case Mode::XAES: st = seal ? xaes.Seal(kNonce, kAAD, plain, o, ot) : xaes.Open(kNonce, kAAD, c, t, o); break;
    }
    if (st != 0) state.SkipWithError("operation failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// EVP's AES-SIV on one context: per message the context is re-initialised with the key (OpenSSL
// 3.0 refuses a second message on a context re-initialised without one), the additional-data
// string and the data go in, the tag (the synthetic IV) comes out or is set.
void OpenSSLSIV(benchmark::State& state, bool seal, std::size_t keyBytes, std::size_t n) {
  const char* name = keyBytes == 32 ? "AES-128-SIV" : keyBytes == 48 ? "AES-192-SIV" : "AES-256-SIV";
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const Bytes& plain = bench::Sized(n);
  Bytes sealed(n + 16), out(n + 16);
  {
    AESKeyed::TSIVKey siv;
    siv.SetKey(TSpan(kKey).first(keyBytes));
    const TSpan strings[] = {kAAD};
    siv.Seal(strings, plain, sealed);
  }
  const int enc = seal ? 1 : 0;
  bool ok = cipher != nullptr && ctx != nullptr && EVP_CipherInit_ex2(ctx, cipher, kKey.data(), nullptr, enc, nullptr) == 1;
  for (auto _ : state) {
    int len = 0;
    ok = ok && EVP_CipherInit_ex2(ctx, nullptr, kKey.data(), nullptr, enc, nullptr) == 1;
    if (!seal) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, sealed.data()) == 1;
    ok = ok && EVP_CipherUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size())) == 1;
    ok = ok && EVP_CipherUpdate(ctx, out.data() + 16, &len, seal ? plain.data() : sealed.data() + 16, static_cast<int>(n)) == 1;
    ok = ok && EVP_CipherFinal_ex(ctx, out.data() + 16 + len, &len) == 1;
    if (seal) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, out.data()) == 1;
    if (!ok) state.SkipWithError("EVP AES-SIV failed");
    benchmark::DoNotOptimize(out.data());
  }
  // The same bytes as ours, or the comparison means nothing.
  if (ok && seal && out != sealed) state.SkipWithError("EVP AES-SIV and ours differ");
  if (ok && !seal && !std::equal(plain.begin(), plain.end(), out.begin() + 16)) state.SkipWithError("EVP AES-SIV opened wrongly");
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

const bool kRegistered = [] {
  std::string at = "@";
  at += AESModes::kernel::KernelName(AESModes::kernel::TExpandedKey().Id());
  struct TRow {
    Mode What;
    const char* Name;
    std::size_t KeyBytes;
    const char* KeyName;
  };
  const TRow rows[] = {{Mode::GCM, "GCM", 16, "AES128"},   {Mode::GCMSIV, "GCMSIV", 16, "AES128"},
                       {Mode::GCM, "GCM", 32, "AES256"},   {Mode::GCMSIV, "GCMSIV", 32, "AES256"},
                       {Mode::GCMNewKey, "GCM-newkey", 32, "AES256"},
                       {Mode::XAES, "XAES", 32, "AES256"}, {Mode::SIV, "SIV", 32, "AES128"},
                       {Mode::SIV, "SIV", 64, "AES256"}};
  for (const std::size_t n : {bench::kCallSizes[1], bench::kCallSizes[2]})
    for (const TRow& r : rows)
      for (const bool seal : {true, false}) {
        if (!seal && r.What == Mode::GCMNewKey) continue;
        std::string name = "AEAD_";
        name.append(r.Name).append(seal ? "-seal_" : "-open_").append(r.KeyName).append(bench::SizeName(n));
        benchmark::RegisterBenchmark(("Ours/" + name + at).c_str(), Ours, r.What, seal, r.KeyBytes, n);
        if (r.What == Mode::SIV) benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSLSIV, seal, r.KeyBytes, n);
      }
  return true;
}();

}  // namespace
