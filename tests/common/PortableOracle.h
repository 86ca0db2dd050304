// The oracle of a build without OpenSSL's libcrypto (the aarch64 cross build): the one-shot
// operations of Oracle.h and GCMOracle.h, under the same names, on the portable kernel. There the
// hardware kernels are checked against the portable one, and the portable one against the
// known-answer vectors of the engine's and GCM's tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "Oracle.h"
#include "crypto/engine/kernel/AESKernel.h"
#include "crypto/engine/core/AESModesGCMCore.h"

namespace testing_support {

// mode: 0 ECB, 1 CBC, 2 OFB, 3 CTR (128-bit big-endian counter); PKCS7 padding when pkcs7.
inline Bytes OpenSSLCrypt(bool encrypt, int mode, const Bytes& key, const Bytes& iv, const Bytes& in, bool pkcs7) {
  using namespace AESModes::kernel;
  if (key.size() != 16 && key.size() != 24 && key.size() != 32) throw std::invalid_argument("no such cipher");
  TExpandedKey k(TKernelId::Portable);
  k.Expand(key, static_cast<platform::Cardinal>(key.size() / 4), !encrypt);
  Bytes data = in;
  const bool stream = mode >= 2;
  if (encrypt && pkcs7) {
    const std::size_t pad = 16 - data.size() % 16;
    data.resize(data.size() + pad, static_cast<std::uint8_t>(pad));
  }
  if (!stream && data.size() % 16 != 0) throw std::runtime_error("partial block without padding");
  const std::size_t size = data.size();
  data.resize((size + 15) / 16 * 16);  // the stream modes' last partial block is cut off again below
  std::uint8_t v[16] = {};
  std::copy_n(iv.begin(), std::min<std::size_t>(iv.size(), 16), v);
  const std::size_t blocks = data.size() / 16;
  switch (mode) {
    case 0: encrypt ? k.EncryptECB(data.data(), data.data(), blocks) : k.DecryptECB(data.data(), data.data(), blocks); break;
    case 1: encrypt ? k.EncryptCBC(data.data(), data.data(), blocks, v) : k.DecryptCBC(data.data(), data.data(), blocks, v); break;
    case 2: k.OFB(data.data(), data.data(), blocks, v); break;
    case 3: k.CTR128(data.data(), data.data(), blocks, v); break;
    default: throw std::invalid_argument("no such cipher");
  }
  data.resize(size);
  if (!encrypt && pkcs7) {
    const std::size_t pad = data.empty() ? 0 : data.back();
    if (pad == 0 || pad > 16 || pad > data.size() ||
        !std::all_of(data.end() - static_cast<std::ptrdiff_t>(pad), data.end(), [&](std::uint8_t b) { return b == pad; }))
      throw std::runtime_error("bad padding");
    data.resize(data.size() - pad);
  }
  return data;
}

inline GCMResult OpenSSLGCMEncrypt(const Bytes& key, const Bytes& iv, const Bytes& aad, const Bytes& plain) {
  AESModes::detail::TScrubbedGCM gcm(AESModes::kernel::TKernelId::Portable);
  if (gcm.Init(key, static_cast<platform::Cardinal>(key.size() / 4)) != 0) throw std::invalid_argument("no such key size");
  AESModes::detail::TGCMMessage s;
  gcm.SetIV(s, iv);
  gcm.AddAAD(s, aad.data(), aad.size());
  GCMResult r{Bytes(plain.size()), Bytes(16)};
  gcm.Encrypt(s, plain.data(), r.Cipher.data(), plain.size());
  platform::TCharArray16 T;
  gcm.Finish(s, T);
  std::copy(T.begin(), T.end(), r.Tag.begin());
  return r;
}

inline Bytes OpenSSLGCMTagOfZeros(const Bytes& key, const Bytes& iv, std::uint64_t length) {
  AESModes::detail::TScrubbedGCM gcm(AESModes::kernel::TKernelId::Portable);
  if (gcm.Init(key, static_cast<platform::Cardinal>(key.size() / 4)) != 0) throw std::invalid_argument("no such key size");
  AESModes::detail::TGCMMessage s;
  gcm.SetIV(s, iv);
  Bytes zeros(1u << 24), out(zeros.size());
  for (std::uint64_t at = 0; at < length; at += zeros.size())
    gcm.Encrypt(s, zeros.data(), out.data(), static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), length - at)));
  platform::TCharArray16 T;
  gcm.Finish(s, T);
  return Bytes(T.begin(), T.end());
}

}  // namespace testing_support
