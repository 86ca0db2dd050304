#include "ReleasedMemory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace secrets_test {
namespace {

std::atomic<bool> gScanning{false};
std::vector<TPattern>* gPatterns = nullptr;
std::vector<std::string>* gFound = nullptr;
std::mutex gFoundLock;

// Every block carries its requested size in a header in front of it, so a scan reads exactly the
// bytes the block was asked for, never stale bytes in the allocator's spare room.
constexpr std::size_t kHeader = alignof(std::max_align_t);

std::size_t HeaderSize(std::size_t alignment) { return alignment > kHeader ? alignment : kHeader; }

void Scan(const std::uint8_t* p, std::size_t n) noexcept {
  if (!gScanning) return;
  // The scan itself allocates (the names of the finds): those blocks are not scanned again.
  gScanning = false;
  for (const TPattern& pattern : *gPatterns)
    if (::memmem(p, n, pattern.Bytes.data(), pattern.Bytes.size()) != nullptr) {
      const std::lock_guard<std::mutex> lock(gFoundLock);
      gFound->push_back(pattern.Name);
    }
  gScanning = true;
}

void* Allocate(std::size_t n, std::size_t alignment) {
  const std::size_t header = HeaderSize(alignment);
  const std::size_t total = (header + n + header - 1) / header * header;
  auto* raw = static_cast<std::uint8_t*>(header == kHeader ? std::malloc(total) : std::aligned_alloc(header, total));
  if (raw == nullptr) throw std::bad_alloc();
  std::memcpy(raw, &n, sizeof n);
  return raw + header;
}

// Every block is zeroed once scanned, so what the test itself put in it (plain text, patterns)
// cannot turn up in a later scan when the memory is reused.
void Release(void* p, std::size_t alignment) noexcept {
  if (p == nullptr) return;
  auto* raw = static_cast<std::uint8_t*>(p) - HeaderSize(alignment);
  std::size_t n = 0;
  std::memcpy(&n, raw, sizeof n);
  Scan(static_cast<const std::uint8_t*>(p), n);
  std::memset(raw, 0, HeaderSize(alignment) + n);
  std::free(raw);
}

}  // namespace

void SetReleasedPatterns(std::vector<TPattern> patterns) {
  static std::vector<TPattern> kept;
  kept = std::move(patterns);
  gPatterns = &kept;
}

std::vector<std::string> ReleasedDuring(const std::function<void()>& action) {
  std::vector<std::string> found;
  found.reserve(64);
  gFound = &found;
  gScanning = true;
  action();
  gScanning = false;
  gFound = nullptr;
  return found;
}

}  // namespace secrets_test

void* operator new(std::size_t n) { return secrets_test::Allocate(n, 0); }
void* operator new[](std::size_t n) { return secrets_test::Allocate(n, 0); }
void* operator new(std::size_t n, std::align_val_t a) { return secrets_test::Allocate(n, static_cast<std::size_t>(a)); }
void* operator new[](std::size_t n, std::align_val_t a) { return secrets_test::Allocate(n, static_cast<std::size_t>(a)); }
void operator delete(void* p) noexcept { secrets_test::Release(p, 0); }
void operator delete[](void* p) noexcept { secrets_test::Release(p, 0); }
void operator delete(void* p, std::size_t) noexcept { secrets_test::Release(p, 0); }
void operator delete[](void* p, std::size_t) noexcept { secrets_test::Release(p, 0); }
void operator delete(void* p, std::align_val_t a) noexcept { secrets_test::Release(p, static_cast<std::size_t>(a)); }
void operator delete[](void* p, std::align_val_t a) noexcept { secrets_test::Release(p, static_cast<std::size_t>(a)); }
void operator delete(void* p, std::size_t, std::align_val_t a) noexcept {
  secrets_test::Release(p, static_cast<std::size_t>(a));
}
void operator delete[](void* p, std::size_t, std::align_val_t a) noexcept {
  secrets_test::Release(p, static_cast<std::size_t>(a));
}
