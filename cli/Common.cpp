#include "Common.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "crypto/support/RandomCoreW.h"
#include "crypto/support/error.h"
#include "crypto/support/errorlist.h"
#include "platform/SysUtils.h"

namespace cli {

void Fail(const std::string& message) { throw TFailure(message, kExitFailed); }
void UsageFail(const std::string& message) { throw TFailure(message, kExitUsage); }
void AuthFail(const std::string& message) { throw TFailure(message, kExitAuthFailed); }

namespace {
std::string CatalogueText(platform::Integer status) {
  std::string text = platform::ToUTF8String(error::GetErrorMessage(status));
  const std::string prefix = "Error: ";
  if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  return text;
}
}  // namespace

void FailStatus(const std::string& what, platform::Integer status) {
  // A short write has no text of its own: the system's reason says what happened (a full disk,
  // a file-size limit), when the caller cleared errno before the call.
  if (status == error::kShortWrite)
    Fail(what + ": " + (errno != 0 ? std::strerror(errno) : "a write failed") + " (" + std::to_string(status) + ")");
  Fail(what + ": " + CatalogueText(status) + " (" + std::to_string(status) + ")");
}

std::string DescribeLibraryError(const std::exception& e) {
  const auto* operation = dynamic_cast<const errorlist::ESelvane*>(&e);
  if (operation == nullptr || operation->Code() == 0) return e.what();
  return std::string(e.what()) + " (" + CatalogueText(operation->Code()) + ")";
}

void AddCommonOptions(CLI::App& sub, TCommonOptions& common, bool withForce) {
  sub.add_flag("-q,--quiet", common.Quiet, "No progress bar");
  if (withForce) sub.add_flag("-f,--force", common.Force, "Replace an existing output file");
}

CLI::App* AddSubcommand(CLI::App& app, const std::string& name, const std::string& description,
                        const std::string& example) {
  CLI::App* sub = app.add_subcommand(name, description);
  sub->footer("Example:\n  " + example +
              "\n\nExit status: 0 success, 1 failed operation, 2 wrong usage, 3 authentication failed,"
              " 130 interrupted.");
  sub->set_version_flag("--version", std::string("orvoaes ") + ORVOAES_VERSION);
  return sub;
}

namespace {

// "16, 24 or 32" from {16, 24, 32}; with twice, the hexadecimal digits of those sizes.
std::string SizeList(std::initializer_list<std::size_t> sizes, std::size_t factor) {
  std::string text;
  std::size_t i = 0;
  for (std::size_t n : sizes) {
    if (i > 0) text += (i + 1 == sizes.size()) ? " or " : ", ";
    text += std::to_string(n * factor);
    ++i;
  }
  return text;
}

}  // namespace

void AddKeyOptions(CLI::App& sub, TKeyOptions& key, std::initializer_list<std::size_t> sizes) {
  auto* hex = sub.add_option("-K,--key", key.Hex, "Key as hexadecimal (" + SizeList(sizes, 2) + " digits)");
  auto* file = sub.add_option("--key-file", key.File, "Key as a file of " + SizeList(sizes, 1) + " raw bytes");
  auto* text = sub.add_option("--key-text", key.Text, "Key as text of " + SizeList(sizes, 1) + " UTF-8 bytes");
  hex->excludes(file)->excludes(text);
  file->excludes(text);
}

void AddKeyedIOOptions(CLI::App& sub, TKeyedIOOptions& o, bool withOutput, const std::string& outHelp,
                       std::initializer_list<std::size_t> keySizes) {
  sub.add_option("input", o.In, "Input file (- or none: standard input)");
  if (withOutput) sub.add_option("-o,--out", o.Out, outHelp);
  AddKeyOptions(sub, o.Key, keySizes);
  AddCommonOptions(sub, o.Common, withOutput);
}

void LoadKey(TKeyOptions& key, platform::TSecretBytes& bytes, std::initializer_list<std::size_t> sizes) {
  if (!key.Hex.empty()) {
    bytes.Assign(DecodeHex(key.Hex, "the key"));
  } else if (!key.File.empty()) {
    bytes.Assign(ReadSmallFile(key.File, 64));
  } else if (!key.Text.empty()) {
    bytes.Assign(platform::TBytes(key.Text.begin(), key.Text.end()));
  } else {
    UsageFail("a key is required: -K HEX, --key-file FILE or --key-text TEXT");
  }
  platform::SecureWipe(key.Hex);
  platform::SecureWipe(key.Text);
  const std::size_t n = bytes.Value.size();
  if (std::find(sizes.begin(), sizes.end(), n) == sizes.end()) {
    std::string list;
    for (const std::size_t s : sizes) list += (list.empty() ? "" : s == *(sizes.end() - 1) ? " or " : ", ") + std::to_string(s);
    UsageFail("the key must be " + list + " bytes long (it has " + std::to_string(n) + ")");
  }
}

platform::TBytes RandomBytes(std::size_t n) {
  platform::TBytes bytes(n);
  if (n != 0 && RandomCoreW::TRandomCore::GetRandomBytes(static_cast<platform::Integer>(n), bytes.data()) != 0)
    Fail("the random generator failed");
  return bytes;
}

platform::TBytes DecodeHex(const std::string& text, const std::string& what) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) UsageFail(what + " must be an even number of hexadecimal digits");
  platform::TBytes out(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = digit(text[2 * i]), lo = digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) {
      platform::SecureWipe(out);
      UsageFail(what + " holds a character that is not a hexadecimal digit");
    }
    out[i] = static_cast<std::uint8_t>(hi << 4 | lo);
  }
  return out;
}

std::string EncodeHex(const std::uint8_t* data, std::size_t n, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string out;
  out.reserve(2 * n);
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}

platform::TBytes ReadSmallFile(const std::string& path, std::size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) Fail(path + ": " + std::strerror(errno));
  platform::TBytes out(limit + 1);
  std::size_t got = 0;
  for (;;) {
    const ssize_t r = ::read(fd, out.data() + got, out.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      const int e = errno;
      ::close(fd);
      platform::SecureWipe(out);
      Fail(path + ": " + std::strerror(e));
    }
    if (r == 0 || (got += static_cast<std::size_t>(r)) == out.size()) break;
  }
  ::close(fd);
  if (got > limit) {
    platform::SecureWipe(out);
    Fail(path + ": the file is too long (at most " + std::to_string(limit) + " bytes)");
  }
  out.resize(got);
  return out;
}

}  // namespace cli
