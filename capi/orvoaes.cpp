// The C interface over the keyed API: handles that own a TAESKey, a TGCMEncryptor or a
// TMACGenerator, raw pointers turned into spans after the NULL checks, and every call wrapped so
// that no exception crosses into C.
#include "orvoaes/orvoaes.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/support/error.h"
#include "platform/Streams.h"
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
static_assert(ORVOAES_E_FILE_OPEN_FAILED == error::kFileOpenFailed);
static_assert(ORVOAES_E_SHORT_WRITE == error::kShortWrite);
static_assert(ORVOAES_E_CHUNK_COMMITMENT == error::kChunkCommitment);
static_assert(ORVOAES_E_CHUNK_TRUNCATED == error::kChunkTruncated);
static_assert(ORVOAES_E_CHUNK_TOO_LONG == error::kChunkTooLong);
static_assert(ORVOAES_E_UNWRAP_FAILED == error::kUnwrapFailed);

struct orvoaes_key {
  AESKeyed::TAESKey Key;
};

struct orvoaes_chunked_encryptor {
  AESChunked::TEncryptor Enc;
};

struct orvoaes_chunked_decryptor {
  AESChunked::TDecryptor Dec;
};

struct orvoaes_chunked_reader {
  std::unique_ptr<platform::TFileStream> File;
  AESChunked::TReader Reader;
};

struct orvoaes_siv_key {
  AESKeyed::TSIVKey Key;
};

struct orvoaes_xaes_key {
  AESKeyed::TXAESKey Key;
};

struct orvoaes_xts_key {
  AESKeyed::TXTSKey Key;
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

// The chunked parameters of a key (its length gives the suite) and a context; false when a
// pointer is NULL with a length.
bool ChunkedParams(const std::uint8_t* key, std::size_t key_len, const std::uint8_t* context, std::size_t context_len,
                   AESChunked::TParams& p) noexcept {
  if (key == nullptr || Bad(context, context_len)) return false;
  p.Suite = key_len == 32 ? AESChunked::TSuite::Cobblestone256 : AESChunked::TSuite::Cobblestone128;
  p.Key = TIn(key, key_len);
  p.Context = TIn(context, context_len);
  return true;
}

TIn Salt(const std::uint8_t* salt) noexcept { return salt ? TIn(salt, AESChunked::kSaltBytes) : TIn(); }

// A file operation's exceptions (a path that cannot be opened raises) as the library's statuses.
template <class F>
int GuardFile(F&& f) noexcept {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    return ORVOAES_E_NO_MEMORY;
  } catch (...) {
    return ORVOAES_E_FILE_OPEN_FAILED;
  }
}

// A key object of type K set from key bytes, stored in *out (NULL on failure).
template <class K>
int NewKey(const std::uint8_t* key, std::size_t key_len, K** out) noexcept {
  if (out == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  *out = nullptr;
  if (key == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  K* k = nullptr;
  if (const int st = Make(&k)) return st;
  if (const int st = Guard([&] { return k->Key.SetKey(TIn(key, key_len)); })) {
    delete k;
    return st;
  }
  *out = k;
  return 0;
}

// The associated-data list of AES-SIV as spans (at most 126: more is refused by the key).
int SIVStrings(const std::uint8_t* const* ad, const std::size_t* ad_len, std::size_t count,
               std::vector<TIn>& spans) {
  if (count != 0 && (ad == nullptr || ad_len == nullptr)) return ORVOAES_E_BAD_ARGUMENT;
  if (count > 126) return ORVOAES_E_BAD_ARGUMENT;
  spans.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    if (Bad(ad[i], ad_len[i])) return ORVOAES_E_BAD_ARGUMENT;
    spans.emplace_back(ad[i], ad_len[i]);
  }
  return 0;
}

using TSealFn = platform::Integer (AESKeyed::TAESKey::*)(TIn, TIn, TIn, TOut, TOut) const;
using TOpenFn = platform::Integer (AESKeyed::TAESKey::*)(TIn, TIn, TIn, TIn, TOut) const;

// The AEAD modes of the key with GCM's argument list: NULL checks, then the key's operation.
int Seal(TSealFn fn, const orvoaes_key* key, const std::uint8_t* nonce, std::size_t nonce_len, const std::uint8_t* aad,
         std::size_t aad_len, const std::uint8_t* in, std::size_t len, std::uint8_t* out, std::size_t out_len,
         std::uint8_t* tag, std::size_t tag_len) noexcept {
  if (key == nullptr || Bad(nonce, nonce_len) || Bad(aad, aad_len) || Bad(in, len) || Bad(out, out_len) ||
      Bad(tag, tag_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    return (key->Key.*fn)(TIn(nonce, nonce_len), TIn(aad, aad_len), TIn(in, len), TOut(out, out_len), TOut(tag, tag_len));
  });
}

int Open(TOpenFn fn, const orvoaes_key* key, const std::uint8_t* nonce, std::size_t nonce_len, const std::uint8_t* aad,
         std::size_t aad_len, const std::uint8_t* in, std::size_t len, const std::uint8_t* tag, std::size_t tag_len,
         std::uint8_t* out, std::size_t out_len) noexcept {
  if (key == nullptr || Bad(nonce, nonce_len) || Bad(aad, aad_len) || Bad(in, len) || Bad(out, out_len) ||
      Bad(tag, tag_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    return (key->Key.*fn)(TIn(nonce, nonce_len), TIn(aad, aad_len), TIn(in, len), TIn(tag, tag_len), TOut(out, out_len));
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

int orvoaes_key_new(const uint8_t* key, size_t key_len, orvoaes_key** out) { return NewKey(key, key_len, out); }

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

#define ORVOAES_CHAINED(name, Method)                                                                        \
  int orvoaes_##name(const orvoaes_key* key, uint8_t iv[16], const uint8_t* in, size_t len, uint8_t* out,     \
                     size_t out_len) {                                                                       \
    return Chained(key, iv, in, len, out, out_len,                                                           \
                   [](const AESKeyed::TAESKey& k, TIn i, TOut o, platform::TCharArray16& v) { return k.Method(i, o, v); }); \
  }
ORVOAES_CHAINED(cfb_encrypt, EncryptCFB)
ORVOAES_CHAINED(cfb_decrypt, DecryptCFB)
ORVOAES_CHAINED(cfb8_encrypt, EncryptCFB8)
ORVOAES_CHAINED(cfb8_decrypt, DecryptCFB8)
#undef ORVOAES_CHAINED

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

uint64_t orvoaes_chunked_cipher_bytes(uint64_t plain_len) { return AESChunked::CipherBytes(plain_len); }

int orvoaes_chunked_plain_bytes(uint64_t cipher_len, uint64_t* plain_len) {
  if (plain_len == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  std::uint64_t n = 0;
  const int st = AESChunked::PlainBytes(cipher_len, n);
  if (st == 0) *plain_len = n;
  return st;
}

int orvoaes_chunked_encrypt(const uint8_t* key, size_t key_len, const uint8_t* context, size_t context_len,
                            const uint8_t* salt, const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  AESChunked::TParams p;
  if (!ChunkedParams(key, key_len, context, context_len, p) || Bad(in, len) || Bad(out, out_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return AESChunked::Encrypt(p, TIn(in, len), TOut(out, out_len), Salt(salt)); });
}

int orvoaes_chunked_decrypt(const uint8_t* key, size_t key_len, const uint8_t* context, size_t context_len,
                            const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  AESChunked::TParams p;
  if (!ChunkedParams(key, key_len, context, context_len, p) || Bad(in, len) || Bad(out, out_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return AESChunked::Decrypt(p, TIn(in, len), TOut(out, out_len)); });
}

int orvoaes_chunked_encrypt_file(const uint8_t* key, size_t key_len, const uint8_t* context, size_t context_len,
                                 const char* in_path, const char* out_path, unsigned threads) {
  AESChunked::TParams p;
  if (!ChunkedParams(key, key_len, context, context_len, p) || in_path == nullptr || out_path == nullptr)
    return ORVOAES_E_BAD_ARGUMENT;
  return GuardFile([&] {
    return AESChunked::EncryptFile(p, platform::FromUTF8(in_path), platform::FromUTF8(out_path), {threads, {}});
  });
}

int orvoaes_chunked_decrypt_file(const uint8_t* key, size_t key_len, const uint8_t* context, size_t context_len,
                                 const char* in_path, const char* out_path, unsigned threads) {
  AESChunked::TParams p;
  if (!ChunkedParams(key, key_len, context, context_len, p) || in_path == nullptr || out_path == nullptr)
    return ORVOAES_E_BAD_ARGUMENT;
  return GuardFile([&] {
    return AESChunked::DecryptFile(p, platform::FromUTF8(in_path), platform::FromUTF8(out_path), {threads, {}});
  });
}

int orvoaes_chunked_encryptor_new(const uint8_t* key, size_t key_len, const uint8_t* context, size_t context_len,
                                  const uint8_t* salt, uint8_t header[56], orvoaes_chunked_encryptor** out) {
  if (out == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  *out = nullptr;
  AESChunked::TParams p;
  if (!ChunkedParams(key, key_len, context, context_len, p) || header == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  orvoaes_chunked_encryptor* e = nullptr;
  if (const int st = Make(&e)) return st;
  if (const int st = Guard([&] { return e->Enc.Begin(p, TOut(header, AESChunked::kHeaderBytes), Salt(salt)); })) {
    delete e;
    return st;
  }
  *out = e;
  return 0;
}

void orvoaes_chunked_encryptor_free(orvoaes_chunked_encryptor* enc) { delete enc; }
size_t orvoaes_chunked_encryptor_update_room(const orvoaes_chunked_encryptor* enc, size_t len) {
  return enc ? enc->Enc.UpdateRoom(len) : 0;
}
size_t orvoaes_chunked_encryptor_finish_room(const orvoaes_chunked_encryptor* enc) {
  return enc ? enc->Enc.FinishRoom() : 0;
}

int orvoaes_chunked_encryptor_update(orvoaes_chunked_encryptor* enc, const uint8_t* in, size_t len, uint8_t* out,
                                     size_t out_len, size_t* written) {
  if (enc == nullptr || written == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return enc->Enc.Update(TIn(in, len), TOut(out, out_len), *written); });
}

int orvoaes_chunked_encryptor_finish(orvoaes_chunked_encryptor* enc, uint8_t* out, size_t out_len, size_t* written) {
  if (enc == nullptr || written == nullptr || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return enc->Enc.Finish(TOut(out, out_len), *written); });
}

int orvoaes_chunked_decryptor_new(const uint8_t* key, size_t key_len, const uint8_t* context, size_t context_len,
                                  orvoaes_chunked_decryptor** out) {
  if (out == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  *out = nullptr;
  AESChunked::TParams p;
  if (!ChunkedParams(key, key_len, context, context_len, p)) return ORVOAES_E_BAD_ARGUMENT;
  orvoaes_chunked_decryptor* d = nullptr;
  if (const int st = Make(&d)) return st;
  if (const int st = Guard([&] { return d->Dec.Begin(p); })) {
    delete d;
    return st;
  }
  *out = d;
  return 0;
}

void orvoaes_chunked_decryptor_free(orvoaes_chunked_decryptor* dec) { delete dec; }
size_t orvoaes_chunked_decryptor_update_room(const orvoaes_chunked_decryptor* dec, size_t len) {
  return dec ? dec->Dec.UpdateRoom(len) : 0;
}
size_t orvoaes_chunked_decryptor_finish_room(const orvoaes_chunked_decryptor* dec) {
  return dec ? dec->Dec.FinishRoom() : 0;
}

int orvoaes_chunked_decryptor_update(orvoaes_chunked_decryptor* dec, const uint8_t* in, size_t len, uint8_t* out,
                                     size_t out_len, size_t* written) {
  if (dec == nullptr || written == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return dec->Dec.Update(TIn(in, len), TOut(out, out_len), *written); });
}

int orvoaes_chunked_decryptor_finish(orvoaes_chunked_decryptor* dec, uint8_t* out, size_t out_len, size_t* written) {
  if (dec == nullptr || written == nullptr || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return dec->Dec.Finish(TOut(out, out_len), *written); });
}

int orvoaes_chunked_reader_open(const uint8_t* key, size_t key_len, const uint8_t* context, size_t context_len,
                                const char* path, orvoaes_chunked_reader** out) {
  if (out == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  *out = nullptr;
  AESChunked::TParams p;
  if (!ChunkedParams(key, key_len, context, context_len, p) || path == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  orvoaes_chunked_reader* r = nullptr;
  if (const int st = Make(&r)) return st;
  const int st = GuardFile([&] {
    r->File = std::make_unique<platform::TFileStream>(platform::FromUTF8(path), platform::TFileMode::fmOpenRead);
    return r->Reader.Open(p, r->File.get());
  });
  if (st != 0) {
    delete r;
    return st;
  }
  *out = r;
  return 0;
}

void orvoaes_chunked_reader_free(orvoaes_chunked_reader* reader) { delete reader; }

int orvoaes_chunked_reader_size(orvoaes_chunked_reader* reader, uint64_t* plain_len) {
  if (reader == nullptr || plain_len == nullptr) return ORVOAES_E_BAD_ARGUMENT;
  return GuardFile([&] { return reader->Reader.Size(*plain_len); });
}

int orvoaes_chunked_reader_read_at(orvoaes_chunked_reader* reader, uint64_t offset, uint8_t* out, size_t len,
                                   size_t* got) {
  if (reader == nullptr || got == nullptr || Bad(out, len)) return ORVOAES_E_BAD_ARGUMENT;
  return GuardFile([&] { return reader->Reader.ReadAt(offset, TOut(out, len), *got); });
}

int orvoaes_gmac(const orvoaes_key* key, const uint8_t* iv, size_t iv_len, const uint8_t* aad, size_t aad_len,
                 uint8_t* tag, size_t tag_len) {
  if (key == nullptr || Bad(iv, iv_len) || Bad(aad, aad_len) || Bad(tag, tag_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return key->Key.GMAC_Generate(TIn(iv, iv_len), TIn(aad, aad_len), TOut(tag, tag_len)); });
}

int orvoaes_gmac_verify(const orvoaes_key* key, const uint8_t* iv, size_t iv_len, const uint8_t* aad, size_t aad_len,
                        const uint8_t* tag, size_t tag_len) {
  if (key == nullptr || Bad(iv, iv_len) || Bad(aad, aad_len) || Bad(tag, tag_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return key->Key.GMAC_Verify(TIn(iv, iv_len), TIn(aad, aad_len), TIn(tag, tag_len)); });
}

int orvoaes_siv_key_new(const uint8_t* key, size_t key_len, orvoaes_siv_key** out) {
  return NewKey(key, key_len, out);
}
void orvoaes_siv_key_free(orvoaes_siv_key* key) { delete key; }

int orvoaes_siv_seal(const orvoaes_siv_key* key, const uint8_t* const* ad, const size_t* ad_len, size_t ad_count,
                     const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  if (key == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    std::vector<TIn> strings;
    if (const int st = SIVStrings(ad, ad_len, ad_count, strings)) return st;
    return key->Key.Seal(strings, TIn(in, len), TOut(out, out_len));
  });
}

int orvoaes_siv_open(const orvoaes_siv_key* key, const uint8_t* const* ad, const size_t* ad_len, size_t ad_count,
                     const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  if (key == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    std::vector<TIn> strings;
    if (const int st = SIVStrings(ad, ad_len, ad_count, strings)) return st;
    return key->Key.Open(strings, TIn(in, len), TOut(out, out_len));
  });
}

int orvoaes_xaes_key_new(const uint8_t* key, size_t key_len, orvoaes_xaes_key** out) {
  return NewKey(key, key_len, out);
}
void orvoaes_xaes_key_free(orvoaes_xaes_key* key) { delete key; }

int orvoaes_xaes_seal(const orvoaes_xaes_key* key, const uint8_t nonce[24], const uint8_t* aad, size_t aad_len,
                      const uint8_t* in, size_t len, uint8_t* out, size_t out_len, uint8_t tag[16]) {
  if (key == nullptr || nonce == nullptr || tag == nullptr || Bad(aad, aad_len) || Bad(in, len) || Bad(out, out_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    return key->Key.Seal(TIn(nonce, 24), TIn(aad, aad_len), TIn(in, len), TOut(out, out_len), TOut(tag, 16));
  });
}

int orvoaes_xaes_open(const orvoaes_xaes_key* key, const uint8_t nonce[24], const uint8_t* aad, size_t aad_len,
                      const uint8_t* in, size_t len, const uint8_t tag[16], uint8_t* out, size_t out_len) {
  if (key == nullptr || nonce == nullptr || tag == nullptr || Bad(aad, aad_len) || Bad(in, len) || Bad(out, out_len))
    return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] {
    return key->Key.Open(TIn(nonce, 24), TIn(aad, aad_len), TIn(in, len), TIn(tag, 16), TOut(out, out_len));
  });
}

#define ORVOAES_AEAD(name, Mode)                                                                                    \
  int orvoaes_##name##_seal(const orvoaes_key* key, const uint8_t* nonce, size_t nonce_len, const uint8_t* aad,    \
                            size_t aad_len, const uint8_t* in, size_t len, uint8_t* out, size_t out_len, uint8_t* tag, \
                            size_t tag_len) {                                                                        \
    return Seal(&AESKeyed::TAESKey::Mode##_Seal, key, nonce, nonce_len, aad, aad_len, in, len, out, out_len, tag,     \
                tag_len);                                                                                            \
  }                                                                                                                  \
  int orvoaes_##name##_open(const orvoaes_key* key, const uint8_t* nonce, size_t nonce_len, const uint8_t* aad,    \
                            size_t aad_len, const uint8_t* in, size_t len, const uint8_t* tag, size_t tag_len,       \
                            uint8_t* out, size_t out_len) {                                                          \
    return Open(&AESKeyed::TAESKey::Mode##_Open, key, nonce, nonce_len, aad, aad_len, in, len, tag, tag_len, out,     \
                out_len);                                                                                            \
  }
ORVOAES_AEAD(gcmsiv, GCMSIV)
ORVOAES_AEAD(ccm, CCM)
ORVOAES_AEAD(ocb, OCB)
ORVOAES_AEAD(eax, EAX)
#undef ORVOAES_AEAD

int orvoaes_wrap_key(const orvoaes_key* kek, const uint8_t* key, size_t key_len, uint8_t* out, size_t out_len) {
  if (kek == nullptr || Bad(key, key_len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return kek->Key.WrapKey(TIn(key, key_len), TOut(out, out_len)); });
}

int orvoaes_unwrap_key(const orvoaes_key* kek, const uint8_t* wrapped, size_t len, uint8_t* out, size_t out_len) {
  if (kek == nullptr || Bad(wrapped, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return kek->Key.UnwrapKey(TIn(wrapped, len), TOut(out, out_len)); });
}

int orvoaes_wrap_key_padded(const orvoaes_key* kek, const uint8_t* key, size_t key_len, uint8_t* out,
                            size_t out_len) {
  if (kek == nullptr || Bad(key, key_len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return kek->Key.WrapKeyPadded(TIn(key, key_len), TOut(out, out_len)); });
}

int orvoaes_unwrap_key_padded(const orvoaes_key* kek, const uint8_t* wrapped, size_t len, uint8_t* out,
                              size_t out_len, size_t* key_len) {
  if (kek == nullptr || key_len == nullptr || Bad(wrapped, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return kek->Key.UnwrapKeyPadded(TIn(wrapped, len), TOut(out, out_len), *key_len); });
}

int orvoaes_xts_key_new(const uint8_t* key, size_t key_len, orvoaes_xts_key** out) { return NewKey(key, key_len, out); }
void orvoaes_xts_key_free(orvoaes_xts_key* key) { delete key; }

int orvoaes_xts_encrypt(const orvoaes_xts_key* key, const uint8_t tweak[16], const uint8_t* in, size_t len,
                        uint8_t* out, size_t out_len) {
  if (key == nullptr || tweak == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  platform::TCharArray16 t;
  std::memcpy(t.data(), tweak, 16);
  return Guard([&] { return key->Key.Encrypt(t, TIn(in, len), TOut(out, out_len)); });
}

int orvoaes_xts_decrypt(const orvoaes_xts_key* key, const uint8_t tweak[16], const uint8_t* in, size_t len,
                        uint8_t* out, size_t out_len) {
  if (key == nullptr || tweak == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  platform::TCharArray16 t;
  std::memcpy(t.data(), tweak, 16);
  return Guard([&] { return key->Key.Decrypt(t, TIn(in, len), TOut(out, out_len)); });
}

int orvoaes_xts_encrypt_sectors(const orvoaes_xts_key* key, uint64_t first_sector, size_t sector_size,
                                const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  if (key == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return key->Key.EncryptSectors(first_sector, sector_size, TIn(in, len), TOut(out, out_len)); });
}

int orvoaes_xts_decrypt_sectors(const orvoaes_xts_key* key, uint64_t first_sector, size_t sector_size,
                                const uint8_t* in, size_t len, uint8_t* out, size_t out_len) {
  if (key == nullptr || Bad(in, len) || Bad(out, out_len)) return ORVOAES_E_BAD_ARGUMENT;
  return Guard([&] { return key->Key.DecryptSectors(first_sector, sector_size, TIn(in, len), TOut(out, out_len)); });
}

}  // extern "C"
