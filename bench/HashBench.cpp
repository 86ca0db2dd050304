// The hash functions beside OpenSSL's: PBKDF2-HMAC at 600,000 iterations (OpenSSL's
// PKCS5_PBKDF2_HMAC, which Python's hashlib.pbkdf2_hmac calls), HMAC-SHA-256 of 64 bytes (key
// set-up included on both sides) and the digests of 1 MiB. PBKDF2's "bytes" are the blocks its
// compressions take (two per iteration), so its ratio is a ratio of times.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <string>

#include "BenchData.h"
#include "crypto/hash/HMAC.h"
#include "crypto/hash/HashFunctions.h"
#include "crypto/hash/KDF.h"

namespace {

using Hash::THashKind;
using platform::TBytes;

constexpr std::uint32_t kIterations = 600000;
const TBytes kPassword = {'c', 'o', 'r', 'r', 'e', 'c', 't', ' ', 'h', 'o', 'r', 's', 'e'};
const TBytes kSalt(16, 0x5A);

const EVP_MD* OpenSSLDigest(THashKind kind) { return kind == THashKind::SHA512 ? EVP_sha512() : EVP_sha256(); }

void PBKDF2Bytes(benchmark::State& state, THashKind kind) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kIterations * 2 * Hash::BlockSize(kind)));
}

void OursPBKDF2(benchmark::State& state, THashKind kind) {
  TBytes out(32);
  for (auto _ : state) {
    if (Hash::PBKDF2_HMAC(kind, kPassword, kSalt, kIterations, out) != 0) state.SkipWithError("PBKDF2_HMAC failed");
    benchmark::DoNotOptimize(out.data());
  }
  PBKDF2Bytes(state, kind);
}

void OpenSSLPBKDF2(benchmark::State& state, THashKind kind) {
  TBytes out(32);
  for (auto _ : state) {
    if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(kPassword.data()), static_cast<int>(kPassword.size()),
                          kSalt.data(), static_cast<int>(kSalt.size()), kIterations, OpenSSLDigest(kind),
                          static_cast<int>(out.size()), out.data()) != 1)
      state.SkipWithError("PKCS5_PBKDF2_HMAC failed");
    benchmark::DoNotOptimize(out.data());
  }
  PBKDF2Bytes(state, kind);
}

void OursHMAC(benchmark::State& state, std::size_t n) {
  const TBytes& msg = bench::Sized(n);
  TBytes mac(32);
  for (auto _ : state) {
    Hash::HMAC(THashKind::SHA256, kSalt, msg, mac);
    benchmark::DoNotOptimize(mac.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void OpenSSLHMAC(benchmark::State& state, std::size_t n) {
  const TBytes& msg = bench::Sized(n);
  TBytes mac(32);
  for (auto _ : state) {
    unsigned len = 0;
    HMAC(EVP_sha256(), kSalt.data(), static_cast<int>(kSalt.size()), msg.data(), n, mac.data(), &len);
    benchmark::DoNotOptimize(mac.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void OursDigest(benchmark::State& state, THashKind kind, std::size_t n) {
  const TBytes& msg = bench::Sized(n);
  TBytes digest(64);
  for (auto _ : state) {
    Hash::Digest(kind, msg, digest);
    benchmark::DoNotOptimize(digest.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void OpenSSLDigestOf(benchmark::State& state, THashKind kind, std::size_t n) {
  const TBytes& msg = bench::Sized(n);
  TBytes digest(64);
  for (auto _ : state) {
    EVP_Digest(msg.data(), n, digest.data(), nullptr, OpenSSLDigest(kind), nullptr);
    benchmark::DoNotOptimize(digest.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// Ours as "Ours/<case>@<compression>" (the digest's chosen compression: sha-ni, avx2 or portable).
const bool kRegistered = [] {
  const std::string at = std::string("@") + Hash::detail::SHA256ChosenName();
  for (THashKind kind : {THashKind::SHA256, THashKind::SHA512}) {
    const std::string name = kind == THashKind::SHA256 ? "SHA256" : "SHA512";
    const std::string atKind = std::string("@") + (kind == THashKind::SHA256 ? Hash::detail::SHA256ChosenName()
                                                                             : Hash::detail::SHA512ChosenName());
    benchmark::RegisterBenchmark(("Ours/PBKDF2-" + name + "_600000" + atKind).c_str(), OursPBKDF2, kind)
        ->Unit(benchmark::kMillisecond)->MinTime(1.0);
    benchmark::RegisterBenchmark(("OpenSSL/PBKDF2-" + name + "_600000").c_str(), OpenSSLPBKDF2, kind)
        ->Unit(benchmark::kMillisecond)->MinTime(1.0);
    const std::size_t mib = std::size_t{1} << 20;
    benchmark::RegisterBenchmark(("Ours/Digest-" + name + bench::SizeName(mib) + atKind).c_str(), OursDigest, kind, mib);
    benchmark::RegisterBenchmark(("OpenSSL/Digest-" + name + bench::SizeName(mib)).c_str(), OpenSSLDigestOf, kind, mib);
  }
  benchmark::RegisterBenchmark(("Ours/HMAC-SHA256_64B" + at).c_str(), OursHMAC, std::size_t{64});
  benchmark::RegisterBenchmark("OpenSSL/HMAC-SHA256_64B", OpenSSLHMAC, std::size_t{64});
  return true;
}();

}  // namespace
