#!/usr/bin/env python3
"""Reads dsp_bench's JSON output on stdin and prints its figures as a table.
With repetitions, the median of each figure is used."""
import json
import sys

runs = {}
for b in json.load(sys.stdin)["benchmarks"]:
    if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
        continue
    kind, _, arg = b.get("run_name", b["name"]).partition("/")
    runs.setdefault(kind, {})[arg] = b

for arg, b in runs.get("BM_FFTPair", {}).items():
    print(f"FFT pair N={arg:>4}: ours {b['ours_us']:7.3f} us | FFTW measure {b['fftw_measure_us']:7.3f} us"
          f" (ours/FFTW {b['ratio_vs_measure']:.2f}) | FFTW estimate {b['fftw_estimate_us']:7.3f} us"
          f" (ours/FFTW {b['ratio_vs_estimate']:.2f})")
for arg, b in runs.get("BM_Engine", {}).items():
    print(f"engine block {arg:>4}: rtf ours {b['ours_rtf']:6.1f} FFTW {b['fftw_rtf']:6.1f}"
          f" ratio {b['rtf_ratio']:.2f} | period call median/max ours {b['ours_period_median_ms']:.3f}/"
          f"{b['ours_period_max_ms']:.3f} ms FFTW {b['fftw_period_median_ms']:.3f}/{b['fftw_period_max_ms']:.3f} ms"
          f" | p99.9 call ours {b['ours_p999_pct']:5.1f}% FFTW {b['fftw_p999_pct']:5.1f}% of block")
for b in runs.get("BM_SetSustain", {}).values():
    print(f"setSustain(1.0): ours {b['ours_ms']:.3f} ms ({b['ours_of_128_block_pct']:.0f}% of a 128-sample"
          f" block, {b['ours_of_256_block_pct']:.0f}% of 256) | FFTW {b['fftw_ms']:.3f} ms")
engine = next(iter(runs.get("BM_Engine", {}).values()), None)
if engine:
    print(f"memory per instance: heap {engine['heap_MB']:.2f} MB + object {engine['object_MB']:.2f} MB")
