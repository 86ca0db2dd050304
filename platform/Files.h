// File-system services: existence, deletion, creation, handles opened by path, and the
// location of the running executable. Paths are UTF-16 text, passed to the OS as UTF-8; bytes of
// a name that are not UTF-8 travel as the lone surrogates U+DC80 to U+DCFF (DecodeFileSystemText).
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace platform {

// The path as the OS takes it (EncodeFileSystemText: UTF-8, with U+DC80 to U+DCFF as the bytes
// 0x80 to 0xFF). A path holding a NUL character or another lone surrogate names no file: it
// gives the empty path, which every OS call rejects.
std::string NativePath(const string& path);

bool FileExists(const string& path);
// True for an existing regular file that this process may write.
bool FileIsWritable(const string& path);
// Deletes a file; returns false when it could not be deleted (or did not exist).
bool DeleteFile(const string& path);
// Creates a new empty file, replacing an existing one; raises EFOpenError naming the file on failure.
void CreateEmptyFile(const string& path);

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
// target's folder (an unnamed O_TMPFILE file where the OS allows it, else a visibly named one,
// ".<name>.partial-<random>"), which Commit() flushes and renames over the target (keeping the
// permission bits of a file it replaces; a new file gets 0666 less the umask). Without Commit()
// nothing is left behind, and the target stays byte for byte as it was. A target that is a
// symbolic link has the file it points to replaced; the link stays.
class TReplacingFile {
 public:
  // Raises EFOpenError naming the file when no temporary file can be made for it (missing or
  // unwritable folder, a target that is a directory or not a regular file).
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

 private:
  void Discard() noexcept;

  string FTarget;
  std::string FNativeTarget;  // the file that is replaced (a link's target resolved)
  std::string FFolder;
  std::string FVisibleTemp;   // the named temporary file, when O_TMPFILE was not available
  THandle FHandle = INVALID_HANDLE_VALUE;
};

}  // namespace platform
