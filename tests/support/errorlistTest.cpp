// errorlist::ESelvane: the operation error carries "Invalid Operation : " and the code.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "crypto/support/errorlist.h"

namespace {

using errorlist::ESelvane;

TEST(SupportESelvane, MadeFromCode) {
  const ESelvane e(-208);
  EXPECT_EQ(e.Message(), u"Invalid Operation : -208");
  EXPECT_STREQ(e.what(), "Invalid Operation : -208");
  EXPECT_EQ(e.Code(), -208);

  EXPECT_EQ(ESelvane(INT_MIN).Message(), u"Invalid Operation : -2147483648");
  EXPECT_EQ(ESelvane(0).Message(), u"Invalid Operation : 0");
}

TEST(SupportESelvane, MadeFromMessageHasCodeZero) {
  const ESelvane e(u"a message of its own");
  EXPECT_EQ(e.Message(), u"a message of its own");
  EXPECT_EQ(e.Code(), 0);
}

TEST(SupportESelvane, RaiseIfErrorRaisesOnlyForNonZero) {
  EXPECT_NO_THROW(errorlist::RaiseIfError(0));
  try {
    errorlist::RaiseIfError(-206);
    FAIL() << "no exception for -206";
  } catch (const platform::Exception& e) {  // caught as the runtime's general exception
    const auto* s = dynamic_cast<const ESelvane*>(&e);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(e.Message(), u"Invalid Operation : -206");
    EXPECT_EQ(s->Code(), -206);
  }
}

}  // namespace
