// One PBKDF2-HMAC derivation timed, for bench/pbkdf2_vs_python.sh:
//   pbkdf2_tool sha1|sha256|sha512 <iterations>
// prints the seconds it took and the first bytes of the key (so both sides can be seen to agree).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/hash/HashFunctions.h"
#include "crypto/hash/KDF.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const Hash::THashKind kind = std::strcmp(argv[1], "sha1") == 0     ? Hash::THashKind::SHA1
                               : std::strcmp(argv[1], "sha512") == 0 ? Hash::THashKind::SHA512
                                                                     : Hash::THashKind::SHA256;
  const auto iterations = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
  const std::vector<std::uint8_t> password = {'c', 'o', 'r', 'r', 'e', 'c', 't', ' ', 'h', 'o', 'r', 's', 'e'};
  const std::vector<std::uint8_t> salt(16, 0x5A);
  std::vector<std::uint8_t> key(32);
  const auto start = std::chrono::steady_clock::now();
  if (Hash::PBKDF2_HMAC(kind, password, salt, iterations, key) != 0) return 1;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.4f %02x%02x%02x%02x %s\n", seconds, key[0], key[1], key[2], key[3],
              Hash::detail::SHA256ChosenName());
  return 0;
}
