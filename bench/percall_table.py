#!/usr/bin/env python3
"""Table of bench/percall/PerCallBench.cpp's JSON output: per row the median CPU time of every
library (ns per call), the best peer and ours over it; cycles per byte for the GCM throughput rows.

  build/bench/bench/aes_percall_bench --benchmark_repetitions=5 --benchmark_min_time=0.05 \
      --benchmark_report_aggregates_only=true --benchmark_out=percall.json --benchmark_out_format=json
  bench/percall_table.py percall.json [before.json]

With a second file (an earlier run) each row shows that run's ours beside this one's."""
import json
import sys


def medians(path):
    rows = {}
    for b in json.load(open(path))["benchmarks"]:
        if b.get("aggregate_name", "median") != "median" or b.get("error_occurred"):
            continue
        row, who = b["run_name"].rsplit("/", 1)
        value = b["cycles_per_byte"] if "cycles_per_byte" in b else b["cpu_time"]
        rows.setdefault(row, {})[who] = value
    return rows


def main():
    now = medians(sys.argv[1])
    before = medians(sys.argv[2]) if len(sys.argv) > 2 else None
    peers = ["OpenSSL", "Botan", "Cryptopp", "Sodium"]
    head = ["row"] + (["ours before"] if before else []) + ["ours"] + peers + ["best peer", "ours/best"]
    print("| " + " | ".join(head) + " |")
    print("|" + "---|" * len(head))
    for row, v in now.items():
        cells = [row]
        if before:
            cells.append("%.1f" % before[row]["Ours"] if row in before and "Ours" in before[row] else "")
        f = "%.3f" if row.endswith("_cpb") else "%.1f"
        if before:
            cells[-1] = f % before[row]["Ours"] if row in before and "Ours" in before[row] else ""
        cells.append(f % v.get("Ours", float("nan")))
        cells += [f % v[p] if p in v else "" for p in peers]
        present = [(v[p], p) for p in peers if p in v]
        best = min(present) if present else None
        cells.append(("%s " + f) % (best[1], best[0]) if best else "")
        cells.append("%.2f" % (v["Ours"] / best[0]) if best and "Ours" in v else "")
        print("| " + " | ".join(cells) + " |")


main()
