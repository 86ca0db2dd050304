// GCM_EncryptFile alone on the file named by the first argument (empty additional data, fixed
// key and IV), for bench/gcm_peak_memory.sh. The output and tag files are created beside it.
#include <cstdio>
#include <fstream>
#include <string>

#include "crypto/engine/AESModes.h"
#include "platform/SysUtils.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s input-file\n", argv[0]);
    return 2;
  }
  const std::string in = argv[1];
  for (const std::string& f : {in + ".aad", in + ".gcm", in + ".tag"}) std::ofstream(f, std::ios::binary);
  const platform::TBytes key(32, 0x2B), iv(12, 0x5A);
  const auto u = [](const std::string& s) { return platform::FromUTF8(s); };
  const int st = AESModes::TAESModes().GCM_EncryptFile(u(in), u(in + ".aad"), u(in + ".gcm"), key, 256, iv, 96,
                                                       u(in + ".tag"), 128);
  if (st != 0) std::fprintf(stderr, "GCM_EncryptFile: %d\n", st);
  return st == 0 ? 0 : 1;
}
