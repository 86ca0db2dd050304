// Run under valgrind's memcheck: the key, the data and the GHASH key are marked undefined, so any
// branch or memory address computed from them is reported ("depends on uninitialised value").
// Every kernel this processor (as valgrind presents it) can run goes through every bulk mode, its
// own key set-up (the cipher's and the inverse cipher's schedules, the GCM key), the block cipher,
// GHASH, POLYVAL and GCM; the keyed API's GCM-SIV, SIV and XAES-256-GCM sealing on the chosen one;
// and the computations of CCM, OCB3, EAX (its counter starts at a key-derived block), key wrap and
// XTS. The results are never inspected: reading them
// would itself be a branch on a secret. Exits 0; memcheck's --error-exitcode makes a report fail.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crypto/engine/AESCore.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/core/AESModesGCMCore.h"
#include "crypto/engine/core/CCMCore.h"
#include "crypto/engine/core/CMACAbsorber.h"
#include "crypto/engine/core/EAXCore.h"
#include "crypto/engine/core/KeyWrapCore.h"
#include "crypto/engine/core/OCBCore.h"
#include "crypto/engine/core/XTSCore.h"
#include "crypto/engine/kernel/KernelDispatch.h"
#include "KernelGHash.h"

namespace {

using namespace AESModes::kernel;

// 37 blocks: every kernel's wide steps and a partial group at the end.
constexpr std::size_t kBlocks = 37;

template <class T>
void Secret(T& v) {
  VALGRIND_MAKE_MEM_UNDEFINED(&v, sizeof v);
}

void Secret(std::vector<std::uint8_t>& v) { VALGRIND_MAKE_MEM_UNDEFINED(v.data(), v.size()); }

void BulkModes(TKernelId id, unsigned Nk) {
  std::vector<std::uint8_t> key(32), in(16 * kBlocks), out(16 * kBlocks);
  Secret(key);
  Secret(in);
  TExpandedKey k(id);
  k.Expand({key.data(), 4 * Nk}, Nk, true);
  // Each chained operation starts from a public IV (the one before leaves a secret one behind).
  auto iv = [] {
    static std::uint8_t v[16];
    for (int i = 0; i < 16; ++i) v[i] = static_cast<std::uint8_t>(0xF0 + i);
    return v;
  };
  k.EncryptECB(in.data(), out.data(), kBlocks);
  k.DecryptECB(in.data(), out.data(), kBlocks);
  k.EncryptCBC(in.data(), out.data(), kBlocks, iv());
  k.DecryptCBC(in.data(), out.data(), kBlocks, iv());
  k.OFB(in.data(), out.data(), kBlocks, iv());
  k.CTR128(in.data(), out.data(), kBlocks, iv());
  k.CTR32(in.data(), out.data(), kBlocks, iv());
  k.CTR32LE(in.data(), out.data(), kBlocks, iv());
  k.CBCMAC(in.data(), kBlocks, iv());
  k.EncryptBlock(in.data(), out.data());
  std::vector<std::uint8_t> masks(in.size());
  Secret(masks);
  k.EncryptWhitened(in.data(), out.data(), kBlocks, masks.data());
  k.DecryptWhitened(in.data(), out.data(), kBlocks, masks.data());
}

// CCM, OCB3, EAX, key wrap and XTS over the kernel: key, data and additional data secret; nonces,
// tweaks and every length public (each mode's only branches and indexes come from those).
void FurtherModes(TKernelId id, unsigned Nk) {
  namespace detail = AESModes::detail;
  std::vector<std::uint8_t> key(32), key2(32), in(16 * kBlocks + 7), out(in.size()), aad(40);
  Secret(key);
  Secret(key2);
  Secret(in);
  Secret(aad);
  TExpandedKey k(id), k2(id);
  k.Expand({key.data(), 4 * Nk}, Nk, true);
  k2.Expand({key2.data(), 4 * Nk}, Nk);
  const std::uint8_t nonce[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  platform::TCharArray16 T, L, K1, K2;
  detail::CCMCrypt(true, k, nonce, aad, in.data(), out.data(), in.size(), 16, T);
  detail::CCMCrypt(false, k, {nonce, 7}, aad, in.data(), out.data(), in.size(), 4, T);
  k.EncryptBlock(L.data(), L.data());
  detail::TOCBTable table;
  detail::OCBTableFrom(L, table);
  detail::OCBCrypt(true, k, table, {nonce, 12}, aad, in.data(), out.data(), in.size(), 16, T);
  detail::OCBCrypt(false, k, table, {nonce, 15 - 2}, {aad.data(), 37}, in.data(), out.data(), in.size(), 12, T);
  detail::CMACSubkeys(L, K1, K2);
  const detail::TEAXKey eax{k, K1, K2};
  detail::EAXBegin(eax, nonce, aad, L, K1);
  detail::EAXCrypt(eax, L, in.data(), out.data(), in.size());
  detail::EAXTag(eax, L, K1, out.data(), in.size(), T);
  detail::WrapHalves(k, out.data(), 5);
  detail::UnwrapHalves(k, out.data(), 5);
  detail::WrapHalves(k, out.data(), 1);
  const std::uint8_t tweak[16] = {7, 7, 7};
  detail::XTSCrypt(true, k, k2, tweak, in.data(), out.data(), in.size());
  detail::XTSCrypt(false, k, k2, tweak, in.data(), out.data(), in.size());
}

void GHashAndGCM(TKernelId id, unsigned Nk) {
  std::vector<std::uint8_t> key(32), H(16), in(16 * kBlocks + 5), out(in.size());
  Secret(key);
  Secret(H);
  Secret(in);
  testing_support::TKernelGHash g(id);
  g.SetKey(H.data());
  std::uint8_t X[16] = {};
  g.Absorb(X, in.data(), kBlocks);
  TPolyVal p(id);
  p.SetKey(H.data());
  p.Absorb(X, in.data(), kBlocks);

  // The GCM key (set-up, hash and the bulk step, stitched where the kernel has the loop), from a
  // public counter.
  TGCMKey gk(id);
  gk.Expand({key.data(), 4 * Nk}, Nk);
  std::uint8_t ctr[16] = {1, 2, 3};
  gk.GHash(X, in.data(), kBlocks);
  gk.Crypt(true, X, ctr, in.data(), out.data(), kBlocks);
  gk.Crypt(false, X, ctr, in.data(), out.data(), kBlocks);

  AESModes::detail::TScrubbedGCM gcm(id);
  gcm.Init({key.data(), 4 * Nk}, Nk);
  AESModes::detail::TGCMMessage s;
  const std::uint8_t iv[12] = {9, 8, 7};
  gcm.SetIV(s, iv);
  gcm.AddAAD(s, in.data(), 21);
  gcm.Encrypt(s, in.data(), out.data(), in.size());
  platform::TCharArray16 tag;
  gcm.Finish(s, tag);
}

// The keyed API's sealing modes on the chosen kernel (their openings end in a comparison whose
// outcome is a branch by design): GCM-SIV, SIV and XAES-256-GCM, key set-up included.
void KeyedAEAD() {
  std::vector<std::uint8_t> key(64), in(16 * kBlocks + 5), out(in.size() + 16), tag(16);
  Secret(key);
  Secret(in);
  const std::uint8_t nonce[24] = {5, 4, 3};
  for (const std::size_t bytes : {16, 32}) {
    AESKeyed::TAESKey k;
    k.SetKey({key.data(), bytes});
    k.GCMSIV_Seal({nonce, 12}, {in.data(), 21}, in, {out.data(), in.size()}, tag);
  }
  AESKeyed::TSIVKey siv;
  siv.SetKey(key);
  const std::span<const std::uint8_t> strings[] = {{in.data(), 21}, {nonce, 16}};
  siv.Seal(strings, in, out);
  AESKeyed::TXAESKey xaes;
  xaes.SetKey({key.data(), 32});
  xaes.Seal(nonce, {in.data(), 21}, in, {out.data(), in.size()}, tag);
}

void BlockCipher(unsigned Nk) {
  AESCore::TAESCore core;
  platform::TBytes key(4 * Nk);
  Secret(key);
  platform::TCharArray60_4 w{};
  platform::TCharArray16 in, out;
  Secret(in);
  core.KeyExpansion(key, w, Nk);
  core.Cipher(in, out, w, Nk);
  core.InvCipher(in, out, w, Nk);
}

}  // namespace

int main() {
  for (const TKernelId id : AvailableKernels()) {
    std::printf("kernel %s\n", std::string(KernelName(id)).c_str());
    for (unsigned Nk = 1; Nk <= 8; ++Nk) BulkModes(id, Nk);
    for (const unsigned Nk : {4u, 6u, 8u}) GHashAndGCM(id, Nk);
    for (const unsigned Nk : {4u, 8u}) FurtherModes(id, Nk);
  }
  for (unsigned Nk = 1; Nk <= 8; ++Nk) BlockCipher(Nk);
  KeyedAEAD();
  return 0;
}
