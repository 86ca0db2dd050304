// Chunked encryption of 1 MiB beside TAESKey::GCM_Seal of the same 1 MiB (key set once), the two
// calls alternating, each timed alone in thread CPU time:
//   chunked_ratio [rounds]        (default 1000; the kernel is ORVOAES_KERNEL's choice)
// For each suite it prints the 10th percentile and the median of both, the ratio GCM_Seal /
// chunked of each (the "at least 0.95x"), and the empty message (a message's fixed cost).
// Alternating call by call puts both under the same load, which on a shared machine moves the
// ratio far less than timing one after the other as Google Benchmark does.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>
#include <vector>

#include "crypto/engine/AESChunked.h"
#include "crypto/engine/AESKeyed.h"
#include "crypto/engine/kernel/AESKernel.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

double CpuNanoseconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

struct TTimes {
  std::vector<double> Samples;
  double At(double q) {
    std::sort(Samples.begin(), Samples.end());
    return Samples[static_cast<std::size_t>(q * static_cast<double>(Samples.size() - 1))];
  }
};

template <class F>
void Time(TTimes& into, int reps, F&& f) {
  const double start = CpuNanoseconds();
  for (int i = 0; i < reps; ++i) f();
  into.Samples.push_back((CpuNanoseconds() - start) / reps);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
  constexpr std::size_t kSize = std::size_t{1} << 20;
  const Bytes key(32, 0x2B), salt(24, 0x11), iv(12, 0x5A);
  Bytes plain(kSize), cipher(AESChunked::CipherBytes(kSize)), sealed(kSize), tag(16), empty(AESChunked::CipherBytes(0));
  for (std::size_t i = 0; i < kSize; ++i) plain[i] = static_cast<std::uint8_t>(i * 131 + (i >> 9));
  const std::string_view kernel = AESModes::kernel::KernelName(AESModes::kernel::TExpandedKey().Id());
  std::printf("kernel %.*s, %d rounds, thread CPU time in ns\n", static_cast<int>(kernel.size()), kernel.data(), rounds);
  std::printf("%-8s %12s %12s %12s %12s %8s %8s %10s\n", "suite", "chunked p10", "seal p10", "chunked med",
              "seal med", "p10", "med", "empty med");
  for (const std::size_t keyBytes : {16u, 32u}) {
    const AESChunked::TParams params{
        keyBytes == 16 ? AESChunked::TSuite::Cobblestone128 : AESChunked::TSuite::Cobblestone256,
        std::span(key).first(keyBytes), {}};
    AESKeyed::TAESKey keyed;
    if (keyed.SetKey(std::span(key).first(keyBytes)) != 0) return 1;
    TTimes chunked, seal, fixed;
    bool ok = true;
    for (int r = 0; r < rounds; ++r) {
      Time(chunked, 1, [&] { ok &= AESChunked::Encrypt(params, plain, cipher, salt) == 0; });
      Time(seal, 1, [&] { ok &= keyed.GCM_Seal(iv, {}, plain, sealed, tag) == 0; });
      Time(fixed, 20, [&] { ok &= AESChunked::Encrypt(params, {}, empty, salt) == 0; });
    }
    if (!ok) return 1;
    const double c10 = chunked.At(0.1), s10 = seal.At(0.1), c50 = chunked.At(0.5), s50 = seal.At(0.5);
    std::printf("AES-%-4zu %12.0f %12.0f %12.0f %12.0f %8.3f %8.3f %10.0f\n", keyBytes * 8, c10, s10, c50, s50,
                s10 / c10, s50 / c50, fixed.At(0.5));
  }
  return 0;
}
