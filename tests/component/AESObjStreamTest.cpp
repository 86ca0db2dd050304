#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "Oracle.h"
#include "PaddingCases.h"
#include "Thrown.h"
#include "crypto/support/error.h"
#include "crypto/component/AESObj.h"
#include "crypto/component/KeyText.h"
#include "crypto/support/errorlist.h"
#include "platform/SysUtils.h"

namespace {

using namespace AESObj;
using platform::string;
using testing_support::Bytes;
using testing_support::ThrownMessage;
using testing_support::OpenSSLCrypt;
namespace fs = std::filesystem;

TEST(AESObjConfiguration, OwnerConstructorGivesTheDefaults) {
  platform::TComponent owner;
  auto* c = new TAESEncryption(&owner);
  EXPECT_EQ(c->Owner(), &owner);
  EXPECT_EQ(c->keyLength(), kl128);
  EXPECT_EQ(c->key(), u"");
  EXPECT_EQ(c->IV(), u"");
  EXPECT_EQ(c->AType(), atCBC);
  EXPECT_EQ(c->paddingMode(), PKCS7);
  EXPECT_EQ(c->inputFormat(), MiscObj::raw);
  EXPECT_EQ(c->outputFormat(), MiscObj::raw);
  EXPECT_EQ(c->IVMode(), AESObj::rand);
  EXPECT_EQ(c->Unicode(), MiscObj::yesUni);
  EXPECT_EQ(c->Progress(), 0);
  EXPECT_EQ(c->GetPropertyText("Version"), u"5.0.0.0");
  for (const char* p : {"keyLength", "key", "AType", "inputFormat", "outputFormat", "IVMode", "IV", "paddingMode",
                        "Unicode", "Progress"})
    EXPECT_FALSE(c->IsStored(p)) << p;
}

TEST(AESObjConfiguration, KeyTextIsCheckedAgainstTheKeyLengthWhenSet) {
  TAESEncryption c;
  const string k16(16, u'a'), k32(32, u'b');
  c.SetKey(k16);
  EXPECT_EQ(ThrownMessage([&] { c.SetKey(k32); }), "Keylength incorrect, must be 16");
  EXPECT_EQ(c.key(), k16);
  c.SetKeyLength(kl256);
  EXPECT_EQ(c.key(), k16);  // not checked again
  c.SetKey(k32);
  EXPECT_EQ(c.key(), k32);
  c.SetKey(u"");
  EXPECT_EQ(c.key(), k32);
  c.SetKeyLength(kl192);
  EXPECT_EQ(ThrownMessage([&] { c.SetKey(k16); }), "Keylength incorrect, must be 24");
}

TEST(AESObjConfiguration, IvTextHasSixteenCharacters) {
  TAESEncryption c;
  c.SetIV(string(16, u'i'));
  for (std::size_t n : {15u, 17u}) EXPECT_EQ(ThrownMessage([&] { c.SetIV(string(n, u'x')); }), "IV length incorrect, must be 16");
  c.SetIV(u"");
  EXPECT_EQ(c.IV(), string(16, u'i'));
}

TEST(AESObjConfiguration, ParameterConstructorsCheckTheirTexts) {
  TAESEncryption a(kl192, string(24, u'k'), atOFB, nopadding, MiscObj::base64, MiscObj::noUni);
  EXPECT_EQ(a.keyLength(), kl192);
  EXPECT_EQ(a.inputFormat(), MiscObj::raw);
  EXPECT_EQ(a.outputFormat(), MiscObj::base64);
  EXPECT_EQ(a.IVMode(), AESObj::rand);
  TAESEncryption b(kl128, string(16, u'k'), atCTR, PKCS7, MiscObj::hexa, MiscObj::base32, MiscObj::yesUni,
                   string(16, u'v'));
  EXPECT_EQ(b.IVMode(), userdefined);
  EXPECT_EQ(b.IV(), string(16, u'v'));
  EXPECT_THROW(TAESEncryption(kl256, string(16, u'k'), atECB, PKCS7, MiscObj::raw, MiscObj::yesUni), errorlist::ESelvane);
  EXPECT_THROW(TAESEncryption(kl128, string(16, u'k'), atECB, PKCS7, MiscObj::raw, MiscObj::raw, MiscObj::yesUni,
                              string(15, u'v')),
               errorlist::ESelvane);
}

TEST(AESObjConfiguration, ProgressNotifiesOnlyOnChange) {
  TAESEncryption c;
  int calls = 0;
  platform::TObject* sender = nullptr;
  c.SetOnChange([&](platform::TObject* s) { ++calls, sender = s; });
  c.SetProgress(0);
  EXPECT_EQ(calls, 0);
  c.SetProgress(42);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sender, &c);
  c.SetPropertyText("Progress", u"42");
  EXPECT_EQ(calls, 1);
}

TEST(AESObjConfiguration, PropertiesAreSetByNameInOrder) {
  TAESEncryption c;
  c.SetPropertyText("Version", u"1.2.3.4");
  c.SetPropertyText("keyLength", u"kl256");
  c.SetPropertyText("key", u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b");
  c.SetPropertyText("inputFormat", u"hexa");
  EXPECT_EQ(c.GetPropertyText("Version"), u"5.0.0.0");
  EXPECT_EQ(c.keyLength(), kl256);
  EXPECT_EQ(c.inputFormat(), MiscObj::hexa);
  EXPECT_TRUE(c.IsStored("key"));
  EXPECT_THROW(c.SetPropertyText("AType", u"atXYZ"), platform::EPropertyError);
}

// The destructor's wipe: the key text becomes as many NUL characters as the key length has bytes,
// whatever its length was.
TEST(AESObjConfiguration, KeyWipeLeavesNulCharactersOfTheKeyLength) {
  for (const std::size_t before : {24u, 0u, 40u}) {
    string key(before, u'k');
    WipeKeyText(key, 24);
    EXPECT_EQ(key, string(24, u'\0'));
  }
}

// Streams: the key text taken one byte per character.
TEST(AESObjStreams, KeyTextCharactersAreTheKeyBytes) {
  const string keyText = u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b";
  TAESEncryption c(kl256, keyText, atCBC, PKCS7, MiscObj::hexa, MiscObj::yesUni);
  const Bytes plain = testing_support::RandomBytes(1000, 1);
  platform::TMemoryStream in(plain), out, back;
  c.EncryptStream(&in, &out);
  const Bytes key(keyText.begin(), keyText.end());  // 32 bytes: AES-256
  EXPECT_EQ(out.Bytes(), OpenSSLCrypt(true, 0, key, {}, plain, true));
  EXPECT_EQ(c.DecryptStream(&out, &back), 0);
  EXPECT_EQ(back.Bytes(), plain);
  platform::TMemoryStream garbage(Bytes(32, 0)), sink;
  TAESEncryption other(kl256, string(32, u'z'), atECB, PKCS7, MiscObj::raw, MiscObj::yesUni);
  // Either the padding check fails, and the status says so, or it happens to pass.
  const Integer status = other.DecryptStream(&garbage, &sink);
  EXPECT_TRUE(status == 0 || status == error::kBadPadding);
}

class AESObjFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("aesobj-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  string Path(const char* name) const { return platform::FromUTF8((dir / name).string()); }
  void Write(const char* name, const Bytes& data) const {
    std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), data.size());
  }
  Bytes Read(const char* name) const {
    std::ifstream f(dir / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
  }

  // The program's settings: kl256, a 32-digit hexadecimal key, hexa formats.
  static std::unique_ptr<TAESEncryption> StoredComponent(const string& key = u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b") {
    auto c = std::make_unique<TAESEncryption>();
    c->SetKeyLength(kl256);
    c->SetKey(key);
    c->SetInputFormat(MiscObj::hexa);
    c->SetOutputFormat(MiscObj::hexa);
    c->SetIV(u"4b2e6c1f5a3d7e08");
    return c;
  }

  fs::path dir;
};

TEST_F(AESObjFiles, HexadecimalKeyTextDecodesToUtf8KeyBytes) {
  struct Case {
    string keyText;
    std::size_t keyBytes;  // what the UTF-8 form of the decoded values gives
  };
  // Values below 0x80 give one byte each; values from 0x80 give two.
  const Case cases[] = {
      {u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b", 16},
      {u"80818283848586870001020304050607", 24},
      {u"ff8090a0b0c0d0e0f1f2f3f4f5f6f7f8", 32},
  };
  const Bytes plain = testing_support::RandomBytes(100000, 3);
  Write("plain", plain);
  for (const auto& c : cases) {
    auto component = StoredComponent(c.keyText);
    component->EncryptFileW(Path("plain"), Path("cipher"));
    const Bytes key = platform::EncodeUTF8(MiscObj::TConvert().FormatToChar(c.keyText));
    ASSERT_EQ(key.size(), c.keyBytes);
    EXPECT_EQ(Read("cipher"), OpenSSLCrypt(true, 0, key, {}, plain, true)) << c.keyBytes;
    EXPECT_EQ(component->DecryptFileW(Path("cipher"), Path("back")), 0);
    EXPECT_EQ(Read("back"), plain);
    EXPECT_EQ(component->key(), c.keyText);
  }
}

TEST_F(AESObjFiles, ModeSettingsDoNotReachTheFiles) {
  Write("plain", Bytes(32, 0x61));
  auto c = StoredComponent();
  c->SetAType(atCBC);
  c->SetIVMode(AESObj::rand);
  c->SetPaddingMode(nopadding);
  c->SetInputFormat(MiscObj::base64);  // still decoded as hexadecimal
  c->EncryptFileW(Path("plain"), Path("cipher"));
  const Bytes cipher = Read("cipher");
  ASSERT_EQ(cipher.size(), 48u);
  EXPECT_TRUE(std::equal(cipher.begin(), cipher.begin() + 16, cipher.begin() + 16));
  EXPECT_EQ(cipher, OpenSSLCrypt(true, 0, testing_support::FromHex("3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b"), {}, Bytes(32, 0x61), true));
}

TEST_F(AESObjFiles, RawInputFormatTakesTheKeyTextAsUtf8) {
  Write("plain", Bytes(10, 1));
  TAESEncryption c(kl128, u"\u00e9bcdefghijklmnop", atECB, PKCS7, MiscObj::raw, MiscObj::yesUni);
  c.EncryptFileW(Path("plain"), Path("cipher"));
  // One character from U+0080 adds one byte: 17 bytes, Nk = 4, AES-128 on the first 16.
  const Bytes key = platform::EncodeUTF8(u"\u00e9bcdefghijklmnop");
  ASSERT_EQ(key.size(), 17u);
  EXPECT_EQ(Read("cipher"), OpenSSLCrypt(true, 0, Bytes(key.begin(), key.begin() + 16), {}, Bytes(10, 1), true));
}

TEST_F(AESObjFiles, ProgressSteps) {
  Write("plain", {});
  auto c = StoredComponent();
  std::vector<Integer> seen;
  c->SetOnChange([&](platform::TObject*) { seen.push_back(c->Progress()); });
  c->EncryptFileW(Path("plain"), Path("cipher"));
  EXPECT_EQ(seen, (std::vector<Integer>{10, 20, 95, 100}));
  EXPECT_EQ(Read("cipher").size(), 16u);
  seen.clear();
  EXPECT_EQ(c->DecryptFileW(Path("cipher"), Path("back")), 0);
  EXPECT_EQ(seen, (std::vector<Integer>{0, 10, 20, 95, 100}));
  EXPECT_TRUE(Read("back").empty());
}

TEST_F(AESObjFiles, MissingInputRaisesBeforeTheOutputIsTouched) {
  Write("cipher", Bytes(7, 9));
  auto c = StoredComponent();
  c->SetProgress(55);
  const std::string message = ThrownMessage([&] { c->EncryptFileW(Path("absent"), Path("cipher")); });
  EXPECT_NE(message.find("absent"), std::string::npos) << message;
  EXPECT_EQ(Read("cipher"), Bytes(7, 9));
  EXPECT_EQ(c->Progress(), 0);
}

TEST_F(AESObjFiles, OutputThatCannotBeCreatedRaisesAtProgressTen) {
  Write("plain", Bytes(3, 1));
  auto c = StoredComponent();
  EXPECT_THROW(c->EncryptFileW(Path("plain"), Path("no-such-dir/cipher")), platform::EFOpenError);
  EXPECT_EQ(c->Progress(), 10);
}

TEST_F(AESObjFiles, LongerOldOutputIsReplacedCompletely) {
  Write("plain", Bytes(5, 2));
  Write("cipher", Bytes(1000, 0xEE));
  auto c = StoredComponent();
  c->EncryptFileW(Path("plain"), Path("cipher"));
  EXPECT_EQ(Read("cipher").size(), 16u);
}

TEST_F(AESObjFiles, FailedPaddingCheckIsReturnedAfterEverySteps) {
  Write("plain", testing_support::RandomBytes(40, 5));
  auto c = StoredComponent();
  c->EncryptFileW(Path("plain"), Path("cipher"));
  // Decrypting under other keys: the status reports the padding check; a failed check leaves the
  // earlier output as it was.
  Write("back", Bytes(3, 7));
  int failures = 0;
  for (std::uint32_t seed = 0; seed < 16; ++seed) {
    Bytes key = testing_support::RandomBytes(16, seed);
    for (auto& b : key) b &= 0x7F;
    const std::string hex = testing_support::ToHex(key);
    auto other = StoredComponent(string(hex.begin(), hex.end()));
    const Integer status = other->DecryptFileW(Path("cipher"), Path("back"));
    ASSERT_TRUE(status == 0 || status == error::kBadPadding);
    failures += status == error::kBadPadding;
    EXPECT_EQ(other->Progress(), 100);
    if (status != 0) {
      EXPECT_EQ(Read("back"), Bytes(3, 7));
    }
  }
  EXPECT_GT(failures, 12);
}

// Every padded decryption of the component refuses what the padding check refuses: the stream
// form returns -208, the file form returns it and leaves its output as it was, the text form
// raises it.
TEST_F(AESObjFiles, PaddingCheckCoversTheWholePadding) {
  const string keyText = u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b";
  auto files = StoredComponent(keyText);
  const Bytes fileKey = testing_support::FromHex("3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b");
  const Bytes streamKey(keyText.begin(), keyText.end());
  const string textKeyText = u"0123456789abcdef";
  TAESEncryption text(kl128, textKeyText, atECB, PKCS7, MiscObj::raw, MiscObj::noUni);
  const Bytes textKey(textKeyText.begin(), textKeyText.end());
  for (const auto& c : testing_support::FinalBlockCases()) {
    SCOPED_TRACE(c.Name);
    const bool good = c.PlainBytes >= 0;
    const Bytes plain = good ? testing_support::PlainEndingIn(c) : Bytes();
    Write("cipher", testing_support::CipherEndingIn(fileKey, c.Block));
    Write("back", Bytes(3, 7));
    EXPECT_EQ(files->DecryptFileW(Path("cipher"), Path("back")), good ? 0 : error::kBadPadding);
    EXPECT_EQ(Read("back"), good ? plain : Bytes(3, 7));

    platform::TMemoryStream in(testing_support::CipherEndingIn(streamKey, c.Block)), out;
    EXPECT_EQ(files->DecryptStream(&in, &out), good ? 0 : error::kBadPadding);

    const Bytes textCipher = testing_support::CipherEndingIn(textKey, c.Block);
    const std::string message = ThrownMessage([&] { text.Decrypt(string(textCipher.begin(), textCipher.end())); });
    EXPECT_EQ(message, good ? "no error" : "Invalid Operation : -208");
  }
}

// The output may name the input itself: by its path, through a link, or as a hard link (whose
// other name keeps the input).
TEST_F(AESObjFiles, SamePathForInputAndOutput) {
  const Bytes plain = testing_support::RandomBytes(1000, 6);
  fs::create_symlink("file", dir / "link");
  for (const char* out : {"file", "link", "hard"}) {
    SCOPED_TRACE(out);
    fs::remove(dir / "file");
    fs::remove(dir / "hard");
    Write("file", plain);
    fs::create_hard_link(dir / "file", dir / "hard");
    auto c = StoredComponent();
    c->EncryptFileW(Path("file"), Path(out));
    const Bytes cipher = Read(out);
    EXPECT_EQ(cipher, OpenSSLCrypt(true, 0, testing_support::FromHex("3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b"), {}, plain, true));
    EXPECT_EQ(Read("file"), std::string(out) == "hard" ? plain : cipher);
    // A wrong key fails the padding check and must not destroy the only copy of the cipher text.
    auto wrong = StoredComponent(u"00000000000000000000000000000000");
    ASSERT_EQ(wrong->DecryptFileW(Path(out), Path(out)), error::kBadPadding);
    EXPECT_EQ(Read(out), cipher);
    EXPECT_EQ(c->DecryptFileW(Path(out), Path(out)), 0);
    EXPECT_EQ(Read(out), plain);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 3);
}

// The chunk progress reports input bytes after each chunk; a cancel raises EAbort and leaves the
// output file as it was.
TEST_F(AESObjFiles, ChunkProgressAndCancel) {
  Write("plain", testing_support::RandomBytes(400000, 7));
  auto c = StoredComponent();
  std::vector<std::pair<std::int64_t, std::int64_t>> seen;
  c->SetChunkProgress([&](std::int64_t done, std::int64_t total) {
    seen.emplace_back(done, total);
    return true;
  });
  c->EncryptFileW(Path("plain"), Path("cipher"));
  using P = std::pair<std::int64_t, std::int64_t>;
  EXPECT_EQ(seen, (std::vector<P>{{160000, 400000}, {320000, 400000}, {400000, 400000}}));
  const Bytes cipher = Read("cipher");

  for (std::int64_t stopAt : {160000, 400000}) {
    c->SetChunkProgress([stopAt](std::int64_t done, std::int64_t) { return done < stopAt; });
    Write("back", Bytes(5, 5));
    EXPECT_THROW(c->DecryptFileW(Path("cipher"), Path("back")), platform::EAbort);
    EXPECT_EQ(Read("back"), Bytes(5, 5));
    EXPECT_THROW(c->EncryptFileW(Path("plain"), Path("cipher")), platform::EAbort);
    EXPECT_EQ(Read("cipher"), cipher);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 3);
}

// An input that is not a regular file is refused at once, naming it, before the output is touched.
TEST_F(AESObjFiles, InputThatIsNotARegularFileIsRefused) {
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/zero", dir / "zero");
  Write("cipher", Bytes(4, 4));
  auto c = StoredComponent();
  for (const char* name : {"fifo", "zero"}) {
    const std::string message = ThrownMessage([&] { c->EncryptFileW(Path(name), Path("cipher")); });
    EXPECT_NE(message.find((dir / name).string()), std::string::npos) << message;
    EXPECT_EQ(Read("cipher"), Bytes(4, 4));
    EXPECT_EQ(c->Progress(), 0);
  }
}

}  // namespace
