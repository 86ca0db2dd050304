// Key set-up alone, on every kernel this processor offers, beside OpenSSL's EVP initialisation with
// a new key: the cipher's schedule (EVP_EncryptInit_ex, ECB), with the inverse cipher's schedule
// too (EVP_DecryptInit_ex, ECB), and the GCM key (AES key, hash key and its powers; EVP's whole GCM
// initialisation). Ours makes, expands and wipes a key object each time, as a call with a key
// does. A new key every iteration; "bytes" are key bytes, so the ratio is keys per second.
// Names: "Ours/<case>@<kernel>" and "OpenSSL/<case>".
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "crypto/engine/kernel/AESKernel.h"

namespace {

using AESModes::kernel::TKernelId;

enum class Setup { Cipher, Inverse, GCM };

std::uint8_t* NextKey() {
  static std::uint8_t key[32] = {0x60, 0x3d, 0xeb, 0x10, 0x15, 0xca, 0x71, 0xbe, 0x2b, 0x73, 0xae,
                                 0xf0, 0x85, 0x7d, 0x77, 0x81, 0x1f, 0x35, 0x2c, 0x07, 0x3b, 0x61,
                                 0x08, 0xd7, 0x2d, 0x98, 0x10, 0xa3, 0x09, 0x14, 0xdf, 0xf4};
  ++key[0];
  return key;
}

void Ours(benchmark::State& state, TKernelId id, Setup setup, unsigned Nk) {
  for (auto _ : state) {
    const std::span<const std::uint8_t> key(NextKey(), 4 * Nk);
    if (setup == Setup::GCM) {
      AESModes::kernel::TGCMKey k(id);
      k.Expand(key, Nk);
      benchmark::DoNotOptimize(&k);
    } else {
      AESModes::kernel::TExpandedKey k(id);
      k.Expand(key, Nk, setup == Setup::Inverse);
      benchmark::DoNotOptimize(&k);
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 4 * Nk));
}

const EVP_CIPHER* Peer(Setup setup, unsigned Nk) {
  if (setup == Setup::GCM) return Nk == 4 ? EVP_aes_128_gcm() : Nk == 6 ? EVP_aes_192_gcm() : EVP_aes_256_gcm();
  return Nk == 4 ? EVP_aes_128_ecb() : Nk == 6 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
}

void OpenSSL(benchmark::State& state, Setup setup, unsigned Nk) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const EVP_CIPHER* cipher = Peer(setup, Nk);
  for (auto _ : state) {
    if (setup == Setup::Inverse)
      EVP_DecryptInit_ex(ctx, cipher, nullptr, NextKey(), nullptr);
    else
      EVP_EncryptInit_ex(ctx, cipher, nullptr, NextKey(), nullptr);
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * 4 * Nk));
}

const bool kRegistered = [] {
  struct TCase {
    Setup setup;
    const char* name;
  };
  for (const TCase c : {TCase{Setup::Cipher, "KeySetup"}, TCase{Setup::Inverse, "KeySetupInverse"},
                        TCase{Setup::GCM, "GCMKeySetup"}})
    for (const unsigned Nk : {4u, 6u, 8u}) {
      const std::string name = std::string(c.name) + "_Nk" + std::to_string(Nk);
      benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSL, c.setup, Nk)->MinTime(0.1);
      for (const TKernelId id : AESModes::kernel::AvailableKernels())
        benchmark::RegisterBenchmark(("Ours/" + name + "@" + std::string(AESModes::kernel::KernelName(id))).c_str(),
                                     Ours, id, c.setup, Nk)
            ->MinTime(0.1);
    }
  return true;
}();

}  // namespace
