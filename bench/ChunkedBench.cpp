// Chunked encryption of 1 MiB (one call: salt given, key derivation, key set-up and 65 sealed
// chunks) beside the keyed API's GCM_Seal of the same 1 MiB as one message with the key set
// once, and OpenSSL's EVP AES-GCM of 1 MiB with a context set up once; AES-128 and AES-256.
// Names: "Ours/Chunked_Encrypt_<suite>_1MiB@<kernel>", "Ours/Chunked_GCM-seal_AES<n>_1MiB@<kernel>",
// "OpenSSL/Chunked_GCM-seal_AES<n>_1MiB". Decryption and the stream form with two threads too,
// and what the difference is made of: a message's fixed cost (_0B) and GCM_Seal called once per
// 16 KiB (_64x16KiB).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <string>

#include "BenchData.h"
#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/kernel/AESKernel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSize = std::size_t{1} << 20;
const Bytes kKey(32, 0x2B), kSalt(24, 0x11), kIV(12, 0x5A);

AESChunked::TParams Params(std::size_t keyBytes) {
  return {keyBytes == 16 ? AESChunked::TSuite::Cobblestone128 : AESChunked::TSuite::Cobblestone256,
          std::span(kKey).first(keyBytes), {}};
}

void ChunkedEncrypt(benchmark::State& state, std::size_t keyBytes) {
  const Bytes& plain = bench::Sized(kSize);
  Bytes cipher(AESChunked::CipherBytes(kSize));
  for (auto _ : state) {
    if (AESChunked::Encrypt(Params(keyBytes), plain, cipher, kSalt) != 0) state.SkipWithError("Encrypt failed");
    benchmark::DoNotOptimize(cipher.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

// The fixed cost of a message: an empty one (salt given, key derivation, key set-up, one empty
// chunk).
void ChunkedEncryptEmpty(benchmark::State& state, std::size_t keyBytes) {
  Bytes cipher(AESChunked::CipherBytes(0));
  for (auto _ : state) {
    if (AESChunked::Encrypt(Params(keyBytes), {}, cipher, kSalt) != 0) state.SkipWithError("Encrypt failed");
    benchmark::DoNotOptimize(cipher.data());
  }
}

void ChunkedDecrypt(benchmark::State& state, std::size_t keyBytes) {
  Bytes cipher(AESChunked::CipherBytes(kSize)), plain(kSize);
  AESChunked::Encrypt(Params(keyBytes), bench::Sized(kSize), cipher, kSalt);
  for (auto _ : state) {
    if (AESChunked::Decrypt(Params(keyBytes), cipher, plain) != 0) state.SkipWithError("Decrypt failed");
    benchmark::DoNotOptimize(plain.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

// The stream form on 16 MiB in memory streams (the output's room made once), with 1 or 2 threads.
void ChunkedStream(benchmark::State& state, std::size_t keyBytes, unsigned threads) {
  const std::size_t n = 16 * kSize;
  platform::TMemoryStream in(bench::Sized(n)), out;
  out.SetSize(static_cast<std::int64_t>(AESChunked::CipherBytes(n)));  // no growth in the loop
  for (auto _ : state) {
    out.SetPosition(0);
    if (AESChunked::EncryptStream(Params(keyBytes), &in, &out, {threads, kSalt}) != 0)
      state.SkipWithError("EncryptStream failed");
    benchmark::DoNotOptimize(out.Bytes().data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void KeyedSeal(benchmark::State& state, std::size_t keyBytes) {
  AESKeyed::TAESKey key;
  if (key.SetKey(std::span(kKey).first(keyBytes)) != 0) state.SkipWithError("SetKey failed");
  const Bytes& plain = bench::Sized(kSize);
  Bytes cipher(kSize), tag(16);
  for (auto _ : state) {
    if (key.GCM_Seal(kIV, {}, plain, cipher, tag) != 0) state.SkipWithError("GCM_Seal failed");
    benchmark::DoNotOptimize(cipher.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

// The keyed API's GCM_Seal over the same 1 MiB as 64 messages of 16 KiB (one call per chunk):
// what the per-call path costs beside the one message of KeyedSeal.
void KeyedSealPerChunk(benchmark::State& state, std::size_t keyBytes) {
  AESKeyed::TAESKey key;
  if (key.SetKey(std::span(kKey).first(keyBytes)) != 0) state.SkipWithError("SetKey failed");
  const Bytes& plain = bench::Sized(kSize);
  Bytes cipher(kSize), tag(16);
  constexpr std::size_t kChunk = AESChunked::kChunkBytes;
  for (auto _ : state) {
    for (std::size_t at = 0; at < kSize; at += kChunk)
      if (key.GCM_Seal(kIV, {}, std::span(plain).subspan(at, kChunk), std::span(cipher).subspan(at, kChunk), tag) != 0)
        state.SkipWithError("GCM_Seal failed");
    benchmark::DoNotOptimize(cipher.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void OpenSSLSeal(benchmark::State& state, std::size_t keyBytes) {
  const Bytes& plain = bench::Sized(kSize);
  Bytes cipher(kSize + 16), tag(16);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, keyBytes == 16 ? EVP_aes_128_gcm() : EVP_aes_256_gcm(), nullptr, kKey.data(), nullptr);
  for (auto _ : state) {
    int len = 0;
    const bool ok = EVP_EncryptInit_ex(ctx, nullptr, nullptr, nullptr, kIV.data()) == 1 &&
                    EVP_EncryptUpdate(ctx, cipher.data(), &len, plain.data(), static_cast<int>(kSize)) == 1 &&
                    EVP_EncryptFinal_ex(ctx, cipher.data() + len, &len) == 1 &&
                    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag.data()) == 1;
    if (!ok) state.SkipWithError("EVP failed");
    benchmark::DoNotOptimize(cipher.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

const bool kRegistered = [] {
  std::string at = "@";
  at += AESModes::kernel::KernelName(AESModes::kernel::TExpandedKey().Id());
  for (const std::size_t keyBytes : {16, 32}) {
    const std::string aes = keyBytes == 16 ? "_AES128" : "_AES256";
    const std::string suite = keyBytes == 16 ? "_Cobblestone128" : "_Cobblestone256";
    benchmark::RegisterBenchmark(("Ours/Chunked_Encrypt" + suite + "_1MiB" + at).c_str(), ChunkedEncrypt, keyBytes);
    benchmark::RegisterBenchmark(("Ours/Chunked_GCM-seal" + aes + "_1MiB" + at).c_str(), KeyedSeal, keyBytes);
    benchmark::RegisterBenchmark(("Ours/Chunked_GCM-seal" + aes + "_64x16KiB" + at).c_str(), KeyedSealPerChunk,
                                 keyBytes);
    benchmark::RegisterBenchmark(("OpenSSL/Chunked_GCM-seal" + aes + "_1MiB").c_str(), OpenSSLSeal, keyBytes);
    benchmark::RegisterBenchmark(("Ours/Chunked_Encrypt" + suite + "_0B" + at).c_str(), ChunkedEncryptEmpty, keyBytes);
    benchmark::RegisterBenchmark(("Ours/Chunked_Decrypt" + suite + "_1MiB" + at).c_str(), ChunkedDecrypt, keyBytes);
    for (const unsigned threads : {1u, 2u})
      benchmark::RegisterBenchmark(
          ("Ours/Chunked_EncryptStream" + suite + "_16MiB_threads" + std::to_string(threads) + at).c_str(),
          ChunkedStream, keyBytes, threads);
  }
  return true;
}();

}  // namespace
