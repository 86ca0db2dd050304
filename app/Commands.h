// What running one of the program's commands came to, in words for a person: the one-line
// status and, after a failure, the message naming the file, what the library said and what it
// most likely means. The window and the headless commands show the same texts.
#pragma once

#include <cstdint>
#include <string_view>

#include "crypto/component/AESObj.h"
#include "platform/SysUtils.h"

namespace Commands {

using platform::Integer;
using platform::string;

// One file command: the button's caption, the files it reads and writes (names in the folder it
// is given), and the operation, which returns the library's status (0, or a failed check such
// as -208) and raises every other failure.
struct TCommand {
  std::u16string_view Caption;
  std::u16string_view Input;
  std::u16string_view Output;
  Integer (*Run)(const string& dir, AESObj::TAESEncryption& component);
};

enum class TResult : std::uint8_t { Succeeded, Failed, Cancelled };

struct TOutcome {
  TResult Result = TResult::Failed;
  string Status;   // one line, e.g. "test.aes written in /folder (300.0 MB, 0.42 s)"
  string Message;  // not a success: caption, file, the library's text, then its plain meaning
};

// Runs command on the files in dir (with its final separator) with component, which reports
// each chunk to progress (returning false cancels). Catches every failure and says what it was;
// the component's chunk progress is cleared again before returning.
TOutcome RunCommand(const TCommand& command, const string& dir, AESObj::TAESEncryption& component,
                    platform::TChunkProgress progress) noexcept;

// "0 bytes", "1 byte", "999 bytes", "1.5 kB", "300.0 MB", "2.1 GB" (powers of 1000).
string FormatSize(std::int64_t bytes);

// The program's folder as messages show it: without its final "/" (the root stays "/").
string FolderOf(const string& dir);

}  // namespace Commands
