// Temporary whole-or-nothing file writer with the interface of the platform's TReplacingFile,
// so GCM's file forms can be built before that lands; removed when it does.
#pragma once

#include <string>

#include "platform/Files.h"

namespace platform {

// The bytes go to a temporary file in the target's folder; Commit() flushes it and renames it
// over the target. Without Commit() the temporary file is removed and the target is unchanged.
class TReplacingFile {
 public:
  // Raises EFOpenError naming the file when no temporary file can be made beside it.
  explicit TReplacingFile(const string& targetPath);
  TReplacingFile(const TReplacingFile&) = delete;
  TReplacingFile& operator=(const TReplacingFile&) = delete;
  ~TReplacingFile();

  THandle Handle() const noexcept { return FHandle; }
  const string& TargetPath() const noexcept { return FTarget; }
  // False when the flush or the rename fails (the target is then untouched). A second call
  // returns false.
  bool Commit();

 private:
  void Discard() noexcept;

  string FTarget;
  std::string FNativeTarget, FTemp;
  THandle FHandle = INVALID_HANDLE_VALUE;
};

}  // namespace platform
