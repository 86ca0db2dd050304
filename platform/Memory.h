// Wiping secrets: a zeroing the compiler may not remove, and a holder that wipes on every exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <utility>

#include "platform/Types.h"

namespace platform {

// Sets len bytes at data to 0; the stores are kept even when the memory is not read again.
void SecureZero(void* data, std::size_t len) noexcept;

// True when a and b have the same length and bytes. The time depends on the lengths only: every
// byte is compared, with no early exit, so a tag or padding check reveals nothing of where it
// differs.
bool ConstantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept;

// The stack below a caller that ScrubStack zeroes: deeper than any public operation of the
// library leaves a key-derived value (under 8 KiB down, optimised or not, with or without
// AddressSanitizer; the tests scan four times as deep). Kept small because every call pays for
// it: 64 KiB, more than the first-level data cache, took about 0.3 microseconds, longer than a
// 64-byte operation.
inline constexpr std::size_t kStackScrubBytes = 16 * 1024;

// Zeroes every vector register this processor has: zmm0-31 with AVX-512, ymm0-15 with AVX,
// xmm0-15 otherwise, v0-v31 on aarch64. The form is chosen once from the processor (CPUID and
// XGETBV), so no instruction runs that it lacks. The kernels clear the registers they use, but
// copies made elsewhere (the C library's memcpy uses zmm16-31 on processors that have them) can
// leave key bytes in any register; ScrubStack ends with this.
void ZeroVectorRegisters() noexcept;

// Zeroes `bytes` (at most kStackScrubBytes) of the stack just below the caller's frame, where the
// functions it has called left their locals and the registers the compiler spilled (round keys,
// key bytes, hash keys), none of which their own wipes reach, then every vector register
// (ZeroVectorRegisters). The one helper every key holder calls on its way out: with 0, a call
// that spilled nothing clears the registers alone.
void ScrubStack(std::size_t bytes) noexcept;
// ScrubStack(kStackScrubBytes).
inline void ScrubStack() noexcept { ScrubStack(kStackScrubBytes); }

// Runs derive(context) in a frame of its own, then ScrubStack: for key material made in the middle
// of a call (a key object's first use of a mode), where the call's own exit clears the registers
// but not the stack the derivation, its locks and its library calls left behind.
void RunScrubbed(void (*derive)(void* context), void* context) noexcept;
// The same for any callable (a lambda that captures the key holder, no key bytes).
template <class F>
void RunScrubbed(F& derive) noexcept {
  RunScrubbed([](void* f) { (*static_cast<F*>(f))(); }, &derive);
}

// Calls ScrubStack when it goes away, also when an exception leaves the scope. A key holder that
// derives from it (first, so it is destroyed last) scrubs the stack its operation used.
class TStackScrub {
 public:
  TStackScrub() = default;
  ~TStackScrub() { ScrubStack(); }
  TStackScrub(const TStackScrub&) = delete;
  TStackScrub& operator=(const TStackScrub&) = delete;
};

// Calls ZeroVectorRegisters when it goes away, also when an exception leaves the scope: for a
// call that spills nothing onto the stack but handles key material (or a computed tag) in
// registers.
class TRegisterWipe {
 public:
  TRegisterWipe() = default;
  ~TRegisterWipe() { ZeroVectorRegisters(); }
  TRegisterWipe(const TRegisterWipe&) = delete;
  TRegisterWipe& operator=(const TRegisterWipe&) = delete;
};

// What a key holder of one call (or a key object's set-up) does on its way out. The hardware
// kernels keep round keys and hash keys in registers and write them only into the holder's wiped
// storage, so clearing the registers is enough in an optimised build, as the left-behind test
// checks on every kernel. AddressSanitizer's instrumentation moves locals the optimiser keeps in
// registers into stack frames (the test finds round keys there), so its builds scrub the stack
// below as well.
#if defined(__SANITIZE_ADDRESS__)
using TCallExit = TStackScrub;
#else
using TCallExit = TRegisterWipe;
#endif

// Holds a value (a key schedule, a hash key, a table) and wipes it when the holder goes away,
// also when an exception leaves the scope.
template <class T>
class TWiped {
 public:
  TWiped() = default;
  ~TWiped() { SecureZero(&FValue, sizeof FValue); }
  TWiped(const TWiped&) = delete;
  TWiped& operator=(const TWiped&) = delete;

  T& operator*() noexcept { return FValue; }
  const T& operator*() const noexcept { return FValue; }
  T* operator->() noexcept { return &FValue; }
  const T* operator->() const noexcept { return &FValue; }
  void Clear() noexcept { SecureZero(&FValue, sizeof FValue); }

 private:
  T FValue{};
};

// Wipes every element a vector or string holds and its spare capacity, then empties it. The
// memory stays allocated until the container releases it, so nothing of it is ever read again.
template <class Container>
void SecureWipe(Container& c) noexcept {
  c.resize(c.capacity());  // within the capacity: no reallocation, no copy left behind
  SecureZero(c.data(), c.size() * sizeof(*c.data()));
  c.clear();
}

// Key material held for one operation or for an object's life: the holder wipes it, spare
// capacity included, on every exit path. Bytes / Text are the types the engine and the
// converters take; the holder only adds the wiping.
template <class Container>
struct TSecret {
  Container Value;
  TSecret() = default;
  explicit TSecret(Container value) noexcept : Value(std::move(value)) {}
  TSecret(const TSecret&) = delete;
  TSecret& operator=(const TSecret&) = delete;
  ~TSecret() { SecureWipe(Value); }
  // Replaces the value, wiping the old one first.
  void Assign(Container value) noexcept {
    SecureWipe(Value);
    Value = std::move(value);
  }
};

// Key or IV bytes made for one operation, and key text (a decoded key, a copy of a key
// property), wiped when they go away.
using TSecretBytes = TSecret<TBytes>;
using TSecretText = TSecret<string>;

}  // namespace platform
