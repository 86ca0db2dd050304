// enc / dec: ECB, CBC, OFB and CTR with PKCS7 padding or none, through the stream engine (the
// layout `openssl enc` writes, the IV optionally carried in front) or the path-file format; CFB,
// CFB-8, passphrases and base64 through the keyed API (OpenSSLEnc.cpp), XTS through it too
// (XTSCommands.cpp).
#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>

#include "Common.h"
#include "Io.h"
#include "OpenSSLEnc.h"
#include "Progress.h"
#include "crypto/engine/AESModes.h"

namespace cli {

namespace {

using AESModes::TAESType;

const std::map<std::string, TAESType> kModes{
    {"ecb", AESModes::atECB}, {"cbc", AESModes::atCBC}, {"ofb", AESModes::atOFB}, {"ctr", AESModes::atCTR}};

// The stream engine with the caller's mode, IV handling and padding.
class TStreamEngine : public AESModes::TAESModes {
 public:
  TStreamEngine(TAESType type, AESModes::TIVMode iv, AESModes::TPaddingMode padding) : TAESModes(type, iv, padding) {}
};

struct TStreamOptions {
  TCommonOptions Common;
  TKeyOptions Key;
  std::string In = "-", Out, Mode = "cbc", Padding, Format = "stream", IV;
  bool IVInFront = false;
  TOpenSSLOptions OpenSSL;
  std::int64_t SectorSize = 0;  // xts: 0 = the whole input one data unit
};

// The caller's IV (16 bytes), or none in ECB or with the IV in front.
platform::TBytes LoadIV(TStreamOptions& o) {
  const bool ecb = o.Mode == "ecb";
  if (!ecb && o.IV.empty() && !o.IVInFront) UsageFail("give --iv HEX or --iv-in-front (mode " + o.Mode + ")");
  if (ecb || o.IVInFront) return platform::TBytes(16, 0);
  platform::TBytes iv = DecodeHex(o.IV, "the IV");
  if (iv.size() != 16) UsageFail("the IV must be 16 bytes (32 hexadecimal digits)");
  return iv;
}

// openssl enc never pads the stream modes OFB and CTR; the default follows it (the path-file
// format pads in every mode).
bool Padded(const TStreamOptions& o) {
  if (!o.Padding.empty()) return o.Padding == "pkcs7";
  return o.Format == "file" || o.Mode == "ecb" || o.Mode == "cbc";
}

// The keystream modes without padding take any length, as `openssl enc` does: the engine
// runs on the input followed by zero bytes up to a whole block, and what those bytes would add
// to the output is dropped (in OFB and CTR each output byte depends only on the key stream and
// its own input byte).
void RunKeystream(AESModes::TAESModes& engine, TInput& in, TOutput& out, const platform::TBytes& key,
                  const platform::TBytes& iv, bool encrypt, bool ivInFront) {
  const std::int64_t size = in.Size();
  const std::int64_t padded = (size + 15) / 16 * 16;
  TZeroExtendedStream input(in.Stream(), padded);
  const std::int64_t outSize = ivInFront ? (encrypt ? size + 16 : std::max<std::int64_t>(0, size - 16)) : size;
  TWindowStream output(out.Stream(), 0, outSize);
  if (encrypt)
    engine.EncryptStream(&input, &output, key, iv);
  else
    engine.DecryptStream(&input, &output, key, iv);
}

// What both formats check first, before the key is read: paths that coincide, binary output to
// a terminal.
void CheckPaths(const TStreamOptions& o, bool encrypt) {
  CheckDistinctPaths({{"input", o.In}, {"--key-file", o.Key.File}}, {{"-o", o.Out}});
  if (encrypt) RefuseTerminalOutput(o.Out);
}

void RunStream(TStreamOptions& o, bool encrypt) {
  CheckPaths(o, encrypt);
  platform::TSecretBytes key;
  LoadKey(o.Key, key);
  const platform::TBytes iv = LoadIV(o);
  TInput in(o.In);
  TOutput out(o.Out, o.Common.Force);
  TProgress progress(o.Common.Quiet, in.Size());
  TStreamEngine engine(kModes.at(o.Mode), o.IVInFront ? AESModes::rand : AESModes::userdefined,
                       Padded(o) ? AESModes::PKCS7 : AESModes::nopadding);
  engine.SetChunkProgress(progress.Callback());
  Guard(in.Name(), [&] {
    if (!Padded(o) && (o.Mode == "ofb" || o.Mode == "ctr") && in.Size() % 16 != 0) {
      RunKeystream(engine, in, out, key.Value, iv, encrypt, o.IVInFront);
    } else if (encrypt) {
      engine.EncryptStream(&in.Stream(), &out.Stream(), key.Value, iv);
    } else if (const platform::Integer status = engine.DecryptStream(&in.Stream(), &out.Stream(), key.Value, iv)) {
      FailStatus(in.Name(), status);
    }
  });
  progress.Erase();
  out.Commit();
}

// The path-file format, on handles the tool holds: the output is an unnamed file until it is
// complete (the replacing file of a named output, an unnamed temporary file for standard output
// or a pipe), so no output file exists before the commit and a kill leaves nothing. The
// operation has no progress callback: Ctrl-C is honoured once it returns (nothing is kept then).
void RunFile(TStreamOptions& o, bool encrypt) {
  CheckPaths(o, encrypt);
  platform::TSecretBytes key;
  LoadKey(o.Key, key);
  const platform::TBytes iv = LoadIV(o);
  platform::TCharArray16 iv16{};
  std::copy_n(iv.begin(), 16, iv16.begin());
  TInput in(o.In);
  TOutput out(o.Out, o.Common.Force, true);
  const platform::Integer bits = static_cast<platform::Integer>(key.Value.size() * 8);
  const bool padding = Padded(o);
  const platform::Integer mode = kModes.at(o.Mode);
  AESModes::TAESModes engine;
  const platform::THandle input = in.Rewound();
  errno = 0;
  const platform::Integer status =
      encrypt ? engine.EncryptFileHandles(input, out.Handle(), key.Value, bits, o.IVInFront, iv16, padding, mode)
              : engine.DecryptFileHandles(input, out.Handle(), key.Value, bits, o.IVInFront, iv16, padding, mode);
  platform::SecureZero(iv16.data(), iv16.size());
  if (status != 0) FailStatus(in.Name() + " -> " + out.Name(), status);
  out.Commit();
}

// XTS takes a key of two AES keys, a tweak and no padding, IV in front or path-file format.
void RunXTSMode(TStreamOptions& o, bool encrypt) {
  CheckPaths(o, encrypt);
  if (!o.Padding.empty() && o.Padding != "none") UsageFail("--mode xts has no padding (the output is as long as the input)");
  if (o.IVInFront || o.Format == "file") UsageFail("--mode xts takes the tweak as --iv, in the stream format");
  RunXTS(encrypt, o.Key, o.In, o.Out, o.IV, o.SectorSize, o.Common);
}

// Passphrases, CFB, CFB-8 and base64 go through the keyed API; the rest as before.
void Run(TStreamOptions& o, bool encrypt) {
  if (o.Mode == "xts") return RunXTSMode(o, encrypt);
  if (!UsesOpenSSLPath(o.Key, o.Mode, o.OpenSSL)) {
    o.Format == "file" ? RunFile(o, encrypt) : RunStream(o, encrypt);
    return;
  }
  if (o.Format == "file") UsageFail("--format file takes a raw key and ecb, cbc, ofb or ctr, without -a");
  TOpenSSLJob job;
  job.Encrypt = encrypt;
  job.In = o.In;
  job.Out = o.Out;
  job.Mode = o.Mode;
  job.Padding = Padded(o);
  job.Common = o.Common;
  job.Key = std::move(o.Key);
  job.IV = o.IV;
  job.IVInFront = o.IVInFront;
  job.OpenSSL = o.OpenSSL;
  RunOpenSSL(job);
}

void AddStreamCommand(CLI::App& app, bool encrypt) {
  const std::string name = encrypt ? "enc" : "dec";
  CLI::App* sub = AddSubcommand(
      app, name,
      encrypt ? "Encrypt with AES in ECB, CBC, CFB, CFB-8, OFB, CTR (the bytes `openssl enc` writes, with a key or "
                "a passphrase) or XTS"
              : "Decrypt what enc (or `openssl enc`, with a key or a passphrase) wrote. With a passphrase, "
                "a bad padding (a wrong passphrase) exits 3; under a raw key it exits 1",
      encrypt ? "orvoaes enc --mode ctr -K 000102030405060708090a0b0c0d0e0f --iv 00000000000000000000000000000001 "
                "report.pdf -o report.pdf.enc"
              : "orvoaes dec --mode cbc --key-file my.key --iv-in-front report.enc -o report.pdf");
  auto o = std::make_shared<TStreamOptions>();
  sub->add_option("input", o->In, "Input file (- or none: standard input)");
  sub->add_option("-o,--out", o->Out, encrypt ? "Output file (none: standard output, unless a terminal; -: standard output)"
                                              : "Output file (- or none: standard output)");
  sub->add_option("-m,--mode", o->Mode, "ecb, cbc, cfb, cfb8, ofb, ctr or xts (default cbc)")
      ->check(CLI::IsMember({"ecb", "cbc", "cfb", "cfb8", "ofb", "ctr", "xts"}));
  sub->add_option("--padding", o->Padding, "pkcs7 or none (default pkcs7, but none for cfb, cfb8, ofb and ctr streams, as openssl enc)")->check(CLI::IsMember({"pkcs7", "none"}));
  sub->add_option("--format", o->Format, "stream (default, as openssl enc) or file (the path-file format)")
      ->check(CLI::IsMember({"stream", "file"}));
  AddKeyOptions(*sub, o->Key, {16, 24, 32, 48, 64});  // 48 and 64: xts's two keys
  auto* iv = sub->add_option("--iv", o->IV, "IV as hexadecimal (32 digits)");
  sub->add_flag("--iv-in-front", o->IVInFront, encrypt ? "Draw a random IV and write it before the cipher text"
                                                        : "Read the IV from the first 16 bytes of the input")
      ->excludes(iv);
  sub->add_option("--sector-size", o->SectorSize,
                  "xts: encrypt whole sectors of N bytes, sector k under the tweak --iv + k (default: the whole "
                  "input one data unit under --iv)");
  AddOpenSSLOptions(*sub, o->OpenSSL, encrypt);
  AddCommonOptions(*sub, o->Common);
  sub->callback([o, encrypt] { Run(*o, encrypt); });
}

}  // namespace

void AddStreamCommands(CLI::App& app) {
  AddStreamCommand(app, true);
  AddStreamCommand(app, false);
}

}  // namespace cli
