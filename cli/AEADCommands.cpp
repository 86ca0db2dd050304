// aead-enc / aead-dec: the authenticated modes of the keyed API on a whole file in memory.
//   gcm           AES-GCM, nonce 1 byte and up (a random one: 12), tag 32 to 128 bits
//   gcm-siv       AES-GCM-SIV (AES-128 or -256), nonce 12 bytes, tag 128 bits
//   xaes-256-gcm  XAES-256-GCM (a 32-byte key), nonce 24 bytes, tag 128 bits
//   siv           AES-SIV (a 32-, 48- or 64-byte key), nonce optional (a random one: 16 bytes)
// Output: [nonce] || cipher text || tag; for siv [nonce] || synthetic IV || cipher text. The
// nonce is in front when it was drawn (--nonce-in-front, the default of the modes that need
// one); --nonce HEX gives it instead. Additional data: --aad FILE or --aad-hex HEX, once; for
// siv either may repeat, one additional-data string each in the order given (a nonce is then the
// last string). A decryption writes nothing unless the data authenticates (exit 3).
#include <deque>
#include <memory>
#include <vector>

#include "Common.h"
#include "Io.h"
#include "Progress.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/support/RandomCoreW.h"

namespace cli {

namespace {

enum class TAlg { GCM, GCMSIV, XAES, SIV };

struct TAEADOptions {
  TCommonOptions Common;
  TKeyOptions Key;
  std::string In = "-", Out, Alg, Nonce;
  std::vector<std::string> AADFiles, AADHex;
  bool NonceInFront = false;
  int TagBits = 128;
};

TAlg ParseAlg(const std::string& name) {
  if (name == "gcm") return TAlg::GCM;
  if (name == "gcm-siv") return TAlg::GCMSIV;
  if (name == "xaes-256-gcm") return TAlg::XAES;
  if (name == "siv") return TAlg::SIV;
  UsageFail("--alg must be gcm, gcm-siv, xaes-256-gcm or siv");
}

// The nonce length a mode takes (0: any, from 1 byte for gcm, from none for siv) and the length
// of one it draws.
std::size_t FixedNonce(TAlg a) { return a == TAlg::GCMSIV ? 12 : a == TAlg::XAES ? 24 : 0; }
std::size_t DrawnNonce(TAlg a) { return a == TAlg::XAES ? 24 : a == TAlg::SIV ? 16 : 12; }

// The whole of an input, read through the progress bar.
void ReadAll(TInput& in, TProgress& progress, platform::TSecretBytes& bytes) {
  bytes.Assign(platform::TBytes(static_cast<std::size_t>(in.Size())));
  TProgressStream s(in.Stream(), progress);
  std::int64_t got = 0;
  const auto n = static_cast<std::int64_t>(bytes.Value.size());
  while (got < n) {
    const std::int64_t r = s.Read(bytes.Value.data() + got, n - got);
    if (r <= 0) Fail(in.Name() + ": the input ended early");
    got += r;
  }
}

// Everything both directions take first: the mode, the key, the additional data and a nonce
// given on the command line, each checked.
struct TAEADInputs {
  TAEADInputs(TAEADOptions& o, bool encrypt) : Alg(ParseAlg(o.Alg)) {
    // The paths first: none read may be the output (but the input, replaced in place with --force).
    std::vector<TNamedPath> reads{{"input", o.In}, {"--key-file", o.Key.File}};
    for (const std::string& f : o.AADFiles) reads.push_back({"--aad", f});
    CheckDistinctPaths(reads, {{"-o", o.Out}});
    if (encrypt) RefuseTerminalOutput(o.Out);
    if (Alg != TAlg::GCM && o.TagBits != 128) UsageFail("--tag-bits: " + o.Alg + " has a 128-bit tag only");
    if (o.TagBits < 32 || o.TagBits > 128 || o.TagBits % 8 != 0)
      UsageFail("--tag-bits must be a multiple of 8 from 32 to 128");
    switch (Alg) {
      case TAlg::GCM: LoadKey(o.Key, Key); break;
      case TAlg::GCMSIV: LoadKey(o.Key, Key, {16, 32}); break;
      case TAlg::XAES: LoadKey(o.Key, Key, {32}); break;
      case TAlg::SIV: LoadKey(o.Key, Key, {32, 48, 64}); break;
    }
    const std::size_t strings = o.AADFiles.size() + o.AADHex.size();
    if (Alg != TAlg::SIV && strings > 1) UsageFail("--aad and --aad-hex: one of them, once (siv takes several)");
    if (!o.AADFiles.empty() && !o.AADHex.empty()) UsageFail("--aad and --aad-hex: not both (their order would be unclear)");
    for (const std::string& f : o.AADFiles) {
      TInput in(f);
      TProgress quiet(true, in.Size());
      AAD.emplace_back();
      ReadAll(in, quiet, AAD.back());
    }
    for (const std::string& h : o.AADHex) {
      AAD.emplace_back();
      AAD.back().Assign(DecodeHex(h, "--aad-hex"));
    }
    if (!o.Nonce.empty()) {
      Nonce = DecodeHex(o.Nonce, "the nonce");
      const std::size_t fixed = FixedNonce(Alg);
      if (fixed != 0 && Nonce.size() != fixed)
        UsageFail("the nonce of " + o.Alg + " must be " + std::to_string(fixed) + " bytes");
      if (Alg == TAlg::GCM && Nonce.empty()) UsageFail("the nonce must be 1 byte or more");
    }
    // The modes that need a nonce carry a drawn one in front unless one is given.
    InFront = o.NonceInFront || (o.Nonce.empty() && Alg != TAlg::SIV);
  }

  // The additional-data strings for siv, a nonce the last of them.
  std::vector<std::span<const std::uint8_t>> Strings() const {
    std::vector<std::span<const std::uint8_t>> s;
    for (const auto& a : AAD) s.emplace_back(a.Value);
    if (HasNonce()) s.emplace_back(Nonce);
    return s;
  }
  std::span<const std::uint8_t> OneAAD() const {
    return AAD.empty() ? std::span<const std::uint8_t>() : std::span<const std::uint8_t>(AAD[0].Value);
  }
  bool HasNonce() const { return !Nonce.empty(); }

  TAlg Alg;
  platform::TSecretBytes Key;
  std::deque<platform::TSecretBytes> AAD;  // (a deque: the holders neither move nor copy)
  platform::TBytes Nonce;
  bool InFront = false;
};

void Check(const std::string& what, platform::Integer status) {
  if (status != 0) FailStatus(what, status);
}

void RunAEADEncrypt(TAEADOptions& o) {
  TAEADInputs g(o, true);
  TInput in(o.In);
  TOutput out(o.Out, o.Common.Force);
  TProgress progress(o.Common.Quiet, in.Size());
  platform::TSecretBytes plain;
  ReadAll(in, progress, plain);
  if (g.InFront) {
    g.Nonce.resize(DrawnNonce(g.Alg));
    Check("the random source", RandomCoreW::TRandomCore::GetRandomBytes(static_cast<platform::Integer>(g.Nonce.size()),
                                                                        g.Nonce.data()));
  }
  const std::size_t n = plain.Value.size(), tagBytes = static_cast<std::size_t>(o.TagBits / 8);
  platform::TBytes sealed(n + 16);
  const std::span<std::uint8_t> cipher = std::span(sealed).first(n), tag = std::span(sealed).subspan(n, tagBytes);
  const std::string name = in.Name();
  switch (g.Alg) {
    case TAlg::GCM: {
      AESKeyed::TAESKey key;
      Check(name, key.SetKey(g.Key.Value));
      Check(name, key.GCM_Seal(g.Nonce, g.OneAAD(), plain.Value, cipher, tag));
      break;
    }
    case TAlg::GCMSIV: {
      AESKeyed::TAESKey key;
      Check(name, key.SetKey(g.Key.Value));
      Check(name, key.GCMSIV_Seal(g.Nonce, g.OneAAD(), plain.Value, cipher, tag));
      break;
    }
    case TAlg::XAES: {
      AESKeyed::TXAESKey key;
      Check(name, key.SetKey(g.Key.Value));
      Check(name, key.Seal(g.Nonce, g.OneAAD(), plain.Value, cipher, tag));
      break;
    }
    case TAlg::SIV: {
      AESKeyed::TSIVKey key;
      Check(name, key.SetKey(g.Key.Value));
      Check(name, key.Seal(g.Strings(), plain.Value, sealed));
      break;
    }
  }
  progress.Erase();
  Guard(out.Name(), [&] {
    if (g.InFront) out.Stream().WriteBuffer(g.Nonce.data(), static_cast<std::int64_t>(g.Nonce.size()));
    const std::size_t total = g.Alg == TAlg::SIV ? n + 16 : n + tagBytes;
    out.Stream().WriteBuffer(sealed.data(), static_cast<std::int64_t>(total));
  });
  out.Commit();
}

void RunAEADDecrypt(TAEADOptions& o) {
  TAEADInputs g(o, false);
  TInput in(o.In);
  TOutput out(o.Out, o.Common.Force, true);  // standard output or a pipe only once verified
  TProgress progress(o.Common.Quiet, in.Size());
  platform::TSecretBytes all;
  ReadAll(in, progress, all);
  std::span<const std::uint8_t> rest(all.Value);
  const std::string name = in.Name();
  if (g.InFront) {
    const std::size_t nonce = FixedNonce(g.Alg) != 0 ? FixedNonce(g.Alg) : DrawnNonce(g.Alg);
    if (rest.size() < nonce) Fail(name + ": too short to hold the nonce");
    g.Nonce.assign(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(nonce));
    rest = rest.subspan(nonce);
  }
  const std::size_t tagBytes = g.Alg == TAlg::SIV ? 16 : static_cast<std::size_t>(o.TagBits / 8);
  if (rest.size() < tagBytes) Fail(name + ": too short to hold the tag");
  const std::size_t n = rest.size() - tagBytes;
  platform::TSecretBytes plain;
  plain.Assign(platform::TBytes(n));
  const auto cipher = rest.first(n), tag = rest.subspan(n);
  platform::Integer st = 0;
  switch (g.Alg) {
    case TAlg::GCM: {
      AESKeyed::TAESKey key;
      Check(name, key.SetKey(g.Key.Value));
      st = key.GCM_Open(g.Nonce, g.OneAAD(), cipher, tag, plain.Value);
      break;
    }
    case TAlg::GCMSIV: {
      AESKeyed::TAESKey key;
      Check(name, key.SetKey(g.Key.Value));
      st = key.GCMSIV_Open(g.Nonce, g.OneAAD(), cipher, tag, plain.Value);
      break;
    }
    case TAlg::XAES: {
      AESKeyed::TXAESKey key;
      Check(name, key.SetKey(g.Key.Value));
      st = key.Open(g.Nonce, g.OneAAD(), cipher, tag, plain.Value);
      break;
    }
    case TAlg::SIV: {
      AESKeyed::TSIVKey key;
      Check(name, key.SetKey(g.Key.Value));
      st = key.Open(g.Strings(), rest, plain.Value);
      break;
    }
  }
  progress.Erase();
  if (st == error::kTagMismatch) AuthFail(name + ": authentication failed: the tag does not match (nothing was written)");
  Check(name, st);
  Guard(out.Name(), [&] { out.Stream().WriteBuffer(plain.Value.data(), static_cast<std::int64_t>(n)); });
  out.Commit();
}

void AddAEADCommand(CLI::App& app, bool encrypt) {
  CLI::App* sub = AddSubcommand(
      app, encrypt ? "aead-enc" : "aead-dec",
      encrypt ? "Encrypt and authenticate with AES-GCM, AES-GCM-SIV, XAES-256-GCM or AES-SIV"
              : "Check and decrypt AES-GCM, AES-GCM-SIV, XAES-256-GCM or AES-SIV; nothing is written unless it "
                "authenticates",
      encrypt ? "orvoaes aead-enc --alg xaes-256-gcm --key-file k.bin --aad-hex 68656164 data.bin -o data.xaes"
              : "orvoaes aead-dec --alg xaes-256-gcm --key-file k.bin --aad-hex 68656164 data.xaes -o data.bin");
  auto o = std::make_shared<TAEADOptions>();
  sub->add_option("input", o->In, "Input file (- or none: standard input)");
  sub->add_option("-o,--out", o->Out, "Output file (- or none: standard output)");
  sub->add_option("--alg", o->Alg, "gcm, gcm-siv, xaes-256-gcm or siv")->required();
  AddKeyOptions(*sub, o->Key);
  sub->add_option("--aad", o->AADFiles, "File of additional data (siv: may repeat, one string each)")
      ->allow_extra_args(false);
  sub->add_option("--aad-hex", o->AADHex, "Additional data as hexadecimal (siv: may repeat, one string each)")
      ->allow_extra_args(false);
  sub->add_option("--tag-bits", o->TagBits, "Tag length in bits: gcm 32 to 128 in steps of 8, the others 128");
  auto* nonce = sub->add_option("--nonce", o->Nonce,
                                "Nonce as hexadecimal (gcm any length, gcm-siv 12 bytes, xaes-256-gcm 24, siv any: "
                                "the last additional-data string)");
  sub->add_flag("--nonce-in-front", o->NonceInFront,
                encrypt ? "Draw a random nonce and write it before the output (the default but for siv)"
                        : "Read the nonce from the start of the input (the default but for siv)")
      ->excludes(nonce);
  AddCommonOptions(*sub, o->Common);
  sub->callback([o, encrypt] { encrypt ? RunAEADEncrypt(*o) : RunAEADDecrypt(*o); });
}

}  // namespace

void AddAEADCommands(CLI::App& app) {
  AddAEADCommand(app, true);
  AddAEADCommand(app, false);
}

}  // namespace cli
