// aead-enc / aead-dec: the authenticated modes of the keyed API.
//   gcm           AES-GCM, nonce 1 byte and up (a random one: 12), tag 32 to 128 bits; streamed
//   gcm-siv       AES-GCM-SIV (AES-128 or -256), nonce 12 bytes, tag 128 bits
//   xaes-256-gcm  XAES-256-GCM (a 32-byte key), nonce 24 bytes, tag 128 bits
//   siv           AES-SIV (a 32-, 48- or 64-byte key), nonce optional (a random one: 16 bytes)
//   ccm           AES-CCM, nonce 7 to 13 bytes (a random one: 11), tag 32 to 128 bits, even bytes
//   ocb           OCB3, nonce 1 to 15 bytes (a random one: 12), tag 32 to 128 bits
//   eax           EAX, nonce of any length (a random one: 16), tag 32 to 128 bits
// Output: [nonce] || cipher text || tag; for siv [nonce] || synthetic IV || cipher text. The
// nonce is in front when it was drawn (--nonce-in-front, the default of the modes that need
// one; --nonce-bytes its length); --nonce HEX gives it instead. Additional data: --aad FILE or
// --aad-hex HEX, once; for siv either may repeat, one additional-data string each in the order
// given (a nonce is then the last string). A decryption writes nothing unless the data
// authenticates (exit 3).
//
// gcm streams (GCMOpen.h: one pass, released once verified), up to GCM's 64 GiB. The others
// seal a message as a whole: their tag or synthetic IV needs all of it (siv, gcm-siv and ccm
// before they encrypt), so the tool holds it in memory, up to kInMemoryLimit bytes.
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <vector>

#include "Common.h"
#include "GCMOpen.h"
#include "Io.h"
#include "Progress.h"
#include "crypto/engine/AESKeyed.h"

namespace cli {

namespace {

// The largest input the modes sealed in memory take (the tool holds it and its result).
constexpr std::int64_t kInMemoryLimit = std::int64_t{1} << 30;  // 1 GiB
// The largest in-front nonce a mode of any nonce length draws or reads.
constexpr std::size_t kMaxInFrontNonce = 4096;

enum class TAlg { GCM, GCMSIV, XAES, SIV, CCM, OCB, EAX };

// What the tool lets a mode take: nonce lengths (NonceMax: none above), the length of a drawn
// nonce, tag lengths from TagMin bits to 128 in steps of TagStep.
struct TRule {
  const char* Name;
  TAlg Alg;
  std::size_t NonceMin, NonceMax, Drawn;
  int TagMin, TagStep;
};
constexpr std::size_t kAny = std::numeric_limits<std::size_t>::max();
constexpr TRule kRules[] = {
    {"gcm", TAlg::GCM, 1, kAny, 12, 32, 8},         {"gcm-siv", TAlg::GCMSIV, 12, 12, 12, 128, 8},
    {"xaes-256-gcm", TAlg::XAES, 24, 24, 24, 128, 8}, {"siv", TAlg::SIV, 0, kAny, 16, 128, 8},
    {"ccm", TAlg::CCM, 7, 13, 11, 32, 16},          {"ocb", TAlg::OCB, 1, 15, 12, 32, 8},
    {"eax", TAlg::EAX, 0, kAny, 16, 32, 8},
};

const TRule& RuleOf(const std::string& name) {
  for (const TRule& r : kRules)
    if (name == r.Name) return r;
  UsageFail("--alg must be gcm, gcm-siv, xaes-256-gcm, siv, ccm, ocb or eax");
}

std::string Bytes(std::size_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string NonceRange(const TRule& r) {
  if (r.NonceMin == r.NonceMax) return Bytes(r.NonceMin);
  if (r.NonceMax == kAny) return Bytes(r.NonceMin) + " or more";
  return std::to_string(r.NonceMin) + " to " + Bytes(r.NonceMax);
}

struct TAEADOptions : TKeyedIOOptions {
  std::string Alg, Nonce;
  std::vector<std::string> AADFiles, AADHex;
  bool NonceInFront = false, NonceGiven = false;
  int TagBits = 128;
  std::size_t NonceBytes = 0;  // 0: the mode's drawn length
};

// Everything both directions take first: the mode, the key, the additional data and a nonce
// given on the command line, each checked.
struct TAEADInputs {
  TAEADInputs(TAEADOptions& o, bool encrypt) : Rule(RuleOf(o.Alg)), Alg(Rule.Alg) {
    // The paths first: none read may be the output (but the input, replaced in place with --force).
    std::vector<TNamedPath> reads{{"input", o.In}, {"--key-file", o.Key.File}};
    for (const std::string& f : o.AADFiles) reads.push_back({"--aad", f});
    CheckDistinctPaths(reads, {{"-o", o.Out}});
    if (encrypt) RefuseTerminalOutput(o.Out);
    if (Rule.TagMin == 128 && o.TagBits != 128) UsageFail("--tag-bits: " + o.Alg + " has a 128-bit tag only");
    if (o.TagBits < Rule.TagMin || o.TagBits > 128 || o.TagBits % Rule.TagStep != 0)
      UsageFail("--tag-bits of " + o.Alg + " must be a multiple of " + std::to_string(Rule.TagStep) + " from 32 to 128");
    TagBytes = static_cast<std::size_t>(o.TagBits / 8);
    switch (Alg) {
      case TAlg::GCMSIV: LoadKey(o.Key, Key, {16, 32}); break;
      case TAlg::XAES: LoadKey(o.Key, Key, {32}); break;
      case TAlg::SIV: LoadKey(o.Key, Key, {32, 48, 64}); break;
      default: LoadKey(o.Key, Key); break;
    }
    const std::size_t strings = o.AADFiles.size() + o.AADHex.size();
    if (Alg != TAlg::SIV && strings > 1) UsageFail("--aad and --aad-hex: one of them, once (siv takes several)");
    if (!o.AADFiles.empty() && !o.AADHex.empty()) UsageFail("--aad and --aad-hex: not both (their order would be unclear)");
    for (const std::string& f : o.AADFiles) {
      TInput in(f);
      AAD.emplace_back();
      ReadWhole(in, AAD.back(), kInMemoryLimit, "additional data above 1 GiB");
    }
    for (const std::string& h : o.AADHex) {
      AAD.emplace_back();
      AAD.back().Assign(DecodeHex(h, "--aad-hex"));
    }
    if (o.NonceGiven) {
      Nonce = DecodeHex(o.Nonce, "the nonce");
      CheckNonce(Nonce.size(), "the nonce");
      HasNonce = true;
    }
    // The modes that need a nonce carry a drawn one in front unless one is given; --nonce-bytes
    // asks for one in front too (siv's included).
    InFront = o.NonceInFront || o.NonceBytes != 0 || (!o.NonceGiven && Alg != TAlg::SIV);
    FrontBytes = o.NonceBytes != 0 ? o.NonceBytes : Rule.Drawn;
    if (InFront) {
      if (FrontBytes > kMaxInFrontNonce) UsageFail("--nonce-bytes: at most " + std::to_string(kMaxInFrontNonce));
      CheckNonce(FrontBytes, "--nonce-bytes");
    }
  }

  void CheckNonce(std::size_t n, const std::string& what) const {
    if (n < Rule.NonceMin || n > Rule.NonceMax)
      UsageFail(what + ": the nonce of " + Rule.Name + " has " + NonceRange(Rule) + " (it has " + Bytes(n) + ")");
  }

  // The additional-data strings for siv, a nonce the last of them.
  std::vector<std::span<const std::uint8_t>> Strings() const {
    std::vector<std::span<const std::uint8_t>> s;
    for (const auto& a : AAD) s.emplace_back(a.Value);
    if (HasNonce) s.emplace_back(Nonce);
    return s;
  }
  std::span<const std::uint8_t> OneAAD() const {
    return AAD.empty() ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(AAD[0].Value);
  }

  // CCM counts the data in 15 - nonce bytes: a longer message needs a shorter nonce.
  void CheckCCMLength(std::int64_t n, const std::string& name) const {
    const std::size_t lengthBytes = 15 - Nonce.size();
    if (Alg == TAlg::CCM && lengthBytes < 8 && static_cast<std::uint64_t>(n) >> (8 * lengthBytes) != 0)
      Fail(name + ": ccm with a " + Bytes(Nonce.size()) + " nonce holds less than 2^" + std::to_string(8 * lengthBytes) +
           " bytes (a shorter nonce holds more; 7 bytes, any length)");
  }

  const TRule& Rule;
  TAlg Alg;
  platform::TSecretBytes Key;
  std::deque<platform::TSecretBytes> AAD;  // (a deque: the holders neither move nor copy)
  platform::TBytes Nonce;
  bool HasNonce = false, InFront = false;
  std::size_t TagBytes = 16, FrontBytes = 0;
};

void Check(const std::string& what, platform::Integer status) {
  if (status != 0) FailStatus(what, status);
}

[[noreturn]] void FailAuthentication(const std::string& name) {
  AuthFail(name + ": authentication failed: the tag does not match (nothing was written)");
}

std::string TooLarge() {
  return "too large to seal in memory (at most 1 GiB; gcm streams, and `orvoaes seal` or `chunked-enc` take files of "
         "any size)";
}

// Seals plain into sealed (cipher text then tag, or the synthetic IV then the cipher text).
platform::Integer SealInMemory(const TAEADInputs& g, std::span<const std::uint8_t> plain, std::span<std::uint8_t> sealed) {
  const std::size_t n = plain.size();
  const auto cipher = sealed.first(n), tag = sealed.subspan(n, g.TagBytes);
  const auto nonce = std::span<const std::uint8_t>(g.Nonce);
  if (g.Alg == TAlg::XAES) {
    AESKeyed::TXAESKey key;
    if (const platform::Integer st = key.SetKey(g.Key.Value)) return st;
    return key.Seal(nonce, g.OneAAD(), plain, cipher, tag);
  }
  if (g.Alg == TAlg::SIV) {
    AESKeyed::TSIVKey key;
    if (const platform::Integer st = key.SetKey(g.Key.Value)) return st;
    return key.Seal(g.Strings(), plain, sealed);
  }
  AESKeyed::TAESKey key;
  if (const platform::Integer st = key.SetKey(g.Key.Value)) return st;
  switch (g.Alg) {
    case TAlg::GCMSIV: return key.GCMSIV_Seal(nonce, g.OneAAD(), plain, cipher, tag);
    case TAlg::CCM: return key.CCM_Seal(nonce, g.OneAAD(), plain, cipher, tag);
    case TAlg::OCB: return key.OCB_Seal(nonce, g.OneAAD(), plain, cipher, tag);
    case TAlg::EAX: return key.EAX_Seal(nonce, g.OneAAD(), plain, cipher, tag);
    default: return error::kBadArgument;  // gcm streams
  }
}

// Opens sealed (the layout SealInMemory writes) into plain; kTagMismatch when it does not
// authenticate, plain then zero.
platform::Integer OpenInMemory(const TAEADInputs& g, std::span<const std::uint8_t> sealed, std::span<std::uint8_t> plain) {
  const std::size_t n = plain.size();
  const auto cipher = sealed.first(n), tag = sealed.subspan(n);
  const auto nonce = std::span<const std::uint8_t>(g.Nonce);
  if (g.Alg == TAlg::XAES) {
    AESKeyed::TXAESKey key;
    if (const platform::Integer st = key.SetKey(g.Key.Value)) return st;
    return key.Open(nonce, g.OneAAD(), cipher, tag, plain);
  }
  if (g.Alg == TAlg::SIV) {
    AESKeyed::TSIVKey key;
    if (const platform::Integer st = key.SetKey(g.Key.Value)) return st;
    return key.Open(g.Strings(), sealed, plain);
  }
  AESKeyed::TAESKey key;
  if (const platform::Integer st = key.SetKey(g.Key.Value)) return st;
  switch (g.Alg) {
    case TAlg::GCMSIV: return key.GCMSIV_Open(nonce, g.OneAAD(), cipher, tag, plain);
    case TAlg::CCM: return key.CCM_Open(nonce, g.OneAAD(), cipher, tag, plain);
    case TAlg::OCB: return key.OCB_Open(nonce, g.OneAAD(), cipher, tag, plain);
    case TAlg::EAX: return key.EAX_Open(nonce, g.OneAAD(), cipher, tag, plain);
    default: return error::kBadArgument;
  }
}

void RunAEADEncrypt(TAEADOptions& o) {
  TAEADInputs g(o, true);
  TInput in(o.In);
  const std::string name = in.Name();
  const std::int64_t size = in.Size();
  if (g.Alg == TAlg::GCM ? size > kGCMMaxBytes : size > kInMemoryLimit)
    Fail(name + ": " + (g.Alg == TAlg::GCM ? "above the 64 GiB limit of one GCM message" : TooLarge()));
  if (g.InFront) {
    g.Nonce = RandomBytes(g.FrontBytes);
    g.HasNonce = true;
  }
  g.CheckCCMLength(size, name);
  TOutput out(o.Out, o.Common.Force);
  TProgress progress(o.Common.Quiet, size);
  if (g.Alg == TAlg::GCM) {
    platform::TCharArray16 tag{};
    Guard(name, [&] {
      if (g.InFront) out.Stream().WriteBuffer(g.Nonce.data(), static_cast<std::int64_t>(g.Nonce.size()));
      EncryptGCM(in.Stream(), size, g.Key.Value, g.Nonce, g.OneAAD(), out.Stream(), std::span(tag).first(g.TagBytes),
                 progress, name);
      out.Stream().WriteBuffer(tag.data(), static_cast<std::int64_t>(g.TagBytes));
    });
    progress.Erase();
    out.Commit();
    return;
  }
  platform::TSecretBytes plain;
  ReadWhole(in, plain, kInMemoryLimit, TooLarge(), &progress);
  const std::size_t n = plain.Value.size();
  platform::TBytes sealed(n + 16);
  Check(name, SealInMemory(g, plain.Value, sealed));
  progress.Erase();
  Guard(out.Name(), [&] {
    if (g.InFront) out.Stream().WriteBuffer(g.Nonce.data(), static_cast<std::int64_t>(g.Nonce.size()));
    const std::size_t total = g.Alg == TAlg::SIV ? n + 16 : n + g.TagBytes;
    out.Stream().WriteBuffer(sealed.data(), static_cast<std::int64_t>(total));
  });
  out.Commit();
}

void RunAEADDecrypt(TAEADOptions& o) {
  TAEADInputs g(o, false);
  TInput in(o.In);
  const std::string name = in.Name();
  const std::int64_t front = g.InFront ? static_cast<std::int64_t>(g.FrontBytes) : 0;
  const std::int64_t size = in.Size() - front - static_cast<std::int64_t>(g.TagBytes);
  if (in.Size() < front) Fail(name + ": too short to hold the nonce");
  if (size < 0) Fail(name + ": too short to hold the tag");
  if (g.Alg == TAlg::GCM ? size > kGCMMaxBytes : in.Size() > kInMemoryLimit)
    Fail(name + ": " + (g.Alg == TAlg::GCM ? "above the 64 GiB limit of one GCM message" : TooLarge()));
  g.HasNonce = g.HasNonce || g.InFront;
  TOutput out(o.Out, o.Common.Force, true);  // standard output or a pipe only once verified
  TProgress progress(o.Common.Quiet, in.Size());
  if (g.Alg == TAlg::GCM) {
    if (g.InFront) {
      g.Nonce.resize(g.FrontBytes);
      Guard(name, [&] { ReadExactly(in.Stream(), g.Nonce.data(), front, name); });
    }
    platform::TBytes expected(g.TagBytes);
    bool match = false;
    Guard(name, [&] {
      in.Stream().SetPosition(front + size);
      ReadExactly(in.Stream(), expected.data(), static_cast<std::int64_t>(g.TagBytes), name);
      in.Stream().SetPosition(front);
      match = DecryptVerified(in.Stream(), size, g.Key.Value, g.Nonce, g.OneAAD(), expected, out, progress, name);
    });
    progress.Erase();
    if (!match) FailAuthentication(name);
    out.Commit();
    return;
  }
  platform::TSecretBytes all;
  ReadWhole(in, all, kInMemoryLimit, TooLarge(), &progress);
  const auto sealed = std::span<const std::uint8_t>(all.Value).subspan(static_cast<std::size_t>(front));
  if (g.InFront) g.Nonce.assign(all.Value.begin(), all.Value.begin() + front);
  g.CheckCCMLength(size, name);
  platform::TSecretBytes plain;
  plain.Assign(platform::TBytes(static_cast<std::size_t>(size)));
  const platform::Integer st = OpenInMemory(g, sealed, plain.Value);
  progress.Erase();
  if (st == error::kTagMismatch) FailAuthentication(name);
  Check(name, st);
  Guard(out.Name(), [&] { out.Stream().WriteBuffer(plain.Value.data(), size); });
  out.Commit();
}

void AddAEADCommand(CLI::App& app, bool encrypt) {
  CLI::App* sub = AddSubcommand(
      app, encrypt ? "aead-enc" : "aead-dec",
      encrypt ? "Encrypt and authenticate with AES-GCM, AES-GCM-SIV, XAES-256-GCM, AES-SIV, AES-CCM, OCB3 or EAX"
              : "Check and decrypt AES-GCM, AES-GCM-SIV, XAES-256-GCM, AES-SIV, AES-CCM, OCB3 or EAX; nothing is "
                "written unless it authenticates",
      encrypt ? "orvoaes aead-enc --alg xaes-256-gcm --key-file k.bin --aad-hex 68656164 data.bin -o data.xaes"
              : "orvoaes aead-dec --alg xaes-256-gcm --key-file k.bin --aad-hex 68656164 data.xaes -o data.bin");
  auto o = std::make_shared<TAEADOptions>();
  AddKeyedIOOptions(*sub, *o, true, "Output file (- or none: standard output)", {16, 24, 32, 48, 64});
  sub->add_option("--alg", o->Alg, "gcm, gcm-siv, xaes-256-gcm, siv, ccm, ocb or eax")->required();
  sub->add_option("--aad", o->AADFiles, "File of additional data (siv: may repeat, one string each)")
      ->allow_extra_args(false);
  sub->add_option("--aad-hex", o->AADHex, "Additional data as hexadecimal (siv: may repeat, one string each)")
      ->allow_extra_args(false);
  sub->add_option("--tag-bits", o->TagBits,
                  "Tag length in bits, 32 to 128: gcm, ocb and eax in steps of 8, ccm of 16; the others 128");
  auto* nonce = sub->add_option("--nonce", o->Nonce,
                                "Nonce as hexadecimal (gcm 1 byte or more, gcm-siv 12, xaes-256-gcm 24, ccm 7 to 13, "
                                "ocb 1 to 15, eax any; siv any: the last additional-data string)");
  sub->add_flag("--nonce-in-front", o->NonceInFront,
                encrypt ? "Draw a random nonce and write it before the output (the default but for siv)"
                        : "Read the nonce from the start of the input (the default but for siv)")
      ->excludes(nonce);
  sub->add_option("--nonce-bytes", o->NonceBytes,
                  "Length of the nonce in front, which it implies (default: gcm, gcm-siv, ocb 12; ccm 11; eax, siv 16; "
                  "xaes-256-gcm 24)")
      ->excludes(nonce);
  sub->callback([o, encrypt, nonce] {
    o->NonceGiven = nonce->count() > 0;  // an empty --nonce is an empty nonce, never none
    encrypt ? RunAEADEncrypt(*o) : RunAEADDecrypt(*o);
  });
}

}  // namespace

void AddAEADCommands(CLI::App& app) {
  AddAEADCommand(app, true);
  AddAEADCommand(app, false);
}

}  // namespace cli
