// CFB-128 and CFB-8 on the keyed kernel. Encryption feeds each cipher block (or byte) back before
// the next can start, one block cipher call at a time. Decryption knows every register in advance
// (they are cipher text), so it lays the registers of a run of blocks or bytes side by side and
// encrypts them in one bulk ECB call, then XORs.
#include <algorithm>
#include <cstring>

#include "crypto/engine/keyed/AESKeyedState.h"

namespace AESKeyed {

namespace {

using keyed::BadOutput;
using keyed::TIn;
using keyed::TOut;

// Keystream of one bulk step: 256 blocks (4 KiB), for CFB-128 that many blocks of data, for CFB-8
// that many bytes.
constexpr std::size_t kRunBlocks = 256;

// Keystream bytes on the stack, zeroed (as far as used) when the operation returns.
struct TKeystream {
  alignas(16) std::uint8_t Bytes[kRunBlocks * 16];
  std::size_t Used = 0;
  ~TKeystream() { platform::SecureZero(Bytes, Used); }
  std::uint8_t* Take(std::size_t n) noexcept {
    Used = std::max(Used, n);
    return Bytes;
  }
};

Integer Check(const TAESKey::TState* k, TIn in, TOut out) noexcept {
  return k == nullptr || BadOutput(in, out) ? error::kBadArgument : 0;
}

}  // namespace

Integer TAESKey::EncryptCFB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  if (const Integer st = Check(FState.get(), in, out)) return st;
  TKeystream ks;
  std::uint8_t* block = ks.Take(16);
  for (std::size_t at = 0; at < in.size(); at += 16) {
    FState->AES.EncryptBlock(IV.data(), block);
    const std::size_t n = std::min<std::size_t>(16, in.size() - at);
    for (std::size_t j = 0; j < n; ++j) out[at + j] = static_cast<std::uint8_t>(in[at + j] ^ block[j]);
    if (n == 16) std::memcpy(IV.data(), out.data() + at, 16);
  }
  return 0;
}

Integer TAESKey::DecryptCFB(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  if (const Integer st = Check(FState.get(), in, out)) return st;
  TKeystream ks;
  const std::size_t whole = in.size() - in.size() % 16;
  for (std::size_t at = 0; at < whole;) {
    const std::size_t n = std::min(kRunBlocks * 16, whole - at);
    std::uint8_t* run = ks.Take(n);
    // Registers: IV, then every cipher block of the run but its last, which becomes the next IV.
    // All read before out (which may be in) is written.
    std::memcpy(run, IV.data(), 16);
    std::memcpy(run + 16, in.data() + at, n - 16);
    std::memcpy(IV.data(), in.data() + at + n - 16, 16);
    FState->AES.EncryptECB(run, run, n / 16);
    for (std::size_t j = 0; j < n; ++j) out[at + j] = static_cast<std::uint8_t>(in[at + j] ^ run[j]);
    at += n;
  }
  if (whole < in.size()) {
    std::uint8_t* block = ks.Take(16);
    FState->AES.EncryptBlock(IV.data(), block);
    for (std::size_t j = whole; j < in.size(); ++j) out[j] = static_cast<std::uint8_t>(in[j] ^ block[j - whole]);
  }
  return 0;
}

Integer TAESKey::EncryptCFB8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  if (const Integer st = Check(FState.get(), in, out)) return st;
  TKeystream ks;
  std::uint8_t* block = ks.Take(16);
  for (std::size_t i = 0; i < in.size(); ++i) {
    FState->AES.EncryptBlock(IV.data(), block);
    const auto c = static_cast<std::uint8_t>(in[i] ^ block[0]);
    out[i] = c;
    std::memmove(IV.data(), IV.data() + 1, 15);
    IV[15] = c;
  }
  return 0;
}

Integer TAESKey::DecryptCFB8(std::span<const std::uint8_t> in, std::span<std::uint8_t> out, TCharArray16& IV) const {
  if (const Integer st = Check(FState.get(), in, out)) return st;
  TKeystream ks;
  std::uint8_t history[16 + kRunBlocks];  // IV, then the run's cipher bytes: byte i's register is history[i..i+16)
  for (std::size_t at = 0; at < in.size();) {
    const std::size_t n = std::min(kRunBlocks, in.size() - at);
    std::memcpy(history, IV.data(), 16);
    std::memcpy(history + 16, in.data() + at, n);
    std::uint8_t* run = ks.Take(16 * n);
    for (std::size_t i = 0; i < n; ++i) std::memcpy(run + 16 * i, history + i, 16);
    FState->AES.EncryptECB(run, run, n);
    for (std::size_t i = 0; i < n; ++i) out[at + i] = static_cast<std::uint8_t>(history[16 + i] ^ run[16 * i]);
    std::memcpy(IV.data(), history + n, 16);
    at += n;
  }
  return 0;
}

}  // namespace AESKeyed
