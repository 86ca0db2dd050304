/* The C interface through the installed header and archives, as a C99 program: exit status 0 when
 * the known answers of ECB, GCM and CMAC hold, pieces of GCM equal the one-shot result, a changed
 * tag is refused with the library's status and the version agrees with the header. */
#include <stdio.h>
#include <string.h>

#include "orvoaes/orvoaes.h"

static int check(int ok, const char *what) {
  if (!ok) printf("consumer (C): %s failed\n", what);
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

  orvoaes_gcm_encryptor_free(enc);
  orvoaes_key_free(key);
  orvoaes_key_free(zkey);
  orvoaes_key_free(mkey);
  printf("consumer (C) of OrvoAES %s: %s\n", orvoaes_version(), ok ? "OK" : "FAILED");
  return ok ? 0 : 1;
}
