// The C interface over the keyed API: handles that own a TAESKey, a TGCMEncryptor or a
// TMACGenerator, raw pointers turned into spans after the NULL checks, and every call wrapped so
// that no exception crosses into C.
#include "orvoaes/orvoaes.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <string>

#include "crypto/engine/AESKeyed.h"
#include "crypto/support/error.h"
#include "platform/SysUtils.h"

// The interface promises the library's own codes.
static_assert(ORVOAES_OK == error::kOK);
static_assert(ORVOAES_E_NO_MEMORY == error::kAllocationFailed);
static_assert(ORVOAES_E_TAG_MISMATCH == error::kTagMismatch);
static_assert(ORVOAES_E_BAD_ARGUMENT == error::kBadArgument);
static_assert(ORVOAES_E_TAG_TOO_LONG == error::kTagTooLong);
static_assert(ORVOAES_E_MAC_MISMATCH == error::kMacMismatch);
static_assert(ORVOAES_E_BAD_KEY_SIZE == error::kBadKeySize);
static_assert(ORVOAES_E_BAD_CIPHER_LENGTH == error::kBadCipherLength);
static_assert(ORVOAES_E_BAD_BLOCK_LENGTH == error::kBadBlockLength);
static_assert(ORVOAES_E_NO_PADDING_LENGTH == error::kNoPaddingLength);

struct orvoaes_key {
  AESKeyed::TAESKey Key;
};

struct orvoaes_gcm_encryptor {
  AESKeyed::TGCMEncryptor Enc;
  explicit orvoaes_gcm_encryptor(const AESKeyed::TAESKey& key) : Enc(key) {}
};

struct orvoaes_cmac_ctx {
  AESKeyed::TMACGenerator Mac;
  explicit orvoaes_cmac_ctx(const AESKeyed::TAESKey& key) : Mac(key) {}
  explicit orvoaes_cmac_ctx(const AESKeyed::TMACGenerator& other) : Mac(other) {}
};

namespace {

using TIn = std::span<const std::uint8_t>;
using TOut = std::span<std::uint8_t>;

// A NULL pointer stands for no bytes only when its length is 0.
bool Bad(const void* p, std::size_t n) noexcept { return p == nullptr && n != 0; }

// Runs f, whose exceptions (only std::bad_alloc from the keyed API) become a status.
template <class F>
int Guard(F&& f) noexcept {
  try {
    return f();
  } catch (...) {
    return ORVOAES_E_NO_MEMORY;
  }
}

// The block modes' common path: NULL checks, then the key's operation over spans.
template <class Op>
int Block(const orvoaes_key* key, const std::uint8_t* in, std::size_t len, std::uint8_t* out, std::size_t out_len,
          Op op) noexcept {
  if (key == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return op(key->Key, TIn(in, len), TOut(out, out_len)); });
}

// The chaining block for the modes that carry one: copied in, and out again only on success.
template <class Op>
int Chained(const orvoaes_key* key, std::uint8_t* iv, const std::uint8_t* in, std::size_t len, std::uint8_t* out,
            std::size_t out_len, Op op) noexcept {
  if (iv == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  platform::TCharArray16 v;
  std::memcpy(v.data(), iv, 16);
  const int st = Block(key, in, len, out, out_len, [&](const AESKeyed::TAESKey& k, TIn i, TOut o) { return op(k, i, o, v); });
  if (st == 0) std::memcpy(iv, v.data(), 16);
  return st;
}

template <class T, class... Args>
int Make(T** out, Args&&... args) noexcept {
  if (out == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  *out = nullptr;
  return Guard([&] {
    *out = new T(std::forward<Args>(args)...);
    return 0;
  });
}

}  // namespace

extern "C" {

const char* orvoaes_version(void) { return ORVOAES_VERSION_STRING; }
uint32_t orvoaes_version_number(void) { return ORVOAES_VERSION_NUMBER; }

size_t orvoaes_status_message(int status, char* buf, size_t size) {
  std::string text;
  try {
    text = platform::ToUTF8String(error::GetErrorMessage(status));
  } catch (...) {
    text.clear();  // no memory for the text: an empty message
  }
  if (buf != nullptr && size != 0) {
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
  }
  return text.size();
}

int orvoaes_key_new(const uint8_t* key, size_t key_len, orvoaes_key** out) {
  if (out == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  *out = nullptr;
  if (key == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  orvoaes_key* k = nullptr;
  if (const int st = Make(&k)) return st;
  if (const int st = Guard([&] { return k->Key.SetKey(TIn(key, key_len)); })) {
    delete k;
    return st;
  }
  *out = k;
  return 0;
}

void orvoaes_key_free(orvoaes_key* key) { delete key; }

int orvoaes_ecb_encrypt(const orvoaes_key* key, const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  return Block(key, in, len, out, out_len, [](const AESKeyed::TAESKey& k, TIn i, TOut o) { return k.EncryptECB(i, o); });
}
int orvoaes_ecb_decrypt(const orvoaes_key* key, const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  return Block(key, in, len, out, out_len, [](const AESKeyed::TAESKey& k, TIn i, TOut o) { return k.DecryptECB(i, o); });
}
int orvoaes_cbc_encrypt(const orvoaes_key* key, uint8_t iv[16], const uint8_t* in, size_t len, uint8_t* out,
                        size_t out_len) {
  return Chained(key, iv, in, len, out, out_len,
                 [](const AESKeyed::TAESKey& k, TIn i, TOut o, platform::TCharArray16& v) { return k.EncryptCBC(i, o, v); });
}
int orvoaes_cbc_decrypt(const orvoaes_key* key, uint8_t iv[16], const uint8_t* in, size_t len, uint8_t* out,
                        size_t out_len) {
  return Chained(key, iv, in, len, out, out_len,
                 [](const AESKeyed::TAESKey& k, TIn i, TOut o, platform::TCharArray16& v) { return k.DecryptCBC(i, o, v); });
}
int orvoaes_ofb_crypt(const orvoaes_key* key, uint8_t iv[16], const uint8_t* in, size_t len, uint8_t* out,
                      size_t out_len) {
  return Chained(key, iv, in, len, out, out_len,
                 [](const AESKeyed::TAESKey& k, TIn i, TOut o, platform::TCharArray16& v) { return k.CryptOFB(i, o, v); });
}
int orvoaes_ctr_crypt(const orvoaes_key* key, uint8_t iv[16], const uint8_t* in, size_t len, uint8_t* out,
                      size_t out_len) {
  return Chained(key, iv, in, len, out, out_len,
                 [](const AESKeyed::TAESKey& k, TIn i, TOut o, platform::TCharArray16& v) { return k.CryptCTR(i, o, v); });
}

int orvoaes_gcm_seal(const orvoaes_key* key, const uint8_t* iv, size_t iv_len, const uint8_t* aad, size_t aad_len,
                     const uint8_t* in, size_t len, uint8_t* out, size_t out_len, uint8_t* tag, size_t tag_len) {
  if (key == nullptr || Bad(iv, iv_len) || Bad(aad, aad_len) || Bad(in, len) || Bad(out, out_len) || Bad(tag, tag_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    return key->Key.GCM_Seal(TIn(iv, iv_len), TIn(aad, aad_len), TIn(in, len), TOut(out, out_len), TOut(tag, tag_len));
  });
}

int orvoaes_gcm_open(const orvoaes_key* key, const uint8_t* iv, size_t iv_len, const uint8_t* aad, size_t aad_len,
                     const uint8_t* in, size_t len, const uint8_t* tag, size_t tag_len, uint8_t* out, size_t out_len) {
  if (key == nullptr || Bad(iv, iv_len) || Bad(aad, aad_len) || Bad(in, len) || Bad(out, out_len) || Bad(tag, tag_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    return key->Key.GCM_Open(TIn(iv, iv_len), TIn(aad, aad_len), TIn(in, len), TIn(tag, tag_len), TOut(out, out_len));
  });
}

int orvoaes_gcm_encryptor_new(const orvoaes_key* key, orvoaes_gcm_encryptor** out) {
  if (key == nullptr) {
    if (out != nullptr) *out = nullptr;
    return ORVOAES_E_BAD_ARGUMENT;
  }
  return Make(out, key->Key);
}

void orvoaes_gcm_encryptor_free(orvoaes_gcm_encryptor* enc) { delete enc; }

int orvoaes_gcm_encryptor_begin(orvoaes_gcm_encryptor* enc, const uint8_t* iv, size_t iv_len, const uint8_t* aad,
                                size_t aad_len) {
  if (enc == nullptr || Bad(iv, iv_len) || Bad(aad, aad_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return enc->Enc.Begin(TIn(iv, iv_len), TIn(aad, aad_len)); });
}

int orvoaes_gcm_encryptor_update(orvoaes_gcm_encryptor* enc, const uint8_t* in, size_t len, uint8_t* out,
                                 size_t out_len) {
  if (enc == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return enc->Enc.Update(TIn(in, len), TOut(out, out_len)); });
}

int orvoaes_gcm_encryptor_finish(orvoaes_gcm_encryptor* enc, uint8_t* tag, size_t tag_len) {
  if (enc == nullptr || Bad(tag, tag_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return enc->Enc.Finish(TOut(tag, tag_len)); });
}

int orvoaes_cmac(const orvoaes_key* key, const uint8_t* msg, size_t len, uint8_t* tag, size_t tag_len) {
  if (key == nullptr || Bad(msg, len) || Bad(tag, tag_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return key->Key.MAC_Generate(TIn(msg, len), TOut(tag, tag_len)); });
}

int orvoaes_cmac_verify(const orvoaes_key* key, const uint8_t* msg, size_t len, const uint8_t* tag, size_t tag_len) {
  if (key == nullptr || Bad(msg, len) || Bad(tag, tag_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return key->Key.MAC_Verify(TIn(msg, len), TIn(tag, tag_len)); });
}

int orvoaes_cmac_ctx_new(const orvoaes_key* key, orvoaes_cmac_ctx** out) {
  if (key == nullptr) {
    if (out != nullptr) *out = nullptr;
    return ORVOAES_E_BAD_ARGUMENT;
  }
  return Make(out, key->Key);
}

int orvoaes_cmac_ctx_copy(const orvoaes_cmac_ctx* ctx, orvoaes_cmac_ctx** out) {
  if (ctx == nullptr) {
    if (out != nullptr) *out = nullptr;
    return ORVOAES_E_BAD_ARGUMENT;
  }
  return Make(out, ctx->Mac);
}

void orvoaes_cmac_ctx_free(orvoaes_cmac_ctx* ctx) { delete ctx; }

int orvoaes_cmac_ctx_update(orvoaes_cmac_ctx* ctx, const uint8_t* msg, size_t len) {
  if (ctx == nullptr || Bad(msg, len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return ctx->Mac.Update(TIn(msg, len)); });
}

int orvoaes_cmac_ctx_finish(orvoaes_cmac_ctx* ctx, uint8_t* tag, size_t tag_len) {
  if (ctx == nullptr || Bad(tag, tag_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return ctx->Mac.Finish(TOut(tag, tag_len)); });
}

int orvoaes_cmac_ctx_verify(orvoaes_cmac_ctx* ctx, const uint8_t* tag, size_t tag_len) {
  if (ctx == nullptr || Bad(tag, tag_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return ctx->Mac.Verify(TIn(tag, tag_len)); });
}

}  // extern "C"
