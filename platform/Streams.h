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

  const TBytes& Bytes() const noexcept { return FData; }

 private:
  TBytes FData;
  std::int64_t FPosition = 0;
};

enum class TFileMode : std::uint8_t { fmOpenRead, fmOpenReadWrite, fmCreate };

// A stream over a file. Opening failures raise EFOpenError; a failing read or write raises
// EReadError / EWriteError. Every message names the file.
class TFileStream : public TStream {
 public:
  TFileStream(const string& fileName, TFileMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t GetSize() override;

  const string& FileName() const noexcept { return FFileName; }

 private:
  string FFileName;
  int FHandle = -1;
};

}  // namespace platform
