// MAC_GenerationBinaryBuffer on 64 B, 1 KiB, 16 KiB and 64 MiB beside OpenSSL's CMAC (EVP_MAC) over the same
// key and bytes, a whole 16-byte tag each time, key set-up included on both sides, on the kernel
// ORVOAES_KERNEL picks (the best one by default).
#include <benchmark/benchmark.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <string>

#include "BenchData.h"
#include "crypto/engine/AESModes.h"
#include "crypto/engine/kernel/AESKernel.h"

namespace {

using platform::TBytes;

const TBytes kKey(32, 0x2B);

void OursCMAC(benchmark::State& state, std::size_t keyBytes, std::size_t n) {
  AESModes::TAESModes modes;
  const TBytes key(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(keyBytes));
  const TBytes& msg = bench::Sized(n);
  TBytes tag(16);
  for (auto _ : state) {
    if (modes.MAC_GenerationBinaryBuffer(msg, key, static_cast<platform::Integer>(8 * keyBytes), tag, 128) != 0)
      state.SkipWithError("MAC_GenerationBinaryBuffer failed");
    benchmark::DoNotOptimize(tag.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void OpenSSLCMAC(benchmark::State& state, std::size_t keyBytes, std::size_t n) {
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "CMAC", nullptr);
  std::string cipher = keyBytes == 32 ? "AES-256-CBC" : "AES-128-CBC";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, cipher.data(), 0),
                         OSSL_PARAM_construct_end()};
  const TBytes& msg = bench::Sized(n);
  TBytes tag(16);
  for (auto _ : state) {
    EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
    std::size_t len = 0;
    if (EVP_MAC_init(ctx, kKey.data(), keyBytes, params) != 1 || EVP_MAC_update(ctx, msg.data(), n) != 1 ||
        EVP_MAC_final(ctx, tag.data(), &len, tag.size()) != 1)
      state.SkipWithError("EVP_MAC failed");
    EVP_MAC_CTX_free(ctx);
    benchmark::DoNotOptimize(tag.data());
  }
  EVP_MAC_free(mac);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

constexpr std::size_t k64M = 64u << 20;

// Ours as "Ours/<case>@<kernel>", the kernel a keyed object really runs on (the chosen one, or
// the best one below it built here); OpenSSL as "OpenSSL/<case>".
const bool kRegistered = [] {
  const std::string at = "@" + std::string(AESModes::kernel::KernelName(AESModes::kernel::TExpandedKey().Id()));
  for (std::size_t keyBytes : {16u, 32u})
    for (std::size_t n : bench::kCallSizes) {
      const std::string name = "MAC_GenerationBinaryBuffer_AES" + std::to_string(8 * keyBytes) + bench::SizeName(n);
      auto* ours = benchmark::RegisterBenchmark(("Ours/" + name + at).c_str(), OursCMAC, keyBytes, n);
      auto* peer = benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSLCMAC, keyBytes, n);
      if (n == k64M) {
        ours->Unit(benchmark::kMillisecond);
        peer->Unit(benchmark::kMillisecond);
      }
    }
  return true;
}();

}  // namespace
