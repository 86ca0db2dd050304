// The absorber on every kernel: any split of a message, down to one byte at a time, gives the
// tag of the whole message.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include "CMACOracle.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/core/CMACAbsorber.h"

namespace {

using testing_support::Bytes;
using testing_support::OpenSSLCMAC;
using testing_support::RandomBytes;
namespace kernel = AESModes::kernel;

// K1 and K2 from L = E(0) computed by OpenSSL, doubled in GF(2^128) here.
void Subkeys(const Bytes& key, platform::TCharArray16& K1, platform::TCharArray16& K2) {
  const Bytes L = testing_support::OpenSSLCrypt(true, 0, key, {}, Bytes(16, 0), false);
  const auto twice = [](const std::uint8_t* in, platform::TCharArray16& out) {
    for (int i = 0; i < 16; ++i) out[i] = static_cast<std::uint8_t>(in[i] << 1 | (i < 15 ? in[i + 1] >> 7 : 0));
    if (in[0] & 0x80) out[15] ^= 0x87;
  };
  twice(L.data(), K1);
  twice(K1.data(), K2);
}

TEST(CMACAbsorber, AnySplitGivesTheTagOfTheWholeMessage) {
  for (kernel::TKernelId id : kernel::AvailableKernels()) {
    std::mt19937 gen(static_cast<unsigned>(id));
    for (std::size_t n : {0, 1, 15, 16, 17, 32, 33, 48, 200, 1000}) {
      const Bytes key = RandomBytes(16 + 8 * (n % 3), static_cast<std::uint32_t>(n)), msg = RandomBytes(n, 9);
      const Bytes expected = OpenSSLCMAC(key, msg);
      kernel::TExpandedKey keyed(id);
      ASSERT_EQ(0, keyed.Expand(key, static_cast<platform::Cardinal>(key.size() / 4)));
      platform::TCharArray16 K1, K2;
      Subkeys(key, K1, K2);
      // Whole, one byte at a time, in blocks, and in random pieces (empty ones included).
      for (int split = 0; split < 4; ++split) {
        AESModes::detail::TCMACAbsorber mac(keyed, K1, K2);
        for (std::size_t at = 0; at < n;) {
          std::size_t piece = split == 0 ? n : split == 1 ? 1 : split == 2 ? 16 : gen() % 40;
          piece = std::min(piece, n - at);
          mac.Feed(msg.data() + at, piece);
          at += piece;
        }
        platform::TCharArray16 T;
        mac.Finish(T);
        EXPECT_EQ(expected, Bytes(T.begin(), T.end()))
            << kernel::KernelName(id) << ", " << n << " bytes, split " << split;
      }
    }
  }
}

}  // namespace
