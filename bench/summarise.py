#!/usr/bin/env python3
"""Prints dsp_bench's JSON output (stdin) as a table: our figure beside the
FFTW reference's and the ratio, for every benchmark pair."""
import json
import sys

runs = {}
for b in json.load(sys.stdin)["benchmarks"]:
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    name = b["run_name"] if "run_name" in b else b["name"]
    kind, _, arg = name.partition("/")
    runs.setdefault(kind, {})[arg.replace("/real_time", "")] = b


def fmt(v):
    return f"{v:10.3f}" if isinstance(v, float) else f"{v:>10}"


for base in ("FFTPair", "Engine", "SetSustain"):
    ours, ref = runs.get(f"BM_{base}_Ours", {}), runs.get(f"BM_{base}_FFTW", {})
    for arg in ours:
        o, r = ours[arg], ref.get(arg, {})
        if base == "FFTPair":
            e = runs.get("BM_FFTPair_FFTWEstimate", {}).get(arg, {})
            oo, rr = o["real_time"] / 1e3, r.get("real_time", float("nan")) / 1e3
            ee = e.get("real_time", float("nan")) / 1e3
            print(f"FFT pair N={arg:5}: ours {oo:7.3f} us  FFTW(measure) {rr:7.3f} us  ratio {oo / rr:4.2f}"
                  f"  | FFTW(estimate) {ee:7.3f} us  ratio {oo / ee:4.2f}")
        elif base == "Engine":
            print(f"engine block {arg:5}: rtf ours {o['rtf']:7.1f}  FFTW {r['rtf']:7.1f}  "
                  f"ratio {o['rtf'] / r['rtf']:5.2f}  | period call median {o['period_call_median_ms']:.3f} ms "
                  f"max {o['period_call_max_ms']:.3f} ms (FFTW {r['period_call_median_ms']:.3f}/{r['period_call_max_ms']:.3f})"
                  f"  p99.9 {o['p999_call_pct']:5.1f}% of block (FFTW {r['p999_call_pct']:5.1f}%)"
                  + (f"  heap {o['heap_MB']:.2f} MB object {o['object_MB']:.2f} MB" if 'heap_MB' in o else ""))
        else:
            print(f"setSustain(1.0): ours {o['ms']:.3f} ms  FFTW {r['ms']:.3f} ms  "
                  f"(ours {o['of_128_block_pct']:.0f}% of a 128-sample block, {o['of_256_block_pct']:.0f}% of 256)")
