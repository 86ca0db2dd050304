// Wiping secrets: a zeroing the compiler may not remove, and a holder that wipes on every exit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/Types.h"

namespace platform {

// Sets len bytes at data to 0; the stores are kept even when the memory is not read again.
void SecureZero(void* data, std::size_t len) noexcept;

// True when a and b have the same length and bytes. The time depends on the lengths only: every
// byte is compared, with no early exit, so a tag or padding check reveals nothing of where it
// differs.
bool ConstantTimeEqual(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) noexcept;

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

// Key or IV bytes made for one operation, wiped when they go away.
struct TSecretBytes {
  TBytes Bytes;
  TSecretBytes() = default;
  explicit TSecretBytes(TBytes bytes) : Bytes(std::move(bytes)) {}
  TSecretBytes(const TSecretBytes&) = delete;
  TSecretBytes& operator=(const TSecretBytes&) = delete;
  ~TSecretBytes() { SecureZero(Bytes.data(), Bytes.size()); }
};

}  // namespace platform
