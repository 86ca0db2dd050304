// Chunked encryption, version 1 of the published C2SP design, over AES-GCM: messages of any size
// (up to 2^38 chunks, about 4 PiB) encrypted and authenticated in chunks of 16 KiB, so they can
// be written and read as they stream, with bounded memory and random access.
//
// Two suites: Cobblestone-128 (HKDF-SHA-512 and AES-128-GCM, a 16-byte key) and Cobblestone-256
// (HKDF-SHA-512 and AES-256-GCM, a 32-byte key). Per message:
//   key' || base nonce (12) || commitment (32) = HKDF-Expand-SHA-512(prk = the caller's key,
//       info = "c2sp.org/chunked-encryption@v1+" || "AEAD_AES_128_GCM" or "AEAD_AES_256_GCM"
//              || 0x00 || salt (24) || context)
//   cipher text = salt || commitment || chunk 0 || chunk 1 || ... (a 56-byte header)
// The plain text is cut into chunks of 16,384 bytes; the last one is always shorter and may be
// empty (an empty message is one empty chunk; 16 KiB is a full chunk and an empty one). Chunk k
// is AES-GCM under key' with the nonce base nonce XOR k (k big-endian over the 12 bytes), no
// additional data and a 16-byte tag, so it takes 16,400 bytes and starts at 56 + k * 16,400.
// Decryption compares the commitment (in constant time) before it opens any chunk, which refuses
// a wrong key or context and a changed salt or commitment; the chunk indexes refuse swapped,
// repeated or dropped chunks; and the short last chunk refuses a message cut after a full chunk.
//
// Statuses: 0, or a negative code from crypto/support/error.h: kBadArgument (-201) for
// arguments out of range (checked before anything is written), kBadKeySize (-206) for a key
// whose length is not the suite's, kChunkCommitment (-230) for a header that does not belong to
// this key and context, kTagMismatch (-200) for a chunk that fails its tag (a changed chunk, one
// out of place, or bytes after the last chunk), kChunkTruncated (-231) for a cipher text that
// ends where no message can (inside the header or a tag, or after a full chunk), kChunkTooLong
// (-232) for a message past 2^38 chunks, kFileOpenFailed (-203) for an input that cannot be
// opened or read, kShortWrite (-213) for an output that cannot be written, or the random
// source's status when no salt can be drawn. Nothing of the library's own is thrown (an
// allocation failure is std::bad_alloc); a caller's stream may raise its own exceptions, which
// pass through.
//
// Salts: every encryption draws a new 24-byte salt from the random source unless the caller
// gives one. Giving one is for tests and reproducible output only: a salt used twice under one
// key repeats every nonce of the message, so it must never be reused with the same key.
//
// Derived keys, nonces and buffers of plain text are wiped when an operation or object is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "crypto/support/error.h"
#include "platform/Streams.h"
#include "platform/Types.h"

namespace AESChunked {

using platform::Integer;
using platform::string;

enum class TSuite : std::uint8_t { Cobblestone128, Cobblestone256 };

inline constexpr std::size_t kSaltBytes = 24;
inline constexpr std::size_t kCommitmentBytes = 32;
inline constexpr std::size_t kHeaderBytes = kSaltBytes + kCommitmentBytes;
inline constexpr std::size_t kChunkBytes = 16384;
inline constexpr std::size_t kTagBytes = 16;
inline constexpr std::size_t kSealedChunkBytes = kChunkBytes + kTagBytes;
inline constexpr std::uint64_t kMaxChunks = std::uint64_t{1} << 38;
// The longest message: every chunk full but the last, which holds one byte less.
inline constexpr std::uint64_t kMaxPlainBytes = kMaxChunks * kChunkBytes - 1;

// The key length of a suite: 16 or 32 bytes.
std::size_t KeyBytes(TSuite suite) noexcept;
// The cipher text's length for plainBytes of plain text (at most kMaxPlainBytes; more gives 0).
std::uint64_t CipherBytes(std::uint64_t plainBytes) noexcept;
// The plain text's length in a cipher text of cipherBytes: 0, or kChunkTruncated for a length
// no message has, kChunkTooLong for one past 2^38 chunks. Says nothing of the bytes themselves.
Integer PlainBytes(std::uint64_t cipherBytes, std::uint64_t& plainBytes) noexcept;

// What every operation takes besides its data. The spans are read during the call (or the
// Begin/Open of an object) only; nothing keeps them.
struct TParams {
  TSuite Suite = TSuite::Cobblestone128;
  std::span<const std::uint8_t> Key;      // KeyBytes(Suite) bytes
  std::span<const std::uint8_t> Context;  // any length, empty included
};

// --- Caller memory, one call.
// cipher holds at least CipherBytes(plain.size()) bytes, of which exactly that many are written.
// salt: empty (drawn) or kSaltBytes bytes. kBadArgument also for a plain text past
// kMaxPlainBytes, a short cipher span, or plain and cipher overlapping.
Integer Encrypt(const TParams& params, std::span<const std::uint8_t> plain, std::span<std::uint8_t> cipher,
                std::span<const std::uint8_t> salt = {});
// plain holds at least the plain length of cipher (PlainBytes; kBadArgument when shorter, or when
// the two overlap). Every chunk is authenticated before the call returns 0; on any failure the
// bytes written to plain are zeroed.
Integer Decrypt(const TParams& params, std::span<const std::uint8_t> cipher, std::span<std::uint8_t> plain);

// How the stream and path-file forms run. Threads: how many chunks are sealed or opened at once
// (1 to 64; 1 runs on the calling thread only). The output is the same byte for byte for every
// count. Salt: as for Encrypt (ignored by decryption).
struct TOptions {
  unsigned Threads = 1;
  std::span<const std::uint8_t> Salt;
};

// --- Streams. The input is rewound and read whole, for exactly the size it has at the start
// (an input that ends sooner or fails is kFileOpenFailed, never a short message); the output is
// written from its current position. Null streams are kBadArgument. Encryption writes as it
// goes. Decryption checks the commitment and the cipher text's length before it writes
// anything and writes each chunk only after its tag matched; when a later chunk fails, every
// byte it wrote is overwritten with zeros and the output's size and position are put back.
Integer EncryptStream(const TParams& params, platform::TStream* in, platform::TStream* out,
                      const TOptions& options = {});
Integer DecryptStream(const TParams& params, platform::TStream* in, platform::TStream* out,
                      const TOptions& options = {});

// --- Files named by path. The output is replaced whole or not at all (platform's replacing
// file): after any failure it is as it was and no temporary file remains, and it may be the
// input itself. The input must be a regular file (kFileOpenFailed otherwise, as for an output
// that cannot be created); an empty path is kBadArgument.
Integer EncryptFile(const TParams& params, const string& inputPath, const string& outputPath,
                    const TOptions& options = {});
Integer DecryptFile(const TParams& params, const string& inputPath, const string& outputPath,
                    const TOptions& options = {});

// Encryption of one message fed in pieces: Begin writes the header, each Update writes every
// chunk its input completes (a chunk as soon as its 16 KiB are in), Finish writes the last,
// short chunk. The bytes written, in order, equal Encrypt on the whole message. A failed call
// writes nothing and leaves the encryptor failed: every later call but Begin returns kBadArgument.
// threads (1 to 64, as TOptions): how many of the chunks one Update completes are sealed at once;
// the bytes are the same for every count.
class TEncryptor {
 public:
  TEncryptor();
  ~TEncryptor();
  TEncryptor(const TEncryptor&) = delete;
  TEncryptor& operator=(const TEncryptor&) = delete;

  // Derives the message's keys and writes the kHeaderBytes-byte header to header (at least that
  // long). salt: empty (drawn) or kSaltBytes bytes. A message begun before is dropped.
  Integer Begin(const TParams& params, std::span<std::uint8_t> header, std::span<const std::uint8_t> salt = {},
                unsigned threads = 1);
  // The room Update needs for inBytes more plain bytes: the sealed chunks they complete.
  std::size_t UpdateRoom(std::size_t inBytes) const noexcept;
  // Takes in, writes the sealed chunks it completes to out (at least UpdateRoom(in.size())
  // bytes; in and out must not overlap) and their length to written. kChunkTooLong once the
  // message would pass kMaxPlainBytes.
  Integer Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& written);
  // The room Finish needs: the bytes held back plus a tag.
  std::size_t FinishRoom() const noexcept;
  // Seals the held-back bytes as the last chunk into out, its length to written, and ends the
  // message.
  Integer Finish(std::span<std::uint8_t> out, std::size_t& written);

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// Decryption of one message fed in pieces of any size. Update releases a chunk's plain text only
// once its tag matched, and holds back the bytes of a chunk not yet complete; Finish opens the
// last chunk and reports a message that ended too soon. A failure is final: every later Update
// and Finish return the same status and release nothing. Plain text released before a failure
// was authentic as far as it went; it is the caller's to discard. threads as for TEncryptor.
class TDecryptor {
 public:
  TDecryptor();
  ~TDecryptor();
  TDecryptor(const TDecryptor&) = delete;
  TDecryptor& operator=(const TDecryptor&) = delete;

  // Starts a message: keeps the suite, key and context until the header is in. kBadKeySize for
  // a key of another length, kBadArgument for a thread count outside 1 to 64.
  Integer Begin(const TParams& params, unsigned threads = 1);
  // The room Update needs for inBytes more cipher bytes (a bound: the chunks they may complete).
  std::size_t UpdateRoom(std::size_t inBytes) const noexcept;
  // Takes in; writes the plain text of every full chunk that in completes and that opened, to
  // out (at least UpdateRoom(in.size()) bytes), and its length to written. kChunkCommitment
  // once the header is in and does not match; kTagMismatch for a chunk that fails.
  Integer Update(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, std::size_t& written);
  // Opens the bytes held back as the last chunk into out (at least kChunkBytes bytes, or
  // FinishRoom()) and ends the message: kChunkTruncated when the header or a whole last chunk
  // is missing, kTagMismatch when it fails.
  std::size_t FinishRoom() const noexcept;
  Integer Finish(std::span<std::uint8_t> out, std::size_t& written);
  // Plain bytes released so far.
  std::uint64_t Released() const noexcept;

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

// Random access to a message in a seekable stream, from the stream's position at Open to its
// end. A read of n bytes at an offset reads and opens only the chunks that hold them (the last
// one opened is kept, so reads that follow each other do not open it again). The message's
// length comes from the stream's size and is authenticated by opening the last chunk: whenever
// a read reaches the end and when Size is asked; until then a reader may serve the bytes of a
// message whose end was cut off or extended. Not for use by several threads at once.
class TReader {
 public:
  TReader();
  ~TReader();
  TReader(const TReader&) = delete;
  TReader& operator=(const TReader&) = delete;

  // Reads the header and checks the commitment. source stays the caller's and must outlive the
  // reader. kChunkTruncated / kChunkTooLong for a length no message has.
  Integer Open(const TParams& params, platform::TStream* source);
  // The plain text's length, authenticated (opens the last chunk once).
  Integer Size(std::uint64_t& plainBytes);
  // Reads up to out.size() bytes at offset into out and their count to got: fewer only at the
  // end (an offset at or past the end gives 0 bytes once the end is authenticated). A chunk
  // that fails its tag fails the read with nothing of it written. kBadArgument before Open or
  // after a failed Open.
  Integer ReadAt(std::uint64_t offset, std::span<std::uint8_t> out, std::size_t& got);

 private:
  struct TState;
  std::unique_ptr<TState> FState;
};

}  // namespace AESChunked
