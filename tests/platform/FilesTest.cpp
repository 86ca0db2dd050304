// File-system services: existence, deletion, creation, paths and handles opened by path.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>

#include "OrdinaryUser.h"
#include "TempDir.h"
#include "platform/Files.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

using platform::EFOpenError;
using platform::INVALID_HANDLE_VALUE;
using platform::TFileAccess;
using platform::TFileHandle;
using platform::TReplacingFile;

class PlatformFiles : public TempDirTest {
 protected:
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Native(""))) names.insert(e.path().filename().string());
    return names;
  }
};

void WriteAll(platform::THandle h, const std::string& text) {
  ASSERT_EQ(platform::FileWrite(h, text.data(), static_cast<std::int64_t>(text.size())),
            static_cast<std::int64_t>(text.size()));
}

TEST_F(PlatformFiles, ExistsDeleteAndCreate) {
  const platform::string file = Path("a.txt");
  EXPECT_FALSE(platform::FileExists(file));
  EXPECT_FALSE(platform::DeleteFile(file));

  WriteFile("a.txt", "old content");
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_FALSE(platform::FileExists(Path("")));  // a directory is not a file

  // Creating replaces an existing file with an empty one.
  platform::CreateEmptyFile(file);
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_EQ(std::filesystem::file_size(Native("a.txt")), 0u);

  EXPECT_TRUE(platform::DeleteFile(file));
  EXPECT_FALSE(platform::FileExists(file));
  EXPECT_FALSE(std::filesystem::exists(Native("a.txt")));

  platform::CreateEmptyFile(file);
  EXPECT_TRUE(platform::FileExists(file));

  // Non-ASCII names pass through to the OS unchanged.
  const platform::string accented = Path("\xC3\xA9t\xC3\xA9.txt");
  platform::CreateEmptyFile(accented);
  EXPECT_TRUE(std::filesystem::exists(Native("\xC3\xA9t\xC3\xA9.txt")));

  const platform::string bad = Path("no/such/dir.txt");
  try {
    platform::CreateEmptyFile(bad);
    ADD_FAILURE() << "no exception";
  } catch (const EFOpenError& e) {
    EXPECT_NE(e.Message().find(bad), platform::string::npos) << e.what();
  }
}

TEST_F(PlatformFiles, PathWithANulCharacterNamesNoFile) {
  // The OS would stop at the NUL and reach "a.txt" instead.
  WriteFile("a.txt", "keep");
  const platform::string cut = Path("a.txt") + u'\0' + u"b";
  EXPECT_FALSE(platform::FileExists(cut));
  EXPECT_FALSE(platform::DeleteFile(cut));
  EXPECT_EQ(platform::FileOpen(cut, TFileAccess::Read), INVALID_HANDLE_VALUE);
  EXPECT_THROW(platform::CreateEmptyFile(cut), EFOpenError);
  EXPECT_THROW(platform::TFileStream(cut, platform::TFileMode::fmCreate), EFOpenError);
  EXPECT_EQ(ReadFile("a.txt"), "keep");
}

TEST(PlatformPaths, ExtractFilePath) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"/a/b/c.txt", u"/a/b/"}, {u"/c.txt", u"/"}, {u"c.txt", u""}, {u"/a/b/", u"/a/b/"}, {u"", u""},
  };
  for (const auto& [path, dir] : cases) EXPECT_EQ(platform::ExtractFilePath(path), dir) << testing::PrintToString(path);
}

TEST(PlatformPaths, ModuleFileNameIsThisExecutable) {
  const platform::string exe = platform::GetModuleFileName();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.front(), u'/');
  EXPECT_EQ(exe.substr(platform::ExtractFilePath(exe).size()), u"test_platform");
  EXPECT_TRUE(platform::FileExists(exe));
}

TEST_F(PlatformFiles, FileOpenNeverCreates) {
  for (TFileAccess access : {TFileAccess::Read, TFileAccess::Write, TFileAccess::ReadWrite}) {
    EXPECT_EQ(platform::FileOpen(Path("none.bin"), access), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::FileOpen(Path(""), access), INVALID_HANDLE_VALUE);  // a directory
  }
  EXPECT_FALSE(std::filesystem::exists(Native("none.bin")));
}

TEST_F(PlatformFiles, HandlesReadWriteSizeTruncate) {
  WriteFile("h.bin", "0123456789");
  {
    TFileHandle h(platform::FileOpen(Path("h.bin"), TFileAccess::Read));
    ASSERT_TRUE(h.Valid());
    EXPECT_EQ(platform::FileSize(h.Get()), 10);
    char buf[16] = {};
    EXPECT_EQ(platform::FileRead(h.Get(), buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(platform::FileRead(h.Get(), buf, 16), 6);  // fewer only at the end
    EXPECT_EQ(std::string(buf, 6), "456789");
    EXPECT_EQ(platform::FileRead(h.Get(), buf, 16), 0);
    EXPECT_LT(platform::FileWrite(h.Get(), "x", 1), 1);  // a read handle cannot write
  }
  {
    TFileHandle h(platform::FileOpen(Path("h.bin"), TFileAccess::Write));
    ASSERT_TRUE(h.Valid());
    EXPECT_EQ(platform::FileWrite(h.Get(), "AB", 2), 2);
    char buf[4];
    EXPECT_EQ(platform::FileRead(h.Get(), buf, 4), -1);  // a write handle cannot read
  }
  EXPECT_EQ(ReadFile("h.bin"), "AB23456789");
  {
    TFileHandle h(platform::FileOpen(Path("h.bin"), TFileAccess::ReadWrite));
    ASSERT_TRUE(h.Valid());
    EXPECT_TRUE(platform::FileTruncate(h.Get(), 3));
    EXPECT_EQ(platform::FileSize(h.Get()), 3);
  }
  EXPECT_EQ(ReadFile("h.bin"), "AB2");
}

TEST_F(PlatformFiles, WritingHandleIsExclusive) {
  WriteFile("x.bin", "data");
  {
    TFileHandle writer(platform::FileOpen(Path("x.bin"), TFileAccess::ReadWrite));
    ASSERT_TRUE(writer.Valid());
    EXPECT_EQ(platform::FileOpen(Path("x.bin"), TFileAccess::Read), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::FileOpen(Path("x.bin"), TFileAccess::Write), INVALID_HANDLE_VALUE);
  }
  {  // The handle closed at the end of its scope, and a reader keeps writers out.
    TFileHandle reader(platform::FileOpen(Path("x.bin"), TFileAccess::Read));
    ASSERT_TRUE(reader.Valid());
    EXPECT_EQ(platform::FileOpen(Path("x.bin"), TFileAccess::ReadWrite), INVALID_HANDLE_VALUE);
  }
  TFileHandle again(platform::FileOpen(Path("x.bin"), TFileAccess::Write));
  EXPECT_TRUE(again.Valid());
}

TEST_F(PlatformFiles, FileOpenRefusesWhatIsNotARegularFileWithoutBlocking) {
  ASSERT_EQ(::mkfifo(Native("fifo").c_str(), 0600), 0);  // no writer: a plain open would wait forever
  std::filesystem::create_symlink("/dev/zero", Native("zero"));
  for (const char* name : {"fifo", "zero"}) {
    for (TFileAccess access : {TFileAccess::Read, TFileAccess::Write, TFileAccess::ReadWrite}) {
      platform::string why;
      EXPECT_EQ(platform::FileOpen(Path(name), access, &why), INVALID_HANDLE_VALUE) << name;
      // A FIFO without a reader is refused by the OS itself for writing (ENXIO).
      if (access == TFileAccess::Read || std::string(name) == "zero") {
        EXPECT_EQ(why, u"Not a regular file") << name;
      }
      EXPECT_FALSE(why.empty());
    }
  }
  platform::string why;
  EXPECT_EQ(platform::FileOpen(Path("none"), TFileAccess::Read, &why), INVALID_HANDLE_VALUE);
  EXPECT_EQ(why, u"No such file or directory");
}

TEST_F(PlatformFiles, ReplacingFileCommitReplacesWholeKeepingPermissions) {
  WriteFile("out.bin", "an older and longer content");
  std::filesystem::permissions(Native("out.bin"), std::filesystem::perms(0640));
  {
    TReplacingFile f(Path("out.bin"));
    WriteAll(f.Handle(), "new");
    EXPECT_EQ(ReadFile("out.bin"), "an older and longer content");  // nothing shows before Commit
    EXPECT_EQ(Listing(), std::set<std::string>{"out.bin"});         // the temporary file has no name
    EXPECT_TRUE(f.Commit());
    EXPECT_FALSE(f.Commit());
  }
  EXPECT_EQ(ReadFile("out.bin"), "new");
  EXPECT_EQ(static_cast<int>(std::filesystem::status(Native("out.bin")).permissions()), 0640);
  EXPECT_EQ(Listing(), std::set<std::string>{"out.bin"});

  {  // A file that did not exist is created.
    TReplacingFile f(Path("fresh.bin"));
    WriteAll(f.Handle(), "abc");
    EXPECT_TRUE(f.Commit());
  }
  EXPECT_EQ(ReadFile("fresh.bin"), "abc");
}

TEST_F(PlatformFiles, ReplacingFileWithoutCommitLeavesEverythingAsItWas) {
  WriteFile("out.bin", "keep me");
  {
    TReplacingFile f(Path("out.bin"));
    WriteAll(f.Handle(), "partial output that must never be seen");
  }
  { TReplacingFile f(Path("new.bin")); }
  EXPECT_EQ(ReadFile("out.bin"), "keep me");
  EXPECT_EQ(Listing(), std::set<std::string>{"out.bin"});
}

// A link is followed as opening it for writing would: the file it names is replaced, or created
// when the link dangles (through a chain of relative links); a loop is refused.
TEST_F(PlatformFiles, ReplacingFileThroughALinkReplacesTheFileItNames) {
  WriteFile("real.bin", "old");
  std::filesystem::create_directories(Native("sub"));
  std::filesystem::create_symlink(Native("real.bin"), Native("link.bin"));
  std::filesystem::create_symlink("made.bin", Native("sub/dangling"));
  std::filesystem::create_symlink("sub/dangling", Native("chain"));
  std::filesystem::create_symlink("loop2", Native("loop1"));
  std::filesystem::create_symlink("loop1", Native("loop2"));
  for (const char* name : {"link.bin", "chain"}) {
    TReplacingFile f(Path(name));
    WriteAll(f.Handle(), name);
    ASSERT_TRUE(f.Commit()) << name;
  }
  EXPECT_TRUE(std::filesystem::is_symlink(Native("link.bin")));
  EXPECT_TRUE(std::filesystem::is_symlink(Native("chain")));
  EXPECT_TRUE(std::filesystem::is_symlink(Native("sub/dangling")));
  EXPECT_EQ(ReadFile("real.bin"), "link.bin");
  EXPECT_EQ(ReadFile("sub/made.bin"), "chain");
  EXPECT_THROW(TReplacingFile(Path("loop1")), EFOpenError);
  EXPECT_EQ(Listing(), (std::set<std::string>{"chain", "link.bin", "loop1", "loop2", "real.bin", "sub"}));
}

TEST_F(PlatformFiles, FileIdentityFollowsLinksAndSpellings) {
  namespace fs = std::filesystem;
  WriteFile("a", "1");
  WriteFile("b", "2");
  fs::create_directories(Native("sub"));
  fs::create_symlink("a", Native("to-a"));
  fs::create_hard_link(Native("a"), Native("hard-a"));
  fs::create_symlink("sub", Native("sub-link"));
  fs::create_symlink("new", Native("dangling"));
  fs::create_symlink("loop", Native("loop"));
  const struct {
    const char *X, *Y;
    bool Same;
  } cases[] = {
      {"a", "a", true},           {"a", "sub/../a", true},        {"a", "to-a", true},
      {"a", "hard-a", true},      {"a", "b", false},              {"sub/new", "sub-link/new", true},
      {"new", "dangling", true},  {"new", "sub/new", false},      {"loop", "loop", false},
      {"none/x", "none/x", false},
  };
  for (const auto& c : cases) EXPECT_EQ(platform::SameFile(Path(c.X), Path(c.Y)), c.Same) << c.X << " " << c.Y;
  EXPECT_FALSE(platform::FileIdentity(Path("loop")));
}

// Replacing drops setuid and setgid, as copying does, and keeps the owner and group where the
// caller may set them (root may; an ordinary user keeps his own).
TEST_F(PlatformFiles, ReplacingFileDropsSetuidAndKeepsTheOwner) {
  WriteFile("tool", "old");
  ASSERT_EQ(::chmod(Native("tool").c_str(), 06751), 0);
  testing_support::GiveToOrdinaryUser(Native("tool"));
  struct stat before{};
  ASSERT_EQ(::stat(Native("tool").c_str(), &before), 0);
  {
    TReplacingFile f(Path("tool"));
    WriteAll(f.Handle(), "new");
    ASSERT_TRUE(f.Commit());
  }
  struct stat after{};
  ASSERT_EQ(::stat(Native("tool").c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0751u);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(ReadFile("tool"), "new");
}

// An ordinary user may not replace a file he may not write, nor a writable file in a folder he
// may not write; both are refused before anything is written. A writable file in his own folder
// is replaced, so the refusals are not the child failing for some other reason.
TEST_F(PlatformFiles, ReplacingFileRefusesWhatTheCallerMayNotWrite) {
  namespace fs = std::filesystem;
  fs::create_directories(Native("open"));
  fs::create_directories(Native("closed"));
  const std::pair<const char*, fs::perms> files[] = {
      {"open/read-only", fs::perms(0444)}, {"open/writable", fs::perms(0644)}, {"closed/writable", fs::perms(0666)}};
  for (const auto& [name, perms] : files) {
    WriteFile(name, "old");
    fs::permissions(Native(name), perms);
    testing_support::GiveToOrdinaryUser(Native(name));
  }
  testing_support::GiveToOrdinaryUser(Native("open"));
  fs::permissions(Native("closed"), fs::perms(0555));
  const int failures = testing_support::AsOrdinaryUser([&] {
    int bits = 0;
    for (const char* name : {"open/read-only", "closed/writable"}) {
      try {
        TReplacingFile f(Path(name));
        bits |= 1;
      } catch (const EFOpenError& e) {
        if (e.Message().find(Path(name)) == platform::string::npos) bits |= 2;
      }
    }
    TReplacingFile f(Path("open/writable"));
    if (platform::FileWrite(f.Handle(), "new", 3) != 3 || !f.Commit()) bits |= 4;
    return bits;
  });
  fs::permissions(Native("closed"), fs::perms(0755));
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(ReadFile("open/read-only"), "old");
  EXPECT_EQ(ReadFile("closed/writable"), "old");
  EXPECT_EQ(ReadFile("open/writable"), "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(Native("open")), {}), 2);
}

// Hidden names fit the folder's name limit however long the target's name; a name past the
// limit is refused at once.
TEST_F(PlatformFiles, ReplacingFileFitsItsNamesToTheFolder) {
  for (const std::size_t length : {230u, 240u, 255u}) {
    const std::string name(length, 'n');
    WriteFile(name, "old");
    TReplacingFile f(Path(name));
    WriteAll(f.Handle(), "new");
    EXPECT_TRUE(f.Commit()) << length;
    EXPECT_EQ(ReadFile(name), "new") << length;
    std::filesystem::remove(Native(name));
  }
  EXPECT_THROW(TReplacingFile(Path(std::string(256, 'n'))), EFOpenError);
  EXPECT_TRUE(Listing().empty());
}

TEST_F(PlatformFiles, ReplacingFileRefusesWhatItCannotReplace) {
  std::filesystem::create_directories(Native("sub"));
  for (const platform::string& target : {Path("no/such/dir.bin"), Path("sub"), platform::string(u"/dev/null")}) {
    try {
      TReplacingFile f(target);
      ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& e) {
      EXPECT_NE(e.Message().find(target), platform::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(std::filesystem::is_directory(Native("sub")));
}

}  // namespace
