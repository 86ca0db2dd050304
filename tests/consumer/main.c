/* The C interface through the installed header and archives, as a C99 program: exit status 0 when
 * the known answers of ECB, GCM, CMAC, GCM-SIV, CCM, OCB3, EAX, AES-SIV, XAES-256-GCM, key wrap
 * (KW, KWP) and XTS hold, pieces of GCM and of chunked encryption equal the one-shot results,
 * changed tags and wrappings are refused with the library's statuses and the version agrees with
 * the header. */
#include <stdio.h>
#include <string.h>

#include "orvoaes/orvoaes.h"

static int check(int ok, const char *what) {
  if (!ok) printf("consumer (C): %s failed\n", what);
  return ok;
}

/* The bytes of a hex string (at most 64 bytes); their count. */
static size_t unhex(const char *hex, uint8_t *out) {
  size_t n = 0;
  for (; hex[0] != '\0' && hex[1] != '\0' && n < 64; hex += 2) {
    unsigned v = 0;
    if (sscanf(hex, "%2x", &v) != 1) break;
    out[n++] = (uint8_t)v;
  }
  return n;
}

static int equal_hex(const uint8_t *a, size_t len, const char *hex) {
  uint8_t want[64];
  return unhex(hex, want) == len && memcmp(a, want, len) == 0;
}

/* The AEAD modes beside GCM, key wrap and XTS: known answers (of an independent implementation
 * where no published vector fits), a changed tag or wrapping refused. */
static int check_more_modes(void) {
  static const uint8_t header[] = {'h', 'e', 'a', 'd', 'e', 'r'};
  uint8_t k16[16], plain[32], nonce[16], out[64], tag[16], back[64];
  orvoaes_key *key = NULL, *eax_key = NULL;
  orvoaes_siv_key *siv = NULL;
  orvoaes_xaes_key *xaes = NULL;
  orvoaes_xts_key *xts = NULL;
  size_t i, n;
  int ok = 1;

  for (i = 0; i < 16; ++i) k16[i] = (uint8_t)i;
  for (i = 0; i < 32; ++i) plain[i] = (uint8_t)(0x20 + i);
  if (!check(orvoaes_key_new(k16, 16, &key) == ORVOAES_OK, "mode key")) return 0;

  for (i = 0; i < 16; ++i) nonce[i] = (uint8_t)(0xa0 + i);
  ok &= check(orvoaes_ccm_seal(key, nonce, 11, header, 6, plain, 32, out, 32, tag, 8) == ORVOAES_OK &&
                  equal_hex(out, 32, "c49b6655ca8e8c81f48f41b3c72b81c87540b2d29e4ea604520df5d475ac8cc4") &&
                  equal_hex(tag, 8, "985408ea3a97708f"),
              "CCM known answer");
  tag[7] ^= 1;
  ok &= check(orvoaes_ccm_open(key, nonce, 11, header, 6, out, 32, tag, 8, back, 32) == ORVOAES_E_TAG_MISMATCH,
              "a changed CCM tag refused");
  ok &= check(orvoaes_ccm_seal(key, nonce, 14, NULL, 0, plain, 32, out, 32, tag, 8) == ORVOAES_E_BAD_ARGUMENT,
              "a 14-byte CCM nonce refused");

  for (i = 0; i < 16; ++i) nonce[i] = (uint8_t)(0xb0 + i);
  ok &= check(orvoaes_ocb_seal(key, nonce, 12, header, 6, plain, 32, out, 32, tag, 16) == ORVOAES_OK &&
                  equal_hex(out, 32, "2588aa7434766da1820908e7de7d22ca528c994033f1297fb07de6106343d1b2") &&
                  equal_hex(tag, 16, "b277a1333eb348cfa0e8767eaebbf6c0") &&
                  orvoaes_ocb_open(key, nonce, 12, header, 6, out, 32, tag, 16, back, 32) == ORVOAES_OK &&
                  memcmp(back, plain, 32) == 0,
              "OCB3 known answer and round trip");

  for (i = 0; i < 16; ++i) nonce[i] = (uint8_t)(0xc0 + i);
  ok &= check(orvoaes_gcmsiv_seal(key, nonce, 12, header, 6, plain, 32, out, 32, tag, 16) == ORVOAES_OK &&
                  equal_hex(out, 32, "785be59133ab1d8be0c1961579e4e83e316604784b34d332658756b7332f14cf") &&
                  equal_hex(tag, 16, "cb4a5bacbd51754c3435b168b15a852c"),
              "GCM-SIV known answer");

  /* The EAX paper's first vector: an empty message under a header. */
  n = unhex("233952dee4d5ed5f9b9c6d6ff80ff478", back);
  ok &= check(orvoaes_key_new(back, n, &eax_key) == ORVOAES_OK, "EAX key");
  n = unhex("62ec67f9c3a4a407fcb2a8c49031a8b3", nonce);
  unhex("6bfb914fd07eae6b", back);
  ok &= check(eax_key != NULL &&
                  orvoaes_eax_seal(eax_key, nonce, n, back, 8, NULL, 0, NULL, 0, tag, 16) == ORVOAES_OK &&
                  equal_hex(tag, 16, "e037830e8389f27b025a2d6527e79d01"),
              "EAX published vector");

  /* Key wrap: a 24-byte key (KW) and a 5-byte one (KWP) under k16. */
  for (i = 0; i < 24; ++i) back[i] = (uint8_t)(0x40 + i);
  ok &= check(orvoaes_wrap_key(key, back, 24, out, 32) == ORVOAES_OK &&
                  equal_hex(out, 32, "9047e77a1e6a6031f6272d90f960deda7611cbf2b64a84aa234aead2f5aaf133"),
              "KW known answer");
  out[5] ^= 1;
  memset(back, 0xAA, 24);
  ok &= check(orvoaes_unwrap_key(key, out, 32, back, 24) == ORVOAES_E_UNWRAP_FAILED && back[0] == 0xAA,
              "a damaged KW wrapping refused, nothing written");
  for (i = 0; i < 5; ++i) back[i] = (uint8_t)(0x60 + i);
  ok &= check(orvoaes_wrap_key_padded(key, back, 5, out, 16) == ORVOAES_OK &&
                  equal_hex(out, 16, "4510ec4267a5d0a63f4e1bda8e918b96") &&
                  orvoaes_unwrap_key_padded(key, out, 16, back, 8, &n) == ORVOAES_OK && n == 5 &&
                  equal_hex(back, 5, "6061626364"),
              "KWP known answer and unwrap");

  /* XTS: IEEE 1619's second vector (data unit 0x3333333333). */
  unhex("1111111111111111111111111111111122222222222222222222222222222222", back);
  ok &= check(orvoaes_xts_key_new(back, 32, &xts) == ORVOAES_OK, "XTS key");
  memset(nonce, 0, 16);
  memset(nonce, 0x33, 5);
  memset(plain, 0x44, 32);
  ok &= check(xts != NULL && orvoaes_xts_encrypt(xts, nonce, plain, 32, out, 32) == ORVOAES_OK &&
                  equal_hex(out, 32, "c454185e6a16936e39334038acef838bfb186fff7480adc4289382ecd6d394f0") &&
                  orvoaes_xts_decrypt(xts, nonce, out, 32, back, 32) == ORVOAES_OK && memcmp(back, plain, 32) == 0,
              "XTS known answer and round trip");
  for (i = 0; i < 32; ++i) plain[i] = (uint8_t)(0x20 + i);

  /* AES-SIV under a 32-byte key with two associated-data strings. */
  {
    const uint8_t *ad[2] = {(const uint8_t *)"first", (const uint8_t *)"second"};
    const size_t ad_len[2] = {5, 6};
    for (i = 0; i < 32; ++i) back[i] = (uint8_t)i;
    ok &= check(orvoaes_siv_key_new(back, 32, &siv) == ORVOAES_OK &&
                    orvoaes_siv_seal(siv, ad, ad_len, 2, plain, 32, out, 48) == ORVOAES_OK &&
                    equal_hex(out, 16, "924a1690ee1789565bd1d82093ece08d") &&
                    equal_hex(out + 16, 32, "c2e2cae707dc893fa0d32a7dc2b409a71d225e711d94df801fc816adf8a13455"),
                "AES-SIV known answer");
    out[0] ^= 1;
    ok &= check(siv != NULL && orvoaes_siv_open(siv, ad, ad_len, 2, out, 48, back, 32) == ORVOAES_E_TAG_MISMATCH,
                "a changed synthetic IV refused");
  }

  /* XAES-256-GCM's first published vector. */
  memset(back, 1, 32);
  ok &= check(orvoaes_xaes_key_new(back, 32, &xaes) == ORVOAES_OK &&
                  orvoaes_xaes_seal(xaes, (const uint8_t *)"ABCDEFGHIJKLMNOPQRSTUVWX", NULL, 0,
                                    (const uint8_t *)"XAES-256-GCM", 12, out, 12, tag) == ORVOAES_OK &&
                  equal_hex(out, 12, "ce546ef63c9cc60765923609") &&
                  equal_hex(tag, 16, "b33a9a1974e96e52daf2fcf7075e2271"),
              "XAES-256-GCM published vector");

  orvoaes_xaes_key_free(xaes);
  orvoaes_siv_key_free(siv);
  orvoaes_xts_key_free(xts);
  orvoaes_key_free(eax_key);
  orvoaes_key_free(key);
  return ok;
}

/* Chunked encryption: one call and the encryptor in two pieces give the same message under one
 * salt; it opens to the plain text, and a changed byte is refused. */
static int check_chunked(void) {
  static uint8_t plain[20000], sealed[20200], pieces[20200], back[20000];
  uint8_t key[32], salt[24];
  orvoaes_chunked_encryptor *enc = NULL;
  const uint64_t total = orvoaes_chunked_cipher_bytes(sizeof plain);
  size_t i, w1 = 0, w2 = 0;
  int ok = 1;

  for (i = 0; i < sizeof plain; ++i) plain[i] = (uint8_t)(i * 7);
  for (i = 0; i < 32; ++i) key[i] = (uint8_t)(0x80 + i);
  memset(salt, 0x5a, sizeof salt);
  if (!check(total > sizeof plain && total <= sizeof sealed, "chunked length")) return 0;
  ok &= check(orvoaes_chunked_encrypt(key, 32, (const uint8_t *)"ctx", 3, salt, plain, sizeof plain, sealed,
                                      (size_t)total) == ORVOAES_OK,
              "chunked encryption");
  ok &= check(orvoaes_chunked_encryptor_new(key, 32, (const uint8_t *)"ctx", 3, salt, pieces, &enc) == ORVOAES_OK &&
                  orvoaes_chunked_encryptor_update(enc, plain, 5000, pieces + 56, sizeof pieces - 56, &w1) ==
                      ORVOAES_OK &&
                  orvoaes_chunked_encryptor_update(enc, plain + 5000, sizeof plain - 5000, pieces + 56 + w1,
                                                   sizeof pieces - 56 - w1, &w2) == ORVOAES_OK,
              "chunked encryptor");
  w1 += w2;
  ok &= check(enc != NULL &&
                  orvoaes_chunked_encryptor_finish(enc, pieces + 56 + w1, sizeof pieces - 56 - w1, &w2) == ORVOAES_OK &&
                  56 + w1 + w2 == total && memcmp(pieces, sealed, (size_t)total) == 0,
              "chunked pieces equal one call");
  ok &= check(orvoaes_chunked_decrypt(key, 32, (const uint8_t *)"ctx", 3, sealed, (size_t)total, back, sizeof back) ==
                      ORVOAES_OK &&
                  memcmp(back, plain, sizeof plain) == 0,
              "chunked decryption");
  sealed[100] ^= 1;
  ok &= check(orvoaes_chunked_decrypt(key, 32, (const uint8_t *)"ctx", 3, sealed, (size_t)total, back, sizeof back) ==
                  ORVOAES_E_TAG_MISMATCH,
              "a changed chunk refused");
  orvoaes_chunked_encryptor_free(enc);
  return ok;
}

int main(void) {
  /* FIPS-197 C.1, the first GCM test vectors (zero key and IV) and SP 800-38B's empty message. */
  static const uint8_t ecb_key[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  static const uint8_t ecb_plain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                        0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
  static const uint8_t ecb_cipher[16] = {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30,
                                         0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a};
  static const uint8_t gcm_cipher[16] = {0x03, 0x88, 0xda, 0xce, 0x60, 0xb6, 0xa3, 0x92,
                                         0xf3, 0x28, 0xc2, 0xb9, 0x71, 0xb2, 0xfe, 0x78};
  static const uint8_t gcm_tag[16] = {0xab, 0x6e, 0x47, 0xd4, 0x2c, 0xec, 0x13, 0xbd,
                                      0xf5, 0x3a, 0x67, 0xb2, 0x12, 0x57, 0xbd, 0xdf};
  static const uint8_t cmac_key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                                       0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
  static const uint8_t cmac_empty[16] = {0xbb, 0x1d, 0x69, 0x29, 0xe9, 0x59, 0x37, 0x28,
                                         0x7f, 0xa3, 0x7d, 0x12, 0x9b, 0x75, 0x67, 0x46};
  uint8_t zero[16] = {0}, out[16], back[16], tag[16], piece_out[16], piece_tag[16];
  orvoaes_key *key = NULL, *zkey = NULL, *mkey = NULL;
  orvoaes_gcm_encryptor *enc = NULL;
  char text[128];
  int ok = 1;

  ok &= check(orvoaes_key_new(ecb_key, 15, &key) == ORVOAES_E_BAD_KEY_SIZE && key == NULL, "a 15-byte key refused");
  ok &= check(orvoaes_key_new(ecb_key, 16, &key) == ORVOAES_OK, "key");
  ok &= check(orvoaes_key_new(zero, 16, &zkey) == ORVOAES_OK, "zero key");
  ok &= check(orvoaes_key_new(cmac_key, 16, &mkey) == ORVOAES_OK, "CMAC key");
  if (!ok) return 1;

  ok &= check(orvoaes_ecb_encrypt(key, ecb_plain, 16, out, sizeof out) == ORVOAES_OK &&
                  memcmp(out, ecb_cipher, 16) == 0, "ECB known answer");
  ok &= check(orvoaes_ecb_decrypt(key, out, 16, back, sizeof back) == ORVOAES_OK &&
                  memcmp(back, ecb_plain, 16) == 0, "ECB decryption");

  ok &= check(orvoaes_gcm_seal(zkey, zero, 12, NULL, 0, zero, 16, out, sizeof out, tag, 16) == ORVOAES_OK &&
                  memcmp(out, gcm_cipher, 16) == 0 && memcmp(tag, gcm_tag, 16) == 0, "GCM known answer");
  ok &= check(orvoaes_gcm_encryptor_new(zkey, &enc) == ORVOAES_OK &&
                  orvoaes_gcm_encryptor_begin(enc, zero, 12, NULL, 0) == ORVOAES_OK &&
                  orvoaes_gcm_encryptor_update(enc, zero, 5, piece_out, 5) == ORVOAES_OK &&
                  orvoaes_gcm_encryptor_update(enc, zero + 5, 11, piece_out + 5, 11) == ORVOAES_OK &&
                  orvoaes_gcm_encryptor_finish(enc, piece_tag, 16) == ORVOAES_OK &&
                  memcmp(piece_out, gcm_cipher, 16) == 0 && memcmp(piece_tag, gcm_tag, 16) == 0,
              "GCM in pieces");
  tag[0] ^= 1;
  ok &= check(orvoaes_gcm_open(zkey, zero, 12, NULL, 0, out, 16, tag, 16, back, sizeof back) ==
                  ORVOAES_E_TAG_MISMATCH && memcmp(back, zero, 16) == 0, "a changed GCM tag refused");

  ok &= check(orvoaes_cmac(mkey, NULL, 0, tag, 16) == ORVOAES_OK && memcmp(tag, cmac_empty, 16) == 0,
              "CMAC known answer");

  ok &= check(strcmp(orvoaes_version(), ORVOAES_VERSION_STRING) == 0 &&
                  orvoaes_version_number() == ORVOAES_VERSION_NUMBER, "version");
  ok &= check(orvoaes_status_message(ORVOAES_E_TAG_MISMATCH, text, sizeof text) > 0 &&
                  strncmp(text, "Error: ", 7) == 0, "status text");

  ok &= check_more_modes();
  ok &= check_chunked();

  orvoaes_gcm_encryptor_free(enc);
  orvoaes_key_free(key);
  orvoaes_key_free(zkey);
  orvoaes_key_free(mkey);
  printf("consumer (C) of OrvoAES %s: %s\n", orvoaes_version(), ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
