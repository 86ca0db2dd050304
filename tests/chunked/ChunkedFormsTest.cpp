// Every form of chunked encryption against the Python model: byte equality for both suites,
// contexts empty and not, lengths around the chunk size, a counter past one byte and random
// lengths up to 1 MiB; and the published known answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ChunkedTestSupport.h"
#include "VectorFile.h"
#include "crypto/support/error.h"
#include "platform/SysUtils.h"

namespace {

using namespace chunked_test;

class ChunkedForms : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::vector<std::size_t> lengths = {0, 1, kChunk - 1, kChunk, kChunk + 1, 2 * kChunk, 2 * kChunk + 1};
    for (std::uint32_t seed = 1; seed <= 3; ++seed) lengths.push_back(RandomBytes(3, seed)[0] * 4099u + seed);
    lengths.push_back(1u << 20);
    std::uint32_t seed = 100;
    for (TSuite suite : {TSuite::Cobblestone128, TSuite::Cobblestone256}) {
      for (std::size_t context : {0u, 21u})
        for (std::size_t n : lengths) Cases().push_back(MakeCase(suite, n, context, seed += 10));
      // 256 full chunks and a short one: the counter's low byte wraps into the next one.
      Cases().push_back(MakeCase(suite, 256 * kChunk + 5, 3, seed += 10));
    }
    RunOracle(Cases());
  }
  static std::vector<TMessageCase>& Cases() {
    static std::vector<TMessageCase> cases;
    return cases;
  }
};

TEST_F(ChunkedForms, MemoryAndIncrementalEqualTheModel) {
  for (const TMessageCase& c : Cases()) {
    SCOPED_TRACE(c.Name());
    ASSERT_EQ(c.Cipher.size(), AESChunked::CipherBytes(c.Plain.size()));
    Bytes cipher(c.Cipher.size());
    ASSERT_EQ(AESChunked::Encrypt(c.Params(), c.Plain, cipher, c.Salt), 0);
    EXPECT_EQ(cipher, c.Cipher);
    std::uint64_t plainBytes = 0;
    ASSERT_EQ(AESChunked::PlainBytes(c.Cipher.size(), plainBytes), 0);
    ASSERT_EQ(plainBytes, c.Plain.size());
    Bytes plain(c.Plain.size());
    ASSERT_EQ(AESChunked::Decrypt(c.Params(), c.Cipher, plain), 0);
    EXPECT_EQ(plain, c.Plain);

    for (std::size_t piece : {std::size_t{1000}, kChunk, kChunk + 7, std::max<std::size_t>(c.Plain.size(), 1)})
      EXPECT_EQ(FeedEncryptor(c, piece), c.Cipher) << "pieces of " << piece;
    for (std::size_t piece : {std::size_t{7}, kSealed, std::size_t{100000}}) {
      const TFedResult r = FeedDecryptor(c.Params(), c.Cipher, piece);
      EXPECT_EQ(r.Status, 0) << "pieces of " << piece;
      EXPECT_EQ(r.Released, c.Plain) << "pieces of " << piece;
    }
    // Several threads over the chunks one call completes: the same bytes.
    for (unsigned threads : {2u, 3u}) {
      EXPECT_EQ(FeedEncryptor(c, std::size_t{1} << 20, threads), c.Cipher) << threads << " threads";
      const TFedResult r = FeedDecryptor(c.Params(), c.Cipher, 300000, threads);
      EXPECT_EQ(r.Status, 0) << threads << " threads";
      EXPECT_EQ(r.Released, c.Plain) << threads << " threads";
    }
  }
}

TEST_F(ChunkedForms, StreamsAndFilesEqualTheModelForEveryThreadCount) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("aes_chunked_forms_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const auto path = [&](const char* name) { return platform::FromUTF8((dir / name).string()); };
  const auto readFile = [&](const char* name) {
    std::ifstream in(dir / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  };
  unsigned fileThreads = 0;
  for (const TMessageCase& c : Cases()) {
    SCOPED_TRACE(c.Name());
    for (unsigned threads : {1u, 2u, 3u}) {
      SCOPED_TRACE(threads);
      platform::TMemoryStream plainIn(c.Plain), cipherOut;
      ASSERT_EQ(AESChunked::EncryptStream(c.Params(), &plainIn, &cipherOut, {threads, c.Salt}), 0);
      EXPECT_EQ(cipherOut.Bytes(), c.Cipher);
      platform::TMemoryStream cipherIn(c.Cipher), plainOut;
      ASSERT_EQ(AESChunked::DecryptStream(c.Params(), &cipherIn, &plainOut, {threads, {}}), 0);
      EXPECT_EQ(plainOut.Bytes(), c.Plain);
    }
    // Files are flushed to the disk on every replacement: one thread count per case, in turn.
    const unsigned threads = fileThreads++ % 3 + 1;
    SCOPED_TRACE(threads);
    std::ofstream(dir / "plain", std::ios::binary)
        .write(reinterpret_cast<const char*>(c.Plain.data()), static_cast<std::streamsize>(c.Plain.size()));
    ASSERT_EQ(AESChunked::EncryptFile(c.Params(), path("plain"), path("sealed"), {threads, c.Salt}), 0);
    EXPECT_EQ(readFile("sealed"), c.Cipher);
    ASSERT_EQ(AESChunked::DecryptFile(c.Params(), path("sealed"), path("opened"), {threads, {}}), 0);
    EXPECT_EQ(readFile("opened"), c.Plain);
  }
  fs::remove_all(dir);
}

TEST_F(ChunkedForms, ReaderServesEveryByteOfTheModel) {
  for (const TMessageCase& c : Cases()) {
    SCOPED_TRACE(c.Name());
    // The message after 5 bytes of something else: the reader starts where the stream stands.
    Bytes framed(5, 0xEE);
    framed.insert(framed.end(), c.Cipher.begin(), c.Cipher.end());
    platform::TMemoryStream source(framed);
    source.SetPosition(5);
    AESChunked::TReader reader;
    ASSERT_EQ(reader.Open(c.Params(), &source), 0);
    std::uint64_t size = 0;
    ASSERT_EQ(reader.Size(size), 0);
    EXPECT_EQ(size, c.Plain.size());
    Bytes all;
    Bytes piece(5000);
    for (std::size_t got = 1; got != 0;) {
      ASSERT_EQ(reader.ReadAt(all.size(), piece, got), 0);
      all.insert(all.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
    }
    EXPECT_EQ(all, c.Plain);
  }
}

TEST(ChunkedKnownAnswers, PublishedVectors) {
  const auto records = testing_support::ReadVectorFile("chunked.vec");
  ASSERT_EQ(records.size(), 4u);
  for (const auto& r : records) {
    const TSuite suite = r.at("Suite").at(0) == 0 ? TSuite::Cobblestone128 : TSuite::Cobblestone256;
    const AESChunked::TParams params{suite, r.at("Key"), r.at("Context")};
    const Bytes& expected = r.at("Ciphertext");
    Bytes cipher(AESChunked::CipherBytes(r.at("Plaintext").size()));
    ASSERT_EQ(AESChunked::Encrypt(params, r.at("Plaintext"), cipher, std::span(expected).first(24)), 0);
    EXPECT_EQ(cipher, expected);
    Bytes plain(r.at("Plaintext").size());
    ASSERT_EQ(AESChunked::Decrypt(params, expected, plain), 0);
    EXPECT_EQ(plain, r.at("Plaintext"));
  }
}

// A drawn salt differs from message to message, and each message opens.
TEST(ChunkedSalt, DrawnForEveryMessageUnlessGiven) {
  const TMessageCase c = MakeCase(TSuite::Cobblestone256, 40000, 4, 7);
  Bytes a(AESChunked::CipherBytes(c.Plain.size())), b(a.size()), plain(c.Plain.size());
  ASSERT_EQ(AESChunked::Encrypt(c.Params(), c.Plain, a), 0);
  ASSERT_EQ(AESChunked::Encrypt(c.Params(), c.Plain, b), 0);
  EXPECT_NE(Bytes(a.begin(), a.begin() + 24), Bytes(b.begin(), b.begin() + 24));
  ASSERT_EQ(AESChunked::Decrypt(c.Params(), b, plain), 0);
  EXPECT_EQ(plain, c.Plain);
  AESChunked::TEncryptor e;
  Bytes header(kHeader);
  ASSERT_EQ(e.Begin(c.Params(), header), 0);
  EXPECT_NE(Bytes(header.begin(), header.begin() + 24), Bytes(a.begin(), a.begin() + 24));
}

// Arguments out of range are refused before anything is written.
TEST(ChunkedArguments, RefusedBeforeWriting) {
  const TMessageCase c = MakeCase(TSuite::Cobblestone128, 100, 0, 9);
  Bytes cipher(AESChunked::CipherBytes(100), 0xAA);
  const Bytes untouched = cipher;
  const Bytes key32(32, 1), salt23(23, 2);
  struct TRow {
    const char* Name;
    AESChunked::TParams Params;
    std::span<const std::uint8_t> Plain, Salt;
    std::size_t CipherRoom;
    platform::Integer Expected;
  };
  const TRow rows[] = {
      {"key of the other suite", {TSuite::Cobblestone128, key32, {}}, c.Plain, c.Salt, cipher.size(), error::kBadKeySize},
      {"empty key", {TSuite::Cobblestone256, {}, {}}, c.Plain, c.Salt, cipher.size(), error::kBadKeySize},
      {"unknown suite", {static_cast<TSuite>(7), c.Key, {}}, c.Plain, c.Salt, cipher.size(), error::kBadArgument},
      {"short salt", c.Params(), c.Plain, salt23, cipher.size(), error::kBadArgument},
      {"short output", c.Params(), c.Plain, c.Salt, cipher.size() - 1, error::kBadArgument},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(AESChunked::Encrypt(row.Params, row.Plain, std::span(cipher).first(row.CipherRoom), row.Salt),
              row.Expected);
    EXPECT_EQ(cipher, untouched);
  }
  ASSERT_EQ(AESChunked::Encrypt(c.Params(), c.Plain, cipher, c.Salt), 0);
  Bytes plain(99, 0xBB);
  EXPECT_EQ(AESChunked::Decrypt(c.Params(), cipher, plain), error::kBadArgument);
  EXPECT_EQ(plain, Bytes(99, 0xBB));
  EXPECT_EQ(AESChunked::Decrypt({TSuite::Cobblestone256, c.Key, {}}, cipher, plain), error::kBadKeySize);
  EXPECT_EQ(AESChunked::EncryptStream(c.Params(), nullptr, nullptr), error::kBadArgument);
  platform::TMemoryStream in, out;
  EXPECT_EQ(AESChunked::EncryptStream(c.Params(), &in, &out, {0, {}}), error::kBadArgument);
  EXPECT_EQ(AESChunked::EncryptStream(c.Params(), &in, &out, {65, {}}), error::kBadArgument);
  EXPECT_EQ(out.Bytes().size(), 0u);
  for (unsigned threads : {0u, 65u}) {
    AESChunked::TEncryptor e;
    Bytes header(kHeader, 0xCC);
    EXPECT_EQ(e.Begin(c.Params(), header, c.Salt, threads), error::kBadArgument);
    EXPECT_EQ(header, Bytes(kHeader, 0xCC));
    AESChunked::TDecryptor d;
    EXPECT_EQ(d.Begin(c.Params(), threads), error::kBadArgument);
  }
}

// The lengths of cipher texts: every possible one maps back, and the impossible ones are named.
TEST(ChunkedLengths, CipherAndPlainLengths) {
  struct TRow {
    std::uint64_t Cipher;
    platform::Integer Status;
    std::uint64_t Plain;
  };
  const std::uint64_t body = 56, max = AESChunked::kMaxChunks;
  const TRow rows[] = {
      {0, error::kChunkTruncated, 0},
      {body + 15, error::kChunkTruncated, 0},
      {body + 16, 0, 0},
      {body + kSealed, error::kChunkTruncated, 0},  // a full chunk and no last one
      {body + kSealed + 15, error::kChunkTruncated, 0},
      {body + kSealed + 16, 0, kChunk},
      {body + 2 * kSealed + 17, 0, 2 * kChunk + 1},
      {body + (max - 1) * kSealed + kSealed - 1, 0, AESChunked::kMaxPlainBytes},
      {body + max * kSealed + 16, error::kChunkTooLong, 0},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Cipher);
    std::uint64_t plain = 1;
    EXPECT_EQ(AESChunked::PlainBytes(row.Cipher, plain), row.Status);
    EXPECT_EQ(plain, row.Plain);
    if (row.Status == 0) {
      EXPECT_EQ(AESChunked::CipherBytes(row.Plain), row.Cipher);
    }
  }
  EXPECT_EQ(AESChunked::CipherBytes(AESChunked::kMaxPlainBytes + 1), 0u);
}

}  // namespace
