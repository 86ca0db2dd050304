// No copy of key text or key bytes is left in memory the library releases: every block handed
// back while an operation runs is searched for the marker key (its bytes, and its text in UTF-16)
// before it is freed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ReleasedMemory.h"
#include "crypto/component/AESObj.h"
#include "platform/Streams.h"

namespace {

using platform::string;

// 16 marker bytes, all below 0x80 so their UTF-8 form is themselves; as hexadecimal key text
// (32 digits) they are the program's kind of key.
const std::string kMarker = "Q7#kZ!p9@xV2&mL4";

class FreedMemory : public testing::Test {
 protected:
  void SetUp() override {
    for (unsigned char c : kMarker) {
      static const char* digits = "0123456789ABCDEF";
      FHexText += static_cast<char16_t>(digits[c >> 4]);
      FHexText += static_cast<char16_t>(digits[c & 15]);
    }
    FMarkerText = string(kMarker.begin(), kMarker.end());
    FMarkerBytes.assign(kMarker.begin(), kMarker.end());
    const auto bytesOf = [](const string& text) {
      const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
      return std::vector<std::uint8_t>(p, p + 2 * text.size());
    };
    secrets_test::SetReleasedPatterns(
        {{"key bytes", FMarkerBytes}, {"key text", bytesOf(FMarkerText)}, {"hexadecimal key text", bytesOf(FHexText)}});
    FDir = std::filesystem::temp_directory_path() / ("aes_secrets_" + std::to_string(::getpid()));
    std::filesystem::create_directories(FDir);
    std::ofstream(FDir / "plain") << std::string(200000, 'p');
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  string Path(const char* name) const { return platform::FromUTF8((FDir / name).string()); }

  // Runs action with the scan on and returns how many released blocks held the marker.
  template <class Action>
  static int FoundDuring(Action action) {
    return static_cast<int>(secrets_test::ReleasedDuring(action).size());
  }

  std::vector<std::uint8_t> FMarkerBytes;
  string FMarkerText, FHexText;
  std::filesystem::path FDir;
};

// The file operations with the key text taken as UTF-8, and key texts replaced by shorter ones.
TEST_F(FreedMemory, FileOperationsAndKeyReplacementLeaveNoKeyCopy) {
  auto c = std::make_unique<AESObj::TAESEncryption>();
  c->SetInputFormat(MiscObj::raw);
  const string plainPath = Path("plain"), cipherPath = Path("cipher"), backPath = Path("back");
  const string longKey = FMarkerText + FMarkerText;
  EXPECT_EQ(0, FoundDuring([&] {
              c->SetKey(FMarkerText);
              c->SetKeyLength(AESObj::kl256);
              c->SetKey(longKey);  // the text grows: its old memory is released
              c->EncryptFileW(plainPath, cipherPath);
              EXPECT_EQ(0, c->DecryptFileW(cipherPath, backPath));
              c->SetKeyLength(AESObj::kl128);
              c->SetKey(string(16, u'z'));
              c.reset();
            }));
}

// The same with the key text decoded from hexadecimal, as the program does: the byte array the
// converter decodes into is wiped before it is released.
TEST_F(FreedMemory, FileOperationsWithHexadecimalKeyTextLeaveNoKeyCopy) {
  auto c = std::make_unique<AESObj::TAESEncryption>();
  c->SetKeyLength(AESObj::kl256);
  c->SetInputFormat(MiscObj::hexa);
  const string plainPath = Path("plain"), cipherPath = Path("cipher"), backPath = Path("back");
  EXPECT_EQ(0, FoundDuring([&] {
              c->SetKey(FHexText);
              c->EncryptFileW(plainPath, cipherPath);
              EXPECT_EQ(0, c->DecryptFileW(cipherPath, backPath));
              c.reset();
            }));
}

TEST_F(FreedMemory, TextAndStreamOperationsLeaveNoKeyCopy) {
  auto c = std::make_unique<AESObj::TAESEncryption>();
  c->SetAType(AESObj::atECB);
  const string plain(5000, u'x');
  EXPECT_EQ(0, FoundDuring([&] {
              c->SetKey(FMarkerText);
              EXPECT_EQ(c->Decrypt(c->Encrypt(plain)), plain);
              platform::TMemoryStream in(std::vector<std::uint8_t>(300000, 1)), out, back;
              c->EncryptStream(&in, &out);
              EXPECT_EQ(0, c->DecryptStream(&out, &back));
              c.reset();
            }));
}

// The scan itself finds a key that is released unwiped.
TEST_F(FreedMemory, ScanFindsAnUnwipedCopy) {
  EXPECT_GT(FoundDuring([&] { delete new std::vector<std::uint8_t>(FMarkerBytes.begin(), FMarkerBytes.end()) ; }), 0);
}

}  // namespace
