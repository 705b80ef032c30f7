#!/usr/bin/env bash
# Makes the demo song and its lyrics in the folder given: each line of
# demo_lines.txt (language TAB text) spoken by espeak-ng, with pauses between the
# lines, over a soft two-tone bed; encoded as 44.1 kHz stereo MP3 by lame.
# Writes demo.mp3 and demo.txt (UTF-8, one lyric line per line).
set -euo pipefail
out=${1:?usage: make_demo.sh OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

parts=()
: > "$work/demo.txt"
sox -n -r 44100 -c 1 "$work/pause.wav" trim 0 1.2
parts+=("$work/pause.wav")
n=0
while IFS=$'\t' read -r lang text; do
    [ -z "$text" ] && continue
    n=$((n + 1))
    case "$lang" in zh) voice=cmn ;; *) voice=en ;; esac
    espeak-ng -v "$voice" -s 140 -w "$work/raw$n.wav" "$text"
    sox "$work/raw$n.wav" -r 44100 -c 1 "$work/line$n.wav"
    parts+=("$work/line$n.wav" "$work/pause.wav")
    printf '%s\n' "$text" >> "$work/demo.txt"
done < "$here/demo_lines.txt"

sox "${parts[@]}" "$work/voice.wav"
length=$(soxi -D "$work/voice.wav")
sox -n -r 44100 -c 1 "$work/bed.wav" synth "$length" sine 220 sine 330 vol 0.06 fade 1 "$length" 1
sox -m -v 0.9 "$work/voice.wav" -v 1 "$work/bed.wav" -c 2 "$work/song.wav" norm -3
lame --quiet -b 128 "$work/song.wav" "$work/demo.mp3"
mv "$work/demo.mp3" "$out/demo.mp3"
mv "$work/demo.txt" "$out/demo.txt"
