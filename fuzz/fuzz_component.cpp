// The component's Decrypt on any text, with key, mode, IV layout, padding, formats and Unicode
// taken from the input. Both forms agree; with raw formats and one byte per character the
// component gives exactly what the engine's DecryptString gives for the same bytes.
#include "FuzzComponent.h"
#include "crypto/support/errorlist.h"

namespace {

using namespace fuzz_support;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzReader in(data, size);
  const TComponentSettings s = TComponentSettings::Read(in);
  const string text = RestText(in, s.wideText);
  AESObj::TAESEncryption c;
  s.Apply(c);

  string plain = u"\uFFFF";
  bool accepted = true;
  try {
    FUZZ_CHECK(c.Decrypt(text, plain) == 0);
  } catch (const platform::Exception&) {
    accepted = false;
  }
  if (accepted) {
    FUZZ_CHECK(c.Decrypt(text) == plain);
  } else {
    bool raised = false;
    try {
      c.Decrypt(text);
    } catch (const platform::Exception&) {
      raised = true;
    }
    FUZZ_CHECK(raised);
  }

  if (s.inputFormat == MiscObj::raw && s.outputFormat == MiscObj::raw && s.unicode == MiscObj::noUni &&
      c.key().size() * 8 == static_cast<std::size_t>(128 + 64 * c.keyLength())) {
    AESModes::TAESModes engine;
    string expected = u"\uFFFF";
    const bool ivIn = s.ivMode == AESObj::rand;
    const Integer st = engine.DecryptString(text, expected, MiscObj::TConvert::StringToByteArray(c.key()),
                                            128 + 64 * c.keyLength(), ivIn, MiscObj::TConvert::StringToByteArray(c.IV()),
                                            s.padding == AESObj::PKCS7, s.type);
    FUZZ_CHECK((st == 0) == accepted);
    if (accepted) FUZZ_CHECK(plain == expected);
  }
  return 0;
}
