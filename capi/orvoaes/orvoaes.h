/* The OrvoAES library from C (C99 and later, and C++): AES keys expanded once and used for many
 * messages, with ECB, CBC, OFB, CTR, AES-GCM (one-shot, and encryption in pieces) and AES-CMAC
 * (one-shot, and in pieces), AES-GCM-SIV, GMAC, AES-SIV, XAES-256-GCM, CCM, OCB3, EAX, key wrap
 * (KW, KWP), XTS and chunked encryption (one-shot, files, in pieces, random access).
 *
 * Statuses: every function that can fail returns an int, ORVOAES_OK (0) or one of the negative
 * codes below, which are the library's own codes; orvoaes_status_message gives the library's text
 * for any of them. A function that fails has written nothing to its outputs (the one exception
 * is said where it happens: a failed GCM tag check zeroes the plain text it wrote).
 *
 * Buffers: a pointer may be NULL only when its length is 0. Inputs and outputs of the same call
 * are either the same memory or do not overlap at all (ORVOAES_E_BAD_ARGUMENT otherwise). An
 * output length is the room the caller gives; the call writes exactly as many bytes as it says.
 *
 * Ownership: every orvoaes_*_new returns an object the caller owns and releases with the matching
 * orvoaes_*_free (which accepts NULL, and wipes the object's secrets before releasing its
 * memory). An encryptor or CMAC context made from a key borrows it: the key must be freed after
 * them. Nothing returned points into the library's memory except orvoaes_version().
 *
 * Threads: a key may be used by any number of threads at once for one-shot operations and as the
 * key of encryptors and contexts; freeing it needs it to be used by no one. An encryptor or a CMAC
 * context is used by one thread at a time. No function keeps global state.
 *
 * No C++ exception leaves this interface: a failed allocation is ORVOAES_E_NO_MEMORY. */
#ifndef ORVOAES_ORVOAES_H
#define ORVOAES_ORVOAES_H

#include <stddef.h>
#include <stdint.h>

#include "orvoaes/Version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses (the library's codes). */
#define ORVOAES_OK 0
#define ORVOAES_E_NO_MEMORY (-2)          /* memory could not be allocated */
#define ORVOAES_E_TAG_MISMATCH (-200)     /* GCM tag check failed */
#define ORVOAES_E_BAD_ARGUMENT (-201)     /* NULL, empty, short, overlapping or inconsistent input */
#define ORVOAES_E_TAG_TOO_LONG (-204)     /* a GCM tag longer than 16 bytes */
#define ORVOAES_E_MAC_MISMATCH (-205)     /* CMAC tag check failed */
#define ORVOAES_E_BAD_KEY_SIZE (-206)     /* a key not of 16, 24 or 32 bytes */
#define ORVOAES_E_BAD_CIPHER_LENGTH (-207) /* ECB/CBC cipher text not a multiple of 16 bytes */
#define ORVOAES_E_BAD_BLOCK_LENGTH (-210) /* a CMAC tag longer than 16 bytes */
#define ORVOAES_E_NO_PADDING_LENGTH (-211) /* ECB/CBC plain text not a multiple of 16 bytes */
#define ORVOAES_E_FILE_OPEN_FAILED (-203) /* a file cannot be opened, sized or read */
#define ORVOAES_E_SHORT_WRITE (-213)      /* an output could not be written whole */
#define ORVOAES_E_CHUNK_COMMITMENT (-230) /* chunked: the header is not this key's and context's */
#define ORVOAES_E_CHUNK_TRUNCATED (-231)  /* chunked: the cipher text ends where no message can */
#define ORVOAES_E_CHUNK_TOO_LONG (-232)   /* chunked: a message past 2^38 chunks */
#define ORVOAES_E_UNWRAP_FAILED (-214)    /* key unwrap: the integrity check failed */

/* "5.0.0.0": the version of the library linked, which ORVOAES_VERSION_STRING (orvoaes/Version.h)
 * gives for these headers. A static string. */
const char *orvoaes_version(void);
/* The same packed as ORVOAES_VERSION_NUMBER: major, minor, patch, tweak one byte each. */
uint32_t orvoaes_version_number(void);

/* Writes "Error: " and the library's text for status, in UTF-8, into buf (at most size bytes, the
 * last one a NUL when size > 0, cut short when it does not fit) and returns the length of the
 * whole message without its NUL, as snprintf does. buf may be NULL when size is 0. */
size_t orvoaes_status_message(int status, char *buf, size_t size);

/* --- Keys */

typedef struct orvoaes_key orvoaes_key;

/* Expands key (key_len 16, 24 or 32 bytes: AES-128, -192, -256) for every mode and stores a new
 * key object in *out (NULL on failure). ORVOAES_E_BAD_KEY_SIZE for another length,
 * ORVOAES_E_BAD_ARGUMENT when out or key is NULL. The caller's key bytes are not kept. */
int orvoaes_key_new(const uint8_t *key, size_t key_len, orvoaes_key **out);
/* Wipes the expanded key, the GCM hash key and the CMAC subkeys and releases the object. */
void orvoaes_key_free(orvoaes_key *key);

/* --- Block modes. len bytes from in to out (out_len >= len). ECB and CBC take whole blocks
 * (ORVOAES_E_NO_PADDING_LENGTH on encryption, ORVOAES_E_BAD_CIPHER_LENGTH on decryption); no
 * padding is added or removed. iv points to 16 bytes that are read and updated: CBC's chaining
 * block ends as the last cipher block, OFB's register as the last keystream block and CTR's
 * counter (all 128 bits, big-endian, wrapping) advanced once per block begun, so a call over
 * whole blocks is continued by the next one. OFB and CTR are their own inverse. */
int orvoaes_ecb_encrypt(const orvoaes_key *key, const uint8_t *in, size_t len, uint8_t *out, size_t out_len);
int orvoaes_ecb_decrypt(const orvoaes_key *key, const uint8_t *in, size_t len, uint8_t *out, size_t out_len);
int orvoaes_cbc_encrypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                        size_t out_len);
int orvoaes_cbc_decrypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                        size_t out_len);
int orvoaes_ofb_crypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                      size_t out_len);
int orvoaes_ctr_crypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                      size_t out_len);
/* CFB with 128-bit feedback and with 8-bit feedback (CFB8), any length; iv ends as the feedback
 * register, so a call continues the previous one (CFB: after whole blocks; CFB8: always). */
int orvoaes_cfb_encrypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                        size_t out_len);
int orvoaes_cfb_decrypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                        size_t out_len);
int orvoaes_cfb8_encrypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                         size_t out_len);
int orvoaes_cfb8_decrypt(const orvoaes_key *key, uint8_t iv[16], const uint8_t *in, size_t len, uint8_t *out,
                         size_t out_len);

/* --- AES-GCM. iv: 1 byte or more (12 bytes is the usual and fastest form); aad may be empty;
 * tag_len 4 to 16 (the first bytes of the full tag); len at most 2^36 - 32 bytes.
 * Checks, in this order: ORVOAES_E_BAD_ARGUMENT no key or an empty iv; ORVOAES_E_TAG_TOO_LONG a
 * tag above 16 bytes; ORVOAES_E_BAD_ARGUMENT a tag below 4 bytes, out_len < len, a partial
 * overlap, len above the limit. */
int orvoaes_gcm_seal(const orvoaes_key *key, const uint8_t *iv, size_t iv_len, const uint8_t *aad, size_t aad_len,
                     const uint8_t *in, size_t len, uint8_t *out, size_t out_len, uint8_t *tag, size_t tag_len);
/* Decrypts and checks the tag in constant time: ORVOAES_OK, or ORVOAES_E_TAG_MISMATCH with the len
 * bytes written to out set to zero (no unauthenticated plain text is left behind). */
int orvoaes_gcm_open(const orvoaes_key *key, const uint8_t *iv, size_t iv_len, const uint8_t *aad, size_t aad_len,
                     const uint8_t *in, size_t len, const uint8_t *tag, size_t tag_len, uint8_t *out,
                     size_t out_len);

/* GCM encryption of one message at a time in pieces: begin, update any number of times, finish;
 * then begin may start the next message. The pieces' cipher text and the tag equal
 * orvoaes_gcm_seal's on the whole message. */
typedef struct orvoaes_gcm_encryptor orvoaes_gcm_encryptor;
int orvoaes_gcm_encryptor_new(const orvoaes_key *key, orvoaes_gcm_encryptor **out);
void orvoaes_gcm_encryptor_free(orvoaes_gcm_encryptor *enc);
/* Starts a message (one under way is dropped). ORVOAES_E_BAD_ARGUMENT for an empty iv. */
int orvoaes_gcm_encryptor_begin(orvoaes_gcm_encryptor *enc, const uint8_t *iv, size_t iv_len, const uint8_t *aad,
                                size_t aad_len);
/* Writes exactly len cipher bytes. ORVOAES_E_BAD_ARGUMENT: no message begun, out_len < len, a
 * partial overlap, or the message would pass 2^36 - 32 bytes. */
int orvoaes_gcm_encryptor_update(orvoaes_gcm_encryptor *enc, const uint8_t *in, size_t len, uint8_t *out,
                                 size_t out_len);
/* Writes the tag (tag_len checked as orvoaes_gcm_seal checks it) and ends the message. */
int orvoaes_gcm_encryptor_finish(orvoaes_gcm_encryptor *enc, uint8_t *tag, size_t tag_len);

/* --- AES-CMAC. tag_len 4 to 16 (the first bytes of the full tag): ORVOAES_E_BAD_ARGUMENT below,
 * ORVOAES_E_BAD_BLOCK_LENGTH above. The message may be empty. */
int orvoaes_cmac(const orvoaes_key *key, const uint8_t *msg, size_t len, uint8_t *tag, size_t tag_len);
/* ORVOAES_OK when tag matches (constant time), else ORVOAES_E_MAC_MISMATCH. */
int orvoaes_cmac_verify(const orvoaes_key *key, const uint8_t *msg, size_t len, const uint8_t *tag, size_t tag_len);

/* CMAC of a message fed in pieces. finish and verify end the message; the next update starts a
 * new one. A copy continues the same message on its own (a shared prefix is absorbed once). */
typedef struct orvoaes_cmac_ctx orvoaes_cmac_ctx;
int orvoaes_cmac_ctx_new(const orvoaes_key *key, orvoaes_cmac_ctx **out);
int orvoaes_cmac_ctx_copy(const orvoaes_cmac_ctx *ctx, orvoaes_cmac_ctx **out);
void orvoaes_cmac_ctx_free(orvoaes_cmac_ctx *ctx);
int orvoaes_cmac_ctx_update(orvoaes_cmac_ctx *ctx, const uint8_t *msg, size_t len);
int orvoaes_cmac_ctx_finish(orvoaes_cmac_ctx *ctx, uint8_t *tag, size_t tag_len);
int orvoaes_cmac_ctx_verify(orvoaes_cmac_ctx *ctx, const uint8_t *tag, size_t tag_len);

/* --- Chunked encryption v1 (Cobblestone): a message in chunks of 16 KiB, each AES-GCM under keys
 * derived per message (HKDF-SHA-512) from the caller's key, a 24-byte salt and a context; the
 * cipher text is a 56-byte header (salt, commitment) then the sealed chunks. The suite follows
 * the key: 16 bytes Cobblestone-128, 32 bytes Cobblestone-256 (ORVOAES_E_BAD_KEY_SIZE
 * otherwise). context may be empty. salt: NULL to draw a fresh one (always, except for tests:
 * a salt used twice under one key repeats every nonce), or 24 bytes. Decryption refuses a wrong
 * key or context (ORVOAES_E_CHUNK_COMMITMENT), a changed, moved or dropped chunk
 * (ORVOAES_E_TAG_MISMATCH) and a cut message (ORVOAES_E_CHUNK_TRUNCATED), with the plain text it
 * wrote zeroed. */
uint64_t orvoaes_chunked_cipher_bytes(uint64_t plain_len); /* 0 past the longest message */
int orvoaes_chunked_plain_bytes(uint64_t cipher_len, uint64_t *plain_len);
int orvoaes_chunked_encrypt(const uint8_t *key, size_t key_len, const uint8_t *context, size_t context_len,
                            const uint8_t *salt, const uint8_t *in, size_t len, uint8_t *out, size_t out_len);
int orvoaes_chunked_decrypt(const uint8_t *key, size_t key_len, const uint8_t *context, size_t context_len,
                            const uint8_t *in, size_t len, uint8_t *out, size_t out_len);
/* Files named by UTF-8 paths; the output is replaced whole or not at all and may be the input.
 * threads: chunks sealed or opened at once, 1 to 64 (the output is the same for any count). */
int orvoaes_chunked_encrypt_file(const uint8_t *key, size_t key_len, const uint8_t *context, size_t context_len,
                                 const char *in_path, const char *out_path, unsigned threads);
int orvoaes_chunked_decrypt_file(const uint8_t *key, size_t key_len, const uint8_t *context, size_t context_len,
                                 const char *in_path, const char *out_path, unsigned threads);

/* A message encrypted in pieces: _new writes the 56-byte header; each update writes the chunks
 * its input completes (out_len >= orvoaes_chunked_encryptor_update_room(enc, len)) and their
 * length to *written; finish writes the last chunk (out_len >= _finish_room). A failed call
 * leaves the encryptor failed (ORVOAES_E_BAD_ARGUMENT from then on). */
typedef struct orvoaes_chunked_encryptor orvoaes_chunked_encryptor;
int orvoaes_chunked_encryptor_new(const uint8_t *key, size_t key_len, const uint8_t *context, size_t context_len,
                                  const uint8_t *salt, uint8_t header[56], orvoaes_chunked_encryptor **out);
void orvoaes_chunked_encryptor_free(orvoaes_chunked_encryptor *enc);
size_t orvoaes_chunked_encryptor_update_room(const orvoaes_chunked_encryptor *enc, size_t len);
size_t orvoaes_chunked_encryptor_finish_room(const orvoaes_chunked_encryptor *enc);
int orvoaes_chunked_encryptor_update(orvoaes_chunked_encryptor *enc, const uint8_t *in, size_t len, uint8_t *out,
                                     size_t out_len, size_t *written);
int orvoaes_chunked_encryptor_finish(orvoaes_chunked_encryptor *enc, uint8_t *out, size_t out_len, size_t *written);

/* A message decrypted in pieces of any size: update releases a chunk's plain text only once its
 * tag matched; finish opens the last chunk and reports a message that ended too soon. A failure
 * is final. Plain text released before a failure was authentic as far as it went; discard it. */
typedef struct orvoaes_chunked_decryptor orvoaes_chunked_decryptor;
int orvoaes_chunked_decryptor_new(const uint8_t *key, size_t key_len, const uint8_t *context, size_t context_len,
                                  orvoaes_chunked_decryptor **out);
void orvoaes_chunked_decryptor_free(orvoaes_chunked_decryptor *dec);
size_t orvoaes_chunked_decryptor_update_room(const orvoaes_chunked_decryptor *dec, size_t len);
size_t orvoaes_chunked_decryptor_finish_room(const orvoaes_chunked_decryptor *dec);
int orvoaes_chunked_decryptor_update(orvoaes_chunked_decryptor *dec, const uint8_t *in, size_t len, uint8_t *out,
                                     size_t out_len, size_t *written);
int orvoaes_chunked_decryptor_finish(orvoaes_chunked_decryptor *dec, uint8_t *out, size_t out_len, size_t *written);

/* Random access to a message in a file: a read opens only the chunks it needs; the length is
 * authenticated when a read reaches the end and by _size. One thread at a time per reader. */
typedef struct orvoaes_chunked_reader orvoaes_chunked_reader;
int orvoaes_chunked_reader_open(const uint8_t *key, size_t key_len, const uint8_t *context, size_t context_len,
                                const char *path, orvoaes_chunked_reader **out);
void orvoaes_chunked_reader_free(orvoaes_chunked_reader *reader);
int orvoaes_chunked_reader_size(orvoaes_chunked_reader *reader, uint64_t *plain_len);
int orvoaes_chunked_reader_read_at(orvoaes_chunked_reader *reader, uint64_t offset, uint8_t *out, size_t len,
                                   size_t *got);

/* --- AES-GCM-SIV (nonce-misuse resistant): keys of 16 or 32 bytes only (ORVOAES_E_BAD_KEY_SIZE
 * for a 24-byte key at the call), nonce 12 bytes, tag 16 bytes, len and aad_len at most 2^36.
 * Opening zeroes the plain text it wrote on ORVOAES_E_TAG_MISMATCH. */
int orvoaes_gcmsiv_seal(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                        size_t aad_len, const uint8_t *in, size_t len, uint8_t *out, size_t out_len, uint8_t *tag,
                        size_t tag_len);
int orvoaes_gcmsiv_open(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                        size_t aad_len, const uint8_t *in, size_t len, const uint8_t *tag, size_t tag_len, uint8_t *out,
                        size_t out_len);

/* --- GMAC: a GCM tag over aad alone; iv and tag_len as orvoaes_gcm_seal's. Verification gives
 * ORVOAES_E_MAC_MISMATCH for a wrong tag. */
int orvoaes_gmac(const orvoaes_key *key, const uint8_t *iv, size_t iv_len, const uint8_t *aad, size_t aad_len,
                 uint8_t *tag, size_t tag_len);
int orvoaes_gmac_verify(const orvoaes_key *key, const uint8_t *iv, size_t iv_len, const uint8_t *aad, size_t aad_len,
                        const uint8_t *tag, size_t tag_len);

/* --- AES-SIV: a key of its own (32, 48 or 64 bytes: two AES keys). The associated data is a list
 * of ad_count strings (ad[i] of ad_len[i] bytes; at most 126; ad and ad_len may be NULL when
 * ad_count is 0). Sealing writes the 16-byte synthetic IV then the cipher text: out_len >= len +
 * 16. Opening takes that form (len >= 16) and writes len - 16 bytes; ORVOAES_E_TAG_MISMATCH
 * leaves them zeroed. */
typedef struct orvoaes_siv_key orvoaes_siv_key;
int orvoaes_siv_key_new(const uint8_t *key, size_t key_len, orvoaes_siv_key **out);
void orvoaes_siv_key_free(orvoaes_siv_key *key);
int orvoaes_siv_seal(const orvoaes_siv_key *key, const uint8_t *const *ad, const size_t *ad_len, size_t ad_count,
                     const uint8_t *in, size_t len, uint8_t *out, size_t out_len);
int orvoaes_siv_open(const orvoaes_siv_key *key, const uint8_t *const *ad, const size_t *ad_len, size_t ad_count,
                     const uint8_t *in, size_t len, uint8_t *out, size_t out_len);

/* --- XAES-256-GCM: a key of its own (32 bytes), 24-byte nonces (random ones are safe for any
 * number of messages), 16-byte tags. ORVOAES_E_TAG_MISMATCH leaves out zeroed, as GCM's. */
typedef struct orvoaes_xaes_key orvoaes_xaes_key;
int orvoaes_xaes_key_new(const uint8_t *key, size_t key_len, orvoaes_xaes_key **out);
void orvoaes_xaes_key_free(orvoaes_xaes_key *key);
int orvoaes_xaes_seal(const orvoaes_xaes_key *key, const uint8_t nonce[24], const uint8_t *aad, size_t aad_len,
                      const uint8_t *in, size_t len, uint8_t *out, size_t out_len, uint8_t tag[16]);
int orvoaes_xaes_open(const orvoaes_xaes_key *key, const uint8_t nonce[24], const uint8_t *aad, size_t aad_len,
                      const uint8_t *in, size_t len, const uint8_t tag[16], uint8_t *out, size_t out_len);
/* --- CCM, OCB3 and EAX, with the arguments of orvoaes_gcm_seal / orvoaes_gcm_open. Nonces: CCM 7
 * to 13 bytes (the data countable in 15 - nonce_len bytes), OCB3 1 to 15, EAX any length (NULL
 * with 0 included); tags 4 to 16 bytes (CCM: even). Opening gives ORVOAES_E_TAG_MISMATCH with
 * out zeroed (CCM, OCB3) or not written (EAX, which checks before it decrypts). */
int orvoaes_ccm_seal(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                     size_t aad_len, const uint8_t *in, size_t len, uint8_t *out, size_t out_len, uint8_t *tag,
                     size_t tag_len);
int orvoaes_ccm_open(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                     size_t aad_len, const uint8_t *in, size_t len, const uint8_t *tag, size_t tag_len, uint8_t *out,
                     size_t out_len);
int orvoaes_ocb_seal(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                     size_t aad_len, const uint8_t *in, size_t len, uint8_t *out, size_t out_len, uint8_t *tag,
                     size_t tag_len);
int orvoaes_ocb_open(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                     size_t aad_len, const uint8_t *in, size_t len, const uint8_t *tag, size_t tag_len, uint8_t *out,
                     size_t out_len);
int orvoaes_eax_seal(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                     size_t aad_len, const uint8_t *in, size_t len, uint8_t *out, size_t out_len, uint8_t *tag,
                     size_t tag_len);
int orvoaes_eax_open(const orvoaes_key *key, const uint8_t *nonce, size_t nonce_len, const uint8_t *aad,
                     size_t aad_len, const uint8_t *in, size_t len, const uint8_t *tag, size_t tag_len, uint8_t *out,
                     size_t out_len);

/* --- Key wrap under the key-encryption key kek; in and out must not overlap. KW: a key of a
 * multiple of 8 bytes, at least 16, wraps into key_len + 8 bytes; unwrapping writes len - 8.
 * KWP (padded): a key of any length from 1 byte wraps into key_len rounded up to 8, plus 8;
 * unwrapping needs out_len >= len - 8 and stores the key's length in *key_len. A failed check is
 * ORVOAES_E_UNWRAP_FAILED with nothing written. */
int orvoaes_wrap_key(const orvoaes_key *kek, const uint8_t *key, size_t key_len, uint8_t *out, size_t out_len);
int orvoaes_unwrap_key(const orvoaes_key *kek, const uint8_t *wrapped, size_t len, uint8_t *out, size_t out_len);
int orvoaes_wrap_key_padded(const orvoaes_key *kek, const uint8_t *key, size_t key_len, uint8_t *out,
                            size_t out_len);
int orvoaes_unwrap_key_padded(const orvoaes_key *kek, const uint8_t *wrapped, size_t len, uint8_t *out,
                              size_t out_len, size_t *key_len);

/* --- XTS-AES for storage: a key of its own (32, 48 or 64 bytes whose halves differ). One data
 * unit of 16 bytes to 16 MiB per call under a 16-byte tweak, or whole sectors of sector_size
 * bytes numbered from first_sector (each sector's tweak its number, little-endian). */
typedef struct orvoaes_xts_key orvoaes_xts_key;
int orvoaes_xts_key_new(const uint8_t *key, size_t key_len, orvoaes_xts_key **out);
void orvoaes_xts_key_free(orvoaes_xts_key *key);
int orvoaes_xts_encrypt(const orvoaes_xts_key *key, const uint8_t tweak[16], const uint8_t *in, size_t len,
                        uint8_t *out, size_t out_len);
int orvoaes_xts_decrypt(const orvoaes_xts_key *key, const uint8_t tweak[16], const uint8_t *in, size_t len,
                        uint8_t *out, size_t out_len);
int orvoaes_xts_encrypt_sectors(const orvoaes_xts_key *key, uint64_t first_sector, size_t sector_size,
                                const uint8_t *in, size_t len, uint8_t *out, size_t out_len);
int orvoaes_xts_decrypt_sectors(const orvoaes_xts_key *key, uint64_t first_sector, size_t sector_size,
                                const uint8_t *in, size_t len, uint8_t *out, size_t out_len);

#ifdef __cplusplus
}
#endif

#endif /* ORVOAES_ORVOAES_H */
