// The C interface's chunked encryption against the library's own forms: one call, in pieces,
// files by path and the random-access reader, with the statuses of a wrong context, a cut
// message and a changed chunk.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "Oracle.h"
#include "crypto/engine/AESChunked.h"
#include "orvoaes/orvoaes.h"

namespace {

using testing_support::Bytes;
using testing_support::RandomBytes;
constexpr std::size_t kChunk = 16384;

Bytes ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(CInterfaceChunked, OneCallAndPiecesEqualTheLibrary) {
  std::uint32_t seed = 1;
  for (const std::size_t keyLen : {16, 32})
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, kChunk, kChunk + 1, 3 * kChunk + 5}) {
      SCOPED_TRACE(testing::Message() << "key " << keyLen << ", " << n << " bytes");
      const Bytes key = RandomBytes(keyLen, seed++), salt = RandomBytes(24, seed++), ctx = RandomBytes(5, seed++),
                  plain = RandomBytes(n, seed++);
      const AESChunked::TParams p{keyLen == 32 ? AESChunked::TSuite::Cobblestone256 : AESChunked::TSuite::Cobblestone128,
                                  key, ctx};
      const std::uint64_t total = orvoaes_chunked_cipher_bytes(n);
      ASSERT_EQ(total, AESChunked::CipherBytes(n));
      Bytes want(total), got(total), back(n);
      ASSERT_EQ(AESChunked::Encrypt(p, plain, want, salt), 0);
      ASSERT_EQ(orvoaes_chunked_encrypt(key.data(), keyLen, ctx.data(), 5, salt.data(), plain.data(), n, got.data(),
                                        got.size()),
                ORVOAES_OK);
      EXPECT_EQ(got, want);
      std::uint64_t plainLen = 0;
      ASSERT_EQ(orvoaes_chunked_plain_bytes(total, &plainLen), ORVOAES_OK);
      EXPECT_EQ(plainLen, n);
      ASSERT_EQ(orvoaes_chunked_decrypt(key.data(), keyLen, ctx.data(), 5, got.data(), total, back.data(), n), ORVOAES_OK);
      EXPECT_EQ(back, plain);
      EXPECT_EQ(orvoaes_chunked_decrypt(key.data(), keyLen, ctx.data(), 4, got.data(), total, back.data(), n),
                ORVOAES_E_CHUNK_COMMITMENT);

      // In pieces of 1000 bytes both ways.
      Bytes pieces(AESChunked::kHeaderBytes);
      orvoaes_chunked_encryptor* enc = nullptr;
      ASSERT_EQ(orvoaes_chunked_encryptor_new(key.data(), keyLen, ctx.data(), 5, salt.data(), pieces.data(), &enc),
                ORVOAES_OK);
      for (std::size_t at = 0; at <= n; at += 1000) {
        const std::size_t step = std::min<std::size_t>(1000, n - at);
        Bytes out(orvoaes_chunked_encryptor_update_room(enc, step));
        std::size_t written = 0;
        ASSERT_EQ(orvoaes_chunked_encryptor_update(enc, plain.data() + at, step, out.data(), out.size(), &written),
                  ORVOAES_OK);
        pieces.insert(pieces.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written));
      }
      Bytes last(orvoaes_chunked_encryptor_finish_room(enc));
      std::size_t written = 0;
      ASSERT_EQ(orvoaes_chunked_encryptor_finish(enc, last.data(), last.size(), &written), ORVOAES_OK);
      pieces.insert(pieces.end(), last.begin(), last.begin() + static_cast<std::ptrdiff_t>(written));
      orvoaes_chunked_encryptor_free(enc);
      EXPECT_EQ(pieces, want);

      orvoaes_chunked_decryptor* dec = nullptr;
      ASSERT_EQ(orvoaes_chunked_decryptor_new(key.data(), keyLen, ctx.data(), 5, &dec), ORVOAES_OK);
      Bytes opened;
      for (std::size_t at = 0; at < want.size(); at += 5000) {
        const std::size_t step = std::min<std::size_t>(5000, want.size() - at);
        Bytes out(orvoaes_chunked_decryptor_update_room(dec, step));
        ASSERT_EQ(orvoaes_chunked_decryptor_update(dec, want.data() + at, step, out.data(), out.size(), &written),
                  ORVOAES_OK);
        opened.insert(opened.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written));
      }
      Bytes tail(orvoaes_chunked_decryptor_finish_room(dec));
      ASSERT_EQ(orvoaes_chunked_decryptor_finish(dec, tail.data(), tail.size(), &written), ORVOAES_OK);
      opened.insert(opened.end(), tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(written));
      orvoaes_chunked_decryptor_free(dec);
      EXPECT_EQ(opened, plain);
    }
  const Bytes key = RandomBytes(24, 99);
  Bytes out(100);
  EXPECT_EQ(orvoaes_chunked_encrypt(key.data(), 24, nullptr, 0, nullptr, nullptr, 0, out.data(), out.size()),
            ORVOAES_E_BAD_KEY_SIZE);
  EXPECT_EQ(orvoaes_chunked_encrypt(key.data(), 16, nullptr, 3, nullptr, nullptr, 0, out.data(), out.size()),
            ORVOAES_E_BAD_ARGUMENT);
}

TEST(CInterfaceChunked, FilesAndReader) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("orvoaes_capi_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const Bytes key = RandomBytes(32, 7), plain = RandomBytes(4 * kChunk + 99, 8);
  {
    std::ofstream(dir / "plain", std::ios::binary).write(reinterpret_cast<const char*>(plain.data()),
                                                          static_cast<std::streamsize>(plain.size()));
  }
  const std::string in = (dir / "plain").string(), sealed = (dir / "sealed").string(), back = (dir / "back").string();
  ASSERT_EQ(orvoaes_chunked_encrypt_file(key.data(), 32, nullptr, 0, in.c_str(), sealed.c_str(), 2), ORVOAES_OK);
  ASSERT_EQ(orvoaes_chunked_decrypt_file(key.data(), 32, nullptr, 0, sealed.c_str(), back.c_str(), 1), ORVOAES_OK);
  EXPECT_EQ(ReadAll(dir / "back"), plain);
  EXPECT_EQ(orvoaes_chunked_decrypt_file(key.data(), 32, nullptr, 0, (dir / "missing").string().c_str(), back.c_str(), 1),
            ORVOAES_E_FILE_OPEN_FAILED);

  orvoaes_chunked_reader* r = nullptr;
  ASSERT_EQ(orvoaes_chunked_reader_open(key.data(), 32, nullptr, 0, sealed.c_str(), &r), ORVOAES_OK);
  Bytes part(3000);
  std::size_t got = 0;
  ASSERT_EQ(orvoaes_chunked_reader_read_at(r, kChunk - 1000, part.data(), part.size(), &got), ORVOAES_OK);
  EXPECT_EQ(got, part.size());
  EXPECT_EQ(part, Bytes(plain.begin() + kChunk - 1000, plain.begin() + kChunk + 2000));
  std::uint64_t size = 0;
  ASSERT_EQ(orvoaes_chunked_reader_size(r, &size), ORVOAES_OK);
  EXPECT_EQ(size, plain.size());
  orvoaes_chunked_reader_free(r);
  EXPECT_EQ(orvoaes_chunked_reader_open(key.data(), 32, nullptr, 0, in.c_str(), &r), ORVOAES_E_CHUNK_COMMITMENT);
  EXPECT_EQ(r, nullptr);

  // Cut after a full chunk: the reader's size and a decryption both refuse it.
  std::filesystem::resize_file(dir / "sealed", AESChunked::kHeaderBytes + 4 * (kChunk + 16));
  EXPECT_EQ(orvoaes_chunked_decrypt_file(key.data(), 32, nullptr, 0, sealed.c_str(), back.c_str(), 1),
            ORVOAES_E_CHUNK_TRUNCATED);
  EXPECT_EQ(ReadAll(dir / "back"), plain);  // the earlier output stays
  std::filesystem::remove_all(dir);
}

}  // namespace
