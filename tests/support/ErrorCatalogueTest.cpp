// The error catalogue: exact messages for representative codes, shared texts, joined pieces,
// the remainder families and codes outside the list.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "crypto/support/error.h"
#include "platform/SysUtils.h"

namespace {

using error::GetErrorMessage;
using platform::Integer;

struct TMessageCase {
  Integer Code;
  std::u16string Expected;
};

const TMessageCase kMessageCases[] = {
    // Remainder families: the code ends in 01, 02 or 03.
    {-1, u"Error:  an input is empty"},
    {-101, u"Error:  an input is empty"},
    {-201, u"Error:  an input is empty"},
    {-1001, u"Error:  an input is empty"},
    {-2, u"Error:  allocation of data failed (or empty variable)"},
    {-202, u"Error:  allocation of data failed (or empty variable)"},
    {-1702, u"Error:  allocation of data failed (or empty variable)"},
    {-3, u"Error:  a file failed to open"},
    {-203, u"Error:  a file failed to open"},
    {-903, u"Error:  a file failed to open"},
    // Rows whose text is shared by several codes.
    {-4, u"Error:  a is less than b in subtraction"},
    {-411, u"Error:  a is less than b in subtraction"},
    {-911, u"Error:  a is less than b in subtraction"},
    {-912, u"Error:  cant decrement a because a = 0"},
    {-413, u"Error:  in Montgomery, m is not equal to -m^(-1) mod 2^16"},
    {-106, u"Error:  Incorrect HMAC"},
    {-1007, u"Error:  Incorrect HMAC"},
    {-318, u"Error: in RSA, the message is too long"},
    {-322, u"Error: in RSA, the message is too long"},
    {-327, u"Error: in RSA, the message is too long"},
    // Neighbours of the shared range keep their own texts.
    {-317, u"Error: in Convertchartointbase8_rsa, the messagegth of M < message_m"},
    {-328, u"Error: in RSA PSS Padding, the message is too long"},
    // Texts written in several pieces form one message.
    {-10, u"Error: the gcd of a and mod is not 1 so it is impossible to compute the inverse of Mod(a, mod)"},
    {-1004,
     u"Error:  the messagegth of the output is not supported by these  SHA-3 basic functions. Please use SHA3XOF "
     u"instead"},
    {-1005,
     u"Error:  the version is not supported by these  SHA-3 Extendable-Output functions.  Please use version = 256 "
     u"or version = 512."},
    // The AES statuses, and rows at both ends of the table.
    {-200, u"Error: in AES GCM, the tag is not the right one"},
    {-205, u"Error: in AES MAC, the tag is not the right one"},
    {-208, u"Error: in AES, the cipher text cannot be decrypted because the padding is not correct"},
    {-212, u"Error: in AES with IV in cipher text, the cipher text must have a messagegth minimum 16 bytes"},
    {-230, u"Error: in AES chunked encryption, the key or the context does not match the message"},
    {-231, u"Error: in AES chunked encryption, the message is truncated"},
    {-232, u"Error: in AES chunked encryption, the message has more than 2^38 chunks"},
    {-100, u"Error:  in SHA 2, the operands must be 32-bit elements or 64-bit elements"},
    {-922, u"Error: nG != O"},
    {-1704,
     u"Error: The RFC 5480 recommends SHA-256 for p-256 curve, SHA-384 for p-384 curve and SHA-512 for p-521 "
     u"curve"},
    // Codes outside the list, including positive codes whose remainder is 1, 2 or 3.
    {0, u"Error: Unknown error (not in predefined list): 0"},
    {7, u"Error: Unknown error (not in predefined list): 7"},
    {1, u"Error: Unknown error (not in predefined list): 1"},
    {201, u"Error: Unknown error (not in predefined list): 201"},
    {-6, u"Error: Unknown error (not in predefined list): -6"},
    {-213, u"Error: Unknown error (not in predefined list): -213"},
    {-330, u"Error: Unknown error (not in predefined list): -330"},
    {INT_MIN, u"Error: Unknown error (not in predefined list): -2147483648"},
    {INT_MAX, u"Error: Unknown error (not in predefined list): 2147483647"},
};

TEST(SupportErrorCatalogue, MessagesForCodes) {
  for (const TMessageCase& c : kMessageCases) {
    SCOPED_TRACE(c.Code);
    EXPECT_EQ(GetErrorMessage(c.Code), c.Expected);
  }
}

// The remainder rules apply to every negative code ending in 01, 02 or 03, and they win over
// any listed text; other codes never fall back to the texts of -1, -2 or -3.
TEST(SupportErrorCatalogue, RemainderFamiliesCoverEveryHundred) {
  const std::u16string family[] = {GetErrorMessage(-1), GetErrorMessage(-2), GetErrorMessage(-3)};
  for (Integer code = -3000; code <= 3000; ++code) {
    SCOPED_TRACE(code);
    const std::u16string message = GetErrorMessage(code);
    const Integer rest = code % 100;
    if (rest <= -1 && rest >= -3) {
      EXPECT_EQ(message, family[-rest - 1]);
    } else {
      EXPECT_NE(message, family[0]);
      EXPECT_NE(message, family[1]);
      EXPECT_NE(message, family[2]);
    }
    EXPECT_EQ(message.rfind(u"Error: ", 0), 0u);
  }
}

}  // namespace
