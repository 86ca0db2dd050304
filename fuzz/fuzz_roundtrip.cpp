// Encrypt then decrypt gives the input back, in every mode, with and without padding, with the
// IV in front or the caller's: buffers, strings, streams and the component's text operations.
// Where the layouts coincide (the caller's IV), buffer, string and stream cipher texts are equal.
#include "FuzzComponent.h"
#include "FuzzEngine.h"
#include "crypto/support/errorlist.h"
#include "platform/Streams.h"

namespace {

using namespace fuzz_support;
using AESModes::TAESModes;
using platform::TMemoryStream;

class TConfiguredModes : public TAESModes {
 public:
  TConfiguredModes(const TEngineSettings& s, bool ivInFront)
      : TAESModes(static_cast<AESModes::TAESType>(s.mode), ivInFront ? AESModes::rand : AESModes::userdefined,
                  s.padding ? AESModes::PKCS7 : AESModes::nopadding) {}
};

std::size_t CipherSize(const TEngineSettings& s, std::size_t L) {
  return (s.Header() ? 16 : 0) + (s.padding ? L - L % 16 + 16 : L);
}

// Buffer and string forms; returns the buffer cipher text, empty when the input is refused.
TBytes BufferRoundTrip(const TEngineSettings& s, const TBytes& plain) {
  TAESModes m;
  const auto bits = static_cast<Integer>(8 * s.key.size());
  const std::size_t size = CipherSize(s, plain.size());
  TBytes cipher(std::max<std::size_t>(size, 1));
  Integer written = -1;
  const Integer st = m.EncryptBinaryBuffer(plain, cipher, written, s.key, bits, s.IVIn, s.IV, s.padding, s.mode);
  if (!s.padding && plain.size() % 16 != 0) {
    FUZZ_CHECK(st == -211);
    return {};
  }
  if (plain.empty()) {
    FUZZ_CHECK(st == -201);
    return {};
  }
  FUZZ_CHECK(st == 0 && static_cast<std::size_t>(written) == size);

  TBytes back(size, 0xA5);
  Integer backSize = -1;
  FUZZ_CHECK(m.DecryptBinaryBuffer(cipher, back, backSize, s.key, bits, s.IVIn, s.IV, s.padding, s.mode) == 0);
  if (s.padding) FUZZ_CHECK(static_cast<std::size_t>(backSize) == plain.size());
  FUZZ_CHECK(TBytes(back.begin(), back.begin() + static_cast<std::ptrdiff_t>(plain.size())) == plain);

  TBytes fromString(size);
  Integer stringSize = -1;
  FUZZ_CHECK(m.EncryptString(ByteString(plain), fromString, stringSize, s.key, bits, s.IVIn, s.IV, s.padding,
                             s.mode) == 0);
  FUZZ_CHECK(static_cast<std::size_t>(stringSize) == size);
  if (!s.Header()) FUZZ_CHECK(fromString == cipher);
  string text;
  FUZZ_CHECK(m.DecryptString(ByteString(fromString), text, s.key, bits, s.IVIn, s.IV, s.padding, s.mode) == 0);
  FUZZ_CHECK(text == ByteString(plain));
  return cipher;
}

void StreamRoundTrip(const TEngineSettings& s, const TBytes& plain, const TBytes& bufferCipher) {
  TConfiguredModes m(s, s.IVIn);
  TMemoryStream in(plain), cipher;
  try {
    m.EncryptStream(&in, &cipher, s.key, s.IV);
  } catch (const errorlist::ESelvane&) {
    FUZZ_CHECK(!s.padding && plain.size() % 16 != 0);
    return;
  }
  FUZZ_CHECK(cipher.Bytes().size() == CipherSize(s, plain.size()));
  if (!s.Header() && !bufferCipher.empty()) FUZZ_CHECK(cipher.Bytes() == bufferCipher);
  TMemoryStream encrypted(cipher.Bytes()), back;
  FUZZ_CHECK(m.DecryptStream(&encrypted, &back, s.key, s.IV) == 0);
  FUZZ_CHECK(back.Bytes() == plain);
}

// The component with raw text in and out: Decrypt(Encrypt(s)) is s (as UTF-8 carries it with
// yesUni, the low bytes with noUni). An empty text (-201) and, without padding, a length that
// is not whole blocks (-211) are refused.
void ComponentRoundTrip(TComponentSettings s, const string& text) {
  s.inputFormat = s.outputFormat = MiscObj::raw;
  s.keyLength = TComponentSettings::KeyLengthOf(s.key.size());
  AESObj::TAESEncryption c;
  s.Apply(c);
  if (c.key().empty()) return;
  const bool utf8 = s.unicode == MiscObj::yesUni;
  const TBytes bytes = MiscObj::TConvert::StringToByteArray(text, s.unicode);
  string cipher;
  try {
    cipher = c.Encrypt(text);
  } catch (const errorlist::ESelvane&) {
    const bool needsIV = s.type != AESObj::atECB && s.ivMode == AESObj::userdefined && s.IV.empty();
    FUZZ_CHECK(bytes.empty() || (s.padding == AESObj::nopadding && bytes.size() % 16 != 0) || needsIV);
    return;
  }
  const string expected = utf8 ? MiscObj::TConvert::StringToUnicode(ByteString(bytes)) : ByteString(bytes);
  FUZZ_CHECK(c.Decrypt(cipher) == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzReader in(data, size);
  const std::uint8_t family = in.Byte();
  if (family & 1) {
    const TComponentSettings s = TComponentSettings::Read(in);
    ComponentRoundTrip(s, RestText(in, s.wideText));
    return 0;
  }
  TEngineSettings s = TEngineSettings::Read(in, true);
  if (s.key.size() != 16 && s.key.size() != 24 && s.key.size() != 32) s.key.resize(16);
  s.IV.resize(16);
  const TBytes plain = in.Rest();
  StreamRoundTrip(s, plain, BufferRoundTrip(s, plain));
  return 0;
}
