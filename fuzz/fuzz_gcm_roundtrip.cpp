// GCM round trip across the forms: every form that can express the case gives the buffer form's
// cipher text and tag (the IVIn forms with their own drawn IV), and the decryption of one form
// restores the data through another.
#include "GCMFuzzForms.h"

using namespace gcm_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::TFuzzReader r(data, size);
  const std::uint8_t pick = r.Byte();
  auto encForm = static_cast<TForm>(pick % kForms), decForm = static_cast<TForm>((pick / kForms) % kForms);
  TCase c = ReadCase(r);
  c.TagBits = 8 + c.TagBits % 121;
  // Decryption keeps the IV placement of the encryption.
  if (IVIn(decForm) != IVIn(encForm)) decForm = static_cast<TForm>(static_cast<int>(decForm) ^ 1);
  const bool needs12 = encForm == TForm::Stream || decForm == TForm::Stream;
  if (needs12) c.IV.resize(12);
  TBytes refCipher, refTag;
  FUZZ_CHECK(Encrypt(TForm::Buffer, c, refCipher, refTag) == 0);

  TBytes cipher, tag;
  const Integer st = Encrypt(encForm, c, cipher, tag);
  const bool stringForm = encForm == TForm::String || encForm == TForm::StringIVIn;
  if (stringForm && (c.Data.empty() || c.AAD.empty())) {
    FUZZ_CHECK(st == -201);  // the string forms need text and additional data
    return 0;
  }
  FUZZ_CHECK(st == 0);
  if (encForm == TForm::Stream || encForm == TForm::StreamIVIn) tag.resize(static_cast<std::size_t>(c.TagBits / 8));
  if (!IVIn(encForm)) {
    FUZZ_CHECK(cipher == refCipher && tag == refTag);
  } else {
    // The drawn IV in front: the rest equals the buffer form under that IV.
    TCase withIV = c;
    withIV.IV.assign(cipher.begin(), cipher.begin() + 12);
    FUZZ_CHECK(Encrypt(TForm::Buffer, withIV, refCipher, refTag) == 0);
    FUZZ_CHECK(std::equal(refCipher.begin(), refCipher.end(), cipher.begin() + 12) && tag == refTag);
  }

  // Decrypt through another form.
  const bool stringDec = decForm == TForm::String || decForm == TForm::StringIVIn;
  if (stringDec && (c.Data.empty() || c.AAD.empty())) return 0;
  TCase back = c;
  back.Data = cipher;
  back.Tag = tag;
  TBytes plain;
  FUZZ_CHECK(Decrypt(decForm, back, plain) == 0);
  FUZZ_CHECK(std::equal(c.Data.begin(), c.Data.end(), plain.begin()));
  return 0;
}
