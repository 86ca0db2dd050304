// The error catalogue: an English message for every library error code.
#pragma once

#include "platform/Types.h"

namespace error {

using platform::Integer;

// The AES engine's statuses, named once; every layer and the tests use these names.
inline constexpr Integer kOK = 0;
inline constexpr Integer kAllocationFailed = -2;  // memory could not be allocated
inline constexpr Integer kTagMismatch = -200;       // GCM tag check failed
inline constexpr Integer kBadArgument = -201;       // empty, short or inconsistent input
inline constexpr Integer kFileOpenFailed = -203;    // a file cannot be opened, sized or read
inline constexpr Integer kTagTooLong = -204;        // a tag longer than 128 bits
inline constexpr Integer kMacMismatch = -205;       // CMAC tag check failed
inline constexpr Integer kBadKeySize = -206;        // key not 128, 192 or 256 bits
inline constexpr Integer kBadCipherLength = -207;   // cipher text not a multiple of 16 bytes
inline constexpr Integer kBadPadding = -208;        // padding check failed
inline constexpr Integer kBadMode = -209;           // mode outside ECB, CBC, OFB, CTR
inline constexpr Integer kBadBlockLength = -210;    // a length not a multiple of 16 / tag size out of range
inline constexpr Integer kNoPaddingLength = -211;   // no padding and a length not a multiple of 16
inline constexpr Integer kShortIVCipher = -212;     // IV in the cipher text but fewer than 16 bytes
inline constexpr Integer kShortWrite = -213;        // a write transferred fewer bytes than asked
inline constexpr Integer kUnwrapFailed = -214;      // key unwrap: the integrity check failed
// Chunked encryption (crypto/engine/AESChunked.h); a chunk that fails its tag is kTagMismatch.
inline constexpr Integer kChunkCommitment = -230;   // the header is not this key's and context's
inline constexpr Integer kChunkTruncated = -231;    // the cipher text ends where no message can
inline constexpr Integer kChunkTooLong = -232;      // a message past 2^38 chunks

// "Error: " followed by the catalogue text of Code; never fails.
platform::string GetErrorMessage(platform::Integer Code);

}  // namespace error
