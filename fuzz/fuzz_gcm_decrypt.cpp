// GCM decryption of every form on arbitrary cipher text, additional data, IV, tag and tag size.
// It never crashes; it returns 0 only for a tag it computed itself (encrypting the plain text it
// released again gives the cipher text and the tag it accepted); after -200 it has released
// nothing (buffers zeroed, files and streams empty).
#include "GCMFuzzForms.h"

using namespace gcm_fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::TFuzzReader r(data, size);
  const auto form = static_cast<TForm>(r.Byte() % kForms);
  const TCase c = ReadCase(r);
  TBytes plain;
  const Integer st = Decrypt(form, c, plain);
  const std::size_t header = IVIn(form) ? 12 : 0;
  const bool fileOrStream = form >= TForm::File;
  if (st == -200) {
    if (fileOrStream) {
      FUZZ_CHECK(plain.empty());
    } else {
      for (std::size_t i = 0; i + header < c.Data.size(); ++i) FUZZ_CHECK(plain[i] == 0);
    }
    return 0;
  }
  if (st != 0) return 0;
  FUZZ_CHECK(c.TagBits >= 8);
  FUZZ_CHECK(c.Data.size() >= header);
  // Encrypt what was released under the same key, IV and additional data.
  TCase again = c;
  again.Data.assign(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(c.Data.size() - header));
  if (header != 0) again.IV.assign(c.Data.begin(), c.Data.begin() + 12);
  if (form == TForm::Stream) again.IV.resize(12);  // a stream takes the first 12 bytes of a longer IV
  again.TagBits = 128;
  TBytes cipher, tag;
  FUZZ_CHECK(Encrypt(TForm::Buffer, again, cipher, tag) == 0);
  FUZZ_CHECK(std::equal(cipher.begin(), cipher.end(), c.Data.begin() + static_cast<std::ptrdiff_t>(header)));
  const std::size_t t = static_cast<std::size_t>(c.TagBits / 8);
  FUZZ_CHECK(c.Tag.size() >= t && std::equal(tag.begin(), tag.begin() + static_cast<std::ptrdiff_t>(t), c.Tag.begin()));
  return 0;
}
