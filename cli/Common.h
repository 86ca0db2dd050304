// Shared pieces of the orvoaes subcommands: exit statuses, failures, options every subcommand
// has, and the key and IV options.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include "platform/Memory.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

namespace cli {

// Exit statuses, documented in the README and in --help.
inline constexpr int kExitOK = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAuthFailed = 3;   // GCM tag, CMAC verification, wrong passphrase, key unwrap
inline constexpr int kExitInterrupted = 130;

// A failure the subcommand reports: the message (which names the file and never quotes a key)
// and the exit status.
class TFailure : public std::runtime_error {
 public:
  TFailure(const std::string& message, int status) : std::runtime_error(message), FStatus(status) {}
  int Status() const noexcept { return FStatus; }

 private:
  int FStatus;
};
[[noreturn]] void Fail(const std::string& message);
[[noreturn]] void UsageFail(const std::string& message);
[[noreturn]] void AuthFail(const std::string& message);
// A library status (negative) as a failure: "<what>: <catalogue text> (<code>)"; a short write
// (-213) gives the system's reason instead (errno, cleared by the caller before the call).
[[noreturn]] void FailStatus(const std::string& what, platform::Integer status);
// The catalogue text of an exception's "Invalid Operation : <code>" message added to it.
std::string DescribeLibraryError(const std::exception& e);

// Options of every subcommand: --quiet silences the progress bar, --force lets an existing
// output be replaced.
struct TCommonOptions {
  bool Quiet = false;
  bool Force = false;
};
void AddCommonOptions(CLI::App& sub, TCommonOptions& common, bool withForce = true);
// --help footer and --version for a subcommand.
CLI::App* AddSubcommand(CLI::App& app, const std::string& name, const std::string& description,
                        const std::string& example);

// -K HEX, --key-file FILE (raw bytes) or --key-text TEXT (the component's key text: its
// characters as UTF-8). Exactly one is required.
struct TKeyOptions {
  std::string Hex, File, Text;
};
// The help texts name the key sizes the subcommand takes.
void AddKeyOptions(CLI::App& sub, TKeyOptions& key, std::initializer_list<std::size_t> sizes = {16, 24, 32});
// The key bytes (one of sizes, by default 16, 24 or 32), wiped when the holder goes; the option
// strings are wiped too.
void LoadKey(TKeyOptions& key, platform::TSecretBytes& bytes, std::initializer_list<std::size_t> sizes = {16, 24, 32});

// What the keyed subcommands over one input share: the input and output ("-" or nothing: the
// standard streams), the key, --quiet and --force.
struct TKeyedIOOptions {
  TCommonOptions Common;
  TKeyOptions Key;
  std::string In = "-", Out;
};
// Adds the positional input, -o with outHelp (none and no --force for a subcommand that prints
// its result: withOutput false), the key options, --quiet and --force.
void AddKeyedIOOptions(CLI::App& sub, TKeyedIOOptions& o, bool withOutput = true,
                       const std::string& outHelp = "Output file (- or none: standard output)",
                       std::initializer_list<std::size_t> keySizes = {16, 24, 32});

// Bytes from hexadecimal text (either case); the message names only what, never the text.
platform::TBytes DecodeHex(const std::string& text, const std::string& what);
std::string EncodeHex(const std::uint8_t* data, std::size_t n, bool upper = false);
// n bytes from the library's random source (a nonce or IV to draw); fails when it fails.
platform::TBytes RandomBytes(std::size_t n);
// Reads a whole small file (key files, tag files); fails naming the file.
platform::TBytes ReadSmallFile(const std::string& path, std::size_t limit);

}  // namespace cli

namespace cli {

// Runs a library call, turning what it raises into a failure that names what (a file): a
// cancel through the progress callback becomes the interrupted status, the operation error
// gets its catalogue text.
template <class F>
void Guard(const std::string& what, F&& f) {
  try {
    f();
  } catch (const TFailure&) {
    throw;
  } catch (const platform::EAbort&) {
    throw TFailure("interrupted", kExitInterrupted);
  } catch (const std::exception& e) {
    Fail(what + ": " + DescribeLibraryError(e));
  }
}

// The subcommand families.
void AddStreamCommands(CLI::App& app);
void AddGCMCommands(CLI::App& app);
void AddChunkedCommands(CLI::App& app);
void AddSealCommands(CLI::App& app);
void AddMacCommands(CLI::App& app);
void AddConvertCommands(CLI::App& app);
void AddAEADCommands(CLI::App& app);
void AddWrapCommands(CLI::App& app);
// enc/dec --mode xts (XTSCommands.cpp): the whole input one data unit under the tweak, or with a
// sector size whole sectors numbered from the tweak's value.
void RunXTS(bool encrypt, TKeyOptions& key, const std::string& in, const std::string& out, const std::string& tweakHex,
            std::int64_t sectorSize, const TCommonOptions& common);

}  // namespace cli
