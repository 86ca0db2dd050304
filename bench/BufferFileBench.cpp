// EncryptBinaryBuffer on 16 MiB in memory and EncryptFile on a 64 MiB file, each beside OpenSSL's
// EVP doing the same work: same mode, key size, IV and bytes; for files the same chunked reads
// and writes between the same two paths. And every call's fixed cost: EncryptBinaryBuffer /
// DecryptBinaryBuffer with the IV given (IVIn false) and no padding in ECB, CTR, CBC (both
// ways) and OFB on 64 B, 1 KiB, 16 KiB and 64 MiB, the key set up inside every call on both
// sides (EVP: a new context initialised with the key).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "BenchData.h"
#include "crypto/engine/AESModes.h"
#include "platform/SysUtils.h"

namespace {

namespace fs = std::filesystem;
using platform::TBytes;

constexpr std::size_t kBufferSize = 16u << 20;
constexpr std::size_t kFileSize = 64u << 20;

TBytes RandomData(std::size_t n) {
  TBytes b(n);
  std::mt19937 gen(1);
  for (auto& x : b) x = static_cast<std::uint8_t>(gen());
  return b;
}

const TBytes& Plain() {
  static const TBytes data = RandomData(kBufferSize);
  return data;
}

const TBytes kKey(32, 0x2B);
const TBytes kIV(16, 0x5A);

// The input and output files of the file cases, in a directory removed at exit.
struct TBenchFiles {
  fs::path Dir = fs::temp_directory_path() / ("aes_bench_files_" + std::to_string(::getpid()));
  TBenchFiles() {
    fs::create_directories(Dir);
    const TBytes data = RandomData(kFileSize);
    std::ofstream(Dir / "in", std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    std::ofstream(Dir / "out", std::ios::binary);
  }
  ~TBenchFiles() { fs::remove_all(Dir); }
  std::string In() const { return (Dir / "in").string(); }
  std::string Out() const { return (Dir / "out").string(); }
};

const TBenchFiles& Files() {
  static const TBenchFiles files;
  return files;
}

// mode 1 CBC with PKCS7, mode 3 CTR without padding; key of keyBytes bytes.
const EVP_CIPHER* Cipher(int mode, std::size_t keyBytes) {
  if (mode == 1) return keyBytes == 16 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
  return keyBytes == 16 ? EVP_aes_128_ctr() : EVP_aes_256_ctr();
}

void OursBuffer(benchmark::State& state, int mode, std::size_t keyBytes) {
  AESModes::TAESModes modes;
  const TBytes key(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(keyBytes));
  TBytes out(kBufferSize + 16);
  for (auto _ : state) {
    platform::Integer size = 0;
    if (modes.EncryptBinaryBuffer(Plain(), out, size, key, static_cast<platform::Integer>(keyBytes * 8), false, kIV,
                                  mode == 1, mode) != 0)
      state.SkipWithError("EncryptBinaryBuffer failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

void OpenSSLBuffer(benchmark::State& state, int mode, std::size_t keyBytes) {
  TBytes out(kBufferSize + 16);
  for (auto _ : state) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n1 = 0, n2 = 0;
    EVP_EncryptInit_ex(ctx, Cipher(mode, keyBytes), nullptr, kKey.data(), kIV.data());
    EVP_CIPHER_CTX_set_padding(ctx, mode == 1 ? 1 : 0);
    EVP_EncryptUpdate(ctx, out.data(), &n1, Plain().data(), static_cast<int>(kBufferSize));
    EVP_EncryptFinal_ex(ctx, out.data() + n1, &n2);
    EVP_CIPHER_CTX_free(ctx);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBufferSize));
}

void OursFile(benchmark::State& state, int mode, std::size_t keyBytes) {
  AESModes::TAESModes modes;
  const TBytes key(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(keyBytes));
  platform::TCharArray16 iv;
  std::copy(kIV.begin(), kIV.end(), iv.begin());
  const platform::string in = platform::FromUTF8(Files().In()), out = platform::FromUTF8(Files().Out());
  for (auto _ : state)
    if (modes.EncryptFile(in, out, key, static_cast<platform::Integer>(keyBytes * 8), false, iv, mode == 1, mode) != 0)
      state.SkipWithError("EncryptFile failed");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// The same work as EncryptFile: chunks of 16,000,000 bytes read, encrypted, written, and the
// output cut to its length.
void OpenSSLFile(benchmark::State& state, int mode, std::size_t keyBytes) {
  TBytes inBuf(AESModes::kFileChunkSize), outBuf(AESModes::kFileChunkSize + 16);
  for (auto _ : state) {
    const int in = ::open(Files().In().c_str(), O_RDONLY), out = ::open(Files().Out().c_str(), O_WRONLY);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, Cipher(mode, keyBytes), nullptr, kKey.data(), kIV.data());
    EVP_CIPHER_CTX_set_padding(ctx, mode == 1 ? 1 : 0);
    off_t written = 0;
    int n = 0;
    for (ssize_t r; (r = ::read(in, inBuf.data(), inBuf.size())) > 0;) {
      EVP_EncryptUpdate(ctx, outBuf.data(), &n, inBuf.data(), static_cast<int>(r));
      written += ::write(out, outBuf.data(), static_cast<std::size_t>(n));
    }
    EVP_EncryptFinal_ex(ctx, outBuf.data(), &n);
    written += ::write(out, outBuf.data(), static_cast<std::size_t>(n));
    if (::ftruncate(out, written) != 0) state.SkipWithError("ftruncate failed");
    EVP_CIPHER_CTX_free(ctx);
    ::close(in);
    ::close(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileSize));
}

// The modes of the per-call rows: the engine's mode number, the direction and EVP's cipher.
struct TCallCase {
  const char* Name;
  int Mode;
  bool Decrypt;
};
constexpr TCallCase kCallCases[] = {
    {"ECB", 0, false}, {"CTR", 3, false}, {"CBC-dec", 1, true}, {"CBC-enc", 1, false}, {"OFB", 2, false}};

const EVP_CIPHER* CallCipher(int mode, std::size_t keyBytes) {
  const bool b128 = keyBytes == 16;
  switch (mode) {
    case 0: return b128 ? EVP_aes_128_ecb() : EVP_aes_256_ecb();
    case 1: return b128 ? EVP_aes_128_cbc() : EVP_aes_256_cbc();
    case 2: return b128 ? EVP_aes_128_ofb() : EVP_aes_256_ofb();
  }
  return b128 ? EVP_aes_128_ctr() : EVP_aes_256_ctr();
}

void OursCall(benchmark::State& state, TCallCase c, std::size_t keyBytes, std::size_t n) {
  AESModes::TAESModes modes;
  const TBytes key(kKey.begin(), kKey.begin() + static_cast<std::ptrdiff_t>(keyBytes));
  const TBytes& in = bench::Sized(n);
  TBytes out(n);
  const auto bits = static_cast<platform::Integer>(8 * keyBytes);
  for (auto _ : state) {
    platform::Integer size = 0;
    const platform::Integer st = c.Decrypt ? modes.DecryptBinaryBuffer(in, out, size, key, bits, false, kIV, false, c.Mode)
                                           : modes.EncryptBinaryBuffer(in, out, size, key, bits, false, kIV, false, c.Mode);
    if (st != 0) state.SkipWithError("buffer operation failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

void OpenSSLCall(benchmark::State& state, TCallCase c, std::size_t keyBytes, std::size_t n) {
  const TBytes& in = bench::Sized(n);
  TBytes out(n + 16);
  for (auto _ : state) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n1 = 0, n2 = 0;
    EVP_CipherInit_ex(ctx, CallCipher(c.Mode, keyBytes), nullptr, kKey.data(), kIV.data(), c.Decrypt ? 0 : 1);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(n));
    EVP_CipherFinal_ex(ctx, out.data() + n1, &n2);
    EVP_CIPHER_CTX_free(ctx);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

const bool kCallsRegistered = [] {
  for (const std::size_t n : bench::kCallSizes)
    for (const std::size_t keyBytes : {16, 32})
      for (const TCallCase& c : kCallCases) {
        const std::string name = std::string(c.Decrypt ? "DecryptBinaryBuffer_" : "EncryptBinaryBuffer_") + c.Name +
                                 "_AES" + std::to_string(8 * keyBytes) + bench::SizeName(n);
        for (auto* b : {benchmark::RegisterBenchmark(("Ours/" + name).c_str(), OursCall, c, keyBytes, n),
                        benchmark::RegisterBenchmark(("OpenSSL/" + name).c_str(), OpenSSLCall, c, keyBytes, n)})
          if (n >= (1u << 20)) b->Unit(benchmark::kMillisecond);
      }
  return true;
}();

}  // namespace

BENCHMARK_CAPTURE(OursBuffer, cbc128, 1, 16)->Name("Ours/EncryptBinaryBuffer_CBC128_PKCS7_16MiB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenSSLBuffer, cbc128, 1, 16)->Name("OpenSSL/EncryptBinaryBuffer_CBC128_PKCS7_16MiB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OursBuffer, ctr256, 3, 32)->Name("Ours/EncryptBinaryBuffer_CTR256_16MiB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OpenSSLBuffer, ctr256, 3, 32)->Name("OpenSSL/EncryptBinaryBuffer_CTR256_16MiB")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OursFile, cbc128, 1, 16)->Name("Ours/EncryptFile_CBC128_PKCS7_64MiB")->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK_CAPTURE(OpenSSLFile, cbc128, 1, 16)->Name("OpenSSL/EncryptFile_CBC128_PKCS7_64MiB")->Unit(benchmark::kMillisecond)->MinTime(3);
