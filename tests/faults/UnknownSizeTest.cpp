// Inputs whose size cannot be known: a stream whose size reads negative (an unseekable source),
// and a regular file that reports 0 bytes but yields some (files under /proc). Each form reports
// them as it reports a failed read, before anything is written; none takes them as empty.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

#include "../platform/TempDir.h"
#include "Oracle.h"
#include "Thrown.h"
#include "crypto/component/AESObj.h"
#include "crypto/engine/AESModes.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

using AESModes::TAESModes;
using platform::TMemoryStream;
using testing_support::Bytes;
using testing_support::ThrownMessage;

const Bytes kKey(16, 0x4B);

// Holds its bytes and reads them, but cannot say how many there are.
class TUnknownSizeStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::int64_t GetSize() override { return -1; }
};

// What a failed read raises in each stream form: the read exception, or the operation error -203.
std::string ReadFailure(const std::function<void()>& action) {
  try {
    action();
  } catch (const platform::EReadError&) {
    return "read error";
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

TEST(UnknownSize, StreamOfNegativeSizeIsAReadFailureInEveryForm) {
  TAESModes engine;
  AESObj::TAESEncryption component(AESObj::kl128, std::u16string(16, u'K'), AESObj::atECB, AESObj::PKCS7,
                                   MiscObj::raw, MiscObj::yesUni);
  const Bytes data = testing_support::RandomBytes(400007, 3);
  struct TCase {
    const char* Name;
    std::string Expected;
    std::function<void(platform::TStream* in, platform::TStream* out)> Run;
  };
  const TCase cases[] = {
      {"EncryptStream", "read error", [&](auto* in, auto* out) { engine.EncryptStream(in, out, kKey, {}); }},
      {"DecryptStream", "read error", [&](auto* in, auto* out) { engine.DecryptStream(in, out, kKey, {}); }},
      {"component EncryptStream", "read error", [&](auto* in, auto* out) { component.EncryptStream(in, out); }},
      {"component DecryptStream", "read error", [&](auto* in, auto* out) { component.DecryptStream(in, out); }},
      {"GenerateFromStream", "Invalid Operation : -203", [&](auto* in, auto*) { engine.GenerateFromStream(in, kKey); }},
      {"VerifyFromStream", "Invalid Operation : -203",
       [&](auto* in, auto*) { engine.VerifyFromStream(in, std::u16string(16, u'\0'), kKey); }},
      {"GCM encryption", "Invalid Operation : -203",
       [&](auto* in, auto* out) {
         TMemoryStream tag;
         engine.EncryptAndGenerateFromStream(in, out, nullptr, &tag, kKey, {});
       }},
      {"GCM encryption's additional data", "Invalid Operation : -203",
       [&](auto* aad, auto* out) {
         TMemoryStream plain(Bytes(5)), tag;
         engine.EncryptAndGenerateFromStream(&plain, out, aad, &tag, kKey, {});
       }},
      {"GCM decryption", "Invalid Operation : -203",
       [&](auto* in, auto* out) {
         TMemoryStream tag(Bytes(16));
         engine.DecryptAndVerifyFromStream(in, out, nullptr, &tag, kKey, {}, 128);
       }},
      {"GCM decryption's additional data", "Invalid Operation : -203",
       [&](auto* aad, auto* out) {
         TMemoryStream cipher(Bytes(40)), tag(Bytes(16));
         engine.DecryptAndVerifyFromStream(&cipher, out, aad, &tag, kKey, {}, 128);
       }},
  };
  for (const auto& c : cases) {
    TUnknownSizeStream in(data);
    TMemoryStream out;
    EXPECT_EQ(c.Expected, ReadFailure([&] { c.Run(&in, &out); })) << c.Name;
    EXPECT_EQ(0, out.GetSize()) << c.Name << ": nothing written";
  }
}

// /proc files report a size of 0 and yield their text all the same.
class ZeroSizedFile : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    std::ifstream probe(kProcFile);
    if (!probe || std::string(std::istreambuf_iterator<char>(probe), {}).empty())
      GTEST_SKIP() << "no /proc file with bytes here";
    WriteFile("out", "earlier output");
  }
  static constexpr const char* kProcFile = "/proc/self/status";
  const platform::string Proc = platform::FromUTF8(kProcFile);
};

TEST_F(ZeroSizedFile, ThatYieldsBytesIsRefusedLikeAFailedRead) {
  TAESModes m;
  for (bool padding : {true, false}) {
    EXPECT_EQ(-203, m.EncryptFile(Proc, Path("out"), kKey, 128, false, {}, padding, 1)) << padding;
    EXPECT_EQ(-203, m.DecryptFile(Proc, Path("out"), kKey, 128, false, {}, padding, 1)) << padding;
  }
  Bytes tag(16, 0xEE);
  EXPECT_EQ(-203, m.MAC_GenerationFile(Proc, kKey, 128, tag, 128));
  EXPECT_EQ(Bytes(16, 0xEE), tag);
  auto component = std::make_unique<AESObj::TAESEncryption>();
  component->SetKeyLength(AESObj::kl256);
  component->SetKey(u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b");
  component->SetInputFormat(MiscObj::hexa);
  EXPECT_EQ("read error", ReadFailure([&] { component->EncryptFileW(Proc, Path("out")); }));
  EXPECT_EQ("earlier output", ReadFile("out"));

  // A file that really is empty is still processed as empty.
  WriteFile("empty", "");
  EXPECT_EQ(0, m.EncryptFile(Path("empty"), Path("out"), kKey, 128, false, {}, true, 1));
  EXPECT_EQ(16u, ReadFile("out").size());
}

}  // namespace
