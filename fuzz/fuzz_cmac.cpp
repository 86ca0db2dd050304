// libFuzzer target: every CMAC verification form (buffer, string, file, stream) on arbitrary
// keys, key and tag sizes, tags and messages. Properties: only the documented statuses come
// back; a form accepts a tag only if its compared bytes are the generated tag's; the generated
// tag is accepted by every form and refused after one flipped bit in its compared bytes.
// Input: key length, key size selector, tag size, tag length, the key, the tag, the message.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "crypto/engine/AESModes.h"
#include "platform/Files.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

using fuzz_support::TFuzzReader;
using platform::Integer;
using platform::TBytes;

bool Known(Integer st) { return st == 0 || st == -201 || st == -203 || st == -205 || st == -206 || st == -210; }

// One message file per process, removed when the process ends normally.
struct TMessageFile {
  std::string Path = "/tmp/fuzz_cmac_" + std::to_string(::getpid());
  ~TMessageFile() { std::remove(Path.c_str()); }
};

const platform::string& MessageFile() {
  static const TMessageFile file;
  static const platform::string path = platform::FromUTF8(file.Path);
  return path;
}

// The four verification forms on one input; returns their statuses in a fixed order.
struct TVerdicts {
  Integer Buffer, String, File, Stream;
};

TVerdicts VerifyAll(AESModes::TAESModes& m, const TBytes& msg, const TBytes& key, Integer keyBits, const TBytes& tag,
                    Integer tagBits) {
  TVerdicts v{};
  v.Buffer = m.MAC_VerificationBinaryBuffer(msg, key, keyBits, tag, tagBits);
  v.String = m.MAC_VerificationString(platform::string(msg.begin(), msg.end()), 0, key, keyBits, tag, tagBits);
  v.File = m.MAC_VerificationFile(MessageFile(), key, keyBits, tag, tagBits);
  platform::TMemoryStream s(msg);
  try {
    v.Stream = m.VerifyFromStream(&s, platform::string(tag.begin(), tag.end()), key);
  } catch (const platform::Exception&) {
    FUZZ_CHECK(key.size() != 16 && key.size() != 24 && key.size() != 32);  // the only stream refusal here
    v.Stream = -206;
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzReader in(data, size);
  const std::size_t keyLen = in.Byte() % 40;
  constexpr Integer kKeyBits[] = {128, 192, 256, 100};
  const Integer keyBits = kKeyBits[in.Byte() % 4];
  const Integer tagBits = static_cast<Integer>(in.Byte() % 146) - 9;  // -9 .. 136
  const std::size_t tagLen = in.Byte() % 20;
  const TBytes key = in.Bytes(keyLen), tag = in.Bytes(tagLen), msg = in.Rest();
  {
    FILE* f = std::fopen(platform::NativePath(MessageFile()).c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(msg.empty() || std::fwrite(msg.data(), 1, msg.size(), f) == msg.size());
    std::fclose(f);
  }
  AESModes::TAESModes m;
  const TVerdicts v = VerifyAll(m, msg, key, keyBits, tag, tagBits);
  for (Integer st : {v.Buffer, v.String, v.File, v.Stream}) FUZZ_CHECK(Known(st));
  // The message's real tag, when the arguments allow one.
  TBytes full(16);
  const Integer gen = msg.empty() ? -201 : m.MAC_GenerationBinaryBuffer(msg, key, keyBits, full, 128);
  const std::size_t compared = tagBits >= 8 && tagBits <= 128 ? static_cast<std::size_t>(tagBits) / 8 : 0;
  if (gen != 0) {
    FUZZ_CHECK(v.Buffer != 0 && v.String != 0);
    if (v.File == 0) {
      // The file form also verifies the empty message: only with the empty message's real tag
      // (an 8-bit comparison matches by chance once in 256).
      TBytes emptyTag(16);
      FUZZ_CHECK(msg.empty() && m.MAC_GenerationFile(MessageFile(), key, keyBits, emptyTag, 128) == 0);
      FUZZ_CHECK(compared > 0 && tag.size() >= compared && std::equal(tag.begin(), tag.begin() + compared, emptyTag.begin()));
    }
    return 0;
  }
  if (8 * key.size() == static_cast<std::size_t>(keyBits)) {
    platform::TMemoryStream s(msg);
    FUZZ_CHECK(m.VerifyFromStream(&s, platform::string(full.begin(), full.end()), key) == 0);
  }
  for (Integer st : {v.Buffer, v.String, v.File})
    if (st == 0) FUZZ_CHECK(compared > 0 && tag.size() >= compared && std::equal(tag.begin(), tag.begin() + compared, full.begin()));
  if (compared == 0 || tag.size() < (static_cast<std::size_t>(tagBits) + 7) / 8) return 0;
  // Round trip: the real tag is accepted, and one flipped compared bit is not.
  TBytes good = tag;
  std::copy_n(full.begin(), compared, good.begin());
  const TVerdicts ok = VerifyAll(m, msg, key, keyBits, good, tagBits);
  FUZZ_CHECK(ok.Buffer == 0 && ok.String == 0 && ok.File == 0);
  good[msg[0] % compared] ^= static_cast<std::uint8_t>(1u << (msg.size() % 8));
  const TVerdicts bad = VerifyAll(m, msg, key, keyBits, good, tagBits);
  FUZZ_CHECK(bad.Buffer == -205 && bad.String == -205 && bad.File == -205);
  return 0;
}
