// file_vs_evp <ecb|gcm> <engine|evp> <input> <output> [piece-bytes] [fsync|fdatasync]
// One path-file encryption, timed from outside by bench/file_vs_evp.sh:
//   engine: TAESModes::EncryptFile (AES-128-ECB, PKCS7) or GCM_EncryptFile (AES-128, 96-bit IV,
//           empty additional data, 128-bit tag), as a caller runs them;
//   evp:    OpenSSL EVP taking the same steps: read in pieces, encrypt, write to a temporary file
//           in the output's folder, flush it (fsync, or fdatasync), rename it over the output
//           (and for GCM the tag likewise).
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/engine/AESModes.h"
#include "platform/SysUtils.h"

namespace {

const unsigned char kKey[16] = {0x2B, 0x7E, 0x15, 0x16, 0x28, 0xAE, 0xD2, 0xA6,
                                0xAB, 0xF7, 0x15, 0x88, 0x09, 0xCF, 0x4F, 0x3C};
const unsigned char kIV[12] = {0xCA, 0xFE, 0xBA, 0xBE, 0xFA, 0xCE, 0xDB, 0xAD, 0xDE, 0xCA, 0xF8, 0x88};

bool WriteAll(int fd, const unsigned char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Writes through a temporary file beside path, flushed and renamed over it at Commit.
struct TTemp {
  std::string Path, Temp;
  int Fd;
  bool DataSync;
  TTemp(std::string path, bool dataSync) : Path(std::move(path)), Temp(Path + ".tmp"), DataSync(dataSync) {
    Fd = ::open(Temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  }
  bool Commit() {
    const bool ok = (DataSync ? ::fdatasync(Fd) : ::fsync(Fd)) == 0;
    ::close(Fd);
    return ok && ::rename(Temp.c_str(), Path.c_str()) == 0;
  }
};

int EVP(bool gcm, const char* in, const char* out, std::size_t piece, bool dataSync) {
  const int fd = ::open(in, O_RDONLY | O_CLOEXEC);
  TTemp o(out, dataSync);
  if (fd < 0 || o.Fd < 0) return 1;
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (gcm) {
    EVP_EncryptInit_ex(ctx, EVP_aes_128_gcm(), nullptr, kKey, kIV);
  } else {
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, kKey, nullptr);
  }
  std::vector<unsigned char> buf(piece), enc(piece + 16);
  int n = 0;
  for (ssize_t r; (r = ::read(fd, buf.data(), piece)) > 0;) {
    EVP_EncryptUpdate(ctx, enc.data(), &n, buf.data(), static_cast<int>(r));
    if (!WriteAll(o.Fd, enc.data(), static_cast<std::size_t>(n))) return 1;
  }
  EVP_EncryptFinal_ex(ctx, enc.data(), &n);
  if (!WriteAll(o.Fd, enc.data(), static_cast<std::size_t>(n))) return 1;
  bool ok = o.Commit();
  if (gcm) {
    unsigned char tag[16];
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, tag);
    TTemp t(std::string(out) + ".tag", dataSync);
    ok = ok && WriteAll(t.Fd, tag, 16) && t.Commit();
  }
  EVP_CIPHER_CTX_free(ctx);
  ::close(fd);
  return ok ? 0 : 1;
}

int Engine(bool gcm, const char* in, const char* out) {
  const auto u = [](const std::string& s) { return platform::FromUTF8(s); };
  const std::string o = out, tag = o + ".tag", aad = o + ".aad";
  for (const std::string& f : {o, tag, aad}) std::ofstream(f, std::ios::binary | std::ios::app);
  const platform::TBytes key(kKey, kKey + 16), iv(kIV, kIV + 12);
  AESModes::TAESModes m;
  const int st = gcm ? m.GCM_EncryptFile(u(in), u(aad), u(o), key, 128, iv, 96, u(tag), 128)
                     : m.EncryptFile(u(in), u(o), key, 128, false, {}, true, 0);
  if (st != 0) std::fprintf(stderr, "status %d\n", st);
  return st == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s <ecb|gcm> <engine|evp> input output [piece-bytes] [fsync|fdatasync]\n", argv[0]);
    return 2;
  }
  const bool gcm = std::string(argv[1]) == "gcm";
  if (std::string(argv[2]) == "engine") return Engine(gcm, argv[3], argv[4]);
  const std::size_t piece = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : (1u << 20);
  return EVP(gcm, argv[3], argv[4], piece, argc > 6 && std::string(argv[6]) == "fdatasync");
}
