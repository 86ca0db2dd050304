#include "crypto/support/error.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/SysUtils.h"

namespace error {

namespace {

using platform::Integer;

// The most codes that share one text (the RSA "message is too long" family).
constexpr std::size_t kMaxCodesPerRow = 10;

// One catalogue row: the codes that share a text and the text that follows "Error: ".
// Unused code slots are 0, which is never a library error code. Texts that were written as
// several pieces are kept as adjacent literals, so they join into one message.
struct TCatalogueRow {
  std::array<Integer, kMaxCodesPerRow> Codes;
  std::u16string_view Text;
};

// Many texts deliberately begin with a space: those messages read "Error:  ...".
constexpr TCatalogueRow kCatalogue[] = {
    {{-1}, u" an input is empty"},
    {{-2}, u" allocation of data failed (or empty variable)"},
    {{-3}, u" a file failed to open"},
    {{-4, -411, -911}, u" a is less than b in subtraction"},
    {{-5, -412, -912}, u" cant decrement a because a = 0"},
    {{-7}, u" division by zero"},
    {{-8}, u" a modulus is equal to zero"},
    {{-9, -413, -913}, u" in Montgomery, m is not equal to -m^(-1) mod 2^16"},
    {{-10},
     u"the gcd of a and mod is not 1 so it is "
     u"impossible to compute the inverse of Mod(a, mod)"},
    {{-11}, u"in Barrett reduction, the element x is too long"},
    {{-22}, u"the generation of random int failed"},
    {{-23}, u" the second operand is too small in the division"},
    {{-24}, u" the divisor is greater than the dividend in the division"},
    {{-25}, u" in Montgomery, the operands x and y are too big compared to m"},
    {{-26}, u"the input of HexaToChar is not hexadecimal"},
    {{-27}, u"the generation of random int 2 failed"},
    {{-28}, u" the string is not a base64 string"},
    {{-29}, u" the string is not a base32 string"},
    {{-100}, u" in SHA 2, the operands must be 32-bit elements or 64-bit elements"},
    {{-104}, u" SHA 2 supported versions are 256, 384 or 512"},
    {{-105}, u" in SHA 2, the message to hash is too long"},
    {{-106, -1007}, u" Incorrect HMAC"},
    {{-107}, u"sha-1 is supported only for signature verification and decryption"},
    {{-200}, u"in AES GCM, the tag is not the right one"},
    {{-204}, u"in AES, the messagegth of the tag T must be < 128 bits"},
    {{-205}, u"in AES MAC, the tag is not the right one"},
    {{-206}, u"AES uses key size 128, 192 or 256 bits"},
    {{-207}, u"in AES, the cipher text must have a messagegth multiple of 128 bits"},
    {{-208}, u"in AES, the cipher text cannot be decrypted because the padding is not correct"},
    {{-209}, u"in AES, the mode must be ECB, CBC, OFB CTR, MAC or GCM"},
    {{-210}, u"in AES, the messagegth of the block is not a multiple of 16"},
    {{-211}, u"in AES with no padding, the messagegth of the clear text must be a multiple of 16 bytes"},
    {{-212}, u"in AES with IV in cipher text, the cipher text must have a messagegth minimum 16 bytes"},
    {{-230}, u"in AES chunked encryption, the key or the context does not match the message"},
    {{-231}, u"in AES chunked encryption, the message is truncated"},
    {{-232}, u"in AES chunked encryption, the message has more than 2^38 chunks"},
    {{-300}, u"length of the RSA modulus must be 2048, 3072 or 4096"},
    {{-304}, u"in RSA, the parameter e must be odd and 2^16 < e < 2^256"},
    {{-307}, u"in RSA, the seed messagegth is incorrect"},
    {{-309}, u"the generation of the provable primes failed"},
    {{-310}, u"the generation of a random prime failed"},
    {{-313}, u"in RSA OAEP, the label is too long"},
    {{-314}, u"in RSA OAEP, decryption failed"},
    {{-315}, u"in RSA PSS, the encoding failed"},
    {{-316}, u"in RSA PSS, the signature is inconsistent"},
    {{-317}, u"in Convertchartointbase8_rsa, the messagegth of M < message_m"},
    {{-318, -319, -320, -321, -322, -323, -324, -325, -326, -327}, u"in RSA, the message is too long"},
    {{-328}, u"in RSA PSS Padding, the message is too long"},
    {{-329}, u"in RSA PSS de-Padding, the message is too long"},
    {{-353}, u"in RSA PSS, padding length is inconsistent (1)"},
    {{-354}, u"in RSA PSS, first byte of padding is not correct (2)"},
    {{-355}, u"in RSA PSS, padding mask is inconsistent (3)"},
    {{-356}, u"in RSA PSS, zero byte padding sequence is inconsistent (4)"},
    {{-357}, u"in RSA PSS, padding value is not 1 (5)"},
    {{-360}, u"in RSA PKCS, decryption failed"},
    {{-361}, u"in RSA PKCS, the signature is inconsistent"},
    {{-400}, u"in Ed25519, the element of the field is too long"},
    {{-404}, u"a is not modulo Modulo_Field25519"},
    {{-405}, u"in Ed25519, P1.z = 0 or P2.z = 0"},
    {{-406}, u"in Ed25519, P1 = P2"},
    {{-407}, u"in Ed25519, the input is not a square"},
    {{-408}, u"in Ed25519, the signature is not valid"},
    {{-409}, u"in Ed25519, in the current point, x*y != z*t"},
    {{-500}, u"in Salsa, the input of the function has a bad messagegth"},
    {{-600}, u"in SPECK, wordSizeBits and/or keySizeBytes are not supported by the algorithm"},
    {{-604}, u"in SPECK, the messagegth of the key words must be wordSizeBits x keySizeBytes / 16"},
    {{-605}, u"in SPECK, the messagegth of the cipher must be a multiple of wordSizeBits / 4"},
    {{-606}, u"in SPECK, the cipher text cannot be decrypted because the padding is incorrect"},
    {{-607}, u"in SPECK, the mode must be ECB, CBC or OFB"},
    {{-608}, u"in SPECK, the blocks have not the right messagegth"},
    {{-609},
     u"in SPECK with no padding, the messagegth of the clear text must be a multiple of wordSizeBits/4 bytes"},
    {{-700}, u"in ECIES 255-19, the messagegth of the cipher must be a multiple of 16"},
    {{-800}, u"in ECIES 511-187, the messagegth of the cipher must be a multiple of 16"},
    {{-900}, u"in Ed511187, the element of the field is too long"},
    {{-904}, u"a is not modulo Modulo_Field511187"},
    {{-905}, u"in Ed511187, P1.z = 0 or P2.z = 0"},
    {{-906}, u"in Ed511187, P1 = P2"},
    {{-907}, u"in Ed511187, the input is not a square"},
    {{-908}, u"in Ed511187, the signature is not valid"},
    {{-910}, u"in Ed511187, the calculated point is not on the curve"},
    {{-914}, u"in a + b mod p256, a or b is greater than p256"},
    {{-915}, u"in a - b mod p256, a or b is greater than p256"},
    {{-916}, u"Trying to invert 0"},
    {{-917}, u"Trying to affinify the infinite point"},
    {{-918}, u"Trying to compute dS with d >= p256"},
    {{-919}, u"Trying to compute r = a mod p256 with r >= 2^256"},
    {{-920}, u"The public key is the infinity point in signature verification"},
    {{-921}, u"The public key isnt on the curve"},
    {{-922}, u"nG != O"},
    {{-923}, u"r not in [1; n - 1]"},
    {{-924}, u"s not in [1; n - 1]"},
    {{-925}, u"The verification failed"},
    {{-926}, u"The test failed"},
    {{-927}, u"The point has not the right format"},
    {{-928}, u"The supported curve are p-256, p-384 and p-521"},
    {{-1004},
     u" the messagegth of the output is not supported by these "
     u" SHA-3 basic functions. Please use SHA3XOF instead"},
    {{-1005},
     u" the version is not supported by these "
     u" SHA-3 Extendable-Output functions. "
     u" Please use version = 256 or version = 512."},
    {{-1006}, u"the rate is not the right one"},
    {{-1104}, u"In pbkdf2, the hash function should be either sha2 or sha3"},
    {{-1405}, u"In Argon2, the output is too short, must be >= 4"},
    {{-1406}, u"In Argon2, the state is a reused state"},
    {{-1409}, u"In Argon2, the memory must be >= 8"},
    {{-1410}, u"In Argon2, the memory is too much"},
    {{-1411}, u"In Argon2, the counter must be >= 1"},
    {{-1506}, u"In Blake2b, the state is a reused state"},
    {{-1513}, u"In Blake2b, the parameters are incorrect"},
    {{-1704},
     u"The RFC 5480 recommends SHA-256 for p-256 curve, SHA-384 for p-384 curve and SHA-512 for p-521 curve"},
};

constexpr std::u16string_view kPrefix = u"Error: ";
constexpr std::u16string_view kUnknown = u"Unknown error (not in predefined list): ";

const TCatalogueRow* FindRow(Integer Code) {
  for (const TCatalogueRow& row : kCatalogue)
    for (Integer c : row.Codes)
      if (c == Code && c != 0) return &row;
  return nullptr;
}

}  // namespace

platform::string GetErrorMessage(Integer Code) {
  // Whole families of codes ending in 01, 02 or 03 (-101, -1002, ...) share the texts of -1, -2
  // and -3. The remainder keeps the sign of the code, so positive codes never match here.
  Integer lookup = Code;
  if (const Integer rest = Code % 100; rest >= -3 && rest <= -1) lookup = rest;

  platform::string message(kPrefix);
  if (const TCatalogueRow* row = FindRow(lookup))
    message += row->Text;
  else
    message += platform::string(kUnknown) + platform::IntToStr(Code);
  return message;
}

}  // namespace error
