// Test helper: the byte string (one UTF-16 code unit per byte) of a narrow literal.
#pragma once

#include <string_view>

#include "platform/Types.h"

namespace testing_support {

inline platform::string B(std::string_view bytes) {
  platform::string s;
  for (unsigned char c : bytes) s += static_cast<char16_t>(c);
  return s;
}

}  // namespace testing_support
