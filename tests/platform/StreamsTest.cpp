// Memory and file streams: reading, writing, seeking, sizes and the errors of file streams.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "TempDir.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

using platform::EFOpenError;
using platform::EWriteError;
using platform::TBytes;
using platform::TFileMode;
using platform::TFileStream;
using platform::TMemoryStream;
using platform::TSeekOrigin;
using platform::TStream;

std::string ReadAll(TStream& s, std::int64_t count) {
  std::string out(static_cast<std::size_t>(count), '\0');
  out.resize(static_cast<std::size_t>(s.Read(out.data(), count)));
  return out;
}

// The same sequence of operations on any stream: write, overwrite in the middle, grow, seek
// from each origin and read, including reads that reach the end.
void ExerciseStream(TStream& s) {
  EXPECT_EQ(s.Write("hello world", 11), 11);
  EXPECT_EQ(s.GetPosition(), 11);
  EXPECT_EQ(s.GetSize(), 11);

  s.SetPosition(0);
  EXPECT_EQ(ReadAll(s, 5), "hello");
  EXPECT_EQ(s.GetPosition(), 5);
  EXPECT_EQ(s.Seek(1, TSeekOrigin::soCurrent), 6);
  EXPECT_EQ(ReadAll(s, 100), "world");  // short read at the end
  EXPECT_EQ(ReadAll(s, 10), "");        // nothing left

  EXPECT_EQ(s.Seek(-5, TSeekOrigin::soEnd), 6);
  EXPECT_EQ(s.Write("WORLD!!", 7), 7);  // overwrite and grow past the old end
  EXPECT_EQ(s.GetSize(), 13);
  EXPECT_EQ(s.GetPosition(), 13);

  s.SetPosition(3);
  EXPECT_EQ(s.GetSize(), 13);
  EXPECT_EQ(s.GetPosition(), 3);  // asking for the size keeps the position
  s.SetPosition(0);
  EXPECT_EQ(ReadAll(s, 13), "hello WORLD!!");

  EXPECT_EQ(s.Write("x", 0), 0);
  EXPECT_EQ(s.GetSize(), 13);

  // SetSize cuts or extends with zeros and keeps the position.
  s.SetPosition(9);
  s.SetSize(4);
  EXPECT_EQ(s.GetSize(), 4);
  EXPECT_EQ(s.GetPosition(), 9);
  s.SetSize(6);
  s.SetPosition(0);
  EXPECT_EQ(ReadAll(s, 100), std::string("hell\0\0", 6));
  s.SetPosition(0);
  s.Write("hello WORLD!!", 13);
}

TEST(PlatformMemoryStream, ReadWriteSeekSize) {
  TMemoryStream s;
  EXPECT_EQ(s.GetSize(), 0);
  ExerciseStream(s);
  const std::string text = "hello WORLD!!";
  EXPECT_EQ(s.Bytes(), TBytes(text.begin(), text.end()));

  // Writing past the end fills the gap with zeros.
  TMemoryStream gap(TBytes{1, 2});
  EXPECT_EQ(gap.Seek(4, TSeekOrigin::soBeginning), 4);
  gap.WriteBuffer("\x07", 1);
  EXPECT_EQ(gap.Bytes(), (TBytes{1, 2, 0, 0, 7}));
  // A seek before the start stops at 0.
  EXPECT_EQ(gap.Seek(-10, TSeekOrigin::soCurrent), 0);
}

class PlatformFileStream : public TempDirTest {};

TEST_F(PlatformFileStream, ReadWriteSeekSize) {
  {
    TFileStream s(Path("data.bin"), TFileMode::fmCreate);
    EXPECT_EQ(s.GetSize(), 0);
    ExerciseStream(s);
  }
  EXPECT_EQ(ReadFile("data.bin"), "hello WORLD!!");

  {  // Opening for reading and writing keeps the content and starts at 0.
    TFileStream s(Path("data.bin"), TFileMode::fmOpenReadWrite);
    EXPECT_EQ(s.GetSize(), 13);
    EXPECT_EQ(s.GetPosition(), 0);
    s.WriteBuffer("J", 1);
  }
  {
    TFileStream s(Path("data.bin"), TFileMode::fmOpenRead);
    EXPECT_EQ(ReadAll(s, 100), "Jello WORLD!!");
  }
  {  // Creating over an existing file empties it.
    TFileStream s(Path("data.bin"), TFileMode::fmCreate);
    EXPECT_EQ(s.GetSize(), 0);
  }
  EXPECT_EQ(ReadFile("data.bin"), "");
}

TEST_F(PlatformFileStream, LargeTransfersRoundTrip) {
  std::string data(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 131) ^ (i >> 9));
  {
    TFileStream s(Path("big.bin"), TFileMode::fmCreate);
    s.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
  }
  TFileStream s(Path("big.bin"), TFileMode::fmOpenRead);
  EXPECT_EQ(s.GetSize(), static_cast<std::int64_t>(data.size()));
  EXPECT_TRUE(ReadAll(s, static_cast<std::int64_t>(data.size()) + 5) == data);
}

// The file name must appear in the message, and the exception is the general one too.
template <class E, class F>
void ExpectRaisesNaming(F&& action, const platform::string& name) {
  try {
    action();
    ADD_FAILURE() << "no exception";
  } catch (const E& e) {
    EXPECT_NE(e.Message().find(name), platform::string::npos) << e.what();
  }
}

TEST_F(PlatformFileStream, OpenFailuresNameTheFile) {
  const platform::string missing = Path("missing.bin");
  ExpectRaisesNaming<EFOpenError>([&] { TFileStream s(missing, TFileMode::fmOpenRead); }, missing);
  ExpectRaisesNaming<EFOpenError>([&] { TFileStream s(missing, TFileMode::fmOpenReadWrite); }, missing);
  EXPECT_FALSE(std::filesystem::exists(Native("missing.bin")));  // opening never creates

  const platform::string dir = Path("");
  ExpectRaisesNaming<EFOpenError>([&] { TFileStream s(dir, TFileMode::fmOpenRead); }, dir);
  ExpectRaisesNaming<EFOpenError>([&] { TFileStream s(dir, TFileMode::fmOpenReadWrite); }, dir);

  // A device or FIFO is refused (a file stream only reads what has an end), without waiting.
  ASSERT_EQ(::mkfifo(Native("fifo").c_str(), 0600), 0);
  for (const platform::string& odd : {platform::string(u"/dev/zero"), Path("fifo")}) {
    ExpectRaisesNaming<EFOpenError>([&] { TFileStream s(odd, TFileMode::fmOpenRead); }, odd);
    ExpectRaisesNaming<EFOpenError>([&] { TFileStream s(odd, TFileMode::fmOpenReadWrite); }, odd);
  }

  const platform::string noDir = Path("no/such/dir.bin");
  ExpectRaisesNaming<EFOpenError>([&] { TFileStream s(noDir, TFileMode::fmCreate); }, noDir);
}

TEST_F(PlatformFileStream, FailingWritesNameTheFile) {
  // A device that is always full.
  if (const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC); fd >= 0) {
    const platform::string full = u"/dev/full";
    platform::THandleStream s(fd, full);
    ExpectRaisesNaming<EWriteError>([&] { s.Write("abc", 3); }, full);
    ExpectRaisesNaming<EWriteError>([&] { s.WriteBuffer("abc", 3); }, full);
    ::close(fd);
  }
  // A stream opened for reading only.
  WriteFile("ro.bin", "abc");
  const platform::string ro = Path("ro.bin");
  TFileStream s(ro, TFileMode::fmOpenRead);
  ExpectRaisesNaming<EWriteError>([&] { s.Write("x", 1); }, ro);
  EXPECT_EQ(ReadFile("ro.bin"), "abc");
}

// A stream that accepts one byte less than asked for and counts the calls.
class TShortStream : public TStream {
 public:
  int Writes = 0;
  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void*, std::int64_t count) override {
    ++Writes;
    return count - 1;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    FPosition = origin == TSeekOrigin::soEnd ? 42 + offset : origin == TSeekOrigin::soCurrent ? FPosition + offset : offset;
    return FPosition;
  }

 private:
  std::int64_t FPosition = 0;
};

TEST(PlatformStream, WriteBufferRaisesOnShortWrite) {
  TShortStream s;
  EXPECT_THROW(s.WriteBuffer("abcd", 4), EWriteError);
  EXPECT_EQ(s.Writes, 1);
  EXPECT_NO_THROW(s.WriteBuffer("abcd", 0));  // nothing to write: the stream is not called
  EXPECT_EQ(s.Writes, 1);

  // The size of a plain stream comes from seeking to the end, and the position is restored.
  s.SetPosition(7);
  EXPECT_EQ(s.GetSize(), 42);
  EXPECT_EQ(s.GetPosition(), 7);
}

}  // namespace
