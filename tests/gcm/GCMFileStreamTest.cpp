// File and stream forms: whole-or-nothing output and tag files, verify-first decryption, the
// _IVIn / empty-IV layouts, statuses and raised errors, and a tag above 2^28 bytes of data.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>

#include "GCMForms.h"
#include "Thrown.h"
#include "platform/OSRandomFailure.h"

namespace {

using namespace gcm_test;
using AESModes::TAESModes;
using testing_support::RandomBytes;

bool NoTemporaryFiles() {
  for (const auto& e : fs::directory_iterator(ScratchDir()))
    if (e.path().filename().string().find(".partial") != std::string::npos) return false;
  return true;
}

struct FileCase : FileSet {
  TBytes Key = RandomBytes(16, 21), IV = RandomBytes(12, 22);
  Bytes Plain = RandomBytes(100001, 23), AADBytes = RandomBytes(33, 24);
  FileCase() {
    Put(In, Plain);
    Put(AAD, AADBytes);
    Put(Out, Bytes(5, 'o'));
    Put(Tag, Bytes(3, 't'));
  }
  Integer Encrypt(Integer tagBits = 128) {
    return TAESModes().GCM_EncryptFile(U16(In), U16(AAD), U16(Out), Key, 128, IV, 96, U16(Tag), tagBits);
  }
  Integer Decrypt(const fs::path& cipher, const fs::path& plain, Integer tagBits = 128) {
    return TAESModes().GCM_DecryptFile(U16(cipher), U16(AAD), U16(plain), Key, 128, IV, 96, U16(Tag), tagBits);
  }
};

TEST(GCMFile, DecryptionWritesNothingUnlessTheTagMatches) {
  FileCase f;
  ASSERT_EQ(f.Encrypt(96), 0);
  EXPECT_EQ(Get(f.Tag).size(), 12u);  // replaced whole: no trailing bytes of the old file
  const fs::path plain = Scratch("plain");
  Put(plain, Bytes(7, 'p'));
  Bytes cipher = Get(f.Out);
  cipher[cipher.size() / 2] ^= 0x80;
  const fs::path bad = Scratch("bad");
  Put(bad, cipher);
  EXPECT_EQ(f.Decrypt(bad, plain, 96), -200);
  EXPECT_EQ(Get(plain), Bytes(7, 'p'));
  EXPECT_TRUE(NoTemporaryFiles());
  EXPECT_EQ(f.Decrypt(f.Out, plain, 96), 0);
  EXPECT_EQ(Get(plain), f.Plain);
  EXPECT_EQ(f.Decrypt(f.Out, plain, 0), -201);  // a tag of no bytes would accept anything
  fs::remove(bad);
  fs::remove(plain);
}

TEST(GCMFile, StatusesInOrderAndNoFileChanged) {
  FileCase f;
  const platform::string none = U16(ScratchDir() / "does-not-exist");
  struct Bad {
    const char* What;
    std::function<Integer(FileCase&)> Run;
    Integer Status;
  } cases[] = {
      {"empty path",
       [](FileCase& c) {
         return TAESModes().GCM_EncryptFile(u"", U16(c.AAD), U16(c.Out), c.Key, 128, c.IV, 96, U16(c.Tag), 128);
       },
       -201},
      {"tag above 128", [](FileCase& c) { return c.Encrypt(129); }, -204},
      {"short IV",
       [](FileCase& c) {
         return TAESModes().GCM_EncryptFile(U16(c.In), U16(c.AAD), U16(c.Out), c.Key, 128, c.IV, 104, U16(c.Tag), 128);
       },
       -201},
      {"missing output",
       [&](FileCase& c) {
         return TAESModes().GCM_EncryptFile(U16(c.In), U16(c.AAD), none, c.Key, 128, c.IV, 96, U16(c.Tag), 128);
       },
       -203},
      {"missing input",
       [&](FileCase& c) {
         return TAESModes().GCM_EncryptFile(none, U16(c.AAD), U16(c.Out), c.Key, 128, c.IV, 96, U16(c.Tag), 128);
       },
       -203},
      {"key size",
       [](FileCase& c) {
         return TAESModes().GCM_EncryptFile(U16(c.In), U16(c.AAD), U16(c.Out), c.Key, 192, c.IV, 96, U16(c.Tag), 128);
       },
       -206},
      {"IVIn cipher shorter than its IV",
       [](FileCase& c) {
         Put(c.In, Bytes(11));
         return TAESModes().GCM_DecryptFile_IVIn(U16(c.In), U16(c.AAD), U16(c.Out), c.Key, 128, U16(c.Tag), 128);
       },
       -201},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Run(f), c.Status) << c.What;
    EXPECT_EQ(Get(f.Out), Bytes(5, 'o')) << c.What;
    EXPECT_EQ(Get(f.Tag), Bytes(3, 't')) << c.What;
  }
  EXPECT_TRUE(NoTemporaryFiles());
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{}));
}

// An additional-data file that cannot be opened raises the file streams' open error, naming the
// file, in all four forms, once the input, output and tag files are closed (no descriptor stays
// open, so no unnamed temporary either) and with output and tag as they were.
TEST(GCMFile, UnopenableAdditionalDataRaisesTheStreamsOpenError) {
  FileCase f;
  ASSERT_EQ(f.Encrypt(), 0);
  const Bytes out = Get(f.Out), tag = Get(f.Tag);
  const fs::path plain = Scratch("plain");
  Put(plain, Bytes(4, 'p'));
  const platform::string none = U16(ScratchDir() / "no-additional-data");
  const std::function<Integer(TAESModes&)> forms[] = {
      [&](TAESModes& m) { return m.GCM_EncryptFile(U16(f.In), none, U16(f.Out), f.Key, 128, f.IV, 96, U16(f.Tag), 128); },
      [&](TAESModes& m) { return m.GCM_EncryptFile_IVIn(U16(f.In), none, U16(f.Out), f.Key, 128, U16(f.Tag), 128); },
      [&](TAESModes& m) { return m.GCM_DecryptFile(U16(f.Out), none, U16(plain), f.Key, 128, f.IV, 96, U16(f.Tag), 128); },
      [&](TAESModes& m) { return m.GCM_DecryptFile_IVIn(U16(f.Out), none, U16(plain), f.Key, 128, U16(f.Tag), 128); },
  };
  for (std::size_t i = 0; i < std::size(forms); ++i) {
    SCOPED_TRACE(i);
    TAESModes m;
    const std::size_t descriptors = OpenDescriptors();
    std::string message = "no error";
    try {
      forms[i](m);
    } catch (const platform::EFOpenError& e) {
      message = e.what();
    }
    EXPECT_EQ(message, "Cannot open file \"" + (ScratchDir() / "no-additional-data").string() +
                           "\". No such file or directory");
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(Get(f.Out), out);
    EXPECT_EQ(Get(f.Tag), tag);
    EXPECT_EQ(Get(plain), Bytes(4, 'p'));
  }
  EXPECT_TRUE(NoTemporaryFiles());
  fs::remove(plain);
}

// Output and tag files that are dangling links have the files they name created; a link loop
// is -203 with nothing written.
TEST(GCMFile, DanglingOutputLinksCreateTheirFiles) {
  FileCase f;
  const fs::path dir = Scratch("links");
  fs::create_directories(dir);
  fs::create_symlink("cipher", dir / "out");
  fs::create_symlink("tag", dir / "tag-link");
  fs::create_symlink("loop", dir / "loop");
  TAESModes m;
  EXPECT_EQ(m.GCM_EncryptFile(U16(f.In), U16(f.AAD), U16(dir / "loop"), f.Key, 128, f.IV, 96, U16(dir / "tag-link"), 128),
            -203);
  EXPECT_FALSE(fs::exists(dir / "tag"));
  ASSERT_EQ(m.GCM_EncryptFile(U16(f.In), U16(f.AAD), U16(dir / "out"), f.Key, 128, f.IV, 96, U16(dir / "tag-link"), 128), 0);
  const auto ref = testing_support::OpenSSLGCMEncrypt(f.Key, f.IV, f.AADBytes, f.Plain);
  EXPECT_EQ(Get(dir / "cipher"), ref.Cipher);
  EXPECT_EQ(Get(dir / "tag"), ref.Tag);
  EXPECT_TRUE(fs::is_symlink(dir / "out"));
  fs::create_symlink("plain", dir / "back");
  ASSERT_EQ(m.GCM_DecryptFile(U16(dir / "out"), U16(f.AAD), U16(dir / "back"), f.Key, 128, f.IV, 96, U16(dir / "tag-link"), 128),
            0);
  EXPECT_EQ(Get(dir / "plain"), f.Plain);
  fs::remove_all(dir);
}

TEST(GCMFile, IVInLayoutRoundTrip) {
  FileCase f;
  TAESModes m;
  ASSERT_EQ(m.GCM_EncryptFile_IVIn(U16(f.In), U16(f.AAD), U16(f.Out), f.Key, 128, U16(f.Tag), 128), 0);
  const Bytes cipher = Get(f.Out);
  ASSERT_EQ(cipher.size(), f.Plain.size() + 12);
  const auto ref = testing_support::OpenSSLGCMEncrypt(f.Key, Take(cipher, 12), f.AADBytes, f.Plain);
  EXPECT_EQ(Bytes(cipher.begin() + 12, cipher.end()), ref.Cipher);
  EXPECT_EQ(Get(f.Tag), ref.Tag);
  const fs::path plain = Scratch("plain");
  Put(plain, {});
  EXPECT_EQ(m.GCM_DecryptFile_IVIn(U16(f.Out), U16(f.AAD), U16(plain), f.Key, 128, U16(f.Tag), 128), 0);
  EXPECT_EQ(Get(plain), f.Plain);
  fs::remove(plain);
}

// Every regular file and link of the folder: the bytes of a file, the target of a link.
std::map<std::string, Bytes> Snapshot(const fs::path& dir) {
  std::map<std::string, Bytes> files;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (e.is_symlink()) {
      const std::string target = fs::read_symlink(e.path()).string();
      files[name] = Bytes(target.begin(), target.end());
    } else {
      files[name] = Get(e.path());
    }
  }
  return files;
}

// Two paths naming one file, by the same spelling, a symbolic link or a hard link: an output
// that would overwrite the other output or an input it needs is refused with -203 before
// anything is written. Each case would return 0 and lose a file without the check.
TEST(GCMFile, PathsNamingOneFileAreRefusedBeforeAnythingIsWritten) {
  const fs::path dir = Scratch("same");
  fs::create_directories(dir);
  const TBytes key = RandomBytes(16, 61), iv = RandomBytes(12, 62);
  Put(dir / "plain", RandomBytes(1000, 63));
  Put(dir / "aad", RandomBytes(10, 64));
  Put(dir / "cipher", {});
  Put(dir / "tag", {});
  const auto encrypt = [&](const char* in, const char* aad, const char* out, const char* tag) {
    return TAESModes().GCM_EncryptFile(U16(dir / in), U16(dir / aad), U16(dir / out), key, 128, iv, 96,
                                       U16(dir / tag), 128);
  };
  const auto decrypt = [&](const char* in, const char* aad, const char* out, const char* tag) {
    return TAESModes().GCM_DecryptFile(U16(dir / in), U16(dir / aad), U16(dir / out), key, 128, iv, 96,
                                       U16(dir / tag), 128);
  };
  ASSERT_EQ(encrypt("plain", "aad", "cipher", "tag"), 0);
  fs::create_symlink("tag", dir / "tag-link");
  fs::create_symlink(dir / "plain", dir / "plain-link");
  fs::create_hard_link(dir / "tag", dir / "tag-hard");
  fs::create_hard_link(dir / "aad", dir / "aad-hard");
  const auto before = Snapshot(dir);

  struct Same {
    const char* What;
    bool Encrypt;
    const char *In, *AAD, *Out, *Tag;
  } cases[] = {
      {"output = tag", true, "plain", "aad", "tag", "tag"},
      {"tag = input", true, "plain", "aad", "cipher", "plain"},
      {"output = additional data", true, "plain", "aad", "aad", "tag"},
      {"tag = additional data", true, "plain", "aad", "cipher", "aad"},
      {"output a link to the tag", true, "plain", "aad", "tag-link", "tag"},
      {"output a hard link of the tag", true, "plain", "aad", "tag-hard", "tag"},
      {"tag a link to the input", true, "plain", "aad", "cipher", "plain-link"},
      {"decryption: output = tag", false, "cipher", "aad", "tag", "tag"},
      {"decryption: output = additional data", false, "cipher", "aad", "aad", "tag"},
      {"decryption: output a hard link of the additional data", false, "cipher", "aad", "aad-hard", "tag"},
      {"decryption: output a link to the tag", false, "cipher", "aad", "tag-link", "tag"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Encrypt ? encrypt(c.In, c.AAD, c.Out, c.Tag) : decrypt(c.In, c.AAD, c.Out, c.Tag), -203) << c.What;
    EXPECT_EQ(Snapshot(dir), before) << c.What;
  }

  // The output may replace its own input, by name or through a link, whole and on success only.
  const Bytes plain = Get(dir / "plain");
  ASSERT_EQ(encrypt("plain", "aad", "plain-link", "tag"), 0);
  EXPECT_EQ(Get(dir / "plain"), Get(dir / "cipher"));
  EXPECT_TRUE(fs::is_symlink(dir / "plain-link"));
  ASSERT_EQ(decrypt("plain", "aad", "plain", "tag"), 0);
  EXPECT_EQ(Get(dir / "plain"), plain);
  fs::remove_all(dir);
}

// A write the OS refuses (the process's file size limit, SIGXFSZ ignored) ends both directions
// with -213; the output file stays as it was and no temporary file remains.
TEST(GCMFile, FailedWriteIsReportedAndChangesNothing) {
  FileCase f;
  ASSERT_EQ(f.Encrypt(), 0);
  const fs::path cipher = Scratch("cipher"), plain = Scratch("plain");
  fs::copy_file(f.Out, cipher);
  Put(f.Out, Bytes(5, 'o'));
  Put(plain, Bytes(5, 'p'));
  rlimit saved{};
  ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &saved));
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &small));
  const Integer enc = f.Encrypt(), dec = f.Decrypt(cipher, plain);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_EQ(enc, -213);
  EXPECT_EQ(dec, -213);
  EXPECT_EQ(Get(f.Out), Bytes(5, 'o'));
  EXPECT_EQ(Get(plain), Bytes(5, 'p'));
  EXPECT_TRUE(NoTemporaryFiles());
  fs::remove(cipher);
  fs::remove(plain);
}

// A failing generator never gives a predictable IV: its status is returned (raised by streams)
// and nothing is written.
TEST(GCMForms, FailingRandomGeneratorIsReported) {
  const Integer status = static_cast<Integer>(0x80070000u | EIO);
  const platform::ScopedRandomFailure failing(EIO);
  TAESModes m;
  const TBytes key = RandomBytes(16, 51), plain = RandomBytes(20, 52);
  TBytes out(32, 0xAA), tag(16, 0xAA);
  EXPECT_EQ(m.GCM_EncryptBinaryBuffer_IVIn(plain, 0, {}, 0, out, key, 128, tag, 128), status);
  EXPECT_EQ(m.GCM_EncryptString_IVIn(u"text", TBytes{1}, out, key, 128, tag, 128), status);
  EXPECT_EQ(out, TBytes(32, 0xAA));
  EXPECT_EQ(tag, TBytes(16, 0xAA));
  FileCase f;
  EXPECT_EQ(m.GCM_EncryptFile_IVIn(U16(f.In), U16(f.AAD), U16(f.Out), key, 128, U16(f.Tag), 128), status);
  EXPECT_EQ(Get(f.Out), Bytes(5, 'o'));
  platform::TMemoryStream in(plain), o, t;
  EXPECT_EQ(testing_support::ThrownMessage([&] { m.EncryptAndGenerateFromStream(&in, &o, nullptr, &t, key, {}); }),
            "Invalid Operation : " + std::to_string(status));
  EXPECT_TRUE(o.Bytes().empty());
}

TEST(GCMStream, LayoutsPositionsAndRaisedErrors) {
  TAESModes m;
  const TBytes key = RandomBytes(32, 31), plain = RandomBytes(1000, 32), aadBytes = RandomBytes(7, 33);
  platform::TMemoryStream in(plain), out, aad(aadBytes), tag;
  in.Seek(0, platform::TSeekOrigin::soEnd);  // processed from the start all the same
  m.EncryptAndGenerateFromStream(&in, &out, &aad, &tag, key, {});
  ASSERT_EQ(out.Bytes().size(), 1012u);
  const Bytes iv = Take(out.Bytes(), 12);
  const auto ref = testing_support::OpenSSLGCMEncrypt(key, iv, aadBytes, plain);
  EXPECT_EQ(Bytes(out.Bytes().begin() + 12, out.Bytes().end()), ref.Cipher);
  EXPECT_EQ(tag.Bytes(), ref.Tag);
  platform::TMemoryStream cipher(out.Bytes()), back, tagIn(tag.Bytes());
  EXPECT_EQ(m.DecryptAndVerifyFromStream(&cipher, &back, &aad, &tagIn, key, {}, 128), 0);
  EXPECT_EQ(back.Bytes(), plain);

  // A nil additional-data stream and an empty one give the same tag.
  platform::TMemoryStream o1, o2, t1, t2, empty;
  const TBytes iv16 = RandomBytes(16, 34);  // only the first 12 bytes count
  m.EncryptAndGenerateFromStream(&in, &o1, nullptr, &t1, key, iv16);
  m.EncryptAndGenerateFromStream(&in, &o2, &empty, &t2, key, Take(iv16, 12));
  EXPECT_EQ(t1.Bytes(), t2.Bytes());
  EXPECT_EQ(o1.Bytes(), o2.Bytes());

  struct Bad {
    const char* What;
    std::function<void()> Run;
    Integer Status;
  } cases[] = {
      {"nil input", [&] { m.EncryptAndGenerateFromStream(nullptr, &out, &aad, &tag, key, {}); }, -201},
      {"nil tag", [&] { m.DecryptAndVerifyFromStream(&cipher, &back, &aad, nullptr, key, {}, 128); }, -201},
      {"IV of 11 bytes", [&] { m.EncryptAndGenerateFromStream(&in, &out, &aad, &tag, key, TBytes(11)); }, -201},
      {"key of 20 bytes", [&] { m.EncryptAndGenerateFromStream(&in, &out, &aad, &tag, TBytes(20), {}); }, -206},
      {"tag above 128", [&] { m.DecryptAndVerifyFromStream(&cipher, &back, &aad, &tagIn, key, {}, 136); }, -204},
      {"tag of 0 bits", [&] { m.DecryptAndVerifyFromStream(&cipher, &back, &aad, &tagIn, key, {}, 0); }, -201},
  };
  for (const auto& c : cases)
    EXPECT_EQ(testing_support::ThrownMessage(c.Run), "Invalid Operation : " + std::to_string(c.Status)) << c.What;
}

// A stream with a position and a size of its own; the derived streams serve the bytes.
class SizedStream : public platform::TStream {
 public:
  explicit SizedStream(std::int64_t size) : FSize(size) {}
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
    FPos = origin == platform::TSeekOrigin::soBeginning ? offset
           : origin == platform::TSeekOrigin::soEnd     ? FSize + offset
                                                        : FPos + offset;
    return FPos;
  }
  std::int64_t GetSize() override { return FSize; }

 protected:
  std::int64_t FSize, FPos = 0;
};

// A cipher stream that serves its bytes as they are until the first pass has read them all, then
// changes: it grows, flips a byte, or loses its end while still reporting its old size.
enum class Change { Grows, Flips, Shortens };
class ChangingStream : public SizedStream {
 public:
  ChangingStream(TBytes data, Change change)
      : SizedStream(static_cast<std::int64_t>(data.size())), FData(std::move(data)), FChange(change) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t n = std::max<std::int64_t>(0, std::min(count, Size() - FPos));
    std::memcpy(buffer, FData.data() + FPos, static_cast<std::size_t>(n));
    FPos += n;
    if ((FServed += n) == FSize) AfterFirstPass();
    return n;
  }
  std::int64_t Write(const void*, std::int64_t) override { return 0; }

 private:
  std::int64_t Size() const { return static_cast<std::int64_t>(FData.size()); }
  void AfterFirstPass() {
    if (FChange == Change::Grows) FData.resize(FData.size() + 16);
    if (FChange == Change::Flips) FData[FData.size() - 1] ^= 1;
    if (FChange == Change::Shortens) FData.resize(FData.size() - 100);
    if (FChange != Change::Shortens) FSize = Size();
  }
  TBytes FData;
  std::int64_t FServed = 0;
  Change FChange;
};

// An input that changes between the passes never leaves plain text in the caller's output stream:
// a changed size is refused before anything is written; otherwise what the second pass wrote
// becomes zeros, and size and position are as before the call.
TEST(GCMStream, InputChangedBetweenPassesLeavesTheOutputAsItWas) {
  TAESModes m;
  const TBytes key = RandomBytes(16, 61), iv = RandomBytes(12, 62), plain = RandomBytes(200000, 63);
  platform::TMemoryStream in(plain), cipherOut, tagOut;
  m.EncryptAndGenerateFromStream(&in, &cipherOut, nullptr, &tagOut, key, iv);
  const fs::path file = Scratch("out");
  struct Case {
    const char* What;
    Change How;
    std::int64_t Written;  // bytes the second pass gets to write before it fails
    Integer Status;        // 0: the operation error -203 is raised instead
  } cases[] = {
      {"grows", Change::Grows, 0, -200},
      {"flips a byte", Change::Flips, 200000, -200},
      {"ends early", Change::Shortens, AESModes::kStreamChunkSize, 0},
  };
  for (const auto& c : cases) {
    platform::TMemoryStream empty, longer(TBytes(250000, 'o'));
    longer.SetPosition(7);
    Put(file, Bytes(3, 'f'));
    platform::TFileStream onDisk(U16(file), platform::TFileMode::fmOpenReadWrite);
    onDisk.SetPosition(1);
    for (platform::TStream* out : std::initializer_list<platform::TStream*>{&empty, &longer, &onDisk}) {
      const auto read = [&] {
        const std::int64_t position = out->GetPosition();
        Bytes b(static_cast<std::size_t>(out->GetSize()));
        out->SetPosition(0);
        out->Read(b.data(), static_cast<std::int64_t>(b.size()));
        out->SetPosition(position);
        return b;
      };
      Bytes expected = read();
      std::fill_n(expected.begin(), std::min<std::size_t>(expected.size(), static_cast<std::size_t>(c.Written)), 0);
      const std::int64_t position = out->GetPosition();
      ChangingStream cipher(cipherOut.Bytes(), c.How);
      platform::TMemoryStream tag(tagOut.Bytes());
      Integer status = 0;
      const std::string thrown = testing_support::ThrownMessage(
          [&] { status = m.DecryptAndVerifyFromStream(&cipher, out, nullptr, &tag, key, iv, 128); });
      EXPECT_EQ(status, c.Status) << c.What;
      EXPECT_EQ(thrown, c.Status != 0 ? "no error" : "Invalid Operation : -203") << c.What;
      EXPECT_EQ(out->GetPosition(), position) << c.What;
      EXPECT_EQ(read(), expected) << c.What;
    }
  }
  fs::remove(file);
}

// A stream of `size` zero bytes that holds none of them in memory, and a sink that keeps nothing.
class ZeroStream : public SizedStream {
 public:
  explicit ZeroStream(std::int64_t size) : SizedStream(size) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t n = std::max<std::int64_t>(0, std::min(count, FSize - FPos));
    std::memset(buffer, 0, static_cast<std::size_t>(n));
    FPos += n;
    return n;
  }
  std::int64_t Write(const void*, std::int64_t count) override {
    FPos += count;
    FSize = std::max(FSize, FPos);
    return count;
  }
};

// Beyond 2^28 bytes the bit count no longer fits 32 bits; the tag is still the standard one.
TEST(GCMStream, LongRunningTagAbove2To28Bytes) {
  const std::int64_t size = (std::int64_t{1} << 28) + 17;
  const TBytes key = RandomBytes(16, 41), iv = RandomBytes(12, 42);
  ZeroStream in(size), out(0);
  platform::TMemoryStream tag;
  TAESModes().EncryptAndGenerateFromStream(&in, &out, nullptr, &tag, key, iv);
  EXPECT_EQ(out.GetSize(), size);
  EXPECT_EQ(tag.Bytes(), testing_support::OpenSSLGCMTagOfZeros(key, iv, static_cast<std::uint64_t>(size)));
}

}  // namespace
