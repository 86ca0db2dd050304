// Entry point of the benchmarks (in place of BENCHMARK_MAIN()): prints the kernel this process
// chose, runs them, then prints, for every benchmark named "Ours/<case>" or "Ours/<case>@<kernel>"
// with a peer "OpenSSL/<case>", our throughput as a multiple of the peer's (above 1: we are
// faster), and EncryptStream's time over the raw ECB kernel's on the same 64 MiB.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

#include "crypto/engine/kernel/KernelDispatch.h"

namespace {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration && run.aggregate_name != "mean") continue;
      const auto it = run.counters.find("bytes_per_second");
      if (it == run.counters.end()) continue;
      std::string name = run.benchmark_name();
      if (const auto slash = name.find('/'); slash != std::string::npos) {
        const std::string owner = name.substr(0, slash);
        std::string rest = name.substr(slash + 1);
        if (const auto extra = rest.find("/min_time"); extra != std::string::npos) rest.erase(extra);
        if (const auto extra = rest.find("/iterations"); extra != std::string::npos) rest.erase(extra);
        (owner == "OpenSSL" ? FPeer : owner == "Kernel" ? FKernel : FOurs)[rest] = it->second.value;
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-40s %12s %12s %12s\n", "case@kernel", "ours MB/s", "OpenSSL MB/s", "ours/OpenSSL");
    for (const auto& [name, ours] : FOurs) {
      const auto peer = FPeer.find(name.substr(0, name.find('@')));
      if (peer == FPeer.end()) continue;
      std::printf("%-40s %12.1f %12.1f %11.2fx\n", name.c_str(), ours / 1e6, peer->second / 1e6, ours / peer->second);
    }
    const auto stream = FOurs.find("EncryptStream_ECB128_64MiB"), raw = FKernel.find("RawECB128_64MiB");
    if (stream != FOurs.end() && raw != FKernel.end())
      std::printf("\nEncryptStream over 64 MiB takes %.2fx the time of the raw ECB kernel\n", raw->second / stream->second);
    const auto reused = FKernel.find("EncryptStreamReusedOutput_ECB128_64MiB");
    if (reused != FKernel.end() && raw != FKernel.end())
      std::printf("EncryptStream into an output stream already of its size: %.2fx the raw ECB kernel's time\n",
                  raw->second / reused->second);
  }

 private:
  std::map<std::string, double> FOurs, FPeer, FKernel;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("Kernel chosen for this process: %s (ORVOAES_KERNEL forces one)\n",
              std::string(AESModes::kernel::KernelName(AESModes::kernel::ChosenKernel())).c_str());
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
