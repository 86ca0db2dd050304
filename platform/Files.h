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
// Deletes a file; returns false when it could not be deleted (or did not exist).
bool DeleteFile(const string& path);
// Creates a new empty file, replacing an existing one; raises EFOpenError naming the file on failure.
void CreateEmptyFile(const string& path);

// Full path of the running executable, and the directory part of a path (keeping the final
// separator; empty when the path has none).
string GetModuleFileName();
string ExtractFilePath(const string& path);

// Handles on an existing file opened by path. Opening never creates a file. A handle that may
// write holds an exclusive advisory lock and readers a shared one, so a writer excludes every
// other holder while readers may share the file.
using THandle = int;
inline constexpr THandle INVALID_HANDLE_VALUE = -1;

enum class TFileAccess : std::uint8_t { Read, Write, ReadWrite };

// Returns INVALID_HANDLE_VALUE on failure.
THandle FileOpen(const string& path, TFileAccess access);
// The size of the file, or -1 on failure.
std::int64_t FileSize(THandle handle);
// Read up to count bytes (fewer only at the end of the file); -1 on failure.
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

}  // namespace platform
