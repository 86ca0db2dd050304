// File-system services: existence, deletion, creation, handles opened by path, and the
// location of the running executable. Paths are UTF-16 text, passed to the OS as UTF-8; bytes of
// a name that are not UTF-8 travel as the lone surrogates U+DC80 to U+DCFF (DecodeFileSystemText).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Types.h"

namespace platform {

// The path as the OS takes it (EncodeFileSystemText: UTF-8, with U+DC80 to U+DCFF as the bytes
// 0x80 to 0xFF). A path holding a NUL character or another lone surrogate names no file: it
// gives the empty path, which every OS call rejects.
std::string NativePath(const string& path);

bool FileExists(const string& path);
// Whether a path-file operation may write path: it names an existing regular file, or it is a
// symbolic link (through any chain) that dangles, whose file is then created (TReplacingFile
// does). False for a path that names nothing, a link loop, or a link to anything but a regular
// file; a dangling link into a missing folder passes here and fails when the file is made.
bool OutputFileExists(const string& path);
// Deletes a file; returns false when it could not be deleted (or did not exist).
bool DeleteFile(const string& path);
// Creates a new empty file, replacing an existing one; raises EFOpenError naming the file on failure.
void CreateEmptyFile(const string& path);

// What a path names, after following links as opening it would: the device and inode of an
// existing file; for a file that does not exist yet (a dangling link included), its folder's
// device and inode and its name. Empty for a path that can name no file (a link loop, a missing
// folder, an invalid name).
struct TFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::string Name;  // only for a file that does not exist yet
  bool operator==(const TFileIdentity&) const = default;
};
std::optional<TFileIdentity> FileIdentity(const string& path);
// True when both paths name one file, through links, hard links or different spellings; false
// when either names none.
bool SameFile(const string& a, const string& b);

// Full path of the running executable. Raises Exception ("Cannot find the folder of this
// program: ...") when the system cannot give it, for instance a path beyond its length limit,
// rather than an empty name that would send callers to the working directory.
string GetModuleFileName();
// The directory part of a path (keeping the final separator; empty when the path has none).
string ExtractFilePath(const string& path);

// Handles on an existing file opened by path. Opening never creates a file. A handle that may
// write holds an exclusive advisory lock and readers a shared one, so a writer excludes every
// other holder while readers may share the file.
using THandle = int;
inline constexpr THandle INVALID_HANDLE_VALUE = -1;

enum class TFileAccess : std::uint8_t { Read, Write, ReadWrite };

// The one way to open an existing file by path, for the file streams and the path-file
// operations alike. Only a regular file is opened: a directory, FIFO, socket or device is
// refused, and the open never blocks (a FIFO with no writer is refused, not waited on).
// Returns INVALID_HANDLE_VALUE on failure; failure, when given, then receives the reason as
// text ("Not a regular file", "The file is in use", or the OS's own reason).
THandle FileOpen(const string& path, TFileAccess access, string* failure = nullptr);
// The size of the file, or -1 on failure.
std::int64_t FileSize(THandle handle);
// Read up to count bytes (fewer only at the end of the file); -1 on failure, also when the OS
// reports the error after part of the bytes arrived: a failed read is never an end of file.
std::int64_t FileRead(THandle handle, void* buffer, std::int64_t count);
// Write count bytes; returns the number written, which is less than count only on failure.
std::int64_t FileWrite(THandle handle, const void* buffer, std::int64_t count);
// Cut the file to size bytes; false on failure.
bool FileTruncate(THandle handle, std::int64_t size);
void FileClose(THandle handle);

// Closes a handle when it goes out of scope.
class TFileHandle {
 public:
  TFileHandle() = default;
  explicit TFileHandle(THandle handle) : FHandle(handle) {}
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  ~TFileHandle() { if (FHandle != INVALID_HANDLE_VALUE) FileClose(FHandle); }
  THandle Get() const noexcept { return FHandle; }
  bool Valid() const noexcept { return FHandle != INVALID_HANDLE_VALUE; }

 private:
  THandle FHandle = INVALID_HANDLE_VALUE;
};

// Writes a file named by path whole or not at all: the bytes go to a temporary file in the
// target's folder (an unnamed O_TMPFILE file where the OS allows it, else a hidden one,
// ".<name>.partial-<hex>", readable by its owner only), which Commit() flushes and renames over
// the target. The new file keeps the permission bits of the file it replaces, less setuid and
// setgid, and its owner and group where the caller may set them; a new file gets 0666 less the
// umask. Hidden names always fit the folder's name limit (a long name is shortened and gets a
// hash of the whole). Without Commit() nothing is left behind, and the target stays byte for
// byte as it was. A target that is a symbolic link has the file it names replaced, or created
// when the link dangles; the link stays.
class TReplacingFile {
 public:
  // Raises EFOpenError naming the file, before anything is written, when the target cannot be
  // replaced: an existing target the caller may not write, a folder the caller may not write
  // (or that is missing), a target that is not a regular file, a link loop, a name too long.
  // Hidden files of earlier replacements of the same target that no process holds any more
  // (left by a kill) are removed.
  explicit TReplacingFile(const string& targetPath);
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;
  // Discards an uncommitted temporary file.
  ~TReplacingFile();

  // The temporary file, open for reading and writing; valid until Commit() or destruction.
  THandle Handle() const noexcept { return FHandle; }
  const string& TargetPath() const noexcept { return FTarget; }
  // Flushes the temporary file to the disk and renames it over the target. False when the flush
  // or the rename fails; the target is then untouched and the temporary file is discarded.
  // A second call returns false.
  bool Commit();
  // Commits two files as a pair: both targets are replaced, or on any failure this process sees
  // neither is (the earlier first target is kept under a hidden name until the second is in
  // place, and put back if the second cannot be). Only a process killed between the two renames
  // leaves the new first target beside the old second one. Both temporary files are discarded
  // on failure.
  static bool CommitPair(TReplacingFile& first, TReplacingFile& second);

 private:
  class TBackup;
  bool Prepare();  // final mode and owner, flushed, under a hidden name beside the target
  bool RenameOverTarget();
  void Finish() noexcept;  // closes the file and makes the rename durable
  void Discard() noexcept;

  string FTarget;
  std::string FNativeTarget;  // the file that is replaced (links followed)
  std::string FFolder;
  std::string FHiddenPrefix;  // ".<name>.partial-", shortened to fit the folder's name limit
  std::string FVisibleTemp;   // the temporary file's name, once it has one
  THandle FHandle = INVALID_HANDLE_VALUE;
  bool FExisted = false;
  std::int32_t FMode = -1;  // for the new file; -1: the mode the OS gave it
  std::uint32_t FOwner = 0, FGroup = 0;  // of the replaced file
};

}  // namespace platform
