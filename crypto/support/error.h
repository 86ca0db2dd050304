// The error catalogue: an English message for every library error code.
#pragma once

#include "platform/Types.h"

namespace error {

// "Error: " followed by the catalogue text of Code; never fails.
platform::string GetErrorMessage(platform::Integer Code);

}  // namespace error
