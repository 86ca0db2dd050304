// The library's exception: "Invalid Operation : <code>" or a caller's message.
#pragma once

#include "platform/SysUtils.h"

namespace errorlist {

using platform::Integer;
using platform::string;

class ESelvane : public platform::Exception {
 public:
  // Keeps the message; the code stays 0.
  explicit ESelvane(const string& errorMessage) : Exception(errorMessage) {}
  // "Invalid Operation : " followed by the code in decimal.
  explicit ESelvane(Integer Code) : Exception(u"Invalid Operation : " + platform::IntToStr(Code)), FCode(Code) {}

  // The status the error was made from; 0 for one made from a message.
  Integer Code() const noexcept { return FCode; }

 private:
  Integer FCode = 0;
};

// The operation error: raise ESelvane(Code) unless Code is 0.
inline void RaiseIfError(Integer Code) {
  if (Code != 0) throw ESelvane(Code);
}

}  // namespace errorlist
