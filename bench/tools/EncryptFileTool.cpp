// aes_encrypt_file <input> <output>: the component's EncryptFileW with the program's settings,
// for measuring the peak memory of the file operation from outside (bench/peak_memory.sh).
#include <cstdio>

#include "crypto/component/AESObj.h"
#include "platform/SysUtils.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: aes_encrypt_file <input> <output>\n");
    return 2;
  }
  try {
    AESObj::TAESEncryption c;
    c.SetKeyLength(AESObj::kl256);
    c.SetKey(u"3a5c7e2b4d6f1a3c5e7b2d4f6a1c3e5b");
    c.SetInputFormat(MiscObj::hexa);
    c.EncryptFileW(platform::FromUTF8(argv[1]), platform::FromUTF8(argv[2]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
