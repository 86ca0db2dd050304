#include "ReleasedMemory.h"

#include <malloc.h>

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

void Scan(void* p) noexcept {
  if (p == nullptr || !gScanning) return;
  // The scan itself allocates (the names of the finds): those blocks are not scanned again.
  gScanning = false;
  const std::size_t n = ::malloc_usable_size(p);
  for (const TPattern& pattern : *gPatterns)
    if (::memmem(p, n, pattern.Bytes.data(), pattern.Bytes.size()) != nullptr) {
      const std::lock_guard<std::mutex> lock(gFoundLock);
      gFound->push_back(pattern.Name);
    }
  gScanning = true;
}

void* Allocate(std::size_t n, std::size_t alignment) {
  if (n == 0) n = 1;
  void* p = alignment <= alignof(std::max_align_t) ? std::malloc(n)
                                                   : std::aligned_alloc(alignment, (n + alignment - 1) / alignment * alignment);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

void Release(void* p) noexcept {
  Scan(p);
  std::free(p);
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
void operator delete(void* p) noexcept { secrets_test::Release(p); }
void operator delete[](void* p) noexcept { secrets_test::Release(p); }
void operator delete(void* p, std::size_t) noexcept { secrets_test::Release(p); }
void operator delete[](void* p, std::size_t) noexcept { secrets_test::Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { secrets_test::Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { secrets_test::Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { secrets_test::Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { secrets_test::Release(p); }
