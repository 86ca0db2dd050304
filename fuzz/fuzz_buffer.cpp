// DecryptBinaryBuffer and DecryptString on any cipher text, with mode, padding, IV layout, key,
// caller IV and output size taken from the input. Whatever a decryption accepts is checked by
// encrypting its plain text again: that must give back exactly the cipher blocks.
#include <algorithm>

#include "FuzzEngine.h"

namespace {

using namespace fuzz_support;
using AESModes::TAESModes;

constexpr Integer kUnwritten = -12345;

bool KnownStatus(Integer st) {
  for (Integer known : {0, -201, -206, -207, -208, -209, -212})
    if (st == known) return true;
  return false;
}

// The plain text must be what encrypts to the cipher blocks under the same settings.
void CheckPlain(const TEngineSettings& s, const TBytes& cipher, const TBytes& plain) {
  const std::size_t h = s.Header() ? 16 : 0;
  const TBytes data(cipher.begin() + static_cast<std::ptrdiff_t>(h), cipher.end());
  const TBytes iv = UsedIV(s, cipher);
  if (s.padding || plain.size() % 16 == 0) {
    if (!plain.empty() || s.padding) FUZZ_CHECK(Reencrypt(s, plain, iv) == data);
    return;
  }
  // Only CTR decrypts a partial last block; its keystream turns the plain text back as well.
  FUZZ_CHECK(s.mode == 3);
  TAESModes m;
  TBytes back(plain.size());
  Integer unused = 0;
  FUZZ_CHECK(m.DecryptBinaryBuffer(plain, back, unused, s.key, 0, false, iv, false, 3) == 0);
  FUZZ_CHECK(back == data);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzReader in(data, size);
  const TEngineSettings s = TEngineSettings::Read(in, false);
  const std::uint8_t outputPick = in.Byte();
  const TBytes cipher = in.Rest();
  const std::size_t N = cipher.size();
  const std::size_t h = s.Header() ? 16 : 0;
  const auto keyBits = static_cast<Integer>(8 * s.key.size());

  // The output buffer: as long as the cipher text, or shorter or longer by up to 31 bytes.
  const std::size_t delta = outputPick & 31;
  const std::size_t outSize = (outputPick & 64) ? N + delta : (N > delta ? N - delta : 0);
  TBytes out(outSize, 0xA5);
  Integer plainSize = kUnwritten;
  TAESModes m;
  const Integer st = m.DecryptBinaryBuffer(cipher, out, plainSize, s.key, keyBits, s.IVIn, s.IV, s.padding, s.mode);
  FUZZ_CHECK(KnownStatus(st));
  FUZZ_CHECK(out.size() == outSize);
  if (st == 0 && s.mode <= 3) {
    FUZZ_CHECK(N >= h && (N == h || N - h <= outSize));
    TBytes plain;
    if (s.padding) {
      // 1 to 16 padding bytes were removed from whole blocks; there is always a padded block.
      FUZZ_CHECK(N > h && (N - h) % 16 == 0);
      FUZZ_CHECK(plainSize >= 0 && static_cast<std::size_t>(plainSize) + 1 <= N - h &&
                 static_cast<std::size_t>(plainSize) + 16 >= N - h);
      plain.assign(out.begin(), out.begin() + plainSize);
    } else if (!s.padding) {
      FUZZ_CHECK(plainSize == kUnwritten);
      plain.assign(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(N - h));
    }
    if (N > h) CheckPlain(s, cipher, plain);
  }

  // The string form agrees with the buffer form given room for the whole cipher text.
  TBytes full(std::max<std::size_t>(N, 1));
  Integer fullSize = 0;
  const Integer fullStatus =
      m.DecryptBinaryBuffer(cipher, full, fullSize, s.key, keyBits, s.IVIn, s.IV, s.padding, s.mode);
  string text = u"\uFFFF";
  const Integer stringStatus = m.DecryptString(ByteString(cipher), text, s.key, keyBits, s.IVIn, s.IV, s.padding, s.mode);
  FUZZ_CHECK(stringStatus == fullStatus);
  if (stringStatus != 0) {
    FUZZ_CHECK(text == u"\uFFFF");
  } else if (N > h) {
    const std::size_t plainLength = s.padding ? static_cast<std::size_t>(fullSize) : N - h;
    FUZZ_CHECK(text == ByteString(TBytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(plainLength))));
  }
  return 0;
}
