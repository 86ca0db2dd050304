// Inputs and outputs of the subcommands: files by path or standard input and output ("-"),
// written whole or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Streams.h"

namespace cli {

bool IsStdio(const std::string& path);

// A folder of our own under $TMPDIR (mode 0700), removed with everything in it when the
// holder goes, also after a failure or Ctrl-C.
class TPrivateDir {
 public:
  TPrivateDir() = default;
  ~TPrivateDir();
  TPrivateDir(const TPrivateDir&) = delete;
  TPrivateDir& operator=(const TPrivateDir&) = delete;
  // A new path inside the folder (the folder is made on first use).
  std::string NewPath(const std::string& name);

 private:
  std::string FPath;
  std::vector<std::string> FFiles;
};

// An input named by path, or standard input. The library needs a seekable input of known size,
// so standard input that is not a regular file is first copied (spooled) into a file of the
// private folder.
class TInput {
 public:
  TInput(const std::string& path, TPrivateDir& temp);
  platform::TStream& Stream() { return *FStream; }
  std::int64_t Size() { return FStream->GetSize(); }
  // The file's path, for the path-file operations (the spooled copy for standard input).
  const std::string& Path() const { return FPath; }
  // For messages: the path, or "standard input".
  const std::string& Name() const { return FName; }

 private:
  std::string FName, FPath;
  std::unique_ptr<platform::TStream> FStream;
};

// An output named by path, or standard output. A path that exists is refused without force;
// the bytes go to a platform::TReplacingFile that replaces the target only on Commit(), so
// after a failure or Ctrl-C the target is as it was and no temporary file remains. Standard
// output is written as the operation goes.
class TOutput {
 public:
  TOutput(const std::string& path, bool force);
  ~TOutput();
  platform::TStream& Stream() { return *FStream; }
  const std::string& Name() const { return FName; }
  bool IsStdout() const { return !FReplacing; }
  void Commit();

 private:
  std::string FName;
  std::unique_ptr<platform::TReplacingFile> FReplacing;
  std::unique_ptr<platform::TStream> FStream;
};

// An output for the library's path-file operations, which replace an existing file: a new
// target is made empty first and deleted again unless Finish() is reached; standard output
// gets the bytes from a file of the private folder once the operation succeeded.
class TPathOutput {
 public:
  TPathOutput(const std::string& path, bool force, TPrivateDir& temp);
  ~TPathOutput();
  const std::string& Path() const { return FPath; }
  const std::string& Name() const { return FName; }
  void Finish();

 private:
  std::string FName, FPath;
  bool FToStdout = false, FCreated = false, FFinished = false;
};

// Refuses an existing output unless force is given.
void CheckNewOutput(const std::string& path, bool force);

// A part of another stream: offset bytes on, at most length bytes (-1: to its end). Positions
// and the size are the window's own; bytes written beyond the length are dropped.
class TWindowStream : public platform::TStream {
 public:
  TWindowStream(platform::TStream& base, std::int64_t offset, std::int64_t length = -1)
      : FBase(base), FOffset(offset), FLength(length) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override;
  std::int64_t GetSize() override;

 private:
  platform::TStream& FBase;
  std::int64_t FOffset, FLength;
  std::int64_t FPosition = 0;
};

// Another stream followed by zero bytes up to size bytes in all (reading only).
class TZeroExtendedStream : public platform::TStream {
 public:
  TZeroExtendedStream(platform::TStream& base, std::int64_t size) : FBase(base), FSize(size) {}
  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void*, std::int64_t) override { return 0; }
  std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override;
  std::int64_t GetSize() override { return FSize; }

 private:
  platform::TStream& FBase;
  std::int64_t FSize;
  std::int64_t FPosition = 0;
};

// Copies a whole stream to standard output.
void CopyToStdout(platform::TStream& s);

}  // namespace cli
