// The component's key text wiped in place; the library's own, not installed.
#pragma once

#include <cstddef>

#include "platform/Types.h"

namespace AESObj {

// Wipes key's characters and spare capacity, then makes it length NUL characters.
void WipeKeyText(platform::string& key, std::size_t length);

}  // namespace AESObj
