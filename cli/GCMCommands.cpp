// gcm-enc / gcm-dec: AES-GCM with an IV given (1 byte or more) or carried in front of the cipher
// text (12 bytes, or --iv-bytes N),
// additional data from a file, the tag in a file of its own or after the cipher text. The
// decryption releases plain text only once the tag has matched the bytes it came from.
#include <algorithm>
#include <memory>
#include <vector>

#include "Common.h"
#include "GCMOpen.h"
#include "Io.h"
#include "Progress.h"

namespace cli {

namespace {

struct TGCMOptions : TKeyedIOOptions {
  std::string AAD, Tag, IV;
  bool IVInFront = false, IVGiven = false;
  int TagBits = 128;
  std::size_t IVBytes = kGCMDrawnIV;
};

// The caller's IV (1 byte or more), or none (one is drawn and put in front).
platform::TBytes LoadGCMIV(const TGCMOptions& o) {
  if (o.IVBytes < 1 || o.IVBytes > kGCMMaxDrawnIV)
    UsageFail("--iv-bytes must be from 1 to " + std::to_string(kGCMMaxDrawnIV));
  if (!o.IVGiven) return {};
  platform::TBytes iv = DecodeHex(o.IV, "the IV");
  if (iv.empty()) UsageFail("the IV must be 1 byte or more");
  return iv;
}

void CheckTagBits(int bits) {
  if (bits < 32 || bits > 128 || bits % 8 != 0) UsageFail("--tag-bits must be a multiple of 8 from 32 to 128");
}

// What both directions take first, in this order: the paths (none may coincide with an
// output), the checked options, the key, the IV, the input and the additional data.
struct TGCMInputs {
  TGCMInputs(TGCMOptions& o, bool encrypt) {
    std::vector<TNamedPath> reads{{"input", o.In}, {"--key-file", o.Key.File}, {"--aad", o.AAD}};
    std::vector<TNamedPath> writes{{"-o", o.Out}};
    (encrypt ? writes : reads).push_back({"--tag", o.Tag});
    CheckDistinctPaths(reads, writes);
    if (encrypt) RefuseTerminalOutput(o.Out);
    CheckTagBits(o.TagBits);
    LoadKey(o.Key, Key);
    IV = LoadGCMIV(o);
    In = std::make_unique<TInput>(o.In);
    if (!o.AAD.empty()) AAD = std::make_unique<TInput>(o.AAD);
  }
  platform::TStream* AADStream() { return AAD ? &AAD->Stream() : nullptr; }

  platform::TSecretBytes Key;
  platform::TBytes IV;
  std::unique_ptr<TInput> In, AAD;
};

[[noreturn]] void FailTooLarge(const TInput& in) {
  Fail(in.Name() + ": above the 64 GiB limit of one GCM message (2^36 - 32 bytes); `orvoaes seal` protects a "
       "file of any size");
}

void RunGCMEncrypt(TGCMOptions& o) {
  TGCMInputs g(o, true);
  TInput& in = *g.In;
  if (in.Size() > kGCMMaxBytes) FailTooLarge(in);
  const platform::TBytes aad = g.AAD ? ReadAll(g.AAD->Stream(), g.AAD->Name()) : platform::TBytes{};
  TOutput out(o.Out, o.Common.Force);
  std::unique_ptr<TOutput> tagOut = o.Tag.empty() ? nullptr : std::make_unique<TOutput>(o.Tag, o.Common.Force);
  const bool front = g.IV.empty();
  const platform::TBytes iv = front ? RandomBytes(o.IVBytes) : g.IV;
  TProgress progress(o.Common.Quiet, in.Size());
  platform::TCharArray16 tag{};
  Guard(in.Name(), [&] {
    if (front) out.Stream().WriteBuffer(iv.data(), static_cast<std::int64_t>(iv.size()));
    EncryptGCM(in.Stream(), in.Size(), g.Key.Value, iv, aad, out.Stream(),
               std::span(tag).first(static_cast<std::size_t>(o.TagBits / 8)), progress, in.Name());
    TOutput& tagTarget = tagOut ? *tagOut : out;
    tagTarget.Stream().WriteBuffer(tag.data(), o.TagBits / 8);
  });
  progress.Erase();
  if (tagOut)
    TOutput::CommitPair(out, *tagOut);  // both or neither
  else
    out.Commit();
}

// One pass (GCMOpen.h): the plain text goes to the replacing file of a named output, or to an
// unnamed temporary file for standard output, a pipe or a device, and is released only after
// the tag matched the very bytes that were decrypted.
void RunGCMDecrypt(TGCMOptions& o) {
  TGCMInputs g(o, false);
  TInput& in = *g.In;
  const std::int64_t tagBytes = o.TagBits / 8;
  const std::int64_t appended = o.Tag.empty() ? tagBytes : 0;
  const std::int64_t front = g.IV.empty() ? static_cast<std::int64_t>(o.IVBytes) : 0;
  const std::int64_t size = in.Size() - appended - front;
  if (size < 0) Fail(in.Name() + ": too short to hold the " + std::string(front ? "IV and the " : "") + "tag");
  if (size > kGCMMaxBytes) FailTooLarge(in);
  platform::TBytes expected(static_cast<std::size_t>(tagBytes));
  platform::TBytes iv = g.IV;
  Guard(in.Name(), [&] {
    if (!o.Tag.empty()) {
      TInput tagIn(o.Tag);
      if (tagIn.Size() < tagBytes)
        AuthFail(tagIn.Name() + ": authentication failed: the tag is shorter than --tag-bits (nothing was written)");
      ReadExactly(tagIn.Stream(), expected.data(), static_cast<std::int64_t>(expected.size()), tagIn.Name());
    } else {
      in.Stream().SetPosition(in.Size() - appended);
      ReadExactly(in.Stream(), expected.data(), appended, in.Name());
    }
    if (front) {
      iv.resize(static_cast<std::size_t>(front));
      in.Stream().SetPosition(0);
      ReadExactly(in.Stream(), iv.data(), front, in.Name());
    }
  });
  const platform::TBytes aad = g.AAD ? ReadAll(g.AAD->Stream(), g.AAD->Name()) : platform::TBytes{};
  TOutput out(o.Out, o.Common.Force, true);
  TProgress progress(o.Common.Quiet, size);
  bool match = false;
  Guard(in.Name(), [&] {
    in.Stream().SetPosition(front);
    match = DecryptVerified(in.Stream(), size, g.Key.Value, iv, aad, expected, out, progress, in.Name());
  });
  progress.Erase();
  if (!match) AuthFail(in.Name() + ": authentication failed: the tag does not match (nothing was written)");
  out.Commit();
}

void AddGCMCommand(CLI::App& app, bool encrypt) {
  CLI::App* sub = AddSubcommand(
      app, encrypt ? "gcm-enc" : "gcm-dec",
      encrypt ? "Encrypt and authenticate with AES-GCM" : "Check and decrypt AES-GCM; nothing is written unless the tag matches",
      encrypt ? "orvoaes gcm-enc -K $(cat key.hex) --aad header.bin --tag data.tag data.bin -o data.gcm"
              : "orvoaes gcm-dec -K $(cat key.hex) --aad header.bin --tag data.tag data.gcm -o data.bin");
  auto o = std::make_shared<TGCMOptions>();
  AddKeyedIOOptions(*sub, *o, true,
                    encrypt ? "Output file (none: standard output, unless a terminal; -: standard output)"
                            : "Output file (- or none: standard output)");
  sub->add_option("--aad", o->AAD, "File of additional data, authenticated but not encrypted");
  sub->add_option("--tag", o->Tag, encrypt ? "Write the tag to this file (default: after the cipher text)"
                                           : "Read the tag from this file (default: the input's last bytes)");
  sub->add_option("--tag-bits", o->TagBits, "Tag length in bits, a multiple of 8 from 32 to 128 (default 128)");
  auto* iv = sub->add_option("--iv", o->IV, "IV as hexadecimal, 1 byte or more (12 bytes, 24 digits, are usual)");
  sub->add_flag("--iv-in-front", o->IVInFront,
                encrypt ? "Draw a random IV and write it before the cipher text (the default)"
                        : "Read the IV from the first bytes of the input (the default)")
      ->excludes(iv);
  sub->add_option("--iv-bytes", o->IVBytes,
                  encrypt ? "Length of the IV drawn and written in front, 1 to 4096 (default 12)"
                          : "Length of the IV in front of the input, 1 to 4096 (default 12)")
      ->excludes(iv);
  sub->callback([o, encrypt, iv] {
    o->IVGiven = iv->count() > 0;  // an empty --iv is refused, never taken for none
    encrypt ? RunGCMEncrypt(*o) : RunGCMDecrypt(*o);
  });
}

}  // namespace

void AddGCMCommands(CLI::App& app) {
  AddGCMCommand(app, true);
  AddGCMCommand(app, false);
}

}  // namespace cli
