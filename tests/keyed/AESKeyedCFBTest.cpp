// CFB-128 and CFB-8 of the keyed API against OpenSSL's libcrypto: every key size, lengths 0 to 100
// and around the 4 KiB runs decryption takes at once, in place and between buffers, in one call
// and continued over several; and their refused arguments.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "Oracle.h"
#include "crypto/engine/AESKeyed.h"

namespace {

using AESKeyed::TAESKey;
using platform::Integer;
using platform::TCharArray16;
using testing_support::Bytes;
using testing_support::RandomBytes;

const EVP_CIPHER* CFBCipher(bool eight, std::size_t keyBytes) {
  switch (keyBytes) {
    case 16: return eight ? EVP_aes_128_cfb8() : EVP_aes_128_cfb128();
    case 24: return eight ? EVP_aes_192_cfb8() : EVP_aes_192_cfb128();
    default: return eight ? EVP_aes_256_cfb8() : EVP_aes_256_cfb128();
  }
}

Bytes OpenSSLCFB(bool eight, bool encrypt, const Bytes& key, const Bytes& iv, const Bytes& in) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  Bytes out(in.size() + 16);
  int n1 = 0, n2 = 0;
  const bool ok = EVP_CipherInit_ex(ctx, CFBCipher(eight, key.size()), nullptr, key.data(), iv.data(), encrypt) == 1 &&
                  EVP_CipherUpdate(ctx, out.data(), &n1, in.data(), static_cast<int>(in.size())) == 1 &&
                  EVP_CipherFinal_ex(ctx, out.data() + n1, &n2) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) throw std::runtime_error("OpenSSL CFB failed");
  out.resize(static_cast<std::size_t>(n1 + n2));
  return out;
}

Integer CFB(const TAESKey& key, bool eight, bool encrypt, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
            TCharArray16& iv) {
  if (eight) return encrypt ? key.EncryptCFB8(in, out, iv) : key.DecryptCFB8(in, out, iv);
  return encrypt ? key.EncryptCFB(in, out, iv) : key.DecryptCFB(in, out, iv);
}

TCharArray16 Block(const Bytes& b) {
  TCharArray16 a;
  std::copy_n(b.begin(), 16, a.begin());
  return a;
}

std::vector<std::size_t> Lengths() {
  std::vector<std::size_t> n;
  for (std::size_t i = 0; i <= 100; ++i) n.push_back(i);
  for (std::size_t around : {4096u, 8192u, 16384u})
    for (std::size_t d : {around - 17, around - 16, around - 1, around, around + 1, around + 16, around + 17}) n.push_back(d);
  return n;
}

// Both directions equal OpenSSL's, in place and not, and IV ends as the last 16 cipher bytes
// (after whole blocks for CFB-128).
TEST(AESKeyedCFB, EqualsOpenSSLBothWaysAndInPlace) {
  for (bool eight : {false, true})
    for (std::size_t keyBytes : {16u, 24u, 32u}) {
      const Bytes keyBytesV = RandomBytes(keyBytes, static_cast<std::uint32_t>(keyBytes));
      TAESKey key;
      ASSERT_EQ(key.SetKey(keyBytesV), 0);
      for (std::size_t n : Lengths()) {
        const Bytes plain = RandomBytes(n, static_cast<std::uint32_t>(n + 7)), iv = RandomBytes(16, static_cast<std::uint32_t>(n));
        const Bytes expected = OpenSSLCFB(eight, true, keyBytesV, iv, plain);
        ASSERT_EQ(OpenSSLCFB(eight, false, keyBytesV, iv, expected), plain);
        for (bool inPlace : {false, true}) {
          const auto what = [&] {
            return std::string(eight ? "CFB-8" : "CFB-128") + " key " + std::to_string(keyBytes) + " length " +
                   std::to_string(n) + (inPlace ? " in place" : "");
          };
          Bytes out = inPlace ? plain : Bytes(n, 0xEE);
          TCharArray16 v = Block(iv);
          ASSERT_EQ(CFB(key, eight, true, inPlace ? std::span<const std::uint8_t>(out) : std::span(plain), out, v), 0);
          EXPECT_EQ(out, expected) << what();
          const std::size_t fed = eight ? n : n - n % 16;  // bytes whose cipher text is in the register
          const Bytes register_ = fed >= 16 ? Bytes(expected.begin() + fed - 16, expected.begin() + fed) : Bytes();
          if (fed >= 16) {
            EXPECT_EQ(Bytes(v.begin(), v.end()), register_) << what();
          }

          Bytes back = inPlace ? expected : Bytes(n, 0xEE);
          TCharArray16 w = Block(iv);
          ASSERT_EQ(CFB(key, eight, false, inPlace ? std::span<const std::uint8_t>(back) : std::span(expected), back, w), 0);
          EXPECT_EQ(back, plain) << what();
          EXPECT_EQ(w, v) << what();
        }
      }
    }
}

// A stream cut into calls (any cut for CFB-8, whole blocks for CFB-128, then a last partial piece)
// equals the one call.
TEST(AESKeyedCFB, CallsContinueTheStream) {
  const Bytes keyBytes = RandomBytes(32, 1), iv = RandomBytes(16, 2), plain = RandomBytes(9000, 3);
  TAESKey key;
  ASSERT_EQ(key.SetKey(keyBytes), 0);
  for (bool eight : {false, true}) {
    const Bytes expected = OpenSSLCFB(eight, true, keyBytes, iv, plain);
    const std::vector<std::size_t> cuts = eight ? std::vector<std::size_t>{1, 15, 17, 255, 256, 257, 4100, 100}
                                                : std::vector<std::size_t>{16, 32, 4096, 4112, 160, 48};
    for (bool encrypt : {true, false}) {
      const Bytes& in = encrypt ? plain : expected;
      Bytes out(in.size(), 0xEE);
      TCharArray16 v = Block(iv);
      std::size_t at = 0;
      for (std::size_t i = 0; at < in.size(); ++i) {
        const std::size_t n = i < cuts.size() ? std::min(cuts[i], in.size() - at) : in.size() - at;
        ASSERT_EQ(CFB(key, eight, encrypt, std::span(in).subspan(at, n), std::span(out).subspan(at, n), v), 0);
        at += n;
      }
      EXPECT_EQ(out, encrypt ? expected : plain) << (eight ? "CFB-8" : "CFB-128") << (encrypt ? " encrypt" : " decrypt");
    }
  }
}

TEST(AESKeyedCFB, RefusedArguments) {
  Bytes buf(64, 0xEE);
  const Bytes before = buf;
  const std::span<std::uint8_t> all(buf);
  TCharArray16 iv{};
  TAESKey none;
  for (bool eight : {false, true})
    for (bool encrypt : {true, false}) {
      EXPECT_EQ(CFB(none, eight, encrypt, all.first(16), all.subspan(16, 16), iv), error::kBadArgument);
      TAESKey key;
      ASSERT_EQ(key.SetKey(Bytes(24, 1)), 0);
      EXPECT_EQ(CFB(key, eight, encrypt, all.first(17), all.subspan(32, 16), iv), error::kBadArgument) << "out shorter";
      EXPECT_EQ(CFB(key, eight, encrypt, all.first(32), all.subspan(5, 32), iv), error::kBadArgument) << "overlap";
      EXPECT_EQ(CFB(key, eight, encrypt, {}, {}, iv), 0);
    }
  EXPECT_EQ(buf, before);
  EXPECT_EQ(iv, TCharArray16{});
}

}  // namespace
