#!/usr/bin/env bash
# Start-up to the first frame, offscreen: a bound program that shows one form and ends in
# its first paint (bench/windowed/first_frame.tasm) against a minimal Qt Widgets program
# doing the same (first_frame_qt.cpp), and a console hello; all measured in one hyperfine
# run, taking turns. Usage: bench/first_frame.sh [BUILD-DIR] (default build).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target tavrin tavrin-visual tavrin-bench-first-frame-qt >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/tavrin" asm "$root/bench/windowed/first_frame.tasm" -o "$work/first_frame"
"$build/tavrin" asm "$root/examples/hello.tasm" -o "$work/hello"
export QT_QPA_PLATFORM=offscreen QT_QPA_PLATFORMTHEME= QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1
export XDG_RUNTIME_DIR="$work" TAVRIN_VISUAL="$build/tavrin-visual.so"
# Each must end by itself in its first paint, quietly, with status 0.
for p in "$work/first_frame" "$build/tavrin-bench-first-frame-qt"; do
  out=$(timeout 20 "$p" 2>&1) || { echo "$p failed: $out"; exit 1; }
  [ -z "$out" ] || { echo "$p printed: $out"; exit 1; }
done
hyperfine -N -w 3 -r "${RUNS:-30}" --export-json "$work/times.json" \
  "$work/first_frame" "$build/tavrin-bench-first-frame-qt" "$work/hello" >&2
python3 - "$work/times.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
m = [x["median"] * 1000 for x in r]
print(f"first frame: tavrin {m[0]:.1f} ms, Qt C++ {m[1]:.1f} ms, ratio {m[0] / m[1]:.2f}; console hello {m[2]:.2f} ms")
PY
