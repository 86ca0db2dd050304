// The C interface's CCM, OCB3, EAX, key wrap and XTS against the keyed API they wrap, with their
// refusals: nonce and tag lengths, damaged tags and wrappings, equal XTS halves.
#include <gtest/gtest.h>

#include "Oracle.h"
#include "crypto/engine/AESKeyed.h"
#include "orvoaes/orvoaes.h"

namespace {

using testing_support::Bytes;
using testing_support::RandomBytes;
using TSeal = int (*)(const orvoaes_key*, const uint8_t*, size_t, const uint8_t*, size_t, const uint8_t*, size_t,
                      uint8_t*, size_t, uint8_t*, size_t);
using TOpen = int (*)(const orvoaes_key*, const uint8_t*, size_t, const uint8_t*, size_t, const uint8_t*, size_t,
                      const uint8_t*, size_t, uint8_t*, size_t);
using TKeyedSeal = platform::Integer (AESKeyed::TAESKey::*)(std::span<const std::uint8_t>, std::span<const std::uint8_t>,
                                                            std::span<const std::uint8_t>, std::span<std::uint8_t>,
                                                            std::span<std::uint8_t>) const;

TEST(CInterfaceCCM, AEADModesEqualTheKeyedApi) {
  struct Mode {
    const char* Name;
    TSeal Seal;
    TOpen Open;
    TKeyedSeal Keyed;
    std::size_t Nonce, Tag, BadNonce;
    bool ZeroesOnMismatch;
  };
  const Mode modes[] = {
      {"CCM", orvoaes_ccm_seal, orvoaes_ccm_open, &AESKeyed::TAESKey::CCM_Seal, 12, 10, 14, true},
      {"OCB", orvoaes_ocb_seal, orvoaes_ocb_open, &AESKeyed::TAESKey::OCB_Seal, 12, 16, 16, true},
      {"EAX", orvoaes_eax_seal, orvoaes_eax_open, &AESKeyed::TAESKey::EAX_Seal, 16, 12, 0, false},
  };
  std::uint32_t seed = 1;
  for (const Mode& m : modes)
    for (const std::size_t n : {0, 1, 16, 33, 1000}) {
      SCOPED_TRACE(testing::Message() << m.Name << ", " << n << " bytes");
      const Bytes keyBytes = RandomBytes(16 + 8 * (n % 3), seed++), nonce = RandomBytes(m.Nonce, seed++),
                  aad = RandomBytes(n % 20, seed++), plain = RandomBytes(n, seed++);
      AESKeyed::TAESKey keyed;
      ASSERT_EQ(keyed.SetKey(keyBytes), 0);
      Bytes wantC(n), wantT(m.Tag), c(n), t(m.Tag), back(n);
      ASSERT_EQ((keyed.*m.Keyed)(nonce, aad, plain, wantC, wantT), 0);
      orvoaes_key* key = nullptr;
      ASSERT_EQ(orvoaes_key_new(keyBytes.data(), keyBytes.size(), &key), ORVOAES_OK);
      ASSERT_EQ(m.Seal(key, nonce.data(), nonce.size(), aad.data(), aad.size(), plain.data(), n, c.data(), n, t.data(),
                       t.size()),
                ORVOAES_OK);
      EXPECT_EQ(c, wantC);
      EXPECT_EQ(t, wantT);
      ASSERT_EQ(m.Open(key, nonce.data(), nonce.size(), aad.data(), aad.size(), c.data(), n, t.data(), t.size(),
                       back.data(), n),
                ORVOAES_OK);
      EXPECT_EQ(back, plain);
      t[0] ^= 1;
      Bytes out(n, 0xAA);
      EXPECT_EQ(m.Open(key, nonce.data(), nonce.size(), aad.data(), aad.size(), c.data(), n, t.data(), t.size(),
                       out.data(), n),
                ORVOAES_E_TAG_MISMATCH);
      EXPECT_EQ(out, Bytes(n, m.ZeroesOnMismatch ? 0 : 0xAA));
      if (m.BadNonce != 0) {
        const Bytes bad = RandomBytes(m.BadNonce, seed++);
        EXPECT_EQ(m.Seal(key, bad.data(), bad.size(), nullptr, 0, plain.data(), n, c.data(), n, t.data(), t.size()),
                  ORVOAES_E_BAD_ARGUMENT);
      }
      EXPECT_EQ(m.Seal(key, nonce.data(), nonce.size(), nullptr, 0, plain.data(), n, c.data(), n, t.data(), 17),
                ORVOAES_E_TAG_TOO_LONG);
      orvoaes_key_free(key);
    }
}

TEST(CInterfaceCCM, KeyWrapAndXTSEqualTheKeyedApi) {
  const Bytes kekBytes = RandomBytes(32, 50), plainKey = RandomBytes(24, 51), odd = RandomBytes(5, 52);
  AESKeyed::TAESKey keyed;
  ASSERT_EQ(keyed.SetKey(kekBytes), 0);
  orvoaes_key* kek = nullptr;
  ASSERT_EQ(orvoaes_key_new(kekBytes.data(), 32, &kek), ORVOAES_OK);
  Bytes want(32), got(32), back(24);
  ASSERT_EQ(keyed.WrapKey(plainKey, want), 0);
  ASSERT_EQ(orvoaes_wrap_key(kek, plainKey.data(), 24, got.data(), got.size()), ORVOAES_OK);
  EXPECT_EQ(got, want);
  ASSERT_EQ(orvoaes_unwrap_key(kek, got.data(), 32, back.data(), back.size()), ORVOAES_OK);
  EXPECT_EQ(back, plainKey);
  got[3] ^= 1;
  Bytes untouched(24, 0xAA);
  EXPECT_EQ(orvoaes_unwrap_key(kek, got.data(), 32, untouched.data(), 24), ORVOAES_E_UNWRAP_FAILED);
  EXPECT_EQ(untouched, Bytes(24, 0xAA));
  EXPECT_EQ(orvoaes_wrap_key(kek, odd.data(), 5, got.data(), got.size()), ORVOAES_E_BAD_ARGUMENT);
  Bytes padded(16), oddBack(8);
  std::size_t oddLen = 0;
  ASSERT_EQ(orvoaes_wrap_key_padded(kek, odd.data(), 5, padded.data(), 16), ORVOAES_OK);
  ASSERT_EQ(orvoaes_unwrap_key_padded(kek, padded.data(), 16, oddBack.data(), 8, &oddLen), ORVOAES_OK);
  EXPECT_EQ(Bytes(oddBack.begin(), oddBack.begin() + static_cast<std::ptrdiff_t>(oddLen)), odd);
  EXPECT_EQ(orvoaes_unwrap_key_padded(kek, padded.data(), 16, oddBack.data(), 8, nullptr), ORVOAES_E_BAD_ARGUMENT);
  orvoaes_key_free(kek);

  const Bytes xtsKey = RandomBytes(64, 60), tweak = RandomBytes(16, 61), data = RandomBytes(1000, 62);
  AESKeyed::TXTSKey keyedX;
  ASSERT_EQ(keyedX.SetKey(xtsKey), 0);
  platform::TCharArray16 tw;
  std::copy_n(tweak.begin(), 16, tw.begin());
  Bytes wantX(1000), gotX(1000), backX(1000);
  ASSERT_EQ(keyedX.Encrypt(tw, data, wantX), 0);
  orvoaes_xts_key* x = nullptr;
  Bytes same(32, 7);
  EXPECT_EQ(orvoaes_xts_key_new(same.data(), 32, &x), ORVOAES_E_BAD_ARGUMENT);
  EXPECT_EQ(x, nullptr);
  ASSERT_EQ(orvoaes_xts_key_new(xtsKey.data(), 64, &x), ORVOAES_OK);
  ASSERT_EQ(orvoaes_xts_encrypt(x, tweak.data(), data.data(), 1000, gotX.data(), 1000), ORVOAES_OK);
  EXPECT_EQ(gotX, wantX);
  ASSERT_EQ(orvoaes_xts_decrypt(x, tweak.data(), gotX.data(), 1000, backX.data(), 1000), ORVOAES_OK);
  EXPECT_EQ(backX, data);
  EXPECT_EQ(orvoaes_xts_encrypt(x, tweak.data(), data.data(), 15, gotX.data(), 1000), ORVOAES_E_BAD_ARGUMENT);
  // Sectors: each one equals the unit form under its number.
  Bytes sectors(1024), wantSector(512);
  ASSERT_EQ(orvoaes_xts_encrypt_sectors(x, 7, 512, data.data(), 1000, sectors.data(), 1000), ORVOAES_E_BAD_ARGUMENT);
  const Bytes disk = RandomBytes(1024, 63);
  ASSERT_EQ(orvoaes_xts_encrypt_sectors(x, 7, 512, disk.data(), 1024, sectors.data(), 1024), ORVOAES_OK);
  platform::TCharArray16 eight{};
  eight[0] = 8;
  ASSERT_EQ(keyedX.Encrypt(eight, std::span(disk).subspan(512), wantSector), 0);
  EXPECT_EQ(Bytes(sectors.begin() + 512, sectors.end()), wantSector);
  orvoaes_xts_key_free(x);
}

}  // namespace
