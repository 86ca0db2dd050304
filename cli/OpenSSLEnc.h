// enc / dec in the layouts `openssl enc` reads and writes, over the keyed API: every mode (CFB-128
// and CFB-8 included) with a raw key, or a passphrase turned into key and IV as that tool does
// (the "Salted__" header, PBKDF2 or the legacy one-iteration derivation), optionally in base64.
#pragma once

#include <cstdint>
#include <string>

#include "Common.h"
#include "Passphrase.h"

namespace cli {

// The passphrase and how key and IV come from it; base64 applies to raw keys too.
struct TOpenSSLOptions {
  TPassphraseOptions Passphrase;
  bool PBKDF2 = false, LegacyKDF = false, NoSalt = false;
  std::uint32_t Iterations = 0;  // 0: not given (PBKDF2 then takes 10,000)
  std::string Digest = "sha256", Salt;
  unsigned KeyBits = 256;
  bool KeyBitsGiven = false;
  bool Base64 = false, OneLine = false;
};

// What one enc or dec run needs (the parsed options of the subcommand).
struct TOpenSSLJob {
  bool Encrypt = true;
  std::string In, Out, Mode;
  bool Padding = true;
  TCommonOptions Common;
  TKeyOptions Key;        // a raw key; none given: the passphrase
  std::string IV;         // raw keys: hexadecimal, unless IVInFront
  bool IVInFront = false;
  TOpenSSLOptions OpenSSL;
};

// The passphrase, KDF and base64 options of enc and dec.
void AddOpenSSLOptions(CLI::App& sub, TOpenSSLOptions& o, bool encrypt);
// True when a run needs this path: a passphrase (no raw key given), CFB or CFB-8, or base64.
bool UsesOpenSSLPath(const TKeyOptions& key, const std::string& mode, const TOpenSSLOptions& o);
void RunOpenSSL(TOpenSSLJob& job);

}  // namespace cli
