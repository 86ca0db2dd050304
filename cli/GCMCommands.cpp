// gcm-enc / gcm-dec: AES-GCM with a 96-bit IV given or carried in front of the cipher text,
// additional data from a file, the tag in a file of its own or after the cipher text. The
// decryption checks the tag before it writes any plain text.
#include <memory>

#include "Common.h"
#include "Io.h"
#include "Progress.h"
#include "crypto/engine/AESModes.h"

namespace cli {

namespace {

struct TGCMOptions {
  TCommonOptions Common;
  TKeyOptions Key;
  std::string In = "-", Out = "-", AAD, Tag, IV;
  bool IVInFront = false;
  int TagBits = 128;
};

// The caller's 12-byte IV, or none (the library draws one and puts it in front).
platform::TBytes LoadGCMIV(const TGCMOptions& o) {
  if (o.IV.empty()) return {};
  platform::TBytes iv = DecodeHex(o.IV, "the IV");
  if (iv.size() != 12) UsageFail("the IV must be 12 bytes (24 hexadecimal digits)");
  return iv;
}

void CheckTagBits(int bits) {
  if (bits < 32 || bits > 128 || bits % 8 != 0) UsageFail("--tag-bits must be a multiple of 8 from 32 to 128");
}

// What both directions take first: the checked options, the key, the IV, the input and the
// additional data.
struct TGCMInputs {
  explicit TGCMInputs(TGCMOptions& o) {
    CheckTagBits(o.TagBits);
    LoadKey(o.Key, Key);
    IV = LoadGCMIV(o);
    In = std::make_unique<TInput>(o.In, Temp);
    if (!o.AAD.empty()) AAD = std::make_unique<TInput>(o.AAD, Temp);
  }
  platform::TStream* AADStream() { return AAD ? &AAD->Stream() : nullptr; }

  platform::TSecretBytes Key;
  platform::TBytes IV;
  TPrivateDir Temp;
  std::unique_ptr<TInput> In, AAD;
};

void RunGCMEncrypt(TGCMOptions& o) {
  TGCMInputs g(o);
  TInput& in = *g.In;
  TOutput out(o.Out, o.Common.Force);
  std::unique_ptr<TOutput> tagOut = o.Tag.empty() ? nullptr : std::make_unique<TOutput>(o.Tag, o.Common.Force);
  TProgress progress(o.Common.Quiet, in.Size());
  TProgressStream input(in.Stream(), progress);
  platform::TMemoryStream tag;
  AESModes::TAESModes engine;
  Guard(in.Name(), [&] {
    engine.EncryptAndGenerateFromStream(&input, &out.Stream(), g.AADStream(), &tag, g.Key.Value, g.IV);
    TOutput& tagTarget = tagOut ? *tagOut : out;
    tagTarget.Stream().WriteBuffer(tag.Bytes().data(), o.TagBits / 8);
  });
  progress.Erase();
  out.Commit();
  if (tagOut) tagOut->Commit();
}

void RunGCMDecrypt(TGCMOptions& o) {
  TGCMInputs g(o);
  TInput& in = *g.In;
  std::unique_ptr<TInput> tagIn = o.Tag.empty() ? nullptr : std::make_unique<TInput>(o.Tag, g.Temp);
  const std::int64_t appended = tagIn ? 0 : o.TagBits / 8;
  const std::int64_t size = in.Size() - appended;
  if (size < 0) Fail(in.Name() + ": too short to hold the tag");
  TOutput out(o.Out, o.Common.Force);
  TProgress progress(o.Common.Quiet, size, 2);  // hashed first, then decrypted
  TWindowStream cipher(in.Stream(), 0, size);
  TProgressStream input(cipher, progress);
  TWindowStream appendedTag(in.Stream(), size, appended);
  AESModes::TAESModes engine;
  platform::Integer status = 0;
  Guard(in.Name(), [&] {
    status = engine.DecryptAndVerifyFromStream(&input, &out.Stream(), g.AADStream(),
                                               tagIn ? &tagIn->Stream() : &appendedTag, g.Key.Value, g.IV, o.TagBits);
  });
  progress.Erase();
  if (status != 0) AuthFail(in.Name() + ": authentication failed: the tag does not match (nothing was written)");
  out.Commit();
}

void AddGCMCommand(CLI::App& app, bool encrypt) {
  CLI::App* sub = AddSubcommand(
      app, encrypt ? "gcm-enc" : "gcm-dec",
      encrypt ? "Encrypt and authenticate with AES-GCM" : "Check and decrypt AES-GCM; nothing is written unless the tag matches",
      encrypt ? "orvoaes gcm-enc -K $(cat key.hex) --aad header.bin --tag data.tag data.bin -o data.gcm"
              : "orvoaes gcm-dec -K $(cat key.hex) --aad header.bin --tag data.tag data.gcm -o data.bin");
  auto o = std::make_shared<TGCMOptions>();
  sub->add_option("input", o->In, "Input file (- or none: standard input)");
  sub->add_option("-o,--out", o->Out, "Output file (- or none: standard output)");
  AddKeyOptions(*sub, o->Key);
  sub->add_option("--aad", o->AAD, "File of additional data, authenticated but not encrypted");
  sub->add_option("--tag", o->Tag, encrypt ? "Write the tag to this file (default: after the cipher text)"
                                           : "Read the tag from this file (default: the input's last bytes)");
  sub->add_option("--tag-bits", o->TagBits, "Tag length in bits, a multiple of 8 from 32 to 128 (default 128)");
  auto* iv = sub->add_option("--iv", o->IV, "IV as hexadecimal (24 digits)");
  sub->add_flag("--iv-in-front", o->IVInFront,
                encrypt ? "Draw a random IV and write it before the cipher text (the default)"
                        : "Read the IV from the first 12 bytes of the input (the default)")
      ->excludes(iv);
  AddCommonOptions(*sub, o->Common);
  sub->callback([o, encrypt] { encrypt ? RunGCMEncrypt(*o) : RunGCMDecrypt(*o); });
}

}  // namespace

void AddGCMCommands(CLI::App& app) {
  AddGCMCommand(app, true);
  AddGCMCommand(app, false);
}

}  // namespace cli
