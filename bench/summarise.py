#!/usr/bin/env python3
"""Reads dsp_bench's or multi_instance_bench's JSON output (run with
--benchmark_repetitions) from the files named on the command line, or from
stdin, and prints the best repetition
of every figure across all of them: the shortest time and the highest
real-time factor. On a machine shared with other work, interference
only ever makes a figure worse, so the best of several runs is the closest to
what the code does; ratios are computed from those best figures."""
import json
import sys
from collections import defaultdict

best = defaultdict(dict)
runs = [json.load(open(name)) for name in sys.argv[1:]] or [json.load(sys.stdin)]
for b in (b for run in runs for b in run["benchmarks"]):
    if b.get("run_type") == "aggregate":
        continue
    kind, _, arg = b.get("run_name", b["name"]).partition("/")
    figures = best[(kind, arg)]
    for key, value in b.items():
        if not isinstance(value, (int, float)) or key in ("iterations", "repetitions",
                                                           "repetition_index", "threads"):
            continue
        keep = max if key.endswith("_rtf") else min
        if "_vs_" in key:  # the lowest in-run ratio of any repetition, for the brackets
            key = "lowest_" + key
        figures[key] = keep(figures.get(key, value), value)

for (kind, arg), f in best.items():
    if kind == "BM_FFTPair":
        print(f"FFT pair N={arg:>4}: ours {f['ours_us']:7.3f} us | FFTW measure {f['fftw_measure_us']:7.3f} us"
              f" (ours/FFTW {f['ours_us'] / f['fftw_measure_us']:.2f}) | FFTW estimate"
              f" {f['fftw_estimate_us']:7.3f} us (ours/FFTW {f['ours_us'] / f['fftw_estimate_us']:.2f})")
    elif kind == "BM_Engine":
        print(f"engine block {arg:>4}: rtf ours {f['ours_rtf']:6.1f} FFTW {f['fftw_rtf']:6.1f}"
              f" ratio {f['ours_rtf'] / f['fftw_rtf']:.2f} | period call median/max ours"
              f" {f['ours_period_median_ms']:.3f}/{f['ours_period_max_ms']:.3f} ms FFTW"
              f" {f['fftw_period_median_ms']:.3f}/{f['fftw_period_max_ms']:.3f} ms | p99.9 call ours"
              f" {f['ours_p999_pct']:5.1f}% FFTW {f['fftw_p999_pct']:5.1f}% | worst call ours"
              f" {f['ours_max_call_pct']:5.1f}% FFTW {f['fftw_max_call_pct']:5.1f}% of block")
    elif kind == "BM_TailSchedule":
        print(f"tail schedule block {arg:>4}: rtf spread {f['spread_rtf']:6.1f} at period end"
              f" {f['atend_rtf']:6.1f} (spread/at end {f['spread_rtf'] / f['atend_rtf']:.2f}) | worst"
              f" call spread {f['spread_max_call_pct']:5.1f}% at period end"
              f" {f['atend_max_call_pct']:5.1f}% | p99.9 {f['spread_p999_pct']:5.1f}% /"
              f" {f['atend_p999_pct']:5.1f}% of block")
    elif kind == "BM_SetSustain":
        print(f"setSustain(1.0): ours {f['ours_ms']:.3f} ms ({f['ours_of_128_block_pct']:.0f}% of a"
              f" 128-sample block, {f['ours_of_256_block_pct']:.0f}% of 256) | FFTW {f['fftw_ms']:.3f} ms")
    elif kind == "BM_MultiInstance":
        n, block = (int(part.partition(":")[2]) for part in arg.split("/"))
        alone = (f" | N={n} / alone {f['ours_rtf'] / f['alone_rtf']:.2f}"
                 f" ({f['lowest_ours_vs_ours_alone']:.2f})" if "alone_rtf" in f else "")
        print(f"instances {n:>2} block {block:>4}: rtf per instance ours {f['ours_rtf']:6.1f}"
              f" FFTW {f['fftw_rtf']:6.1f} zita {f['zita_rtf']:6.1f} | ours/FFTW"
              f" {f['ours_rtf'] / f['fftw_rtf']:.2f} ({f['lowest_ours_vs_fftw']:.2f}) ours/zita"
              f" {f['ours_rtf'] / f['zita_rtf']:.2f} ({f['lowest_ours_vs_zita']:.2f}){alone} |"
              f" ours p99.9 {f['ours_p999_pct']:5.1f}% worst {f['ours_max_call_pct']:5.1f}% of block")
    elif kind == "BM_InstancesAgainstAlone":
        n, block, sustain = (int(part.partition(":")[2]) for part in arg.split("/"))
        print(f"instances {n:>2} block {block:>4} response {sustain * 128:>6}: rtf per instance ours"
              f" {f['ours_rtf']:6.1f} alone {f['alone_rtf']:6.1f} N / alone"
              f" {f['ours_rtf'] / f['alone_rtf']:.2f} ({f['lowest_ours_vs_ours_alone']:.2f}) |"
              f" FFTW {f['fftw_rtf']:6.1f} alone {f['fftw_alone_rtf']:6.1f} N / alone"
              f" {f['fftw_rtf'] / f['fftw_alone_rtf']:.2f} ({f['lowest_fftw_vs_fftw_alone']:.2f})")
engine = next((f for (kind, _), f in best.items() if kind == "BM_Engine"), None)
if engine:
    print(f"memory per instance: heap {engine['heap_MB']:.2f} MB + object {engine['object_MB']:.2f} MB")
