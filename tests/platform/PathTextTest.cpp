// File-system names as text: any byte string has a text that maps back to the same bytes, so a
// folder whose name is not UTF-8 works like any other.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "TempDir.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

namespace {

using platform::DecodeFileSystemText;
using platform::EncodeFileSystemText;

TEST(PlatformPathText, EveryByteStringRoundTrips) {
  struct Case {
    const char* Name;
    std::string Bytes;
    std::u16string Text;
  };
  const Case cases[] = {
      {"ASCII", "/tmp/a.txt", u"/tmp/a.txt"},
      {"valid UTF-8 stays UTF-8", "\xC3\xA9t\xC3\xA9 \xF0\x9F\x94\x91", u"\u00E9t\u00E9 \U0001F511"},
      {"a lone 0xFF", "bad\xFF" "dir", u"bad\xDCFF" "dir"},
      {"a lone 0x80", "\x80", u"\xDC80"},
      {"a truncated sequence", "a\xC3", u"a\xDCC3"},
      {"an overlong slash", "\xC0\xAF", u"\xDCC0\xDCAF"},
      {"an encoded surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
      {"a bad byte inside a sequence", "\xE2\x28\xA1", u"\xDCE2(\xDCA1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(DecodeFileSystemText(c.Bytes), c.Text);
    EXPECT_EQ(EncodeFileSystemText(c.Text), c.Bytes);
  }

  std::mt19937 rng(5);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(rng() % 12, '\0');
    for (char& b : bytes) b = static_cast<char>(rng() % 2 ? 0x80 + rng() % 0x80 : rng() % 0x100);
    EXPECT_EQ(EncodeFileSystemText(DecodeFileSystemText(bytes)), bytes) << testing::PrintToString(bytes);
  }
}

// A lone surrogate outside U+DC80..U+DCFF stands for no byte: such a text names no file rather
// than another one (the strict UTF-8 encoder would write U+FFFD in its place).
TEST(PlatformPathText, OtherLoneSurrogatesStandForNothing) {
  for (const std::u16string text : {u"a\xD800", u"a\xDC7F", u"\xDD00", u"\xDBFF" "b"}) {
    SCOPED_TRACE(testing::PrintToString(text));
    EXPECT_FALSE(EncodeFileSystemText(text).has_value());
    EXPECT_EQ(platform::NativePath(text), "");
  }
}

class PlatformPathFiles : public TempDirTest {};

TEST_F(PlatformPathFiles, FilesInAFolderWhoseNameIsNotUTF8) {
  std::filesystem::create_directory(Native("bad\xFF" "dir"));
  const platform::string folder = DecodeFileSystemText(Native("bad\xFF" "dir/").string());
  const platform::string file = folder + u"a.txt";

  platform::CreateEmptyFile(file);
  EXPECT_TRUE(std::filesystem::exists(Native("bad\xFF" "dir/a.txt")));
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_TRUE(platform::DeleteFile(file));
  EXPECT_FALSE(std::filesystem::exists(Native("bad\xFF" "dir/a.txt")));

  // Not the folder whose name holds U+FFFD instead of the byte.
  EXPECT_THROW(platform::CreateEmptyFile(platform::FromUTF8(Native("bad\xEF\xBF\xBD" "dir/a.txt").string())),
               platform::EFOpenError);
  EXPECT_THROW(platform::CreateEmptyFile(folder + u"b\xD800.txt"), platform::EFOpenError);
  EXPECT_TRUE(std::filesystem::is_empty(Native("bad\xFF" "dir")));
}

}  // namespace
