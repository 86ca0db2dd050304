// Reads the private code of the converter's exception, for the converter's tests.
#pragma once

#include "crypto/support/MiscObj.h"

namespace MiscObj {
struct ESelvaneAccess {
  static platform::Integer Code(const ESelvane& e) { return e.FCode; }
};
}  // namespace MiscObj
