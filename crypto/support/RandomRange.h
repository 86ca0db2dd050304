// The mapping of random text's bytes into a range of characters; the library's own, not installed.
#pragma once

#include "platform/Types.h"

namespace RandomCoreW {

// low + round(value / maximum * (high - low)), rounded to nearest with ties to even.
platform::Integer MapToRange(platform::Integer low, platform::Integer high, platform::Integer value,
                             platform::Integer maximum);

}  // namespace RandomCoreW
