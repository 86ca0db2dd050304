// convert, rand, keygen: the text-format converter and the random source.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>

#include "Common.h"
#include "Io.h"
#include "crypto/support/MiscObj.h"
#include "crypto/support/RandomCoreW.h"

namespace cli {

namespace {

using MiscObj::TConvert;

const std::map<std::string, MiscObj::TConvertType> kByteFormats{{"raw", MiscObj::raw},
                                                               {"hex", MiscObj::hexa},
                                                               {"base64", MiscObj::base64},
                                                               {"base64url", MiscObj::base64url},
                                                               {"base32", MiscObj::base32}};

struct TConvertOptions {
  std::string From, To;
};

std::string ReadStdin() {
  std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (std::cin.bad()) Fail("standard input: read error");
  return text;
}

// Text input without the blanks and line breaks around it.
std::string Trimmed(std::string text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

platform::string ByteString(const std::string& bytes) {
  return TConvert::ByteArrayToString({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
}

std::string Narrow(const platform::string& byteString) {
  const platform::TBytes b = TConvert::StringToByteArray(byteString);
  return std::string(b.begin(), b.end());
}

// raw, hex, base64, base64url, base32 among themselves; base58 of a 64-bit number to and from
// decimal; a hexadecimal number (up to 32 digits) in decimal.
std::string Convert(const TConvertOptions& o, const std::string& input) {
  if (kByteFormats.count(o.From) && kByteFormats.count(o.To)) {
    TConvert from(kByteFormats.at(o.From)), to(kByteFormats.at(o.To));
    const platform::string bytes = from.FormatToChar(ByteString(o.From == "raw" ? input : Trimmed(input)));
    const std::string out = Narrow(to.CharToFormat(bytes));
    return o.To == "raw" ? out : out + "\n";
  }
  const std::string text = Trimmed(input);
  if (o.From == "dec" && o.To == "base58") {
    std::size_t used = 0;
    unsigned long long value = 0;
    try {
      value = std::stoull(text, &used, 10);
    } catch (const std::exception&) {
      used = 0;
    }
    if (used == 0 || used != text.size() || text[0] == '-') Fail("standard input: not a decimal number below 2^64");
    return Narrow(TConvert::Base58Encode(value)) + "\n";
  }
  if (o.From == "base58" && o.To == "dec") return std::to_string(TConvert::Base58Decode(ByteString(text))) + "\n";
  if (o.From == "hex" && o.To == "dec") {
    if (text.empty() || text.size() > 32) Fail("standard input: a hexadecimal number of 1 to 32 digits is needed");
    return Narrow(TConvert::BigHexToBigInt(ByteString(text))) + "\n";
  }
  UsageFail("cannot convert " + o.From + " to " + o.To +
            " (byte formats: raw, hex, base64, base64url, base32; numbers: dec to and from base58, hex to dec)");
}

void RunConvert(const TConvertOptions& o) {
  const std::string input = ReadStdin();
  std::string out;
  Guard("standard input", [&] { out = Convert(o, input); });
  std::fwrite(out.data(), 1, out.size(), stdout);
}

struct TRandOptions {
  int Count = 0, Bits = 256;
  std::string Format = "hex", Out;
  bool Force = false;
};

platform::TBytes RandomBytes(int n) {
  platform::TBytes bytes(static_cast<std::size_t>(n));
  if (const platform::HRESULT r = RandomCoreW::TRandomCore::GetRandomBytes(n, bytes.data()); r != 0)
    Fail("the random generator failed (" + std::to_string(r) + ")");
  return bytes;
}

void RunRand(const TRandOptions& o) {
  if (o.Count < 1 || o.Count > (1 << 20)) UsageFail("N must be 1 to 1048576");
  const platform::TBytes bytes = RandomBytes(o.Count);
  TConvert to(o.Format == "hex" ? MiscObj::hexa : MiscObj::base64);
  std::printf("%s\n", Narrow(to.CharToFormat(TConvert::TBytesToString(bytes))).c_str());
}

// A new key: 16, 24 or 32 random bytes, written raw to a file readable by its owner alone, or
// as hexadecimal to standard output.
void RunKeygen(const TRandOptions& o) {
  if (o.Bits != 128 && o.Bits != 192 && o.Bits != 256) UsageFail("--bits must be 128, 192 or 256");
  platform::TSecretBytes key;
  key.Assign(RandomBytes(o.Bits / 8));
  if (IsStdio(o.Out)) {
    std::string hex = EncodeHex(key.Value.data(), key.Value.size());
    std::printf("%s\n", hex.c_str());
    platform::SecureWipe(hex);
    return;
  }
  const mode_t old = ::umask(077);
  TOutput out(o.Out, o.Force);
  Guard(o.Out, [&] { out.Stream().WriteBuffer(key.Value.data(), static_cast<std::int64_t>(key.Value.size())); });
  out.Commit();
  ::umask(old);
}

}  // namespace

void AddConvertCommands(CLI::App& app) {
  auto c = std::make_shared<TConvertOptions>();
  CLI::App* convert = AddSubcommand(app, "convert", "Convert standard input from one text format to another",
                                    "printf 000102030405060708090a0b0c0d0e0f | orvoaes convert --from hex --to base64");
  const auto formats = CLI::IsMember({"raw", "hex", "base64", "base64url", "base32", "dec", "base58"});
  convert->add_option("--from", c->From, "raw, hex, base64, base64url, base32, dec or base58")->required()->check(formats);
  convert->add_option("--to", c->To, "raw, hex, base64, base64url, base32, dec or base58")->required()->check(formats);
  convert->callback([c] { RunConvert(*c); });

  auto r = std::make_shared<TRandOptions>();
  CLI::App* rand = AddSubcommand(app, "rand", "Print N random bytes as hexadecimal or base64", "orvoaes rand 16 --format base64");
  rand->add_option("N", r->Count, "Number of bytes")->required();
  rand->add_option("--format", r->Format, "hex (default) or base64")->check(CLI::IsMember({"hex", "base64"}));
  rand->callback([r] { RunRand(*r); });

  auto k = std::make_shared<TRandOptions>();
  CLI::App* keygen = AddSubcommand(app, "keygen", "Make a random AES key: raw bytes to a file, or hexadecimal to standard output",
                                   "orvoaes keygen --bits 256 -o my.key");
  keygen->add_option("--bits", k->Bits, "128, 192 or 256 (default 256)");
  keygen->add_option("-o,--out", k->Out, "Key file (mode 0600); none: hexadecimal on standard output");
  keygen->add_flag("-f,--force", k->Force, "Replace an existing key file");
  keygen->callback([k] { RunKeygen(*k); });
}

}  // namespace cli
