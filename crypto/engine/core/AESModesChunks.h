// Machinery shared by the stream, buffer and path-file operations of TAESModes: the key
// schedule holder, the block modes' chaining rules (ModeStep over a caller's schedule, BlockStep
// and CryptBytes over the kernel), padding, and the chunk loops. Internal to the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "crypto/engine/AESCore.h"
#include "crypto/engine/core/AESModesRules.h"
#include "crypto/engine/core/BlockMath.h"
#include "crypto/engine/core/MeasuredInput.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/support/error.h"
#include "platform/Memory.h"
#include "platform/Types.h"

namespace AESModes::detail {

using platform::Cardinal;
using platform::Integer;
using platform::TBytes;
using platform::TCharArray16;
using platform::TCharArray60_4;

using error::kBadArgument;
using error::kBadCipherLength;
using error::kBadKeySize;
using error::kBadMode;
using error::kBadPadding;
using error::kFileOpenFailed;
using error::kNoPaddingLength;
using error::kShortIVCipher;
using error::kShortWrite;

// The path-file forms (block modes, GCM, CMAC) read, encipher and write in pieces of this size
// (1 MiB), not in chunks of kFileChunkSize: the output is the same byte for byte (V carries from
// piece to piece), and the page cache takes writes of this size far faster than 16 MB ones.
inline constexpr std::int64_t kFilePieceSize = std::int64_t{1} << 20;

enum class TDirection : std::uint8_t { Encrypt, Decrypt };

// The key holder of every operation: the schedules it was asked for, wiped when it goes away, and
// the kernel chosen for this processor. Going away, after the wipe, it clears the vector registers
// (platform::TCallExit: the kernels leave no key material on the stack).
class TScrubbedKey : private platform::TCallExit, public kernel::TExpandedKey {
 public:
  using kernel::TExpandedKey::TExpandedKey;
};

// Nk for a key size in bits: 128 -> 4, 192 -> 6, 256 -> 8; kBadKeySize for any other size.
Integer NkForKeySize(Integer keySizeBits, Cardinal& Nk) noexcept;
// The same for a key length in bytes (16, 24 or 32).
Integer NkForKeyLength(std::size_t keyBytes, Cardinal& Nk) noexcept;
// V = the first 16 bytes of the caller's IV. An IV of fewer than 16 bytes gives kBadArgument and
// is not read, so a short IV is never read past its end.
Integer CallerIV(const TBytes& IV, TCharArray16& V) noexcept;
// V = 16 bytes from the OS generator. A failing generator's (negative) status is returned, so
// no caller ever goes on with a predictable all-zero IV.
Integer RandomIV(TCharArray16& V) noexcept;

void PadBlock(TCharArray16& P, Integer L) noexcept;
// The padding check of every padded decryption: the final plain block P is accepted only when
// its last byte k is 1 to 16 and its last k bytes all equal k (what PadBlock writes); then
// plainBytes = 16 - k and 0 is returned. Anything else gives kBadPadding (plainBytes untouched):
// a last byte of 0, or padding bytes that disagree, are a damaged cipher text or a wrong key.
// Constant time over the 16 bytes: masks decide, no branch or early exit on a padding byte.
Integer CheckPadding(const TCharArray16& P, std::size_t& plainBytes) noexcept;

// The one block step of each mode, V being the chaining block:
//   ECB  out = E(in) / D(in)
//   CBC  enc: out = E(in xor V), V = out;  dec: out = D(in) xor V, V = in
//   OFB  O = E(V), out = in xor O, V = O          (both directions)
//   CTR  out = in xor E(V), V = V + 1             (both directions)
// Returns 0, kBadMode for TMode::Unknown (out untouched), or the block cipher's status.
Integer ModeStep(TDirection dir, const AESCore::TAESCore& core, const TCharArray60_4& w, Cardinal Nk,
                 const TCharArray16& in, TCharArray16& out, TCharArray16& V, TMode mode);

// `blocks` whole blocks of the mode in one bulk call of the keyed kernel, ModeStep's rules over
// many blocks: 0, or kBadMode for TMode::Unknown (nothing written). Inline, so a caller that names
// its mode and direction goes straight to the kernel's entry.
inline Integer Bulk(TDirection dir, const kernel::TExpandedKey& ks, const std::uint8_t* in, std::uint8_t* out,
                    std::size_t blocks, TCharArray16& V, TMode mode) noexcept {
  const bool enc = dir == TDirection::Encrypt;
  switch (mode) {
    case TMode::ECB: enc ? ks.EncryptECB(in, out, blocks) : ks.DecryptECB(in, out, blocks); return 0;
    case TMode::CBC: enc ? ks.EncryptCBC(in, out, blocks, V.data()) : ks.DecryptCBC(in, out, blocks, V.data()); return 0;
    case TMode::OFB: ks.OFB(in, out, blocks, V.data()); return 0;
    case TMode::CTR: ks.CTR128(in, out, blocks, V.data()); return 0;
    default: return kBadMode;
  }
}

// One block of the mode through the keyed kernel, with ModeStep's results.
Integer BlockStep(TDirection dir, const kernel::TExpandedKey& ks, const TCharArray16& in, TCharArray16& out,
                  TCharArray16& V, TMode mode) noexcept;

// CryptBytes past its first `done` bytes (whole blocks): the blocks that are partial or not wholly
// readable.
Integer CryptTail(TDirection dir, const kernel::TExpandedKey& ks, const std::uint8_t* in, std::size_t avail,
                  std::uint8_t* out, std::size_t n, std::size_t done, TCharArray16& V, TMode mode) noexcept;

// Runs n bytes of in through the mode into out, carrying V, the readable whole blocks in one bulk
// call of the keyed kernel. avail is how many bytes of in may be
// read; when the last block is partial and not all of it is readable, it is taken through a
// zero-filled block and only its n mod 16 bytes are written. out may be in.
inline Integer CryptBytes(TDirection dir, const kernel::TExpandedKey& ks, const std::uint8_t* in, std::size_t avail,
                          std::uint8_t* out, std::size_t n, TCharArray16& V, TMode mode) noexcept {
  if (n == 0) return 0;
  const std::size_t bulk = (n < avail ? n : avail) / 16;
  if (const Integer st = Bulk(dir, ks, in, out, bulk, V, mode)) return st;
  return 16 * bulk == n ? 0 : CryptTail(dir, ks, in, avail, out, n, 16 * bulk, V, mode);
}

// Source and sink of a chunk loop. In is the measured input (see TMeasuredInput: a read gives
// exactly what remains up to the count asked, so a shorter read is the measured end; a failed
// read returns its status or raises). Write returns 0 or a negative status (or raises).
// AfterChunk, when set, runs after each chunk written and once at the end of a successful loop;
// a non-zero status (or an exception) ends the loop.
struct TChunkIO {
  TMeasuredInput& In;
  std::function<Integer(const std::uint8_t*, std::int64_t)> Write;
  std::function<Integer()> AfterChunk;
};

// Makes the final block C of a padded encryption from the padded plain block P and V.
using TFinalEncrypt = std::function<Integer(const TCharArray16& P, TCharArray16& C, TCharArray16& V)>;
// Makes the plain block P from the final cipher block C and V.
using TFinalDecrypt = std::function<Integer(const TCharArray16& C, TCharArray16& P, TCharArray16& V)>;

// The chunk buffer of one call: zero-filled, and wiped when the call ends, failures included
// (it holds plain text). A chunk is read into it, enciphered in place by the kernel and written
// from it, so each byte is copied in and out once and no second buffer is needed.
class TChunkBuffer {
 public:
  explicit TChunkBuffer(std::size_t size) : FBytes(TBytes(size)) {}
  // Room for `need` bytes, at least one block and at most `most` bytes: a call whose inputs are
  // small takes no more than they need.
  TChunkBuffer(std::int64_t need, std::int64_t most)
      : TChunkBuffer(static_cast<std::size_t>(need < 16 ? 16 : need > most ? most : need)) {}
  std::uint8_t* data() noexcept { return FBytes.Value.data(); }
  std::size_t size() const noexcept { return FBytes.Value.size(); }
  std::span<std::uint8_t> Span() noexcept { return FBytes.Value; }
  TBytes& Bytes() noexcept { return FBytes.Value; }

 private:
  platform::TSecretBytes FBytes;
};

// Encrypts the L bytes at in into out in one go, carrying V: the whole blocks (all L bytes
// without padding), then with padding the block from final made of the last L mod 16 bytes and
// PKCS7 padding. out receives L - L mod 16 + 16 bytes with padding, L without; out may be in.
// bytes receives that count.
Integer EncryptSpan(const kernel::TExpandedKey& ks, const std::uint8_t* in, std::size_t L, std::uint8_t* out, TCharArray16& V,
                    TMode mode, bool padding, const TFinalEncrypt& final, std::size_t& bytes);

// Encryption loop: every full chunk read is encrypted and written whole; the first shorter read
// is the tail, whose whole blocks (all of it without padding) are encrypted and written; with
// padding, its remaining bytes are padded (PKCS7) and the block from final is written last.
Integer EncryptChunks(const TChunkIO& io, TChunkBuffer& buf, const kernel::TExpandedKey& ks, TCharArray16& V,
                      TMode mode, bool padding, const TFinalEncrypt& final);

// Decryption loop over dataSize bytes of cipher text: full chunks are decrypted and written
// while they end before the last 16 bytes (padding) or the last byte (none); the rest is the
// tail. With padding, the final 16 bytes go through final and the last byte k of the plain
// block is checked by CheckPadding: kBadPadding, or its first 16 - k bytes are written.
// Input too short to hold one padded block writes nothing and gives kBadPadding; an empty
// input without padding writes nothing and gives 0.
Integer DecryptChunks(const TChunkIO& io, TChunkBuffer& buf, const kernel::TExpandedKey& ks, TCharArray16& V,
                      TMode mode, bool padding, std::int64_t dataSize, const TFinalDecrypt& final);

}  // namespace AESModes::detail
