#include "platform/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/SysUtils.h"

namespace platform {

std::int64_t TStream::GetSize() {
  const std::int64_t position = GetPosition();
  const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(std::int64_t) { throw EWriteError(u"Stream write error: the stream cannot change its size"); }

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
  if (count > 0 && Write(buffer, count) != count)
    throw EWriteError(u"Stream write error: fewer bytes written than requested");
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(FData.size());
  if (count <= 0 || FPosition >= size) return 0;
  const std::int64_t n = std::min(count, size - FPosition);
  std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
  FPosition += n;
  return n;
}

std::uint8_t* TMemoryStream::Reserve(std::int64_t count) {
  const auto at = static_cast<std::size_t>(FPosition);
  const auto end = at + static_cast<std::size_t>(std::max<std::int64_t>(count, 0));
  if (end > FData.size()) FData.resize(end);
  FPosition = static_cast<std::int64_t>(end);
  return FData.data() + at;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<std::size_t>(FPosition + count);
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
  FPosition += count;
  return count;
}

void TMemoryStream::SetSize(std::int64_t size) {
  if (size < 0) throw EWriteError(u"Stream write error: a negative size");
  FData.resize(static_cast<std::size_t>(size));
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                            : origin == TSeekOrigin::soCurrent ? FPosition
                                                               : static_cast<std::int64_t>(FData.size());
  FPosition = std::max<std::int64_t>(0, base + offset);
  return FPosition;
}

namespace {
string OsError() { return FromUTF8(std::strerror(errno)); }
}  // namespace

TFileStream::TFileStream(const string& fileName, TFileMode mode) : THandleStream(INVALID_HANDLE_VALUE, fileName) {
  if (mode == TFileMode::fmCreate) {
    FHandle = ::open(NativePath(fileName).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FHandle < 0) throw EFOpenError(u"Cannot create file \"" + fileName + u"\". " + OsError());
    return;
  }
  FHandle = OpenStreamFile(fileName, mode == TFileMode::fmOpenRead ? TFileAccess::Read : TFileAccess::ReadWrite);
}

THandle OpenStreamFile(const string& fileName, TFileAccess access) {
  string failure;
  const THandle handle = FileOpen(fileName, access, &failure);
  if (handle == INVALID_HANDLE_VALUE) throw EFOpenError(u"Cannot open file \"" + fileName + u"\". " + failure);
  return handle;
}

TFileStream::~TFileStream() {
  if (FHandle != INVALID_HANDLE_VALUE) FileClose(FHandle);
}

std::int64_t THandleStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t n = FileRead(FHandle, buffer, count);
  if (n < 0) throw EReadError(u"Error reading file \"" + FFileName + u"\". " + OsError());
  return n;
}

std::int64_t THandleStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t n = FileWrite(FHandle, buffer, count);
  if (n != count) throw EWriteError(u"Error writing file \"" + FFileName + u"\". " + OsError());
  return n;
}

std::int64_t THandleStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
  const off_t pos = ::lseek(FHandle, offset, whence);
  if (pos < 0) throw EReadError(u"Error seeking in file \"" + FFileName + u"\". " + OsError());
  return pos;
}

std::int64_t THandleStream::GetSize() {
  struct stat st{};
  if (::fstat(FHandle, &st) != 0) throw EReadError(u"Error reading file \"" + FFileName + u"\". " + OsError());
  return st.st_size;
}

void THandleStream::SetSize(std::int64_t size) {
  if (size < 0) throw EWriteError(u"Stream write error: a negative size");
  if (!FileTruncate(FHandle, size))
    throw EWriteError(u"Error writing file \"" + FFileName + u"\". " + OsError());
}

}  // namespace platform
