// Chunked encryption's tests: the Python model as the oracle, the forms of the library side by
// side, and streams that count or invent their bytes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "Oracle.h"
#include "crypto/engine/AESChunked.h"
#include "platform/Streams.h"

namespace chunked_test {

using testing_support::Bytes;
using testing_support::RandomBytes;
using AESChunked::TSuite;

inline constexpr std::size_t kChunk = AESChunked::kChunkBytes;
inline constexpr std::size_t kSealed = AESChunked::kSealedChunkBytes;
inline constexpr std::size_t kHeader = AESChunked::kHeaderBytes;

// One message: what the oracle and the library are given.
struct TMessageCase {
  TSuite Suite = TSuite::Cobblestone128;
  Bytes Key, Salt, Context, Plain;
  Bytes Cipher;  // the oracle's

  AESChunked::TParams Params() const { return {Suite, Key, Context}; }
  std::string Name() const {
    return std::string(Suite == TSuite::Cobblestone128 ? "128" : "256") + "/ctx" + std::to_string(Context.size()) +
           "/len" + std::to_string(Plain.size());
  }
};

inline TMessageCase MakeCase(TSuite suite, std::size_t length, std::size_t contextBytes, std::uint32_t seed) {
  TMessageCase c;
  c.Suite = suite;
  c.Key = RandomBytes(AESChunked::KeyBytes(suite), seed);
  c.Salt = RandomBytes(AESChunked::kSaltBytes, seed + 1);
  c.Context = RandomBytes(contextBytes, seed + 2);
  c.Plain = RandomBytes(length, seed + 3);
  return c;
}

// Fills in every case's Cipher from the Python model (tests/chunked/chunked_oracle.py), run once
// over all of them.
inline void RunOracle(std::vector<TMessageCase>& cases) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("aes_chunked_oracle_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  {
    std::ofstream list(dir / "cases");
    for (std::size_t i = 0; i < cases.size(); ++i) {
      const TMessageCase& c = cases[i];
      std::ofstream(dir / (std::to_string(i) + ".plain"), std::ios::binary)
          .write(reinterpret_cast<const char*>(c.Plain.data()), static_cast<std::streamsize>(c.Plain.size()));
      list << i << ' ' << (c.Suite == TSuite::Cobblestone128 ? 128 : 256) << ' ' << testing_support::ToHex(c.Key)
           << ' ' << testing_support::ToHex(c.Salt) << ' '
           << (c.Context.empty() ? std::string("-") : testing_support::ToHex(c.Context)) << '\n';
    }
  }
  const std::string command = std::string("'") + AES_TEST_PYTHON + "' '" + AES_TEST_CHUNKED_ORACLE + "' batch '" +
                              dir.string() + "'";
  const int status = std::system(command.c_str());
  for (std::size_t i = 0; status == 0 && i < cases.size(); ++i) {
    std::ifstream in(dir / (std::to_string(i) + ".cipher"), std::ios::binary);
    cases[i].Cipher.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove_all(dir);
  ASSERT_EQ(status, 0) << command;
}

// A memory stream that counts the bytes read from it.
class TCountingStream : public platform::TMemoryStream {
 public:
  using platform::TMemoryStream::TMemoryStream;
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t n = platform::TMemoryStream::Read(buffer, count);
    BytesRead += n;
    return n;
  }
  std::int64_t BytesRead = 0;
};

// A read-only stream of `size` bytes whose content a function gives on demand, so a message of
// terabytes can be read at any place without being stored.
class TGeneratedStream : public platform::TStream {
 public:
  using TGenerate = std::function<void(std::uint64_t at, std::uint8_t* p, std::size_t n)>;
  TGeneratedStream(std::uint64_t size, TGenerate generate) : FSize(size), FGenerate(std::move(generate)) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const auto n = static_cast<std::size_t>(
        std::clamp<std::int64_t>(count, 0, static_cast<std::int64_t>(FSize) - FPosition));
    FGenerate(static_cast<std::uint64_t>(FPosition), static_cast<std::uint8_t*>(buffer), n);
    FPosition += static_cast<std::int64_t>(n);
    BytesRead += static_cast<std::int64_t>(n);
    return static_cast<std::int64_t>(n);
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
    const std::int64_t base = origin == platform::TSeekOrigin::soBeginning ? 0
                              : origin == platform::TSeekOrigin::soCurrent ? FPosition
                                                                            : static_cast<std::int64_t>(FSize);
    FPosition = base + offset;
    return FPosition;
  }
  std::int64_t GetSize() override { return static_cast<std::int64_t>(FSize); }
  std::int64_t BytesRead = 0;

 private:
  std::uint64_t FSize;
  TGenerate FGenerate;
  std::int64_t FPosition = 0;
};

// The incremental decryptor fed in pieces of the given size: what it released, and the status of
// the first call that failed (or of Finish). released holds only what the calls reported.
// threads: the decryptor's (and, below, the encryptor's) thread count.
struct TFedResult {
  Bytes Released;
  platform::Integer Status = 0;
};
inline TFedResult FeedDecryptor(const AESChunked::TParams& params, const Bytes& cipher, std::size_t piece,
                                unsigned threads = 1) {
  AESChunked::TDecryptor d;
  TFedResult r;
  r.Status = d.Begin(params, threads);
  for (std::size_t at = 0; r.Status == 0 && at < cipher.size(); at += piece) {
    const auto in = std::span(cipher).subspan(at, std::min(piece, cipher.size() - at));
    Bytes out(d.UpdateRoom(in.size()));
    std::size_t written = 0;
    r.Status = d.Update(in, out, written);
    r.Released.insert(r.Released.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written));
  }
  if (r.Status == 0) {
    Bytes out(kChunk);
    std::size_t written = 0;
    r.Status = d.Finish(out, written);
    r.Released.insert(r.Released.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written));
  }
  return r;
}

// The incremental encryptor fed in pieces of the given size: header and every chunk in order.
inline Bytes FeedEncryptor(const TMessageCase& c, std::size_t piece, unsigned threads = 1) {
  AESChunked::TEncryptor e;
  Bytes out(kHeader);
  EXPECT_EQ(e.Begin(c.Params(), out, c.Salt, threads), 0);
  for (std::size_t at = 0; at < c.Plain.size(); at += piece) {
    const auto in = std::span(c.Plain).subspan(at, std::min(piece, c.Plain.size() - at));
    Bytes chunk(e.UpdateRoom(in.size()));
    std::size_t written = 0;
    EXPECT_EQ(e.Update(in, chunk, written), 0);
    EXPECT_EQ(written, chunk.size());
    out.insert(out.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(written));
  }
  Bytes last(e.FinishRoom());
  std::size_t written = 0;
  EXPECT_EQ(e.Finish(last, written), 0);
  out.insert(out.end(), last.begin(), last.begin() + static_cast<std::ptrdiff_t>(written));
  return out;
}

}  // namespace chunked_test
