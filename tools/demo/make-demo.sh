#!/usr/bin/env bash
# `make demo`: renders the project's own dry signal through the built
# brightfall.so at three settings with brightfall-render, draws a spectrogram
# of dry against wet with sox, and says where everything is.
#   usage: tools/demo/make-demo.sh BUILD_DIR OUT_DIR
set -euo pipefail

build=${1:?build folder}
out=${2:?output folder}
render="$build/brightfall-render"
mkdir -p "$out"

"$render" --generate-demo "$out/dry.wav"
echo
"$render" "$out/dry.wav" "$out/wet-default.wav"
echo
"$render" "$out/dry.wav" "$out/wet-room.wav" --wet 30 --sustain 15
echo
"$render" "$out/dry.wav" "$out/wet-hall.wav" --wet 45 --sustain 100 --save-state "$out/hall.state" \
    --editor-png "$out/editor.png"

speech=""
if command -v espeak-ng >/dev/null 2>&1; then
    espeak-ng -s 150 -w "$out/speech-dry.wav" \
        "Brightfall is a convolution reverb. This is my voice, dry, and then in the hall."
    echo
    "$render" "$out/speech-dry.wav" "$out/speech-wet.wav" --state "$out/hall.state"
    speech=yes
fi

# Dry on top, the hall below: each file's two channels averaged into one row.
spectrogram="$out/spectrogram.png"
if command -v sox >/dev/null 2>&1; then
    sox -M "$out/dry.wav" "$out/wet-hall.wav" -n remix 1,2 3,4 \
        spectrogram -x 1000 -y 300 -z 100 \
        -t "Brightfall: dry (channel 1) and through the hall, Wet/Dry 45 Sustain 100 (channel 2)" \
        -o "$spectrogram"
else
    spectrogram=""
fi

cat <<LIST

Demo written to $out/:
  dry.wav            the dry signal: drums, plucked strings and a chord, 7 s
  wet-default.wav    through Brightfall at its defaults, Wet/Dry 50 and Sustain 50
  wet-room.wav       a small room: Wet/Dry 30, Sustain 15
  wet-hall.wav       the longest hall: Wet/Dry 45, Sustain 100
  hall.state         the hall's settings, for brightfall-render --state
  editor.png         the editor at the hall's settings
LIST
if [ -n "$speech" ]; then
    echo "  speech-dry.wav     espeak-ng speaking, mono"
    echo "  speech-wet.wav     the same voice in the hall, mono in, stereo out"
fi
if [ -n "$spectrogram" ]; then
    echo "  spectrogram.png    dry against the hall, over time"
else
    echo "  (no spectrogram: sox is not installed)"
fi
