// Shared pieces of the GCM tests: the known-answer records of tests/data/gcm.vec and the engine.
#pragma once

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "GCMOracle.h"
#include "crypto/engine/AESModes.h"

namespace gcm_test {

using testing_support::Bytes;
using testing_support::FromHex;

struct Vector {
  Bytes Key, IV, AAD, Plain, Cipher, Tag;
};

// Records of "Name = hex" lines separated by blank lines; '#' lines are comments.
inline std::vector<Vector> LoadVectors(const std::string& file) {
  std::ifstream in(std::string(AES_TEST_DATA_DIR) + "/" + file);
  std::vector<Vector> out;
  std::map<std::string, Bytes> rec;
  auto flush = [&] {
    if (rec.empty()) return;
    out.push_back({rec["Key"], rec["IV"], rec["AAD"], rec["Plaintext"], rec["Ciphertext"], rec["Tag"]});
    rec.clear();
  };
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) {
      flush();
      continue;
    }
    if (line[0] == '#') continue;
    const auto eq = line.find(" = ");
    const std::string value = eq == std::string::npos ? "" : line.substr(eq + 3);
    rec[line.substr(0, line.find(' '))] = FromHex(value);
  }
  flush();
  return out;
}

inline platform::Integer Bits(const Bytes& b) { return static_cast<platform::Integer>(8 * b.size()); }

inline Bytes Take(const Bytes& b, std::size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }

// The first 16 bytes of b as a block (zeros where b is shorter).
inline platform::TCharArray16 Block(const Bytes& b) {
  platform::TCharArray16 a{};
  std::copy_n(b.begin(), std::min<std::size_t>(16, b.size()), a.begin());
  return a;
}

}  // namespace gcm_test
