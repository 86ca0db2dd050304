// GCM encryption on 64 MiB (AES-128 and AES-256, 12-byte IV, no additional data) through the
// engine's GCM computation on every kernel this processor offers, beside OpenSSL's EVP on the same
// bytes. Names: "Ours/GCM_<bits>_64MiB@<kernel>" and "OpenSSL/GCM_<bits>_64MiB".
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>

#include "crypto/engine/AESModesGCMCore.h"
#include "platform/Types.h"

namespace {

using AESModes::kernel::TKernelId;

constexpr std::size_t kSize = 64u << 20;

const platform::TBytes& Data() {
  static const platform::TBytes data = [] {
    platform::TBytes b(kSize);
    std::mt19937 gen(5);
    for (auto& x : b) x = static_cast<std::uint8_t>(gen());
    return b;
  }();
  return data;
}

constexpr std::uint8_t kIV[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};

void Ours(benchmark::State& state, TKernelId id, unsigned bits) {
  const platform::TBytes& in = Data();
  platform::TBytes out(kSize);
  platform::TCharArray16 tag;
  for (auto _ : state) {
    AESModes::detail::TGCM gcm(id);
    gcm.Start({in.data(), bits / 8}, bits / 32);
    gcm.SetIV(kIV);
    gcm.Encrypt(in.data(), out.data(), kSize);
    gcm.Finish(tag);
    benchmark::DoNotOptimize(tag.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void OpenSSL(benchmark::State& state, unsigned bits) {
  const platform::TBytes& in = Data();
  platform::TBytes out(kSize);
  std::uint8_t tag[16];
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  for (auto _ : state) {
    int n = 0;
    EVP_EncryptInit_ex(ctx, bits == 128 ? EVP_aes_128_gcm() : EVP_aes_256_gcm(), nullptr, in.data(), kIV);
    EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(kSize));
    EVP_EncryptFinal_ex(ctx, out.data() + n, &n);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag);
    benchmark::DoNotOptimize(tag);
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

const bool kRegistered = [] {
  for (const unsigned bits : {128u, 256u}) {
    const std::string name = "GCM_" + std::to_string(bits) + "_64MiB";
    benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSL, bits)->Unit(benchmark::kMillisecond)->MinTime(0.3);
    for (const TKernelId id : AESModes::kernel::AvailableKernels())
      benchmark::RegisterBenchmark(("Ours/" + name + "@" + std::string(AESModes::kernel::KernelName(id))).c_str(), Ours,
                                   id, bits)
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.3);
  }
  return true;
}();

}  // namespace
