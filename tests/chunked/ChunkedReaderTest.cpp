// The random-access reader: it reads only the chunks a read needs, authenticates the end when a
// read reaches it, and reaches chunk indexes past 2^32 in a message that exists only on demand
// (sealed here by OpenSSL under keys from OpenSSL's HKDF).
#include <gtest/gtest.h>
#include <openssl/core_names.h>
#include <openssl/kdf.h>

#include "ChunkedTestSupport.h"
#include "GCMOracle.h"
#include "crypto/support/error.h"

namespace {

using namespace chunked_test;

TEST(ChunkedReader, ReadsOnlyTheChunksItNeeds) {
  TMessageCase c = MakeCase(TSuite::Cobblestone128, 10 * kChunk + 500, 2, 61);
  c.Cipher.resize(AESChunked::CipherBytes(c.Plain.size()));
  ASSERT_EQ(AESChunked::Encrypt(c.Params(), c.Plain, c.Cipher, c.Salt), 0);
  TCountingStream source(c.Cipher);
  AESChunked::TReader reader;
  ASSERT_EQ(reader.Open(c.Params(), &source), 0);
  EXPECT_EQ(source.BytesRead, static_cast<std::int64_t>(kHeader));

  struct TRead {
    std::uint64_t Offset;
    std::size_t Length;
    std::int64_t SourceBytes;  // read from the source by this read
  };
  const std::int64_t last = 500 + 16;
  const TRead reads[] = {
      {3 * kChunk + 100, 20000, 2 * kSealed},  // chunks 3 and 4
      {4 * kChunk + 10, 30, 0},                // chunk 4, held from the read before
      {kChunk - 1, 2, 2 * kSealed},            // the last byte of chunk 0, the first of chunk 1
      {c.Plain.size() - 10, 100, last},        // reaches the end: the last chunk
      {c.Plain.size(), 10, 0},                 // at the end: nothing, the end already checked
  };
  for (const TRead& r : reads) {
    SCOPED_TRACE(r.Offset);
    const std::int64_t before = source.BytesRead;
    Bytes out(r.Length);
    std::size_t got = 0;
    ASSERT_EQ(reader.ReadAt(r.Offset, out, got), 0);
    const std::size_t expected = std::min<std::size_t>(r.Length, c.Plain.size() - r.Offset);
    ASSERT_EQ(got, expected);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(got),
                           c.Plain.begin() + static_cast<std::ptrdiff_t>(r.Offset)));
    EXPECT_EQ(source.BytesRead - before, r.SourceBytes);
  }
  std::uint64_t size = 0;
  const std::int64_t before = source.BytesRead;
  ASSERT_EQ(reader.Size(size), 0);
  EXPECT_EQ(size, c.Plain.size());
  EXPECT_EQ(source.BytesRead, before);
}

// A message whose last chunk was damaged (or cut off and replaced): reads in the middle work, and
// neither the length nor a read that reaches the end is given.
TEST(ChunkedReader, AuthenticatesTheEndBeforeServingIt) {
  TMessageCase c = MakeCase(TSuite::Cobblestone256, 4 * kChunk + 3, 0, 71);
  c.Cipher.resize(AESChunked::CipherBytes(c.Plain.size()));
  ASSERT_EQ(AESChunked::Encrypt(c.Params(), c.Plain, c.Cipher, c.Salt), 0);
  c.Cipher.back() ^= 1;
  platform::TMemoryStream source(c.Cipher);
  AESChunked::TReader reader;
  ASSERT_EQ(reader.Open(c.Params(), &source), 0);
  Bytes out(kChunk);
  std::size_t got = 0;
  ASSERT_EQ(reader.ReadAt(kChunk, out, got), 0);
  EXPECT_EQ(got, kChunk);
  std::uint64_t size = 1;
  EXPECT_EQ(reader.Size(size), error::kTagMismatch);
  EXPECT_EQ(size, 0u);
  std::fill(out.begin(), out.end(), 0);
  EXPECT_EQ(reader.ReadAt(3 * kChunk + 5, out, got), error::kTagMismatch);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(out, Bytes(out.size(), 0));
  EXPECT_EQ(reader.ReadAt(c.Plain.size() + 5, out, got), error::kTagMismatch);
  AESChunked::TReader unopened;
  EXPECT_EQ(unopened.ReadAt(0, out, got), error::kBadArgument);
}

// --- A message of more than 2^32 chunks, made up on demand.

Bytes OpenSSLExpand(const Bytes& prk, const Bytes& info, std::size_t n) {
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "HKDF", nullptr);
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  int mode = EVP_KDF_HKDF_MODE_EXPAND_ONLY;
  char digest[] = "SHA512";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
      OSSL_PARAM_construct_int(OSSL_KDF_PARAM_MODE, &mode),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, const_cast<std::uint8_t*>(prk.data()), prk.size()),
      OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, const_cast<std::uint8_t*>(info.data()), info.size()),
      OSSL_PARAM_construct_end()};
  Bytes out(n);
  const int ok = EVP_KDF_derive(ctx, out.data(), out.size(), params);
  EVP_KDF_CTX_free(ctx);
  EVP_KDF_free(kdf);
  if (ok != 1) throw std::runtime_error("HKDF failed");
  return out;
}

// Chunk k of plain text is the bytes (k * 7 + i) mod 251; the message has `chunks` chunks, the
// last one `lastBytes` long. Sealed chunks are made when the stream is read there.
class TSparseMessage {
 public:
  TSparseMessage(const TMessageCase& c, std::uint64_t chunks, std::size_t lastBytes)
      : FChunks(chunks), FLastBytes(lastBytes) {
    const std::string label = "c2sp.org/chunked-encryption@v1+AEAD_AES_128_GCM";
    Bytes info(label.begin(), label.end());
    info.push_back(0);
    info.insert(info.end(), c.Salt.begin(), c.Salt.end());
    info.insert(info.end(), c.Context.begin(), c.Context.end());
    const Bytes okm = OpenSSLExpand(c.Key, info, 16 + 12 + 32);
    FKey.assign(okm.begin(), okm.begin() + 16);
    FNonce.assign(okm.begin() + 16, okm.begin() + 28);
    FHeader = c.Salt;
    FHeader.insert(FHeader.end(), okm.begin() + 28, okm.end());
  }
  std::uint64_t Size() const { return kHeader + (FChunks - 1) * kSealed + FLastBytes + 16; }
  static Bytes Plain(std::uint64_t k, std::size_t n) {
    Bytes p(n);
    for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>((k * 7 + i) % 251);
    return p;
  }
  void Generate(std::uint64_t at, std::uint8_t* p, std::size_t n) {
    for (; n > 0;) {
      if (at < kHeader) {
        *p++ = FHeader[at++];
        --n;
        continue;
      }
      const std::uint64_t k = (at - kHeader) / kSealed, from = (at - kHeader) % kSealed;
      const Bytes& sealed = Sealed(k);
      const std::size_t take = std::min<std::size_t>(n, sealed.size() - from);
      std::copy_n(sealed.begin() + static_cast<std::ptrdiff_t>(from), take, p);
      p += take;
      at += take;
      n -= take;
    }
  }

 private:
  const Bytes& Sealed(std::uint64_t k) {
    if (k != FHeld) {
      Bytes nonce = FNonce;
      for (int i = 0; i < 8; ++i) nonce[11 - i] ^= static_cast<std::uint8_t>(k >> (8 * i));
      const auto r = testing_support::OpenSSLGCMEncrypt(FKey, nonce, {}, Plain(k, k + 1 == FChunks ? FLastBytes : kChunk));
      FSealed = r.Cipher;
      FSealed.insert(FSealed.end(), r.Tag.begin(), r.Tag.end());
      FHeld = k;
    }
    return FSealed;
  }

  std::uint64_t FChunks;
  std::size_t FLastBytes;
  Bytes FKey, FNonce, FHeader, FSealed;
  std::uint64_t FHeld = ~std::uint64_t{0};
};

TEST(ChunkedReader, ChunkIndexesPast32Bits) {
  const TMessageCase c = MakeCase(TSuite::Cobblestone128, 0, 6, 81);
  const std::uint64_t chunks = (std::uint64_t{1} << 32) + 5;
  TSparseMessage message(c, chunks, 10);
  TGeneratedStream source(message.Size(), [&](std::uint64_t at, std::uint8_t* p, std::size_t n) {
    message.Generate(at, p, n);
  });
  AESChunked::TReader reader;
  ASSERT_EQ(reader.Open(c.Params(), &source), 0);
  std::uint64_t size = 0;
  ASSERT_EQ(reader.Size(size), 0);
  EXPECT_EQ(size, (chunks - 1) * kChunk + 10);
  for (const std::uint64_t k : {std::uint64_t{255}, std::uint64_t{256}, (std::uint64_t{1} << 32) - 1,
                                std::uint64_t{1} << 32, (std::uint64_t{1} << 32) + 2}) {
    SCOPED_TRACE(k);
    Bytes out(300);
    std::size_t got = 0;
    ASSERT_EQ(reader.ReadAt(k * kChunk + kChunk - 100, out, got), 0);
    ASSERT_EQ(got, out.size());
    const Bytes a = TSparseMessage::Plain(k, kChunk), b = TSparseMessage::Plain(k + 1, 200);
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + 100, a.end() - 100));
    EXPECT_TRUE(std::equal(out.begin() + 100, out.end(), b.begin()));
  }
  EXPECT_LT(source.BytesRead, 12 * static_cast<std::int64_t>(kSealed));
}

// The size alone refuses a message past 2^38 chunks; one at the limit opens.
TEST(ChunkedReader, ChunkCountLimit) {
  const TMessageCase c = MakeCase(TSuite::Cobblestone128, 0, 0, 91);
  for (const auto& [chunks, expected] : {std::pair{AESChunked::kMaxChunks, 0}, std::pair{AESChunked::kMaxChunks + 1,
                                                                                         error::kChunkTooLong}}) {
    TSparseMessage message(c, chunks, 5);
    TGeneratedStream source(message.Size(), [&](std::uint64_t at, std::uint8_t* p, std::size_t n) {
      message.Generate(at, p, n);
    });
    AESChunked::TReader reader;
    EXPECT_EQ(reader.Open(c.Params(), &source), expected);
    std::uint64_t size = 0;
    if (expected == 0) {
      ASSERT_EQ(reader.Size(size), 0);
      EXPECT_EQ(size, AESChunked::kMaxPlainBytes - (kChunk - 1) + 5);
    }
  }
}

}  // namespace
