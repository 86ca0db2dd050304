// The key object's state: the key set into it, and the parts a mode derives on its first call.
#include "crypto/engine/keyed/AESKeyedState.h"

namespace AESKeyed {

Integer TAESKey::TState::SetKey(std::span<const std::uint8_t> key, platform::Cardinal Nk) noexcept {
  WipeDerived();
  return GCM.Init(key, Nk, false, true);
}

// The state is over-aligned (the round keys), so it comes from the aligned operator new and
// goes back through this form.
static_assert(alignof(TAESKey::TState) > __STDCPP_DEFAULT_NEW_ALIGNMENT__);
void TAESKey::TState::operator delete(void* p, std::size_t bytes, std::align_val_t alignment) noexcept {
  platform::SecureZero(p, bytes);
  ::operator delete(p, alignment);
}

void TAESKey::TState::WipeDerived() noexcept {
  const std::uint8_t made = FMade.load(std::memory_order_relaxed);
  if (made & kCMAC) platform::SecureZero(FCMAC.data(), sizeof FCMAC);
  if (made & kOCB) platform::SecureZero(&FOCB, sizeof FOCB);
  FMade.store(0, std::memory_order_relaxed);
}

// The part is made in a frame of its own below RunScrubbed's, whose stack is zeroed afterwards:
// the derivation runs in the middle of a call, whose exit clears the registers only. The
// registers are cleared before the lock is released too, since a first call into the C library
// (the release, a wipe) saves them all on the stack.
void TAESKey::TState::Make(std::uint8_t part) const noexcept {
  auto make = [this, part] {
    const std::lock_guard<std::mutex> lock(FMaking);
    if (FMade.load(std::memory_order_relaxed) & part) return;  // another call made it meanwhile
    Derive(part);
    platform::ZeroVectorRegisters();
    FMade.fetch_or(part, std::memory_order_release);
  };
  platform::RunScrubbed(make);
}

void TAESKey::TState::Derive(std::uint8_t part) const noexcept {
  switch (part) {
    case kInverse: GCM.AES().ExpandInverse(); break;
    case kCMAC: AESModes::detail::CMACSubkeysOf(AES, FCMAC[0], FCMAC[1]); break;
    case kOCB: {
      platform::TWiped<TCharArray16> L;  // L_* = E(0)
      AES.EncryptBlock(L->data(), L->data());
      AESModes::detail::OCBTableFrom(*L, FOCB);
      break;
    }
    default: break;
  }
}

}  // namespace AESKeyed
