// ESelvane made from an error code. In an object file of its own so that a program that never
// builds the exception from a code does not pull in the error catalogue.
#include "crypto/support/MiscObj.h"
#include "crypto/support/error.h"

namespace MiscObj {

ESelvane::ESelvane(Integer Code) : Exception(error::GetErrorMessage(Code)), FCode(Code) {}

}  // namespace MiscObj
