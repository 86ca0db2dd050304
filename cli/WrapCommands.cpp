// wrap / unwrap: AES key wrap (RFC 3394, --alg kw) and key wrap with padding (RFC 5649, --alg
// kwp) of a key file under a key-encryption key, through the keyed API.
#include <memory>

#include "Common.h"
#include "Io.h"
#include "crypto/engine/AESKeyed.h"

namespace cli {

namespace {

// Keys are small; anything larger is not a key to wrap.
constexpr std::int64_t kMaxInput = std::int64_t{1} << 20;

struct TWrapOptions : TKeyedIOOptions {
  std::string Alg = "kw";
};

void Run(TWrapOptions& o, bool wrap) {
  CheckDistinctPaths({{"input", o.In}, {"--key-file", o.Key.File}}, {{"-o", o.Out}});
  RefuseTerminalOutput(o.Out);
  platform::TSecretBytes kekBytes, input, output;
  LoadKey(o.Key, kekBytes);
  AESKeyed::TAESKey kek;
  if (const platform::Integer st = kek.SetKey(kekBytes.Value)) FailStatus("the key-encryption key", st);
  TInput in(o.In);
  ReadWhole(in, input, kMaxInput, "too long for a key (at most 1 MiB)");
  const bool padded = o.Alg == "kwp";
  const std::size_t n = input.Value.size();
  if (wrap) {
    if (padded ? n == 0 : (n % 8 != 0 || n < 16))
      Fail(in.Name() + (padded ? ": nothing to wrap" : ": kw wraps a multiple of 8 bytes, at least 16 (kwp takes any length)"));
    output.Value.resize((n + 7) / 8 * 8 + 8);
    const platform::Integer st = padded ? kek.WrapKeyPadded(input.Value, output.Value) : kek.WrapKey(input.Value, output.Value);
    if (st != 0) FailStatus(in.Name(), st);
  } else {
    if (n % 8 != 0 || n < (padded ? 16u : 24u))
      Fail(in.Name() + ": not a wrapped key (a multiple of 8 bytes, at least " + (padded ? "16" : "24") + ")");
    output.Value.resize(n - 8);
    std::size_t keyBytes = n - 8;
    const platform::Integer st =
        padded ? kek.UnwrapKeyPadded(input.Value, output.Value, keyBytes) : kek.UnwrapKey(input.Value, output.Value);
    if (st == error::kUnwrapFailed)
      AuthFail(in.Name() + ": the integrity check failed: a damaged input or another key (nothing was written)");
    if (st != 0) FailStatus(in.Name(), st);
    output.Value.resize(keyBytes);
  }
  TOutput out(o.Out, o.Common.Force);
  Guard(out.Name(), [&] { out.Stream().WriteBuffer(output.Value.data(), static_cast<std::int64_t>(output.Value.size())); });
  out.Commit();
}

void AddWrapCommand(CLI::App& app, bool wrap) {
  CLI::App* sub = AddSubcommand(
      app, wrap ? "wrap" : "unwrap",
      wrap ? "Wrap a key (raw bytes) under a key-encryption key: AES key wrap (kw) or key wrap with padding (kwp)"
           : "Unwrap what wrap (or another kw/kwp implementation) wrote; exit status 3 when the integrity check fails",
      wrap ? "orvoaes wrap --alg kwp --key-file kek.bin data.key -o data.key.wrapped"
           : "orvoaes unwrap --alg kwp --key-file kek.bin data.key.wrapped -o data.key");
  auto o = std::make_shared<TWrapOptions>();
  AddKeyedIOOptions(*sub, *o);
  sub->add_option("--alg", o->Alg, "kw (RFC 3394, default) or kwp (RFC 5649, any length)")
      ->check(CLI::IsMember({"kw", "kwp"}));
  sub->callback([o, wrap] { Run(*o, wrap); });
}

}  // namespace

void AddWrapCommands(CLI::App& app) {
  AddWrapCommand(app, true);
  AddWrapCommand(app, false);
}

}  // namespace cli
