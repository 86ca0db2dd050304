// The keyed kernels' bulk operations, on every kernel this processor offers, beside OpenSSL's EVP
// on the same bytes: ECB, CTR, CBC decryption, CBC encryption and OFB over 16 KiB (in cache) and
// 64 MiB, with AES-128 and AES-256. Names: "Ours/<case>@<kernel>" and "OpenSSL/<case>".
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <random>
#include <string>

#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/AESModes.h"
#include "platform/Streams.h"
#include "platform/Types.h"

namespace {

using AESModes::kernel::TKernelId;
using AESModes::kernel::TExpandedKey;

enum class Mode { ECB, CTR, CBCDec, CBCEnc, OFB };

struct TCase {
  Mode mode;
  const char* name;
};
constexpr TCase kCases[] = {{Mode::ECB, "ECB"}, {Mode::CTR, "CTR"}, {Mode::CBCDec, "CBC-dec"}, {Mode::CBCEnc, "CBC-enc"},
                            {Mode::OFB, "OFB"}};

const platform::TBytes& Data(std::size_t size) {
  static const platform::TBytes data = [] {
    platform::TBytes b(64u << 20);
    std::mt19937 gen(3);
    for (auto& x : b) x = static_cast<std::uint8_t>(gen());
    return b;
  }();
  (void)size;
  return data;
}

void Ours(benchmark::State& state, TKernelId id, Mode mode, unsigned bits, std::size_t size) {
  const platform::TBytes& in = Data(size);
  platform::TBytes out(size);
  TExpandedKey k(id);
  k.Expand({in.data(), bits / 8}, bits / 32, mode == Mode::CBCDec);
  std::uint8_t iv[16] = {};
  const std::size_t blocks = size / 16;
  for (auto _ : state) {
    switch (mode) {
      case Mode::ECB: k.EncryptECB(in.data(), out.data(), blocks); break;
      case Mode::CTR: k.CTR128(in.data(), out.data(), blocks, iv); break;
      case Mode::CBCDec: k.DecryptCBC(in.data(), out.data(), blocks, iv); break;
      case Mode::CBCEnc: k.EncryptCBC(in.data(), out.data(), blocks, iv); break;
      case Mode::OFB: k.OFB(in.data(), out.data(), blocks, iv); break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

const EVP_CIPHER* Peer(Mode mode, unsigned bits) {
  const bool b128 = bits == 128;
  switch (mode) {
    case Mode::ECB: return b128 ? EVP_aes_128_ecb() : EVP_aes_256_ecb();
    case Mode::CTR: return b128 ? EVP_aes_128_ctr() : EVP_aes_256_ctr();
    case Mode::CBCDec:
    case Mode::CBCEnc: return b128 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
    case Mode::OFB: return b128 ? EVP_aes_128_ofb() : EVP_aes_256_ofb();
  }
  return nullptr;
}

void OpenSSL(benchmark::State& state, Mode mode, unsigned bits, std::size_t size) {
  const platform::TBytes& in = Data(size);
  platform::TBytes out(size);
  const std::uint8_t iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, Peer(mode, bits), nullptr, in.data(), iv, mode == Mode::CBCDec ? 0 : 1);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  for (auto _ : state) {
    int n = 0;
    EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(size));
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

const bool kRegistered = [] {
  for (const std::size_t size : {std::size_t{16} << 10, std::size_t{64} << 20})
    for (const unsigned bits : {128u, 256u})
      for (const TCase& c : kCases) {
        const std::string name = std::string(c.name) + "_" + std::to_string(bits) + "_" +
                                 (size < (1u << 20) ? "16KiB" : "64MiB");
        auto tune = [size](benchmark::internal::Benchmark* b) {
          if (size >= (1u << 20)) b->Unit(benchmark::kMillisecond)->MinTime(0.3);
          else b->MinTime(0.2);
        };
        tune(benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSL, c.mode, bits, size));
        for (const TKernelId id : AESModes::kernel::AvailableKernels())
          tune(benchmark::RegisterBenchmark(("Ours/" + name + "@" + std::string(AESModes::kernel::KernelName(id))).c_str(),
                                            Ours, id, c.mode, bits, size));
      }
  return true;
}();

// The raw ECB kernel on the 64 MiB the stream benchmark encrypts, with the kernel chosen for
// this process, so EncryptStream's overhead over the kernel shows in one run.
void RawECB(benchmark::State& state) {
  const platform::TBytes& in = Data(64u << 20);
  platform::TBytes out(in.size());
  TExpandedKey k;
  const platform::TBytes key(16, 0x2B);
  k.Expand(key, 4);
  for (auto _ : state) {
    k.EncryptECB(in.data(), out.data(), in.size() / 16);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}
// EncryptStream on the same bytes into an output stream that already holds the cipher text's
// size (EncryptStream rewinds it and does not cut it), so the engine is timed, not the growth
// and first touch of a fresh 64 MiB output.
void StreamECB(benchmark::State& state) {
  platform::TMemoryStream in(Data(64u << 20)), out;
  const platform::TBytes key(16, 0x2B);
  AESModes::TAESModes modes;
  modes.EncryptStream(&in, &out, key, {});
  for (auto _ : state) {
    modes.EncryptStream(&in, &out, key, {});
    benchmark::DoNotOptimize(out.Bytes().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.GetSize()));
}
BENCHMARK(StreamECB)->Name("Kernel/EncryptStreamReusedOutput_ECB128_64MiB")->Unit(benchmark::kMillisecond)->MinTime(1);
BENCHMARK(RawECB)->Name("Kernel/RawECB128_64MiB")->Unit(benchmark::kMillisecond)->MinTime(1);

}  // namespace
