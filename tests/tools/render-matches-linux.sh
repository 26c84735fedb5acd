#!/usr/bin/env bash
# Renders the demo's dry signal through brightfall.so natively and through a
# Windows build's brightfall-render.exe under Wine, with its Brightfall.dll and
# with its VST 3 bundle, at Wet/Dry 100 and Sustain 100, each in a process of
# its own (so every instance draws the same noise), once per encoding: 64-bit
# float renders are held to within 1e-9 of the peak, and 16 and 24-bit PCM
# renders must be equal sample for sample, since both builds turn samples into
# integers by one rule.
#
#   render-matches-linux.sh LINUX_BUILD WINDOWS_BUILD ARCH WORKDIR
set -uo pipefail
linux=$1 win=$2 arch=$3 work=$4
root=$(cd "$(dirname "$0")/../.." && pwd)

for f in "$linux/brightfall-render" "$linux/brightfall.so" "$linux/tests/tools/wav_compare"; do
  if [ ! -x "$f" ] && [ ! -f "$f" ]; then
    echo "missing $f: build the Linux module first (make linux)" >&2
    exit 1
  fi
done
rm -rf "$work" && mkdir -p "$work" || exit 1

"$linux/brightfall-render" --quiet --generate-demo "$work/dry.wav" || exit 1
failed=0
for subtype in double pcm16 pcm24; do
  settings=(--wet 100 --sustain 100 --subtype "$subtype" --quiet)
  tolerance=0
  [ "$subtype" = double ] && tolerance=1e-9
  "$linux/brightfall-render" "${settings[@]}" "$work/dry.wav" "$work/linux-$subtype.wav" || exit 1
  for module in Brightfall.dll Brightfall.vst3; do
    "$root/scripts/wine-run" "$arch" "$win/brightfall-render.exe" "${settings[@]}" \
      --plugin "$win/$module" "$work/dry.wav" "$work/$module-$subtype.wav"
    rc=$?
    [ $rc -eq 0 ] || exit $rc  # 77: this machine cannot run $arch programs
    echo "$subtype, $module:"
    "$linux/tests/tools/wav_compare" "$work/linux-$subtype.wav" "$work/$module-$subtype.wav" \
      "$tolerance" || failed=1
  done
done
exit $failed
