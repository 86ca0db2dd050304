// Inputs and outputs of the subcommands: files by path or standard input and output ("-"),
// written whole or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/Memory.h"
#include "platform/Streams.h"

namespace cli {

bool IsStdio(const std::string& path);

// An unnamed file in $TMPDIR (O_TMPFILE, or created and unlinked at once where the file system
// cannot make one without a name), readable by this process alone: whatever ends the process,
// a kill included, nothing of it remains. Holds copies of standard input and outputs that must
// not be shown before they are complete.
class TTempFile {
 public:
  TTempFile();
  ~TTempFile();
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  int Fd() const { return FFd; }
  platform::TStream& Stream() { return *FStream; }

 private:
  int FFd = -1;
  std::unique_ptr<platform::THandleStream> FStream;
};

// An input named by path, or standard input: a regular file, read through a handle of its own.
// The library needs a seekable input of known size, so standard input that is not a regular file
// is first copied (spooled) into an unnamed temporary file.
class TInput {
 public:
  explicit TInput(const std::string& path);
  ~TInput();
  TInput(const TInput&) = delete;
  TInput& operator=(const TInput&) = delete;
  platform::TStream& Stream() { return *FStream; }
  std::int64_t Size() { return FStream->GetSize(); }
  // The open file, rewound to its start.
  platform::THandle Rewound();
  // For messages: the path, or "standard input".
  const std::string& Name() const { return FName; }

 private:
  std::string FName;
  std::unique_ptr<TTempFile> FSpool;
  platform::THandle FHandle = platform::INVALID_HANDLE_VALUE;  // owned unless spooled
  std::unique_ptr<platform::THandleStream> FStream;
};

// An input read once from its start, without a copy: a file (or standard input that is one) for
// exactly the size it has when opened, or a pipe (named or not), device or terminal to its end,
// read as it comes.
class TOnceInput {
 public:
  explicit TOnceInput(const std::string& path);
  ~TOnceInput();
  TOnceInput(const TOnceInput&) = delete;
  TOnceInput& operator=(const TOnceInput&) = delete;
  const std::string& Name() const { return FName; }
  // The size, or -1 for a pipe.
  std::int64_t Size() const { return FSize; }
  TInput* File() { return FFile.get(); }
  // Up to n bytes; 0 only at the end. Ctrl-C raises the interrupted failure.
  std::size_t Read(std::uint8_t* p, std::size_t n);
  // Bytes read so far.
  std::int64_t Done() const { return FDone; }

 private:
  std::string FName;
  std::unique_ptr<TInput> FFile;
  int FFd = 0;  // standard input, or the named pipe or device opened
  std::int64_t FSize = -1, FDone = 0;
};

// An output named by path, or standard output. An existing file (a link's target, so a dangling
// link names no file yet and its target is created) is refused without force; the bytes go to a
// platform::TReplacingFile that replaces the target only on Commit(), so after a failure or
// Ctrl-C the target is as it was and no temporary file remains. Standard output, a pipe or a
// device is written as the operation goes, or with staged only on Commit(), from an unnamed
// temporary file: what cannot be taken back is released only once it is complete (and, for a
// decryption that authenticates, verified).
class TOutput {
 public:
  TOutput(const std::string& path, bool force, bool staged = false);
  ~TOutput();
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;
  platform::TStream& Stream() { return FStage ? FStage->Stream() : *FStream; }
  // The file the bytes go to (the replacing file's or the stage's), for the handle operations;
  // invalid for an output written as it goes.
  platform::THandle Handle() const;
  const std::string& Name() const { return FName; }
  void Commit();
  // Commits a file and its tag as a pair: both replaced, or on any failure this process sees
  // neither (the library's pair commit); an output written as it goes is already out.
  static void CommitPair(TOutput& first, TOutput& second);

 private:
  void Release();  // copies the stage out

  std::string FName;
  std::unique_ptr<platform::TReplacingFile> FReplacing;
  std::unique_ptr<TTempFile> FStage;
  int FFd = -1;  // standard output or the opened pipe or device
  std::unique_ptr<platform::TStream> FStream;
};

// Refuses an existing output unless force is given (a link counts by the file it names).
void CheckNewOutput(const std::string& path, bool force);

// A path and the option that gave it ("input", "-o", "--key-file", ...).
struct TNamedPath {
  std::string Option;
  std::string Path;
};
// Before anything is read, asked or written: refuses (exit 1, naming both options) a written path
// that names the same file as any other path given, read or written, through the same spelling, a
// link or a hard link; a file that does not exist yet counts by its folder and name. Standard
// input counts by its file when it is one; "-" outputs, outputs that are devices, pipes or
// sockets (nothing there can be lost) and options not given are skipped. The one
// pair allowed is "input" with "-o": the output replaces its input in place (it exists, so only
// with --force), whole or not at all.
void CheckDistinctPaths(const std::vector<TNamedPath>& reads, const std::vector<TNamedPath>& writes);

// Cipher text is binary: standard output on a terminal takes it only when -o - asks for it.
// out: the -o value as given (empty when -o was not given).
void RefuseTerminalOutput(const std::string& out);

// The system's reason for the last failed call, for messages ("No space left on device").
std::string SystemReason(const std::string& fallback);

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

class TProgress;
// The whole of an input into bytes wiped when the holder goes (keys, messages sealed in memory):
// an input above limit bytes fails with "<name>: <tooLarge>" before anything is read; the
// reading follows progress when one is given.
void ReadWhole(TInput& in, platform::TSecretBytes& bytes, std::int64_t limit, const std::string& tooLarge,
               TProgress* progress = nullptr);

// Copies a whole stream, from its start, to a descriptor.
void CopyToFd(platform::TStream& s, int fd, const std::string& name);

}  // namespace cli
