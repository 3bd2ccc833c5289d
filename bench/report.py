#!/usr/bin/env python3
"""Runs the kwbench suite once and prints the filter's times as ratios to the raw codec.

Every pair (<Group>/Filter/<case>, <Group>/Raw/<case>) runs in the same process,
repetitions randomly interleaved, and is compared on the median CPU time of its
repetitions. The coefficient of variation (cv) of each side shows the noise.
"""
import argparse
import json
import subprocess
import sys

TARGETS = {"Load": 1.03, "Save": 1.03}
METADATA_LIMIT_US = 20.0


def run(bench, repetitions, min_time, bench_filter):
    cmd = [bench, "--benchmark_format=json", f"--benchmark_repetitions={repetitions}",
           "--benchmark_enable_random_interleaving=true", "--benchmark_report_aggregates_only=true",
           f"--benchmark_min_time={min_time}"]
    if bench_filter:
        cmd.append(f"--benchmark_filter={bench_filter}")
    out = subprocess.run(cmd, check=True, stdout=subprocess.PIPE, text=True).stdout
    return json.loads(out)


def to_ms(entry):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[entry.get("time_unit", "ns")]
    return entry["cpu_time"] * scale


def collect(data):
    medians, cvs, counters = {}, {}, {}
    for b in data["benchmarks"]:
        name = b["run_name"]
        if b.get("aggregate_name") == "median":
            medians[name] = to_ms(b)
            counters[name] = {k: v for k, v in b.items() if k.startswith(("filter_", "jpeg_"))}
        elif b.get("aggregate_name") == "cv":
            cvs[name] = b["cpu_time"]  # a fraction, whatever the unit
    return medians, cvs, counters


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--bench", required=True, help="path of the kwbench program")
    parser.add_argument("--repetitions", type=int, default=9)
    parser.add_argument("--min-time", default="0.2", help="seconds per repetition")
    parser.add_argument("--filter", default="", help="benchmark name pattern")
    parser.add_argument("--json", help="also write the raw JSON here")
    args = parser.parse_args()

    data = run(args.bench, args.repetitions, args.min_time, args.filter)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(data, f, indent=1)
    medians, cvs, counters = collect(data)
    ctx = data.get("context", {})
    print(f"kwbench: {ctx.get('num_cpus')} CPUs, load average {ctx.get('load_avg')}, "
          f"{args.repetitions} repetitions interleaved; medians of CPU time")

    failed = 0
    print(f"\n{'pair':48} {'filter ms':>10} {'raw ms':>10} {'ratio':>7} {'target':>7}  cv filter/raw")
    for name in sorted(medians):
        parts = name.split("/")
        if len(parts) != 3 or parts[1] != "Filter" or parts[0] not in ("Load", "Save", "SaveWhole"):
            continue
        group, _, case = parts
        raw = f"{'Save' if group == 'SaveWhole' else group}/Raw/{case}"
        if raw not in medians:
            continue
        ratio = medians[name] / medians[raw]
        target = TARGETS.get(group)
        verdict = ""
        if target:
            verdict = "ok" if ratio <= target else "OVER"
            failed += ratio > target
        label = f"{group}/{case}"
        print(f"{label:48} {medians[name]:10.3f} {medians[raw]:10.3f} {ratio:7.3f} "
              f"{(f'{target:.2f}' if target else '-'):>7} {verdict:4}  "
              f"{cvs.get(name, 0) * 100:4.1f}%/{cvs.get(raw, 0) * 100:4.1f}%")
    print("  (SaveWhole: storage, rows and EndObject, shown against the raw compression for scale)")

    loads = [n for n in sorted(counters) if n.startswith("Load/Filter/")]
    if loads:
        print(f"\n{'filter-side memory per load':48} {'allocated':>10} {'largest':>10}")
        for n in loads:
            c = counters[n]
            print(f"{n.split('/')[2]:48} {c.get('filter_alloc_bytes', 0):10.0f} {c.get('filter_largest_alloc', 0):10.0f}")

    meta = [n for n in sorted(medians) if n.startswith("Metadata/")]
    if meta:
        print(f"\n{'metadata (from a memory stream)':48} {'us':>10}  limit {METADATA_LIMIT_US:.0f} us for the scan")
        for n in meta:
            us = medians[n] * 1000.0
            verdict = ""
            if n.startswith("Metadata/Scan/"):
                verdict = "ok" if us < METADATA_LIMIT_US else "OVER"
                failed += us >= METADATA_LIMIT_US
            print(f"{n[len('Metadata/'):]:48} {us:10.2f}  {verdict}")

    print(f"\n{failed} over target" if failed else "\nall within target")
    return 0


if __name__ == "__main__":
    sys.exit(main())
