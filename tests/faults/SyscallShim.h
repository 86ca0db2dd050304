// The calls that put a replaced file in place, interposed for this executable only: a test makes
// the n-th flush, link or rename after arming fail with EIO, as a failing disk would, or takes
// unnamed temporary files (O_TMPFILE) away, as a file system without them does.
#pragma once

namespace syscall_shim {

enum class TCall { Fsync, Link, Rename };  // Link: link and linkat

void FailNthCall(TCall call, int n);
// The calls of that kind seen since FailNthCall.
int Calls(TCall call);
void Disarm();

struct TScopedFailure {
  TScopedFailure(TCall call, int n) { FailNthCall(call, n); }
  ~TScopedFailure() { Disarm(); }
  TScopedFailure(const TScopedFailure&) = delete;
  TScopedFailure& operator=(const TScopedFailure&) = delete;
};

// While it lives, opening with O_TMPFILE fails with EOPNOTSUPP.
struct TNoUnnamedFiles {
  TNoUnnamedFiles();
  ~TNoUnnamedFiles();
  TNoUnnamedFiles(const TNoUnnamedFiles&) = delete;
  TNoUnnamedFiles& operator=(const TNoUnnamedFiles&) = delete;
};

}  // namespace syscall_shim
