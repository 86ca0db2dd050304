#include "platform/ReplacingFileStandIn.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/SysUtils.h"

namespace platform {

TReplacingFile::TReplacingFile(const string& targetPath) : FTarget(targetPath), FNativeTarget(NativePath(targetPath)) {
  const auto slash = FNativeTarget.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : FNativeTarget.substr(0, slash);
  const std::string name = slash == std::string::npos ? FNativeTarget : FNativeTarget.substr(slash + 1);
  FTemp = folder + "/." + name + ".partial-XXXXXX";
  FHandle = FNativeTarget.empty() ? -1 : ::mkstemp(FTemp.data());
  if (FHandle < 0)
    throw EFOpenError(u"Cannot create file \"" + targetPath + u"\". " + FromUTF8(std::strerror(errno)));
  struct stat st{};
  if (::stat(FNativeTarget.c_str(), &st) == 0) ::fchmod(FHandle, st.st_mode & 07777);
}

TReplacingFile::~TReplacingFile() { Discard(); }

void TReplacingFile::Discard() noexcept {
  if (FHandle == INVALID_HANDLE_VALUE) return;
  ::close(FHandle);
  ::unlink(FTemp.c_str());
  FHandle = INVALID_HANDLE_VALUE;
}

bool TReplacingFile::Commit() {
  if (FHandle == INVALID_HANDLE_VALUE) return false;
  const bool ok = ::fsync(FHandle) == 0 && ::close(FHandle) == 0;
  FHandle = INVALID_HANDLE_VALUE;
  if (ok && ::rename(FTemp.c_str(), FNativeTarget.c_str()) == 0) return true;
  ::unlink(FTemp.c_str());
  return false;
}

}  // namespace platform
