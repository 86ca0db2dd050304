// GCM through the buffer form on 64 B, 1 KiB, 16 KiB (in cache) and 64 MiB, both directions, AES-128 and
// AES-256, beside OpenSSL's EVP doing the same work; GCM_EncryptFile against GCM_DecryptFile (two
// passes) on a 64 MiB file; and bulk GCM with the key set once (16 KiB, 1 MiB, 64 MiB) beside an EVP
// context keyed once, with cycles per byte ("c/B", from the core clock measured at start-up) and
// that as a share of 0.125 c/B ("bound%": two 512-bit AES rounds and half a 512-bit carry-less
// multiply per cycle, the bound of the processor these figures are kept for).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "BenchData.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/AESModes.h"
#include "crypto/engine/kernel/KernelDispatch.h"
#include "platform/SysUtils.h"

namespace {

namespace fs = std::filesystem;
using platform::Integer;
using platform::TBytes;

TBytes Random(std::size_t n, unsigned seed) {
  TBytes b(n);
  std::mt19937 gen(seed);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen());
  return b;
}

const TBytes kKey = Random(32, 1), kIV = Random(12, 2), kAAD = Random(16, 3);

const TBytes& Plain(std::size_t n) {
  static std::map<std::size_t, TBytes> data;
  auto& d = data[n];
  if (d.empty()) d = Random(n, 4);
  return d;
}

TBytes KeyOf(std::size_t keyBytes) {
  return TBytes(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(keyBytes));
}

// The cipher text and 16-byte tag of Plain(n), made once by OpenSSL, for the decryption cases.
struct TSealed {
  TBytes Cipher, Tag = TBytes(16);
};

void OpenSSLSeal(bool encrypt, std::size_t keyBytes, const TBytes& in, TBytes& out, TBytes& tag) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int n = 0;
  EVP_CipherInit_ex(ctx, keyBytes == 16 ? EVP_aes_128_gcm() : EVP_aes_256_gcm(), nullptr, kKey.data(), kIV.data(),
                    encrypt ? 1 : 0);
  EVP_CipherUpdate(ctx, nullptr, &n, kAAD.data(), static_cast<int>(kAAD.size()));
  EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
  if (!encrypt) EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, tag.data());
  if (EVP_CipherFinal_ex(ctx, out.data() + n, &n) != 1) std::abort();
  if (encrypt) EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data());
  EVP_CIPHER_CTX_free(ctx);
}

const TSealed& Sealed(std::size_t n, std::size_t keyBytes) {
  static std::map<std::pair<std::size_t, std::size_t>, TSealed> data;
  auto& s = data[{n, keyBytes}];
  if (s.Cipher.empty()) {
    s.Cipher.resize(n);
    OpenSSLSeal(true, keyBytes, Plain(n), s.Cipher, s.Tag);
  }
  return s;
}

void Ours(benchmark::State& state, bool encrypt, std::size_t n, std::size_t keyBytes) {
  AESModes::TAESModes modes;
  const TBytes key = KeyOf(keyBytes);
  const TSealed& sealed = Sealed(n, keyBytes);
  const TBytes& in = encrypt ? Plain(n) : sealed.Cipher;
  TBytes out(n), tag = sealed.Tag;
  const auto bits = static_cast<Integer>(8 * keyBytes), len = static_cast<Integer>(n);
  for (auto _ : state) {
    const Integer st = encrypt ? modes.GCM_EncryptBinaryBuffer(in, len, kAAD, 128, out, key, bits, kIV, 96, tag, 128)
                               : modes.GCM_DecryptBinaryBuffer(in, len, kAAD, 128, out, key, bits, kIV, 96, tag, 128);
    if (st != 0) state.SkipWithError("GCM failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
  state.SetLabel(std::string(AESModes::kernel::KernelName(AESModes::kernel::ChosenKernel())));
}

void OpenSSL(benchmark::State& state, bool encrypt, std::size_t n, std::size_t keyBytes) {
  const TSealed& sealed = Sealed(n, keyBytes);
  const TBytes& in = encrypt ? Plain(n) : sealed.Cipher;
  TBytes out(n + 16), tag = sealed.Tag;
  for (auto _ : state) {
    OpenSSLSeal(encrypt, keyBytes, in, out, tag);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// A 64 MiB input file, its cipher text and tag, in a directory removed at exit.
struct TGCMFiles {
  fs::path Dir = fs::temp_directory_path() / ("aes_bench_gcm_" + std::to_string(::getpid()));
  TGCMFiles() {
    fs::create_directories(Dir);
    const TBytes data = Random(64u << 20, 5);
    std::ofstream(Dir / "in", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    std::ofstream(Dir / "aad", std::ios::binary).write(reinterpret_cast<const char*>(kAAD.data()), 16);
    for (const char* f : {"cipher", "plain", "tag"}) std::ofstream(Dir / f, std::ios::binary);
    AESModes::TAESModes().GCM_EncryptFile(P("in"), P("aad"), P("cipher"), kKey, 256, kIV, 96, P("tag"), 128);
  }
  ~TGCMFiles() { fs::remove_all(Dir); }
  platform::string P(const char* name) const { return platform::FromUTF8((Dir / name).string()); }
};

const TGCMFiles& GCMFiles() {
  static const TGCMFiles files;
  return files;
}

void OursFile(benchmark::State& state, bool encrypt) {
  const TGCMFiles& f = GCMFiles();
  AESModes::TAESModes modes;
  for (auto _ : state) {
    const Integer st =
        encrypt ? modes.GCM_EncryptFile(f.P("in"), f.P("aad"), f.P("cipher"), kKey, 256, kIV, 96, f.P("tag"), 128)
                : modes.GCM_DecryptFile(f.P("cipher"), f.P("aad"), f.P("plain"), kKey, 256, kIV, 96, f.P("tag"), 128);
    if (st != 0) state.SkipWithError("GCM file operation failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (64 << 20)));
  state.SetLabel(std::string(AESModes::kernel::KernelName(AESModes::kernel::ChosenKernel())));
}

// The core clock in Hz: a chain of dependent one-cycle adds timed in the thread's CPU time (other
// processes' time slices do not count); 0 where there is no such add to time.
double CoreHz() {
#if defined(__x86_64__)
  double best = 0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    timespec t0{}, t1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    std::uint64_t x = 1;
    constexpr long kLoops = 2'000'000;
    for (long i = 0; i < kLoops; ++i)
      __asm__ volatile("add %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\t"
                       "add %0, %0\n\tadd %0, %0\n\tadd %0, %0\n\tadd %0, %0"
                       : "+r"(x));
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    const double s = static_cast<double>(t1.tv_sec - t0.tv_sec) + 1e-9 * static_cast<double>(t1.tv_nsec - t0.tv_nsec);
    if (s > 0) best = std::max(best, 8.0 * kLoops / s);
  }
  return best;
#else
  return 0;
#endif
}

void CyclesPerByte(benchmark::State& state, std::size_t n) {
  static const double hz = CoreHz();
  if (hz == 0) return;
  // Rates are per second of CPU time; inverted, bytes per cycle become cycles per byte.
  state.counters["c/B"] = benchmark::Counter(static_cast<double>(n) / hz,
                                             benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["bound%"] = benchmark::Counter(static_cast<double>(n) / hz * 0.125 * 100,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

// GCM with the key set once: a keyed object against an EVP context keyed once, each setting only
// the IV per message.
void OursKeyed(benchmark::State& state, bool encrypt, std::size_t n, std::size_t keyBytes) {
  AESKeyed::TAESKey key;
  if (key.SetKey(std::span(kKey).first(keyBytes)) != 0) state.SkipWithError("SetKey failed");
  const TSealed& sealed = Sealed(n, keyBytes);
  const TBytes& in = encrypt ? Plain(n) : sealed.Cipher;
  TBytes out(n), tag = sealed.Tag;
  for (auto _ : state) {
    const Integer st =
        encrypt ? key.GCM_Seal(kIV, kAAD, in, out, tag) : key.GCM_Open(kIV, kAAD, in, tag, out);
    if (st != 0) state.SkipWithError("GCM failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
  CyclesPerByte(state, n);
  state.SetLabel(std::string(AESModes::kernel::KernelName(AESModes::kernel::ChosenKernel())));
}

void OpenSSLKeyed(benchmark::State& state, bool encrypt, std::size_t n, std::size_t keyBytes) {
  const TSealed& sealed = Sealed(n, keyBytes);
  const TBytes& in = encrypt ? Plain(n) : sealed.Cipher;
  TBytes out(n + 16), tag = sealed.Tag;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const int enc = encrypt ? 1 : 0;
  EVP_CipherInit_ex(ctx, keyBytes == 16 ? EVP_aes_128_gcm() : EVP_aes_256_gcm(), nullptr, kKey.data(), nullptr, enc);
  for (auto _ : state) {
    int len = 0;
    bool ok = EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, kIV.data(), enc) == 1;
    ok = ok && EVP_CipherUpdate(ctx, nullptr, &len, kAAD.data(), static_cast<int>(kAAD.size())) == 1;
    ok = ok && EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n)) == 1;
    if (!encrypt) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_TAG, 16, tag.data()) == 1;
    ok = ok && EVP_CipherFinal_ex(ctx, out.data() + len, &len) == 1;
    if (encrypt) ok = ok && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data()) == 1;
    if (!ok) state.SkipWithError("EVP failed");
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
  CyclesPerByte(state, n);
}

void Register() {
  for (const std::size_t n : bench::kCallSizes)
    for (const std::size_t keyBytes : {16, 32})
      for (const bool encrypt : {true, false}) {
        const std::string name = std::string(encrypt ? "GCM_Encrypt" : "GCM_Decrypt") + "_AES" +
                                 std::to_string(8 * keyBytes) + bench::SizeName(n);
        benchmark::RegisterBenchmark(("Ours/" + name).c_str(), Ours, encrypt, n, keyBytes)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSL, encrypt, n, keyBytes)
            ->Unit(benchmark::kMicrosecond);
      }
  for (const std::size_t n : {std::size_t{16} << 10, std::size_t{1} << 20, std::size_t{64} << 20})
    for (const std::size_t keyBytes : {16, 32})
      for (const bool encrypt : {true, false}) {
        const std::string name = std::string("GCMKeyed_") + (encrypt ? "seal" : "open") + "_AES" +
                                 std::to_string(8 * keyBytes) + bench::SizeName(n);
        benchmark::RegisterBenchmark(("Ours/" + name).c_str(), OursKeyed, encrypt, n, keyBytes)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSLKeyed, encrypt, n, keyBytes)
            ->Unit(benchmark::kMicrosecond);
      }
  benchmark::RegisterBenchmark("Ours/GCM_EncryptFile_AES256_64MiB", OursFile, true)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(2);
  benchmark::RegisterBenchmark("Ours/GCM_DecryptFile_AES256_64MiB", OursFile, false)
      ->Unit(benchmark::kMillisecond)
      ->MinTime(2);
}

const bool kRegistered = (Register(), true);

}  // namespace
