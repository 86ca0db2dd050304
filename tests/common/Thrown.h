// What an action raises: the message of the exception it throws, or "no error".
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace testing_support {

inline std::string ThrownMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace testing_support
