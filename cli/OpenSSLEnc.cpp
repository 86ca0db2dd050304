// enc / dec in `openssl enc`'s layouts over the keyed API.
//
// A passphrase file: "Salted__" and an 8-byte salt (none with -nosalt), then the cipher text. Key
// and IV (none in ECB) come from the passphrase and the salt: PBKDF2-HMAC with the digest and
// iteration count given (the tool's -pbkdf2 -iter -md), or its legacy derivation, one iteration
// of D_i = H(D_{i-1} || passphrase || salt) until key and IV are filled. Base64 (-a) wraps the
// whole file in lines of 64 characters, or one line without a line break (-A).
#include "OpenSSLEnc.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "Io.h"
#include "Progress.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/hash/Hash.h"
#include "crypto/hash/KDF.h"
#include "crypto/support/Base64Stream.h"
#include "crypto/support/RandomCoreW.h"
#include "crypto/support/error.h"

namespace cli {

namespace {

using platform::TBytes;
using platform::TCharArray16;
using TIn = std::span<const std::uint8_t>;

constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr char kMagic[8] = {'S', 'a', 'l', 't', 'e', 'd', '_', '_'};
constexpr std::size_t kSaltSize = 8;
constexpr std::uint32_t kDefaultIterations = 10000;

enum class TMode { ECB, CBC, CFB, CFB8, OFB, CTR };

TMode ModeFromName(const std::string& name) {
  static const std::pair<const char*, TMode> modes[] = {{"ecb", TMode::ECB}, {"cbc", TMode::CBC}, {"cfb", TMode::CFB},
                                                        {"cfb8", TMode::CFB8}, {"ofb", TMode::OFB}, {"ctr", TMode::CTR}};
  for (const auto& [n, m] : modes)
    if (name == n) return m;
  UsageFail("unknown mode " + name);
}

Hash::THashKind DigestFromName(const std::string& name) {
  if (name == "md5") return Hash::THashKind::MD5;
  if (name == "sha1") return Hash::THashKind::SHA1;
  if (name == "sha512") return Hash::THashKind::SHA512;
  return Hash::THashKind::SHA256;
}

// ---- Where the bytes come from and go to: the files themselves, or their base64 text.

class TSource {
 public:
  virtual ~TSource() = default;
  // Fills n bytes, fewer only at the end of the input.
  virtual std::size_t Read(std::uint8_t* p, std::size_t n) = 0;
};

class TSink {
 public:
  virtual ~TSink() = default;
  virtual void Write(const std::uint8_t* p, std::size_t n) = 0;
  virtual void Finish() {}
};

class TRawSource : public TSource {
 public:
  explicit TRawSource(platform::TStream& in) : FIn(in) {}
  std::size_t Read(std::uint8_t* p, std::size_t n) override {
    std::size_t got = 0;
    while (got < n) {
      const std::int64_t r = FIn.Read(p + got, static_cast<std::int64_t>(n - got));
      if (r <= 0) break;
      got += static_cast<std::size_t>(r);
    }
    return got;
  }

 private:
  platform::TStream& FIn;
};

class TRawSink : public TSink {
 public:
  explicit TRawSink(platform::TStream& out) : FOut(out) {}
  void Write(const std::uint8_t* p, std::size_t n) override { FOut.WriteBuffer(p, static_cast<std::int64_t>(n)); }

 private:
  platform::TStream& FOut;
};

// Base64 text in any line layout (LF or CRLF, one line or many, blanks between) decoded as it
// is read; '=' padding only in the last group.
class TBase64Source : public TSource {
 public:
  TBase64Source(TSource& text, std::string name) : FText(text), FName(std::move(name)), FDecoder(true) {}
  ~TBase64Source() override { platform::SecureWipe(FBytes); }
  std::size_t Read(std::uint8_t* p, std::size_t n) override {
    std::size_t got = 0;
    while (got < n) {
      if (FPos == FBytes.size() && !Refill()) break;
      const std::size_t take = std::min(n - got, FBytes.size() - FPos);
      std::memcpy(p + got, FBytes.data() + FPos, take);
      FPos += take;
      got += take;
    }
    return got;
  }

 private:
  [[noreturn]] void Malformed(const char* why) { Fail(FName + ": not valid base64 (" + why + ")"); }
  void Check(MiscObj::TBase64Fault f) {
    switch (f) {
      case MiscObj::TBase64Fault::None: return;
      case MiscObj::TBase64Fault::Character: Malformed("a character outside its alphabet");
      case MiscObj::TBase64Fault::Padding: Malformed("'=' out of place");
      case MiscObj::TBase64Fault::AfterPadding: Malformed("text after the closing '='");
      case MiscObj::TBase64Fault::Unfinished: Malformed("the text ends inside a group of four characters");
    }
  }

  // Decodes the next piece of text; false at its end.
  bool Refill() {
    FBytes.clear();
    FPos = 0;
    while (FBytes.empty() && !FEnd) {
      std::uint8_t raw[65536];
      const std::size_t r = FText.Read(raw, sizeof raw);
      FEnd = r < sizeof raw;
      Check(FDecoder.Update({raw, r}, FBytes));
    }
    if (FEnd) Check(FDecoder.Finish());
    return !FBytes.empty();
  }

  TSource& FText;
  std::string FName;
  MiscObj::TBase64Decoder FDecoder;
  TBytes FBytes;
  std::size_t FPos = 0;
  bool FEnd = false;
};

// Bytes written as base64: lines of 64 characters each ended by a line feed, or (oneLine) one
// line with no line break at all, as the other tool writes them.
class TBase64Sink : public TSink {
 public:
  TBase64Sink(TSink& text, bool oneLine) : FText(text), FEncoder(oneLine ? 0 : 64) {}
  void Write(const std::uint8_t* p, std::size_t n) override {
    FEncoder.Update({p, n}, FLine);
    if (FLine.size() >= 65536) Flush();
  }
  void Finish() override {
    FEncoder.Finish(FLine);
    Flush();
  }

 private:
  void Flush() {
    FText.Write(reinterpret_cast<const std::uint8_t*>(FLine.data()), FLine.size());
    FLine.clear();
  }

  TSink& FText;
  MiscObj::TBase64Encoder FEncoder;
  std::string FLine;
};

// ---- The cipher.

// The first n bytes of a block mode's data through the keyed API, in place.
void Crypt(const AESKeyed::TAESKey& key, TMode mode, bool encrypt, std::uint8_t* data, std::size_t n, TCharArray16& iv) {
  const std::span<std::uint8_t> d(data, n);
  platform::Integer status = 0;
  switch (mode) {
    case TMode::ECB: status = encrypt ? key.EncryptECB(d, d) : key.DecryptECB(d, d); break;
    case TMode::CBC: status = encrypt ? key.EncryptCBC(d, d, iv) : key.DecryptCBC(d, d, iv); break;
    case TMode::CFB: status = encrypt ? key.EncryptCFB(d, d, iv) : key.DecryptCFB(d, d, iv); break;
    case TMode::CFB8: status = encrypt ? key.EncryptCFB8(d, d, iv) : key.DecryptCFB8(d, d, iv); break;
    case TMode::OFB: status = key.CryptOFB(d, d, iv); break;
    case TMode::CTR: status = key.CryptCTR(d, d, iv); break;
  }
  if (status != 0) FailStatus("the cipher", status);
}

// The PKCS7 padding length of a last block, or 0 when it is not valid; every byte is looked at,
// whatever the padding byte says, so the time does not tell where a check failed.
std::size_t PaddingLength(const std::uint8_t* last) {
  const unsigned n = last[15];
  unsigned bad = ((n - 1) & ~0xFu) != 0 ? 1u : 0u;  // n outside 1..16
  for (unsigned i = 0; i < 16; ++i) {
    const unsigned inPadding = (15 - i) < n ? 0xFFu : 0u;
    bad |= (inPadding & (last[i] ^ n)) != 0 ? 1u : 0u;
  }
  return bad ? 0 : n;
}

// Streams the source through the cipher into the sink in chunks, holding back the last block of
// a padded decryption until the end. False when that block's padding is not valid (nothing of it
// is written).
bool Pipe(TSource& src, TSink& sink, const AESKeyed::TAESKey& key, TMode mode, bool encrypt, bool padding,
          TCharArray16& iv, const std::string& name) {
  platform::TSecretBytes buffer(TBytes(kChunk + 16));
  std::uint8_t* buf = buffer.Value.data();
  const bool blockMode = mode == TMode::ECB || mode == TMode::CBC;
  std::size_t have = 0;
  for (bool end = false; !end;) {
    const std::size_t want = kChunk - have;
    const std::size_t got = src.Read(buf + have, want);
    end = got < want;
    have += got;
    if (!end) {
      const std::size_t n = !encrypt && padding ? (have - 1) / 16 * 16 : have - have % 16;
      Crypt(key, mode, encrypt, buf, n, iv);
      sink.Write(buf, n);
      std::memmove(buf, buf + n, have - n);
      have -= n;
      continue;
    }
    if (encrypt && padding) {
      const std::size_t pad = 16 - have % 16;
      std::memset(buf + have, static_cast<int>(pad), pad);
      have += pad;
    }
    if ((padding || blockMode) && have % 16 != 0)
      Fail(name + (encrypt ? ": ECB and CBC without padding take a whole number of 16-byte blocks"
                           : ": the cipher text is not a whole number of 16-byte blocks (truncated or not this mode)"));
    if (!encrypt && padding && have == 0) Fail(name + ": no cipher text (an encryption with padding gives 16 bytes or more)");
    Crypt(key, mode, encrypt, buf, have, iv);
    if (!encrypt && padding) {
      const std::size_t pad = PaddingLength(buf + have - 16);
      if (pad == 0) return false;
      have -= pad;
    }
    sink.Write(buf, have);
  }
  return true;
}

// ---- Key and IV.

// Key and IV from the passphrase and the salt (empty with -nosalt), as the other tool derives them.
void DeriveKeyIV(const TOpenSSLOptions& o, const std::string& passphrase, TIn salt, std::size_t size,
                 platform::TSecretBytes& out) {
  const Hash::THashKind kind = DigestFromName(o.Digest);
  out.Assign(TBytes(size));
  const TIn pass(reinterpret_cast<const std::uint8_t*>(passphrase.data()), passphrase.size());
  if (!o.LegacyKDF) {
    const std::uint32_t iterations = o.Iterations != 0 ? o.Iterations : kDefaultIterations;
    if (Hash::PBKDF2_HMAC(kind, pass, salt, iterations, out.Value) != 0) Fail("deriving the key failed");
    return;
  }
  platform::TWiped<std::array<std::uint8_t, Hash::kMaxDigestSize>> d;
  const std::size_t digest = Hash::DigestSize(kind);
  Hash::THash h(kind);
  for (std::size_t done = 0; done < size;) {
    if (done > 0) h.Update(std::span(d->data(), digest));
    h.Update(pass);
    h.Update(salt);
    h.Final(*d);
    const std::size_t take = std::min(digest, size - done);
    std::memcpy(out.Value.data() + done, d->data(), take);
    done += take;
  }
}

void CheckOptions(const TOpenSSLJob& job, bool passphrase) {
  const TOpenSSLOptions& o = job.OpenSSL;
  if (passphrase) {
    if (!job.IV.empty() || job.IVInFront) UsageFail("with a passphrase the IV comes from it: drop --iv / --iv-in-front");
    if (o.PBKDF2 && o.LegacyKDF) UsageFail("--pbkdf2 and --legacy-kdf exclude each other");
    if (o.LegacyKDF && o.Iterations != 0) UsageFail("--iter applies to PBKDF2, not to --legacy-kdf");
    if (!o.LegacyKDF && o.Digest == "md5") UsageFail("--md md5 is for --legacy-kdf only (PBKDF2 takes sha1, sha256 or sha512)");
    if (o.KeyBits != 128 && o.KeyBits != 192 && o.KeyBits != 256) UsageFail("--key-bits must be 128, 192 or 256");
    if (!o.Salt.empty() && (o.NoSalt || !job.Encrypt))
      UsageFail(o.NoSalt ? "--salt and --nosalt exclude each other" : "--salt is for enc: dec reads the salt from the file");
    return;
  }
  if (o.PBKDF2 || o.LegacyKDF || o.Iterations != 0 || o.NoSalt || !o.Salt.empty() || o.KeyBitsGiven ||
      o.Passphrase.Fd >= 0 || !o.Passphrase.File.empty())
    UsageFail("a raw key (-K, --key-file, --key-text) takes no passphrase or key-derivation options");
}

TCharArray16 IVFromHex(const std::string& hex, TMode mode) {
  TCharArray16 iv{};
  if (mode == TMode::ECB) return iv;
  if (hex.empty()) UsageFail("give --iv HEX or --iv-in-front");
  TBytes bytes = DecodeHex(hex, "the IV");
  if (bytes.size() != 16) UsageFail("the IV must be 16 bytes (32 hexadecimal digits)");
  std::copy_n(bytes.begin(), 16, iv.begin());
  return iv;
}

void ReadExactly(TSource& src, std::uint8_t* p, std::size_t n, const std::string& name, const char* what) {
  if (src.Read(p, n) != n) Fail(name + ": too short to hold " + what);
}

}  // namespace

void AddOpenSSLOptions(CLI::App& sub, TOpenSSLOptions& o, bool encrypt) {
  auto* fd = sub.add_option("--passphrase-fd", o.Passphrase.Fd, "Read the passphrase from this file descriptor");
  auto* file = sub.add_option("--passphrase-file", o.Passphrase.File, "Read the passphrase from this file's first line");
  fd->excludes(file);
  sub.add_flag("--pbkdf2", o.PBKDF2, "Key and IV from the passphrase by PBKDF2 (the default with a passphrase)");
  sub.add_option("--iter", o.Iterations, "PBKDF2 iterations (default 10000, as openssl enc)")
      ->check(CLI::Range(1u, 0xFFFFFFFFu));
  sub.add_option("--md", o.Digest, "Digest of the key derivation: sha256 (default), sha512, sha1, or md5 with --legacy-kdf")
      ->check(CLI::IsMember({"md5", "sha1", "sha256", "sha512"}));
  sub.add_flag("--legacy-kdf", o.LegacyKDF,
               encrypt ? "The legacy one-iteration derivation of openssl enc without -pbkdf2 (weak: for old readers only)"
                       : "The legacy one-iteration derivation (files made by openssl enc without -pbkdf2)");
  sub.add_flag("--nosalt", o.NoSalt, "No Salted__ header and no salt (openssl enc -nosalt)");
  if (encrypt) sub.add_option("--salt", o.Salt, "The 8-byte salt as hexadecimal (default: random; for reproducible output)");
  sub.add_option("--key-bits", o.KeyBits, "AES key size derived from a passphrase: 128, 192 or 256 (default 256)")
      ->check(CLI::IsMember({128u, 192u, 256u}))
      ->each([&o](const std::string&) { o.KeyBitsGiven = true; });
  sub.add_flag("-a,--base64", o.Base64, encrypt ? "Write base64, in lines of 64 characters" : "Read base64 (any lines, LF or CRLF)");
  sub.add_flag("-A", o.OneLine, encrypt ? "With -a: all base64 on one line" : "With -a: accepted (any line layout is read)");
}

bool UsesOpenSSLPath(const TKeyOptions& key, const std::string& mode, const TOpenSSLOptions& o) {
  const bool rawKey = !key.Hex.empty() || !key.File.empty() || !key.Text.empty();
  return !rawKey || mode == "cfb" || mode == "cfb8" || o.Base64;
}

// Paths, options, the input and the output are checked before a passphrase is asked for. A
// padded decryption's output is staged when it cannot be taken back (standard output, a pipe): a
// wrong passphrase then releases nothing.
void RunOpenSSL(TOpenSSLJob& job) {
  TOpenSSLOptions& o = job.OpenSSL;
  const bool passphraseMode = job.Key.Hex.empty() && job.Key.File.empty() && job.Key.Text.empty();
  CheckDistinctPaths({{"input", job.In}, {"--key-file", job.Key.File}, {"--passphrase-file", o.Passphrase.File}},
                     {{"-o", job.Out}});
  if (job.Encrypt) RefuseTerminalOutput(job.Out);
  CheckOptions(job, passphraseMode);
  const TMode mode = ModeFromName(job.Mode);
  if (o.OneLine && !o.Base64) UsageFail("-A goes with -a (base64)");
  std::array<std::uint8_t, kSaltSize> salt{};
  if (passphraseMode && !o.Salt.empty()) {
    const TBytes s = DecodeHex(o.Salt, "the salt");
    if (s.size() != kSaltSize) UsageFail("the salt must be 8 bytes (16 hexadecimal digits)");
    std::copy(s.begin(), s.end(), salt.begin());
  }
  platform::TSecretBytes key;
  platform::TWiped<TCharArray16> ivHolder;
  TCharArray16& iv = *ivHolder;
  if (!passphraseMode) {
    LoadKey(job.Key, key);
    if (!job.IVInFront) iv = IVFromHex(job.IV, mode);
  }
  TInput in(job.In);
  TOutput out(job.Out, job.Common.Force, !job.Encrypt && job.Padding);
  TSecretString passphrase;
  if (passphraseMode) {
    if (job.Encrypt && !o.NoSalt && o.Salt.empty() && RandomCoreW::TRandomCore::GetRandomBytes(kSaltSize, salt.data()) != 0)
      Fail("the random generator failed");
    if (job.Encrypt && o.LegacyKDF)
      std::fprintf(stderr, "orvoaes: warning: --legacy-kdf derives the key with one digest call; a passphrase "
                           "protected by it is easy to guess. Use it only for readers that lack -pbkdf2.\n");
    ReadPassphrase(o.Passphrase, job.Encrypt, passphrase);
  }
  TProgress progress(job.Common.Quiet, in.Size());
  TProgressStream input(in.Stream(), progress);
  TRawSource rawIn(input);
  TRawSink rawOut(out.Stream());
  TBase64Source base64In(rawIn, in.Name());
  TBase64Sink base64Out(rawOut, o.OneLine);
  TSource& src = o.Base64 && !job.Encrypt ? static_cast<TSource&>(base64In) : rawIn;
  TSink& sink = o.Base64 && job.Encrypt ? static_cast<TSink&>(base64Out) : rawOut;
  bool padded = true;
  Guard(in.Name(), [&] {
    if (passphraseMode) {
      if (!o.NoSalt) {
        std::uint8_t header[16];
        if (job.Encrypt) {
          std::memcpy(header, kMagic, 8);
          std::memcpy(header + 8, salt.data(), kSaltSize);
          sink.Write(header, sizeof header);
        } else {
          ReadExactly(src, header, sizeof header, in.Name(), "the Salted__ header");
          if (std::memcmp(header, kMagic, 8) != 0)
            Fail(in.Name() + ": no Salted__ header (a file made with -nosalt needs --nosalt; base64 needs -a)");
          std::memcpy(salt.data(), header + 8, kSaltSize);
        }
      }
      const std::size_t keyBytes = o.KeyBits / 8, ivBytes = mode == TMode::ECB ? 0 : 16;
      platform::TSecretBytes keyIV;
      DeriveKeyIV(o, passphrase.Value, o.NoSalt ? TIn() : TIn(salt), keyBytes + ivBytes, keyIV);
      key.Assign(TBytes(keyIV.Value.begin(), keyIV.Value.begin() + static_cast<std::ptrdiff_t>(keyBytes)));
      std::copy_n(keyIV.Value.begin() + static_cast<std::ptrdiff_t>(keyBytes), ivBytes, iv.begin());
    } else if (job.IVInFront) {
      if (job.Encrypt) {
        if (RandomCoreW::TRandomCore::GetRandomBytes(16, iv.data()) != 0) Fail("the random generator failed");
        sink.Write(iv.data(), 16);
      } else {
        ReadExactly(src, iv.data(), 16, in.Name(), "the IV");
      }
    }
    AESKeyed::TAESKey aes;
    if (const platform::Integer st = aes.SetKey(key.Value)) FailStatus("the key", st);
    padded = Pipe(src, sink, aes, mode, job.Encrypt, job.Padding, iv, in.Name());
    if (padded) sink.Finish();
  });
  progress.Erase();
  if (!padded) {
    if (passphraseMode) AuthFail(in.Name() + ": bad padding: wrong passphrase or key-derivation options, or a damaged file");
    FailStatus(in.Name(), error::kBadPadding);
  }
  out.Commit();
}

}  // namespace cli
