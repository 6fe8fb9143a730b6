#!/usr/bin/env bash
# Runs one program test: assembles NAME.tasm into a bound program, runs it in a fresh
# temporary directory and compares stdout with NAME.out, the exit status with
# NAME.status (default 0) and, when NAME.err exists, requires each of its lines in stderr.
# Optional: NAME.in (stdin), NAME.args (one argument a line), NAME.setup (bash, run in the
# temporary directory first), NAME.env (VAR=value lines), NAME.run (options of
# `tavrin run`, one a line: the program then runs through the tool with them), NAME.drive
# (a driver script: the program runs through the tool with --drive on Qt's offscreen
# platform in a clean environment), NAME.xvfb (with NAME.drive: under xvfb-run on the xcb
# platform instead; exit 77, a skip, when Xvfb is not installed).
# A display of the caller's (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM) never reaches a test
# unless its NAME.env sets one.
set -u
tool=$1
src=$(realpath "$2")
base=${src%.tasm}
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-prog.XXXXXX")
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT

if ! "$tool" asm "$src" -o "$work/prog" 2>"$work/asm.err"; then
  echo "assembly failed:"; cat "$work/asm.err"; exit 1
fi
args=()
if [ -f "$base.args" ]; then
  while IFS= read -r line || [ -n "$line" ]; do args+=("$line"); done <"$base.args"
fi
input=/dev/null
[ -f "$base.in" ] && input="$base.in"
envs=()
if [ -f "$base.env" ]; then
  while IFS= read -r line || [ -n "$line" ]; do [ -n "$line" ] && envs+=("$line"); done <"$base.env"
fi
runner=()
if [ -f "$base.run" ]; then
  runner=("$tool" run)
  while IFS= read -r line || [ -n "$line" ]; do [ -n "$line" ] && runner+=("$line"); done <"$base.run"
fi
if [ -f "$base.drive" ]; then
  [ ${#runner[@]} -eq 0 ] && runner=("$tool" run)
  runner=("${runner[0]}" run --drive "$base.drive" "${runner[@]:2}")
  # The same look and screen on every machine: Fusion, no desktop theme or accessibility
  # bridge, fresh XDG directories, a 1024x768 screen at 96 DPI.
  mkdir -m 700 "$work/.xdg-runtime" "$work/.xdg-config" "$work/.xdg-cache" "$work/.xdg-data"
  printf '{ "screens": [ { "name": "tavrin", "x": 0, "y": 0, "width": 1024, "height": 768, "logicalDpiX": 96, "logicalDpiY": 96 } ] }\n' >"$work/.screen.json"
  envs=(QT_QPA_PLATFORM="offscreen:configfile=$work/.screen.json" QT_QPA_PLATFORMTHEME= QT_STYLE_OVERRIDE=Fusion
        QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1 QT_SCALE_FACTOR=1 QT_AUTO_SCREEN_SCALE_FACTOR=0 QT_FONT_DPI=96
        XDG_RUNTIME_DIR="$work/.xdg-runtime" XDG_CONFIG_HOME="$work/.xdg-config" XDG_CACHE_HOME="$work/.xdg-cache"
        XDG_DATA_HOME="$work/.xdg-data" ${envs[@]+"${envs[@]}"})
  if [ -f "$base.xvfb" ]; then
    if ! command -v xvfb-run >/dev/null || ! command -v Xvfb >/dev/null; then
      echo "skipped: xvfb-run and Xvfb are not installed (Debian packages xvfb xauth)"; exit 77
    fi
    envs+=(QT_QPA_PLATFORM=xcb)
    runner=(xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "${runner[@]}")
  fi
fi
cd "$work" || exit 1
export TAVRIN_TEST_DIR="$work" TAVRIN_SOURCE_DIR="$(dirname "$src")"
if [ -f "$base.setup" ]; then bash "$base.setup" || { echo "setup failed"; exit 1; }; fi
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ${envs[@]+"${envs[@]}"} timeout 30 ${runner[@]+"${runner[@]}"} ./prog ${args[@]+"${args[@]}"} <"$input" >"$work/stdout" 2>"$work/stderr"
status=$?
expected_status=0
[ -f "$base.status" ] && expected_status=$(tr -d ' \n' <"$base.status")
fail=0
if [ -f "$base.out" ]; then
  if ! cmp -s "$work/stdout" "$base.out"; then
    echo "stdout differs (expected vs actual):"
    diff <(od -c "$base.out") <(od -c "$work/stdout") | head -40
    fail=1
  fi
elif [ -s "$work/stdout" ]; then
  echo "unexpected stdout:"; head -c 2000 "$work/stdout"; fail=1
fi
if [ "$status" != "$expected_status" ]; then
  echo "exit status $status, expected $expected_status"; fail=1
fi
# With TAVRIN_STATS=1 and TAVRIN_STATS_LOG naming a file, the program's --stats lines are
# collected there (scripts/decode-coverage sums them over the suite).
if [ -n "${TAVRIN_STATS_LOG:-}" ]; then grep -a '^tavrin stats:' "$work/stderr" >>"$TAVRIN_STATS_LOG"; fi
if [ -f "$base.err" ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    [ -z "$line" ] && continue
    if ! grep -qF -- "$line" "$work/stderr"; then echo "stderr lacks: $line"; fail=1; fi
  done <"$base.err"
fi
if [ $fail -ne 0 ]; then echo "--- stderr:"; head -c 2000 "$work/stderr"; fi
exit $fail
