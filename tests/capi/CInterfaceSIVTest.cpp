// The C interface's GCM-SIV, GMAC, AES-SIV and XAES-256-GCM against the keyed API they wrap, with
// their refusals: key sizes, nonce lengths, a wrong tag (zeroed or unwritten output), NULL lists.
#include <gtest/gtest.h>

#include <vector>

#include "Oracle.h"
#include "crypto/engine/AESKeyed.h"
#include "orvoaes/orvoaes.h"

namespace {

using testing_support::Bytes;
using testing_support::RandomBytes;

TEST(CInterfaceSIV, GCMSIVAndGMACEqualTheKeyedApi) {
  std::uint32_t seed = 1;
  for (const std::size_t keyLen : {16, 32})
    for (const std::size_t n : {0, 1, 16, 100, 4096}) {
      SCOPED_TRACE(testing::Message() << "key " << keyLen << ", " << n << " bytes");
      const Bytes keyBytes = RandomBytes(keyLen, seed++), nonce = RandomBytes(12, seed++), aad = RandomBytes(n % 33, seed++),
                  plain = RandomBytes(n, seed++);
      AESKeyed::TAESKey keyed;
      ASSERT_EQ(keyed.SetKey(keyBytes), 0);
      Bytes wantCipher(n), wantTag(16);
      ASSERT_EQ(keyed.GCMSIV_Seal(nonce, aad, plain, wantCipher, wantTag), 0);
      orvoaes_key* key = nullptr;
      ASSERT_EQ(orvoaes_key_new(keyBytes.data(), keyLen, &key), ORVOAES_OK);
      Bytes cipher(n), tag(16), back(n);
      ASSERT_EQ(orvoaes_gcmsiv_seal(key, nonce.data(), 12, aad.data(), aad.size(), plain.data(), n, cipher.data(), n,
                                    tag.data(), 16),
                ORVOAES_OK);
      EXPECT_EQ(cipher, wantCipher);
      EXPECT_EQ(tag, wantTag);
      ASSERT_EQ(orvoaes_gcmsiv_open(key, nonce.data(), 12, aad.data(), aad.size(), cipher.data(), n, tag.data(), 16,
                                    back.data(), n),
                ORVOAES_OK);
      EXPECT_EQ(back, plain);
      tag[5] ^= 1;
      Bytes zeroed(n, 0xAA);
      EXPECT_EQ(orvoaes_gcmsiv_open(key, nonce.data(), 12, aad.data(), aad.size(), cipher.data(), n, tag.data(), 16,
                                    zeroed.data(), n),
                ORVOAES_E_TAG_MISMATCH);
      EXPECT_EQ(zeroed, Bytes(n, 0));
      EXPECT_EQ(orvoaes_gcmsiv_seal(key, nonce.data(), 11, nullptr, 0, plain.data(), n, cipher.data(), n, tag.data(), 16),
                ORVOAES_E_BAD_ARGUMENT);

      Bytes gmac(16), wantGmac(16);
      ASSERT_EQ(keyed.GMAC_Generate(nonce, aad, wantGmac), 0);
      ASSERT_EQ(orvoaes_gmac(key, nonce.data(), 12, aad.data(), aad.size(), gmac.data(), 16), ORVOAES_OK);
      EXPECT_EQ(gmac, wantGmac);
      EXPECT_EQ(orvoaes_gmac_verify(key, nonce.data(), 12, aad.data(), aad.size(), gmac.data(), 12), ORVOAES_OK);
      gmac[0] ^= 1;
      EXPECT_EQ(orvoaes_gmac_verify(key, nonce.data(), 12, aad.data(), aad.size(), gmac.data(), 16),
                ORVOAES_E_MAC_MISMATCH);
      orvoaes_key_free(key);
    }
  // A 24-byte key is a key, but not one GCM-SIV takes.
  const Bytes k24 = RandomBytes(24, 99);
  orvoaes_key* key = nullptr;
  ASSERT_EQ(orvoaes_key_new(k24.data(), 24, &key), ORVOAES_OK);
  Bytes buf(16), tag(16);
  EXPECT_EQ(orvoaes_gcmsiv_seal(key, buf.data(), 12, nullptr, 0, buf.data(), 16, buf.data(), 16, tag.data(), 16),
            ORVOAES_E_BAD_KEY_SIZE);
  orvoaes_key_free(key);
}

TEST(CInterfaceSIV, SIVAndXAESEqualTheKeyedApi) {
  std::uint32_t seed = 100;
  for (const std::size_t n : {0, 1, 16, 33, 1000}) {
    SCOPED_TRACE(testing::Message() << n << " bytes");
    // AES-SIV with three associated strings, one of them empty.
    const Bytes sivKey = RandomBytes(48, seed++), plain = RandomBytes(n, seed++), a0 = RandomBytes(7, seed++),
                a2 = RandomBytes(40, seed++);
    const std::uint8_t* ad[] = {a0.data(), nullptr, a2.data()};
    const std::size_t adLen[] = {a0.size(), 0, a2.size()};
    AESKeyed::TSIVKey keyedSiv;
    ASSERT_EQ(keyedSiv.SetKey(sivKey), 0);
    const std::span<const std::uint8_t> spans[] = {a0, {}, a2};
    Bytes want(n + 16), got(n + 16), back(n);
    ASSERT_EQ(keyedSiv.Seal(spans, plain, want), 0);
    orvoaes_siv_key* siv = nullptr;
    ASSERT_EQ(orvoaes_siv_key_new(sivKey.data(), 16, &siv), ORVOAES_E_BAD_KEY_SIZE);
    ASSERT_EQ(orvoaes_siv_key_new(sivKey.data(), 48, &siv), ORVOAES_OK);
    ASSERT_EQ(orvoaes_siv_seal(siv, ad, adLen, 3, plain.data(), n, got.data(), got.size()), ORVOAES_OK);
    EXPECT_EQ(got, want);
    ASSERT_EQ(orvoaes_siv_open(siv, ad, adLen, 3, got.data(), got.size(), back.data(), n), ORVOAES_OK);
    EXPECT_EQ(back, plain);
    Bytes zeroed(n, 0xAA);
    EXPECT_EQ(orvoaes_siv_open(siv, ad, adLen, 2, got.data(), got.size(), zeroed.data(), n), ORVOAES_E_TAG_MISMATCH);
    EXPECT_EQ(zeroed, Bytes(n, 0));
    EXPECT_EQ(orvoaes_siv_seal(siv, nullptr, adLen, 3, plain.data(), n, got.data(), got.size()), ORVOAES_E_BAD_ARGUMENT);
    EXPECT_EQ(orvoaes_siv_seal(siv, ad, adLen, 127, plain.data(), n, got.data(), got.size()), ORVOAES_E_BAD_ARGUMENT);
    orvoaes_siv_key_free(siv);

    // XAES-256-GCM.
    const Bytes xKey = RandomBytes(32, seed++), nonce = RandomBytes(24, seed++);
    AESKeyed::TXAESKey keyedX;
    ASSERT_EQ(keyedX.SetKey(xKey), 0);
    Bytes wantC(n), wantT(16), c(n), t(16);
    ASSERT_EQ(keyedX.Seal(nonce, a2, plain, wantC, wantT), 0);
    orvoaes_xaes_key* x = nullptr;
    ASSERT_EQ(orvoaes_xaes_key_new(xKey.data(), 16, &x), ORVOAES_E_BAD_KEY_SIZE);
    ASSERT_EQ(orvoaes_xaes_key_new(xKey.data(), 32, &x), ORVOAES_OK);
    ASSERT_EQ(orvoaes_xaes_seal(x, nonce.data(), a2.data(), a2.size(), plain.data(), n, c.data(), n, t.data()),
              ORVOAES_OK);
    EXPECT_EQ(c, wantC);
    EXPECT_EQ(t, wantT);
    t[15] ^= 1;
    Bytes zeroedX(n, 0xAA);
    EXPECT_EQ(orvoaes_xaes_open(x, nonce.data(), a2.data(), a2.size(), c.data(), n, t.data(), zeroedX.data(), n),
              ORVOAES_E_TAG_MISMATCH);
    EXPECT_EQ(zeroedX, Bytes(n, 0));
    orvoaes_xaes_key_free(x);
  }
}

}  // namespace
