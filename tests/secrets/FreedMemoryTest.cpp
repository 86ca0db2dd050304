// No copy of key text or key bytes is left in memory the library releases. This executable
// replaces the global operator delete: while a scan is on, every block handed back is searched
// for the marker key (its bytes, and its text in UTF-16) before it is freed.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "crypto/component/AESObj.h"
#include "platform/Streams.h"

namespace {

struct TPattern {
  const void* Data;
  std::size_t Size;
};

std::atomic<bool> gScanning{false};
TPattern gPatterns[4];
std::size_t gPatternCount = 0;
std::atomic<int> gFound{0};

void Scan(void* p) noexcept {
  if (p == nullptr || !gScanning) return;
  const std::size_t n = ::malloc_usable_size(p);
  for (std::size_t i = 0; i < gPatternCount; ++i)
    if (::memmem(p, n, gPatterns[i].Data, gPatterns[i].Size) != nullptr) ++gFound;
}

}  // namespace

void* operator new(std::size_t n) {
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void operator delete(void* p) noexcept {
  Scan(p);
  std::free(p);
}
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }

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
    gPatterns[0] = {FMarkerBytes.data(), FMarkerBytes.size()};
    gPatterns[1] = {FMarkerText.data(), FMarkerText.size() * 2};
    gPatterns[2] = {FHexText.data(), FHexText.size() * 2};
    gPatternCount = 3;
    FDir = std::filesystem::temp_directory_path() / ("aes_secrets_" + std::to_string(::getpid()));
    std::filesystem::create_directories(FDir);
    std::ofstream(FDir / "plain") << std::string(200000, 'p');
  }
  void TearDown() override { std::filesystem::remove_all(FDir); }

  string Path(const char* name) const { return platform::FromUTF8((FDir / name).string()); }

  // Runs action with the scan on and returns how many released blocks held the marker.
  template <class Action>
  static int FoundDuring(Action action) {
    gFound = 0;
    gScanning = true;
    action();
    gScanning = false;
    return gFound;
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
