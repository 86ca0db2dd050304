// AES-GCM of one whole message for the tool, with an IV of any length from 1 byte, straight on
// the key-once API (TGCMEncryptor, TGCMDecryptor): the input read in pieces, each piece
// encrypted or decrypted in the same pass that hashes it. Decryption reads each piece of cipher
// text once, so the tag check covers exactly the bytes that were decrypted even when the input
// changes while it is read.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "Io.h"
#include "Progress.h"

namespace cli {

// The most one GCM message may hold: 2^36 - 32 bytes (64 GiB).
inline constexpr std::int64_t kGCMMaxBytes = (std::int64_t{1} << 36) - 32;

// The IV drawn when none is given: 12 bytes unless the caller names another length (1 to
// kGCMMaxDrawnIV), which the decryption must then be told as well.
inline constexpr std::size_t kGCMDrawnIV = 12;
inline constexpr std::size_t kGCMMaxDrawnIV = 4096;

// Reads length bytes of plain text from input (from its current position), encrypts them under
// key and iv (1 byte or more) into out and writes the first tag.size() bytes (4 to 16) of the tag
// to tag. A read that fails or ends early raises; Ctrl-C raises the interrupted failure.
void EncryptGCM(platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> key,
                std::span<const std::uint8_t> iv, std::span<const std::uint8_t> additionalData,
                platform::TStream& out, std::span<std::uint8_t> tag, TProgress& progress, const std::string& name);

// Reads length bytes of cipher text from input (from its current position), decrypts them under
// key and iv (1 byte or more) into out and checks the tag of additional data and cipher text against
// expected (its first expected.size() bytes, compared in constant time). out must be an output
// that shows nothing before Commit(): a replacing file or a staged output. Returns true when the
// tag matches (the caller then commits); false leaves out uncommitted, so nothing is released.
// A read that fails or ends early raises; Ctrl-C raises the interrupted failure.
bool DecryptVerified(platform::TStream& input, std::int64_t length, std::span<const std::uint8_t> key,
                     std::span<const std::uint8_t> iv, std::span<const std::uint8_t> additionalData,
                     std::span<const std::uint8_t> expected, TOutput& out, TProgress& progress,
                     const std::string& name);

// Exactly n bytes from the stream's position, or a failure naming the input.
void ReadExactly(platform::TStream& s, std::uint8_t* p, std::int64_t n, const std::string& name);
// The whole of a stream (additional data), read from its start.
platform::TBytes ReadAll(platform::TStream& s, const std::string& name);

}  // namespace cli
