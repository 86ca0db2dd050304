// cmac / cmac-verify: AES-CMAC of a file or standard input, as hexadecimal.
#include <memory>

#include "Common.h"
#include "Io.h"
#include "Progress.h"
#include "crypto/engine/AESModes.h"

namespace cli {

namespace {

struct TMacOptions : TKeyedIOOptions {
  std::string Tag;
  int TagBits = 128;
};

// The first bits / 8 bytes of the input's CMAC.
platform::TBytes ComputeTag(TMacOptions& o, int bits) {
  if (bits < 32 || bits > 128 || bits % 8 != 0) UsageFail("--tag-bits must be a multiple of 8 from 32 to 128");
  platform::TSecretBytes key;
  LoadKey(o.Key, key);
  TInput in(o.In);
  TProgress progress(o.Common.Quiet, in.Size());
  TProgressStream input(in.Stream(), progress);
  AESModes::TAESModes engine;
  platform::string tag;
  Guard(in.Name(), [&] { tag = engine.GenerateFromStream(&input, key.Value); });
  progress.Erase();
  platform::TBytes bytes(static_cast<std::size_t>(bits / 8));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(tag[i]);
  return bytes;
}

void RunMac(TMacOptions& o) {
  const platform::TBytes tag = ComputeTag(o, o.TagBits);
  std::printf("%s\n", EncodeHex(tag.data(), tag.size(), true).c_str());
}

void RunVerify(TMacOptions& o) {
  // The verified length is --tag-bits, never the length of the tag given: a short tag would be
  // easy to guess.
  const platform::TBytes expected = DecodeHex(o.Tag, "the tag");
  if (expected.size() * 8 != static_cast<std::size_t>(o.TagBits))
    UsageFail("the tag has " + std::to_string(expected.size() * 8) + " bits, --tag-bits says " +
              std::to_string(o.TagBits) + " (give a tag of that length, or --tag-bits for a shorter one of 32 or more)");
  const platform::TBytes tag = ComputeTag(o, o.TagBits);
  if (!platform::ConstantTimeEqual(tag, expected)) AuthFail((IsStdio(o.In) ? std::string("standard input") : o.In) + ": the CMAC does not match");
  if (!o.Common.Quiet) std::fprintf(stderr, "CMAC verified\n");
}

void AddMacCommand(CLI::App& app, bool verify) {
  CLI::App* sub = AddSubcommand(
      app, verify ? "cmac-verify" : "cmac",
      verify ? "Check the AES-CMAC of a file against a tag (exit status 3 when it differs)"
             : "Print the AES-CMAC of a file as hexadecimal",
      verify ? "orvoaes cmac-verify -K 2b7e151628aed2a6abf7158809cf4f3c --tag 070A16B46B4D4144F79BDD9DD04A287C msg.bin"
             : "orvoaes cmac -K 2b7e151628aed2a6abf7158809cf4f3c msg.bin");
  auto o = std::make_shared<TMacOptions>();
  AddKeyedIOOptions(*sub, *o, false);
  sub->add_option("--tag-bits", o->TagBits, verify ? "Length of the tag in bits, a multiple of 8 from 32 to 128 (default 128); the tag must have it"
                                                : "Tag length in bits, a multiple of 8 from 32 to 128 (default 128)");
  if (verify) sub->add_option("--tag", o->Tag, "The expected tag as hexadecimal")->required();
  sub->callback([o, verify] { verify ? RunVerify(*o) : RunMac(*o); });
}

}  // namespace

void AddMacCommands(CLI::App& app) {
  AddMacCommand(app, false);
  AddMacCommand(app, true);
}

}  // namespace cli
