// What the CMAC forms refuse and in which order, that a refusal writes nothing, and the stream
// forms' handling of position, size and key length.
#include <gtest/gtest.h>

#include <functional>

#include "CMACTestSupport.h"
#include "Thrown.h"

namespace {

using namespace cmac_test;
using platform::Integer;
using testing_support::OpenSSLCMAC;
using testing_support::RandomBytes;
using testing_support::ThrownMessage;

class CMACArguments : public FormsTest {
 protected:
  const Bytes Key = RandomBytes(16, 1), Msg = RandomBytes(40, 2), Tag = OpenSSLCMAC(Key, Msg);
};

// Each case returns the status; every generation case starts from a tag buffer of 0xEE bytes,
// which a refusal must leave as it was.
TEST_F(CMACArguments, RefusalsAndTheirOrder) {
  const Bytes none, key24 = RandomBytes(24, 3);
  Bytes tag;
  const auto gen = [&](const Bytes& msg, const Bytes& key, Integer keyBits, std::size_t tagBytes, Integer bits) {
    tag.assign(tagBytes, 0xEE);
    return M.MAC_GenerationBinaryBuffer(msg, key, keyBits, tag, bits);
  };
  const auto genFile = [&](const platform::string& path, const Bytes& key, Integer keyBits, std::size_t tagBytes,
                           Integer bits) {
    tag.assign(tagBytes, 0xEE);
    return M.MAC_GenerationFile(path, key, keyBits, tag, bits);
  };
  const Bytes zeros(16, 0), tagOfZeros = OpenSSLCMAC(Key, zeros);
  struct Case {
    const char* name;
    Integer expected;
    std::function<Integer()> run;
  };
  const Case cases[] = {
      {"empty message", -201, [&] { return gen(none, Key, 128, 16, 128); }},
      {"empty tag buffer", -201, [&] { return gen(Msg, Key, 128, 0, 128); }},
      {"empty key", -201, [&] { return gen(Msg, none, 128, 16, 128); }},
      {"key size 100", -206, [&] { return gen(Msg, Key, 100, 16, 136); }},
      {"key shorter than its size", -206, [&] { return gen(Msg, Key, 192, 16, 128); }},
      {"key of 24 bytes for 256 bits", -206, [&] { return gen(Msg, key24, 256, 16, 128); }},
      {"tag of 129 bits", -210, [&] { return gen(Msg, Key, 128, 17, 129); }},
      {"tag of 136 bits", -210, [&] { return gen(Msg, Key, 128, 17, 136); }},
      {"negative tag size", -210, [&] { return gen(Msg, Key, 128, 16, -8); }},
      {"tag buffer shorter than the tag", -201, [&] { return gen(Msg, Key, 128, 15, 128); }},
      {"partial last tag byte needs its byte", -201, [&] { return gen(Msg, Key, 128, 7, 57); }},
      {"file: empty path", -201, [&] { return genFile(u"", Key, 128, 16, 128); }},
      {"file: missing", -203, [&] { return genFile(Path("missing"), Key, 128, 16, 128); }},
      {"file: a directory", -203, [&] { return genFile(Path(""), Key, 128, 16, 128); }},
      {"file: opened before the key size", -203, [&] { return genFile(Path("missing"), Key, 100, 16, 128); }},
      {"file: key size", -206, [&] { return genFile(FileOf(Msg), Key, 100, 16, 128); }},
      {"file: tag buffer short", -201, [&] { return genFile(FileOf(Msg), Key, 128, 8, 128); }},
      // Would verify the tag of sixteen zero bytes in place of the empty message.
      {"verify buffer: empty message", -201,
       [&] { return M.MAC_VerificationBinaryBuffer(none, Key, 128, tagOfZeros, 128); }},
      {"verify buffer: empty tag", -201, [&] { return M.MAC_VerificationBinaryBuffer(Msg, Key, 128, none, 128); }},
      {"verify buffer: tag of 7 bits", -201, [&] { return M.MAC_VerificationBinaryBuffer(Msg, Key, 128, Tag, 7); }},
      {"verify buffer: tag of 0 bits", -201, [&] { return M.MAC_VerificationBinaryBuffer(Msg, Key, 128, Tag, 0); }},
      {"verify buffer: negative tag size", -210,
       [&] { return M.MAC_VerificationBinaryBuffer(Msg, Key, 128, Tag, -1); }},
      {"verify buffer: key size before tag size", -206,
       [&] { return M.MAC_VerificationBinaryBuffer(Msg, Key, 100, Tag, 200); }},
      {"verify buffer: tag buffer short", -201,
       [&] { return M.MAC_VerificationBinaryBuffer(Msg, Key, 128, Bytes(Tag.begin(), Tag.begin() + 8), 72); }},
      // Would compare nothing and accept any tag.
      {"verify string: tag of 0 bits", -201,
       [&] { return M.MAC_VerificationString(ByteString(Msg), 40, Key, 128, Bytes(16, 0), 0); }},
      {"verify string: tag of 7 bits", -201,
       [&] { return M.MAC_VerificationString(ByteString(Msg), 40, Key, 128, Bytes(16, 0), 7); }},
      {"verify string: empty string", -201, [&] { return M.MAC_VerificationString(u"", 0, Key, 128, Tag, 128); }},
      {"verify string: key shorter than its size", -206,
       [&] { return M.MAC_VerificationString(ByteString(Msg), 40, Key, 256, Tag, 128); }},
      {"verify string: tag of 136 bits", -210,
       [&] { return M.MAC_VerificationString(ByteString(Msg), 40, Key, 128, Tag, 136); }},
      {"verify file: empty path", -201, [&] { return M.MAC_VerificationFile(u"", Key, 128, Tag, 128); }},
      {"verify file: tag of 7 bits", -201, [&] { return M.MAC_VerificationFile(FileOf(Msg), Key, 128, Tag, 7); }},
      {"verify file: missing", -203, [&] { return M.MAC_VerificationFile(Path("missing"), Key, 128, Tag, 128); }},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, c.run()) << c.name;
    if (!tag.empty()) {
      EXPECT_EQ(Bytes(tag.size(), 0xEE), tag) << c.name << ": the tag buffer was written";
    }
    tag.clear();
  }
}

// The string form's message is the low byte of every character.
TEST_F(CMACArguments, StringUsesTheLowByteOfEachCharacter) {
  platform::string wide = ByteString(Msg);
  for (auto& c : wide) c = static_cast<char16_t>(c | 0x4100);
  EXPECT_EQ(0, M.MAC_VerificationString(wide, 0, Key, 128, Tag, 128));
}

// A file whose read fails or ends before the size measured at the start is -203, never a tag
// over the bytes that did arrive. A system file that claims a page but holds a few bytes shows it.
TEST_F(CMACArguments, FileShorterThanItsSizeIsAReadFailure) {
  const platform::string path = u"/sys/devices/system/cpu/online";
  std::ifstream probe("/sys/devices/system/cpu/online");
  if (!probe) GTEST_SKIP() << "no such system file here";
  Bytes tag(16, 0xEE);
  EXPECT_EQ(-203, M.MAC_GenerationFile(path, Key, 128, tag, 128));
  EXPECT_EQ(Bytes(16, 0xEE), tag);
  EXPECT_EQ(-203, M.MAC_VerificationFile(path, Key, 128, tag, 128));
}

// A stream that says it is longer than what it delivers.
class TShortStream : public platform::TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  std::int64_t GetSize() override { return TMemoryStream::GetSize() + 1; }
};

TEST_F(CMACArguments, StreamForms) {
  platform::TMemoryStream s(Msg);
  s.SetPosition(13);
  const platform::string t = M.GenerateFromStream(&s, Key);
  EXPECT_EQ(ByteString(Tag), t) << "the whole stream, wherever its position was";
  EXPECT_EQ(40, s.GetPosition());
  EXPECT_EQ(0, M.VerifyFromStream(&s, t, Key));
  EXPECT_EQ(-205, M.VerifyFromStream(&s, t.substr(0, 15), Key));
  EXPECT_EQ(-205, M.VerifyFromStream(&s, t + u'\0', Key));
  platform::string wide = t;
  wide[3] = static_cast<char16_t>(wide[3] | 0x100);  // same low byte, another character
  EXPECT_EQ(-205, M.VerifyFromStream(&s, wide, Key));

  for (std::size_t n : {0, 4, 15, 17, 31, 33, 36, 40}) {
    const Bytes key(n, 7);
    EXPECT_EQ("Invalid Operation : -206", ThrownMessage([&] { M.GenerateFromStream(&s, key); })) << n;
    EXPECT_EQ("Invalid Operation : -206", ThrownMessage([&] { M.VerifyFromStream(&s, t, key); })) << n;
  }
  EXPECT_EQ("Invalid Operation : -201", ThrownMessage([&] { M.GenerateFromStream(nullptr, Key); }));
  TShortStream shortStream(Msg);
  EXPECT_EQ("Invalid Operation : -203", ThrownMessage([&] { M.GenerateFromStream(&shortStream, Key); }));
}

}  // namespace
