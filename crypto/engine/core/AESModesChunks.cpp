#include "crypto/engine/core/AESModesChunks.h"

#include <algorithm>
#include <cstring>

#include "crypto/support/RandomCoreW.h"

namespace AESModes::detail {

Integer NkForKeySize(Integer keySizeBits, Cardinal& Nk) noexcept {
  switch (keySizeBits) {
    case 128: Nk = 4; return 0;
    case 192: Nk = 6; return 0;
    case 256: Nk = 8; return 0;
    default: return kBadKeySize;
  }
}

Integer NkForKeyLength(std::size_t keyBytes, Cardinal& Nk) noexcept {
  return keyBytes > 32 ? kBadKeySize : NkForKeySize(static_cast<Integer>(keyBytes * 8), Nk);
}

Integer CallerIV(const TBytes& IV, TCharArray16& V) noexcept {
  if (IV.size() < 16) return kBadArgument;
  std::copy_n(IV.begin(), 16, V.begin());
  return 0;
}

Integer RandomIV(TCharArray16& V) noexcept {
  TCharArray16 drawn{};
  if (const Integer st = RandomCoreW::TRandomCore::GetRandomBytes(16, drawn.data()); st != 0) return st;
  V = drawn;
  return 0;
}

void PadBlock(TCharArray16& P, Integer L) noexcept {
  for (Integer i = std::max<Integer>(L, 0); i < 16; ++i) P[i] = static_cast<std::uint8_t>(16 - L);
}

namespace {

// All ones when a < b, else 0 (a and b below 2^31): a comparison without a branch.
std::uint32_t LessMask(std::uint32_t a, std::uint32_t b) noexcept { return 0u - ((a - b) >> 31); }

Integer AfterChunk(const TChunkIO& io) { return io.AfterChunk ? io.AfterChunk() : 0; }

}  // namespace

Integer CheckPadding(const TCharArray16& P, std::size_t& plainBytes) noexcept {
  const std::uint32_t k = P[15];
  const std::uint32_t countOk = LessMask(0, k) & LessMask(k, 17);  // 1 <= k <= 16
  // The block as correct padding would make it: every byte from position 16 - k on equals k.
  TCharArray16 expected;
  for (std::uint32_t i = 0; i < 16; ++i) {
    const std::uint32_t inPadding = ~LessMask(i + k, 16);
    expected[i] = static_cast<std::uint8_t>((P[i] & ~inPadding) | (k & inPadding));
  }
  const std::uint32_t same = 0u - static_cast<std::uint32_t>(platform::ConstantTimeEqual(P, expected));
  if ((countOk & same) == 0) return kBadPadding;
  plainBytes = 16 - k;
  return 0;
}

Integer ModeStep(TDirection dir, const AESCore::TAESCore& core, const TCharArray60_4& w, Cardinal Nk,
                 const TCharArray16& in, TCharArray16& out, TCharArray16& V, TMode mode) {
  TCharArray16 t;
  Integer status = 0;
  switch (mode) {
    case TMode::ECB:
      return dir == TDirection::Encrypt ? core.Cipher(in, out, w, Nk) : core.InvCipher(in, out, w, Nk);
    case TMode::CBC:
      if (dir == TDirection::Encrypt) {
        XorBlock(in, V, t);
        if ((status = core.Cipher(t, out, w, Nk)) == 0) V = out;
      } else {
        const TCharArray16 c = in;  // in may be out
        if ((status = core.InvCipher(c, t, w, Nk)) == 0) {
          XorBlock(t, V, out);
          V = c;
        }
      }
      return status;
    case TMode::OFB:
      if ((status = core.Cipher(V, t, w, Nk)) == 0) {
        XorBlock(in, t, out);
        V = t;
      }
      return status;
    case TMode::CTR:
      if ((status = core.Cipher(V, t, w, Nk)) == 0) {
        XorBlock(in, t, out);
        Increment128(V.data());
      }
      return status;
    default:
      return kBadMode;
  }
}

Integer BlockStep(TDirection dir, const kernel::TExpandedKey& ks, const TCharArray16& in, TCharArray16& out,
                  TCharArray16& V, TMode mode) noexcept {
  return Bulk(dir, ks, in.data(), out.data(), 1, V, mode);
}

// Each remaining block through a zero-filled block, of which only the bytes of the message are
// written.
Integer CryptTail(TDirection dir, const kernel::TExpandedKey& ks, const std::uint8_t* in, std::size_t avail,
                  std::uint8_t* out, std::size_t n, std::size_t done, TCharArray16& V, TMode mode) noexcept {
  for (std::size_t i = done; i < n; i += 16) {
    TCharArray16 a{}, b;
    std::memcpy(a.data(), in + i, std::min<std::size_t>(16, avail - std::min(avail, i)));
    if (const Integer st = BlockStep(dir, ks, a, b, V, mode)) return st;
    std::memcpy(out + i, b.data(), std::min<std::size_t>(16, n - i));
  }
  return 0;
}

Integer EncryptSpan(const kernel::TExpandedKey& ks, const std::uint8_t* in, std::size_t L, std::uint8_t* out, TCharArray16& V,
                    TMode mode, bool padding, const TFinalEncrypt& final, std::size_t& bytes) {
  const std::size_t n = padding ? L - L % 16 : L;
  TCharArray16 P{}, C{};
  // The last bytes, before out (which may be in) is written; with L = 0 in may be null.
  if (L > n) std::memcpy(P.data(), in + n, L - n);
  if (Integer st = CryptBytes(TDirection::Encrypt, ks, in, L, out, n, V, mode)) return st;
  bytes = n;
  if (!padding) return 0;
  PadBlock(P, static_cast<Integer>(L - n));
  if (Integer st = final(P, C, V)) return st;
  std::memcpy(out + n, C.data(), 16);
  bytes = n + 16;
  return 0;
}

Integer EncryptChunks(const TChunkIO& io, TChunkBuffer& buf, const kernel::TExpandedKey& ks, TCharArray16& V, TMode mode,
                      bool padding, const TFinalEncrypt& final) {
  const auto chunk = static_cast<std::int64_t>(buf.size());
  std::int64_t r;
  for (;;) {
    r = io.In.Read(buf.data(), chunk);
    if (r < 0) return static_cast<Integer>(r);
    if (r != chunk) break;
    if (Integer st = CryptBytes(TDirection::Encrypt, ks, buf.data(), buf.size(), buf.data(), buf.size(), V, mode))
      return st;
    if (Integer st = io.Write(buf.data(), chunk)) return st;
    if (Integer st = AfterChunk(io)) return st;
  }
  // The tail, and the padded block after it, fit the buffer: r < chunk, both multiples of 16.
  std::size_t bytes = 0;
  if (Integer st = EncryptSpan(ks, buf.data(), static_cast<std::size_t>(r), buf.data(), V, mode, padding, final, bytes))
    return st;
  if (Integer st = io.Write(buf.data(), static_cast<std::int64_t>(bytes))) return st;
  return AfterChunk(io);
}

Integer DecryptChunks(const TChunkIO& io, TChunkBuffer& buf, const kernel::TExpandedKey& ks, TCharArray16& V,
                      TMode mode, bool padding, std::int64_t dataSize, const TFinalDecrypt& final) {
  const auto chunk = static_cast<std::int64_t>(buf.size());
  const std::int64_t held = padding ? 16 : 1;
  const std::int64_t limit = dataSize - held;
  if (limit < 0) return padding ? kBadPadding : 0;
  std::int64_t total = 0, r = 0;
  while (total <= limit) {
    r = io.In.Read(buf.data(), chunk);
    if (r < 0) return static_cast<Integer>(r);
    total += r;
    if (r != chunk) break;  // the measured end of the input
    if (total <= limit) {
      if (Integer st = CryptBytes(TDirection::Decrypt, ks, buf.data(), buf.size(), buf.data(),
                                  buf.size(), V, mode))
        return st;
      if (Integer st = io.Write(buf.data(), chunk)) return st;
      if (Integer st = AfterChunk(io)) return st;
    }
  }
  if (padding && r < 16) return kBadPadding;
  const std::int64_t n = padding ? r - 16 : r;
  if (Integer st = CryptBytes(TDirection::Decrypt, ks, buf.data(), static_cast<std::size_t>(r), buf.data(),
                              static_cast<std::size_t>(n), V, mode))
    return st;
  if (Integer st = io.Write(buf.data(), n)) return st;
  if (padding) {
    TCharArray16 C, P;
    std::memcpy(C.data(), buf.data() + n, 16);
    if (Integer st = final(C, P, V)) return st;
    std::size_t plain = 0;
    if (Integer st = CheckPadding(P, plain)) return st;
    if (Integer st = io.Write(P.data(), static_cast<std::int64_t>(plain))) return st;
  }
  return AfterChunk(io);
}

}  // namespace AESModes::detail
