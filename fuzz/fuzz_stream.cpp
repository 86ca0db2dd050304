// DecryptStream on any cipher text, with mode, padding, IV layout, key (any length) and caller
// IV taken from the input. Whatever it accepts must encrypt again to exactly the cipher blocks.
#include "FuzzEngine.h"
#include "crypto/support/errorlist.h"
#include "platform/Streams.h"

namespace {

using namespace fuzz_support;
using AESModes::TAESModes;
using platform::TMemoryStream;

// Reaches the stream settings the system itself never uses.
class TConfiguredModes : public TAESModes {
 public:
  TConfiguredModes(const TEngineSettings& s, bool ivInFront)
      : TAESModes(static_cast<AESModes::TAESType>(s.mode), ivInFront ? AESModes::rand : AESModes::userdefined,
                  s.padding ? AESModes::PKCS7 : AESModes::nopadding) {}
};

// The cipher blocks that plain gives under the same settings and the IV the decryption used.
// A partial last CTR block cannot be encrypted without padding; CTR's keystream is its own
// inverse, so that plain text is decrypted instead.
TBytes StreamReencrypt(const TEngineSettings& s, const TBytes& plain, const TBytes& iv) {
  TConfiguredModes m(s, false);
  TMemoryStream in(plain), out;
  if (!s.padding && plain.size() % 16 != 0)
    FUZZ_CHECK(m.DecryptStream(&in, &out, s.key, iv) == 0);
  else
    m.EncryptStream(&in, &out, s.key, iv);
  return out.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzReader in(data, size);
  const TEngineSettings s = TEngineSettings::Read(in, true);
  const TBytes cipher = in.Rest();
  const std::size_t N = cipher.size();
  const std::size_t h = s.Header() ? 16 : 0;

  TConfiguredModes m(s, s.IVIn);
  TMemoryStream input(cipher), output;
  Integer st = 0;
  try {
    st = m.DecryptStream(&input, &output, s.key, s.IV);
  } catch (const errorlist::ESelvane&) {
    return 0;
  }
  const TBytes& plain = output.Bytes();
  FUZZ_CHECK(st == 0 || st == -208);
  FUZZ_CHECK(plain.size() <= (N > h ? N - h : 0));
  if (st != 0) return 0;
  if (s.padding) {
    // Whole blocks, of which 1 to 16 padding bytes were removed.
    FUZZ_CHECK(N >= h + 16 && (N - h) % 16 == 0 && plain.size() + 16 >= N - h && plain.size() < N - h);
  } else {
    FUZZ_CHECK(plain.size() == (N > h ? N - h : 0));
  }
  if (N > h) {
    const TBytes blocks(cipher.begin() + static_cast<std::ptrdiff_t>(h), cipher.end());
    FUZZ_CHECK(StreamReencrypt(s, plain, UsedIV(s, cipher)) == blocks);
  }
  return 0;
}
