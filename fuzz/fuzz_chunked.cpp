// Chunked encryption on any input: the one-call encryption equals the incremental encryptor fed
// in the input's own pieces and the stream form with two threads; every decrypting form gives
// the message back (the reader any range of it). The message with one byte changed, and the
// input's bytes taken as a cipher text, are refused by every form (or, for the input's bytes,
// accepted alike), with nothing released but whole chunks before the change.
#include <algorithm>

#include "FuzzSupport.h"
#include "crypto/engine/AESChunked.h"

using fuzz_support::Integer;
using fuzz_support::TBytes;

namespace {

constexpr std::size_t kChunk = AESChunked::kChunkBytes;

TBytes Encrypted(const AESChunked::TParams& p, const TBytes& plain, const TBytes& salt) {
  TBytes cipher(AESChunked::CipherBytes(plain.size()));
  FUZZ_CHECK(AESChunked::Encrypt(p, plain, cipher, salt) == 0);
  return cipher;
}

TBytes Incremental(const AESChunked::TParams& p, const TBytes& plain, const TBytes& salt, std::size_t piece) {
  AESChunked::TEncryptor e;
  TBytes out(AESChunked::kHeaderBytes);
  FUZZ_CHECK(e.Begin(p, out, salt) == 0);
  for (std::size_t at = 0; at < plain.size(); at += piece) {
    const auto in = std::span(plain).subspan(at, std::min(piece, plain.size() - at));
    TBytes sealed(e.UpdateRoom(in.size()));
    std::size_t n = 0;
    FUZZ_CHECK(e.Update(in, sealed, n) == 0 && n == sealed.size());
    out.insert(out.end(), sealed.begin(), sealed.end());
  }
  TBytes last(e.FinishRoom());
  std::size_t n = 0;
  FUZZ_CHECK(e.Finish(last, n) == 0 && n == last.size());
  out.insert(out.end(), last.begin(), last.end());
  return out;
}

// The incremental decryptor in pieces: its status, and what it released.
Integer Fed(const AESChunked::TParams& p, const TBytes& cipher, std::size_t piece, TBytes& released) {
  AESChunked::TDecryptor d;
  FUZZ_CHECK(d.Begin(p) == 0);
  for (std::size_t at = 0; at < cipher.size(); at += piece) {
    const auto in = std::span(cipher).subspan(at, std::min(piece, cipher.size() - at));
    TBytes out(d.UpdateRoom(in.size()));
    std::size_t n = 0;
    if (const Integer st = d.Update(in, out, n)) return st;
    released.insert(released.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  }
  TBytes out(kChunk);
  std::size_t n = 0;
  if (const Integer st = d.Finish(out, n)) return st;
  released.insert(released.end(), out.begin(), out.begin() + static_cast<std::ptrdiff_t>(n));
  return 0;
}

// Every decrypting form on cipher: all succeed with `plain` or all fail, nothing but a prefix of
// plain in whole chunks released by the incremental form (at most `releasable` chunks of it).
void CheckForms(const AESChunked::TParams& p, const TBytes& cipher, const TBytes* plain, std::size_t piece,
                std::size_t releasable, bool mustFail) {
  std::uint64_t claimed = 0;
  const bool shaped = AESChunked::PlainBytes(cipher.size(), claimed) == 0;
  TBytes out(shaped ? claimed : 0, 0xEE);
  const Integer st = AESChunked::Decrypt(p, cipher, out);
  TBytes released;
  const Integer fed = Fed(p, cipher, piece, released);
  FUZZ_CHECK((st == 0) == (fed == 0));
  platform::TMemoryStream in(cipher), stream;
  FUZZ_CHECK((AESChunked::DecryptStream(p, &in, &stream, {2, {}}) == 0) == (st == 0));
  FUZZ_CHECK(!mustFail || st != 0);
  if (st == 0) {
    FUZZ_CHECK(plain == nullptr || out == *plain);
    FUZZ_CHECK(released == out && stream.Bytes() == out);
    return;
  }
  FUZZ_CHECK(std::all_of(out.begin(), out.end(), [](std::uint8_t b) { return b == 0 || b == 0xEE; }));
  FUZZ_CHECK(stream.Bytes().empty());
  FUZZ_CHECK(released.size() % kChunk == 0 && released.size() <= releasable * kChunk);
  if (plain != nullptr) FUZZ_CHECK(std::equal(released.begin(), released.end(), plain->begin()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::TFuzzReader r(data, size);
  const auto suite = r.Byte() % 2 == 0 ? AESChunked::TSuite::Cobblestone128 : AESChunked::TSuite::Cobblestone256;
  const TBytes key = r.Bytes(AESChunked::KeyBytes(suite)), salt = r.Bytes(AESChunked::kSaltBytes);
  const TBytes context = r.Bytes(r.Byte() % 20);
  const std::size_t length = (std::size_t{r.Byte()} << 8 | r.Byte()) % (3 * kChunk + 100);
  const std::size_t piece = 1 + (std::size_t{r.Byte()} << 8 | r.Byte()) % (kChunk + 50);
  const std::size_t flip = std::size_t{r.Byte()} << 16 | std::size_t{r.Byte()} << 8 | r.Byte();
  const TBytes plain = r.Bytes(length);
  const AESChunked::TParams p{suite, key, context};

  const TBytes cipher = Encrypted(p, plain, salt);
  FUZZ_CHECK(Incremental(p, plain, salt, piece) == cipher);
  platform::TMemoryStream plainIn(plain), cipherOut;
  FUZZ_CHECK(AESChunked::EncryptStream(p, &plainIn, &cipherOut, {2, salt}) == 0 && cipherOut.Bytes() == cipher);
  CheckForms(p, cipher, &plain, piece, 0, false);

  // A range through the reader.
  platform::TMemoryStream source(cipher);
  AESChunked::TReader reader;
  FUZZ_CHECK(reader.Open(p, &source) == 0);
  const std::size_t from = plain.empty() ? 0 : flip % (plain.size() + 1);
  TBytes range(piece);
  std::size_t got = 0;
  FUZZ_CHECK(reader.ReadAt(from, range, got) == 0 && got == std::min(piece, plain.size() - from));
  FUZZ_CHECK(std::equal(range.begin(), range.begin() + static_cast<std::ptrdiff_t>(got),
                        plain.begin() + static_cast<std::ptrdiff_t>(from)));

  // One byte changed: refused, with at most the chunks before it released.
  TBytes changed = cipher;
  const std::size_t at = flip % changed.size();
  changed[at] ^= static_cast<std::uint8_t>(1 + flip % 255);
  const std::size_t before = at < AESChunked::kHeaderBytes ? 0 : (at - AESChunked::kHeaderBytes) / AESChunked::kSealedChunkBytes;
  CheckForms(p, changed, &plain, piece, before, true);

  // The rest of the input as a cipher text.
  CheckForms(p, r.Rest(), nullptr, piece, ~std::size_t{0} / kChunk, false);
  return 0;
}
