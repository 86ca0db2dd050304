// Seekable byte streams: the abstract TStream, a memory stream and a file stream.
#pragma once

#include <cstdint>

#include "platform/Files.h"
#include "platform/Types.h"

namespace platform {

enum class TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns the number read, fewer only at the end of the stream.
  virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
  // Writes count bytes; returns the number written.
  virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
  // Moves the position; returns the new position.
  virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

  std::int64_t GetPosition() { return Seek(0, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual std::int64_t GetSize();
  // Cuts the stream to size bytes or extends it with zero bytes; the position stays where it
  // was. A stream that cannot change its size (this default) raises EWriteError.
  virtual void SetSize(std::int64_t size);

  // Write all count bytes or raise EWriteError: a short write is never taken for success.
  void WriteBuffer(const void* buffer, std::int64_t count);
};

// A stream over a growable byte array held in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(TBytes bytes) : FData(std::move(bytes)) {}

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t GetSize() override { return static_cast<std::int64_t>(FData.size()); }
  void SetSize(std::int64_t size) override;

  const TBytes& Bytes() const noexcept { return FData; }
  // Room for count bytes at the position, which then moves past them, as a Write of count bytes
  // would (the stream grows as needed; bytes beyond the old end are zero until filled). Returns
  // where the bytes go, valid until the stream changes again: for a writer that fills them in
  // place instead of copying them in.
  std::uint8_t* Reserve(std::int64_t count);

 private:
  TBytes FData;
  std::int64_t FPosition = 0;
};

// A stream over a file handle it does not own (for example a TReplacingFile's). A failing read
// or write raises EReadError / EWriteError naming the file; a read that fails after part of
// the bytes arrived raises too, it is never an end of the stream.
class THandleStream : public TStream {
 public:
  THandleStream(THandle handle, const string& fileName) : FFileName(fileName), FHandle(handle) {}
  THandleStream(const THandleStream&) = delete;
  THandleStream& operator=(const THandleStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t GetSize() override;
  void SetSize(std::int64_t size) override;

  const string& FileName() const noexcept { return FFileName; }

 protected:
  string FFileName;
  THandle FHandle = INVALID_HANDLE_VALUE;
};

enum class TFileMode : std::uint8_t { fmOpenRead, fmOpenReadWrite, fmCreate };

// Opens an existing file through FileOpen as the file streams do, or raises their EFOpenError
// naming the file and the reason. The handle is the caller's to close.
THandle OpenStreamFile(const string& fileName, TFileAccess access);

// A stream over a file it opens and closes. fmOpenRead and fmOpenReadWrite open through
// FileOpen (a regular file only, never blocking, with its lock); fmCreate creates or empties
// the file. Opening failures raise EFOpenError naming the file and the reason.
class TFileStream : public THandleStream {
 public:
  TFileStream(const string& fileName, TFileMode mode);
  ~TFileStream() override;
};

}  // namespace platform
