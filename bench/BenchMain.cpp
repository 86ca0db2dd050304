// Entry point of the benchmarks (in place of BENCHMARK_MAIN()): runs them, then prints, for
// every benchmark named "Ours/<case>" with a peer "OpenSSL/<case>", how many times faster the
// peer is.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

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
        (owner == "OpenSSL" ? FPeer : FOurs)[rest] = it->second.value;
      }
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-40s %12s %12s %8s\n", "case", "ours MB/s", "OpenSSL MB/s", "ratio");
    for (const auto& [name, ours] : FOurs) {
      const auto peer = FPeer.find(name);
      if (peer == FPeer.end()) continue;
      std::printf("%-40s %12.1f %12.1f %7.1fx\n", name.c_str(), ours / 1e6, peer->second / 1e6, peer->second / ours);
    }
  }

 private:
  std::map<std::string, double> FOurs, FPeer;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
