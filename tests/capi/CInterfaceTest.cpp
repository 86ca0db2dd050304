// The C interface against OpenSSL and the keyed API it wraps: every mode's bytes, the chaining
// block written back only on success, GCM one-shot and in pieces, CMAC one-shot and in pieces
// with copies, the library's statuses for each refused argument (NULL pointers included) with
// nothing written, and the status texts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "CMACOracle.h"
#include "GCMOracle.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/support/error.h"
#include "orvoaes/orvoaes.h"
#include "platform/SysUtils.h"

namespace {

using testing_support::Bytes;
using testing_support::RandomBytes;

// A key handle freed at the end of the scope.
struct Key {
  orvoaes_key* K = nullptr;
  explicit Key(const Bytes& bytes) { EXPECT_EQ(orvoaes_key_new(bytes.data(), bytes.size(), &K), ORVOAES_OK); }
  ~Key() { orvoaes_key_free(K); }
};

TEST(CInterface, KeySizesAndNullArguments) {
  const Bytes bytes = RandomBytes(33, 1);
  struct Case {
    std::size_t Len;
    int Status;
  };
  for (const Case c : {Case{0, ORVOAES_E_BAD_KEY_SIZE}, Case{15, ORVOAES_E_BAD_KEY_SIZE}, Case{16, ORVOAES_OK},
                       Case{17, ORVOAES_E_BAD_KEY_SIZE}, Case{24, ORVOAES_OK}, Case{32, ORVOAES_OK},
                       Case{33, ORVOAES_E_BAD_KEY_SIZE}}) {
    orvoaes_key* k = reinterpret_cast<orvoaes_key*>(&k);  // anything but NULL before the call
    EXPECT_EQ(orvoaes_key_new(bytes.data(), c.Len, &k), c.Status) << c.Len;
    EXPECT_EQ(k == nullptr, c.Status != ORVOAES_OK) << c.Len;
    orvoaes_key_free(k);
  }
  orvoaes_key* k = nullptr;
  EXPECT_EQ(orvoaes_key_new(nullptr, 16, &k), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(k, nullptr);
  EXPECT_EQ(orvoaes_key_new(bytes.data(), 16, nullptr), ORVOAES_E_BAD_ARGUMENT);
  orvoaes_key_free(nullptr);
  orvoaes_gcm_encryptor_free(nullptr);
  orvoaes_cmac_ctx_free(nullptr);

  // NULL handles and NULL buffers with a length: refused, nothing written. NULL with 0: no bytes.
  Key key(RandomBytes(16, 2));
  Bytes out(32, 0xAA), tag(16, 0xAA);
  std::uint8_t iv[16] = {};
  EXPECT_EQ(orvoaes_ecb_encrypt(nullptr, out.data(), 16, out.data(), 16), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_ecb_encrypt(key.K, nullptr, 16, out.data(), 16), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_cbc_encrypt(key.K, nullptr, out.data(), 16, out.data(), 16), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_ctr_crypt(key.K, iv, out.data(), 16, nullptr, 16), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_ctr_crypt(key.K, iv, nullptr, 0, nullptr, 0), ORVOAES_OK);
  EXPECT_EQ(orvoaes_gcm_seal(key.K, iv, 12, nullptr, 5, out.data(), 16, out.data(), 16, tag.data(), 16),
            ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_gcm_seal(key.K, iv, 12, nullptr, 0, nullptr, 0, nullptr, 0, tag.data(), 16), ORVOAES_OK);
  EXPECT_EQ(orvoaes_cmac(key.K, nullptr, 1, tag.data(), 16), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(out, Bytes(32, 0xAA));
  orvoaes_gcm_encryptor* enc = nullptr;
  EXPECT_EQ(orvoaes_gcm_encryptor_new(nullptr, &enc), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_gcm_encryptor_new(key.K, nullptr), ORVOAES_E_BAD_ARGUMENT);
  orvoaes_cmac_ctx* ctx = nullptr;
  EXPECT_EQ(orvoaes_cmac_ctx_new(nullptr, &ctx), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_cmac_ctx_copy(nullptr, &ctx), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(ctx, nullptr);
}

// Each block mode through the C interface equals the keyed API, and the chaining block written
// back equals the keyed API's; a refused call leaves out and the chaining block as they were.
TEST(CInterface, BlockModesEqualTheKeyedApi) {
  using Fn = int (*)(const orvoaes_key*, uint8_t*, const uint8_t*, size_t, uint8_t*, size_t);
  using KeyedFn = platform::Integer (AESKeyed::TAESKey::*)(std::span<const std::uint8_t>, std::span<std::uint8_t>,
                                                           platform::TCharArray16&) const;
  struct Mode {
    const char* Name;
    Fn C;
    KeyedFn Keyed;
    bool WholeBlocks;
  };
  const Mode modes[] = {{"CBC enc", orvoaes_cbc_encrypt, &AESKeyed::TAESKey::EncryptCBC, true},
                        {"CBC dec", orvoaes_cbc_decrypt, &AESKeyed::TAESKey::DecryptCBC, true},
                        {"OFB", orvoaes_ofb_crypt, &AESKeyed::TAESKey::CryptOFB, false},
                        {"CTR", orvoaes_ctr_crypt, &AESKeyed::TAESKey::CryptCTR, false},
                        {"CFB enc", orvoaes_cfb_encrypt, &AESKeyed::TAESKey::EncryptCFB, false},
                        {"CFB dec", orvoaes_cfb_decrypt, &AESKeyed::TAESKey::DecryptCFB, false},
                        {"CFB8 enc", orvoaes_cfb8_encrypt, &AESKeyed::TAESKey::EncryptCFB8, false},
                        {"CFB8 dec", orvoaes_cfb8_decrypt, &AESKeyed::TAESKey::DecryptCFB8, false}};
  std::uint32_t seed = 10;
  for (const std::size_t keyLen : {16, 24, 32}) {
    const Bytes keyBytes = RandomBytes(keyLen, seed++);
    Key key(keyBytes);
    AESKeyed::TAESKey keyed;
    ASSERT_EQ(keyed.SetKey(keyBytes), 0);
    for (const std::size_t n : {0, 16, 48, 1024, 1, 17, 1000}) {
      const Bytes in = RandomBytes(n, seed++), iv = RandomBytes(16, seed++);
      // ECB both ways.
      if (n % 16 == 0) {
        Bytes ours(n), theirs(n), back(n);
        ASSERT_EQ(orvoaes_ecb_encrypt(key.K, in.data(), n, ours.data(), n), ORVOAES_OK);
        ASSERT_EQ(keyed.EncryptECB(in, theirs), 0);
        EXPECT_EQ(ours, theirs);
        ASSERT_EQ(orvoaes_ecb_decrypt(key.K, ours.data(), n, back.data(), n), ORVOAES_OK);
        EXPECT_EQ(back, in);
      } else {
        Bytes out(n, 0xAA);
        EXPECT_EQ(orvoaes_ecb_encrypt(key.K, in.data(), n, out.data(), n), ORVOAES_E_NO_PADDING_LENGTH);
        EXPECT_EQ(orvoaes_ecb_decrypt(key.K, in.data(), n, out.data(), n), ORVOAES_E_BAD_CIPHER_LENGTH);
        EXPECT_EQ(out, Bytes(n, 0xAA));
      }
      for (const Mode& m : modes) {
        SCOPED_TRACE(testing::Message() << m.Name << ", key " << keyLen << ", " << n << " bytes");
        std::uint8_t cIv[16];
        std::memcpy(cIv, iv.data(), 16);
        platform::TCharArray16 kIv;
        std::copy_n(iv.begin(), 16, kIv.begin());
        Bytes ours(n, 0xAA), theirs(n);
        const int st = m.C(key.K, cIv, in.data(), n, ours.data(), n);
        if (m.WholeBlocks && n % 16 != 0) {
          EXPECT_NE(st, ORVOAES_OK);
          EXPECT_EQ(ours, Bytes(n, 0xAA));
          EXPECT_EQ(Bytes(cIv, cIv + 16), iv);
          continue;
        }
        ASSERT_EQ(st, ORVOAES_OK);
        ASSERT_EQ((keyed.*m.Keyed)(in, theirs, kIv), 0);
        EXPECT_EQ(ours, theirs);
        EXPECT_EQ(Bytes(cIv, cIv + 16), Bytes(kIv.begin(), kIv.end()));
        // In place gives the same bytes; an output shorter than the input is refused.
        Bytes inPlace = in;
        std::memcpy(cIv, iv.data(), 16);
        ASSERT_EQ(m.C(key.K, cIv, inPlace.data(), n, inPlace.data(), n), ORVOAES_OK);
        EXPECT_EQ(inPlace, theirs);
        if (n > 0) {
          EXPECT_EQ(m.C(key.K, cIv, in.data(), n, ours.data(), n - 1), ORVOAES_E_BAD_ARGUMENT);
        }
      }
    }
  }
}

// GCM one-shot and in pieces against OpenSSL; a changed tag, IV or additional data is refused
// with the plain text zeroed; the statuses of the argument checks in their order.
TEST(CInterface, GCMOneShotAndInPiecesEqualOpenSSL) {
  std::uint32_t seed = 100;
  for (const std::size_t keyLen : {16, 32})
    for (const std::size_t n : {0, 1, 16, 17, 255, 4096}) {
      SCOPED_TRACE(testing::Message() << "key " << keyLen << ", " << n << " bytes");
      const Bytes keyBytes = RandomBytes(keyLen, seed++), iv = RandomBytes(12, seed++),
                  aad = RandomBytes(n % 40, seed++), plain = RandomBytes(n, seed++);
      const auto ref = testing_support::OpenSSLGCMEncrypt(keyBytes, iv, aad, plain);
      Key key(keyBytes);
      Bytes cipher(n), tag(16);
      ASSERT_EQ(orvoaes_gcm_seal(key.K, iv.data(), 12, aad.data(), aad.size(), plain.data(), n, cipher.data(), n,
                                 tag.data(), 16),
                ORVOAES_OK);
      EXPECT_EQ(cipher, ref.Cipher);
      EXPECT_EQ(tag, ref.Tag);
      Bytes back(n);
      ASSERT_EQ(orvoaes_gcm_open(key.K, iv.data(), 12, aad.data(), aad.size(), cipher.data(), n, tag.data(), 16,
                                 back.data(), n),
                ORVOAES_OK);
      EXPECT_EQ(back, plain);
      Bytes badTag = tag;
      badTag[n % 16] ^= 0x40;
      Bytes zeroed(n, 0xAA);
      EXPECT_EQ(orvoaes_gcm_open(key.K, iv.data(), 12, aad.data(), aad.size(), cipher.data(), n, badTag.data(), 16,
                                 zeroed.data(), n),
                ORVOAES_E_TAG_MISMATCH);
      EXPECT_EQ(zeroed, Bytes(n, 0));

      // In pieces of 1, 7, 16 and 33 bytes, after a message begun and dropped.
      orvoaes_gcm_encryptor* enc = nullptr;
      ASSERT_EQ(orvoaes_gcm_encryptor_new(key.K, &enc), ORVOAES_OK);
      Bytes scratch(8);
      EXPECT_EQ(orvoaes_gcm_encryptor_update(enc, scratch.data(), 1, scratch.data(), 1), ORVOAES_E_BAD_ARGUMENT);
      EXPECT_EQ(orvoaes_gcm_encryptor_finish(enc, tag.data(), 16), ORVOAES_E_BAD_ARGUMENT);
      ASSERT_EQ(orvoaes_gcm_encryptor_begin(enc, scratch.data(), 8, nullptr, 0), ORVOAES_OK);
      ASSERT_EQ(orvoaes_gcm_encryptor_update(enc, scratch.data(), 5, scratch.data(), 5), ORVOAES_OK);
      ASSERT_EQ(orvoaes_gcm_encryptor_begin(enc, iv.data(), 12, aad.data(), aad.size()), ORVOAES_OK);
      Bytes pieces(n), pieceTag(16);
      std::size_t at = 0;
      for (std::size_t step : {1, 7, 16, 33}) {
        step = std::min(step, n - at);
        ASSERT_EQ(orvoaes_gcm_encryptor_update(enc, plain.data() + at, step, pieces.data() + at, step), ORVOAES_OK);
        at += step;
      }
      ASSERT_EQ(orvoaes_gcm_encryptor_update(enc, plain.data() + at, n - at, pieces.data() + at, n - at), ORVOAES_OK);
      EXPECT_EQ(orvoaes_gcm_encryptor_finish(enc, pieceTag.data(), 17), ORVOAES_E_TAG_TOO_LONG);
      ASSERT_EQ(orvoaes_gcm_encryptor_finish(enc, pieceTag.data(), 16), ORVOAES_OK);
      EXPECT_EQ(pieces, ref.Cipher);
      EXPECT_EQ(pieceTag, ref.Tag);
      orvoaes_gcm_encryptor_free(enc);
    }

  Key key(RandomBytes(16, 200));
  Bytes buf(32, 0xAA), tag(17, 0xAA);
  struct Case {
    const char* What;
    int Got, Want;
  };
  const Case cases[] = {
      {"empty IV", orvoaes_gcm_seal(key.K, buf.data(), 0, nullptr, 0, buf.data(), 16, buf.data(), 16, tag.data(), 16),
       ORVOAES_E_BAD_ARGUMENT},
      {"tag of 17", orvoaes_gcm_seal(key.K, buf.data(), 12, nullptr, 0, buf.data(), 16, buf.data(), 16, tag.data(), 17),
       ORVOAES_E_TAG_TOO_LONG},
      {"tag of 3", orvoaes_gcm_seal(key.K, buf.data(), 12, nullptr, 0, buf.data(), 16, buf.data(), 16, tag.data(), 3),
       ORVOAES_E_BAD_ARGUMENT},
      {"short out", orvoaes_gcm_seal(key.K, buf.data(), 12, nullptr, 0, buf.data(), 16, buf.data() + 16, 15,
                                     tag.data(), 16),
       ORVOAES_E_BAD_ARGUMENT},
      {"partial overlap", orvoaes_gcm_open(key.K, buf.data(), 12, nullptr, 0, buf.data(), 16, tag.data(), 16,
                                           buf.data() + 1, 16),
       ORVOAES_E_BAD_ARGUMENT},
  };
  for (const Case& c : cases) EXPECT_EQ(c.Got, c.Want) << c.What;
  EXPECT_EQ(buf, Bytes(32, 0xAA));
  EXPECT_EQ(tag, Bytes(17, 0xAA));
}

// CMAC one-shot and in pieces against OpenSSL, copies taken midway, the verification outcomes
// and the tag-length statuses.
TEST(CInterface, CMACOneShotAndInPieces) {
  std::uint32_t seed = 300;
  for (const std::size_t n : {0, 1, 15, 16, 17, 64, 1000}) {
    SCOPED_TRACE(testing::Message() << n << " bytes");
    const Bytes keyBytes = RandomBytes(16 + 8 * (n % 3), seed++), msg = RandomBytes(n, seed++);
    const Bytes ref = testing_support::OpenSSLCMAC(keyBytes, msg);
    Key key(keyBytes);
    Bytes tag(16);
    ASSERT_EQ(orvoaes_cmac(key.K, msg.data(), n, tag.data(), 16), ORVOAES_OK);
    EXPECT_EQ(tag, ref);
    EXPECT_EQ(orvoaes_cmac_verify(key.K, msg.data(), n, ref.data(), 8), ORVOAES_OK);
    Bytes bad = ref;
    bad[3] ^= 1;
    EXPECT_EQ(orvoaes_cmac_verify(key.K, msg.data(), n, bad.data(), 16), ORVOAES_E_MAC_MISMATCH);

    orvoaes_cmac_ctx* ctx = nullptr;
    orvoaes_cmac_ctx* copy = nullptr;
    ASSERT_EQ(orvoaes_cmac_ctx_new(key.K, &ctx), ORVOAES_OK);
    ASSERT_EQ(orvoaes_cmac_ctx_update(ctx, msg.data(), n / 2), ORVOAES_OK);
    ASSERT_EQ(orvoaes_cmac_ctx_copy(ctx, &copy), ORVOAES_OK);
    ASSERT_EQ(orvoaes_cmac_ctx_update(ctx, msg.data() + n / 2, n - n / 2), ORVOAES_OK);
    ASSERT_EQ(orvoaes_cmac_ctx_update(copy, msg.data() + n / 2, n - n / 2), ORVOAES_OK);
    Bytes pieces(16);
    ASSERT_EQ(orvoaes_cmac_ctx_finish(ctx, pieces.data(), 16), ORVOAES_OK);
    EXPECT_EQ(pieces, ref);
    EXPECT_EQ(orvoaes_cmac_ctx_verify(copy, bad.data(), 16), ORVOAES_E_MAC_MISMATCH);
    orvoaes_cmac_ctx_free(ctx);
    orvoaes_cmac_ctx_free(copy);
  }
  Key key(RandomBytes(16, 400));
  Bytes tag(17, 0xAA);
  EXPECT_EQ(orvoaes_cmac(key.K, nullptr, 0, tag.data(), 3), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(orvoaes_cmac(key.K, nullptr, 0, tag.data(), 17), ORVOAES_E_BAD_BLOCK_LENGTH);
  EXPECT_EQ(tag, Bytes(17, 0xAA));
}

TEST(CInterface, VersionAndStatusTexts) {
  EXPECT_STREQ(orvoaes_version(), ORVOAES_VERSION_STRING);
  EXPECT_EQ(orvoaes_version_number(), ORVOAES_VERSION_NUMBER);
  for (const int status : {ORVOAES_E_NO_MEMORY, ORVOAES_E_TAG_MISMATCH, ORVOAES_E_BAD_KEY_SIZE, 12345}) {
    const std::string want = platform::ToUTF8String(error::GetErrorMessage(status));
    const std::size_t n = orvoaes_status_message(status, nullptr, 0);
    ASSERT_EQ(n, want.size());
    std::string full(n + 1, 'x');
    EXPECT_EQ(orvoaes_status_message(status, full.data(), full.size()), n);
    EXPECT_EQ(full, want + '\0');
    char cut[8];
    std::memset(cut, 'x', sizeof cut);
    EXPECT_EQ(orvoaes_status_message(status, cut, sizeof cut), n);
    EXPECT_EQ(std::string(cut), want.substr(0, 7));
  }
}

}  // namespace
