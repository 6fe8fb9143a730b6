#!/usr/bin/env bash
# Runs one program test: assembles NAME.tasm into a bound program, runs it in a fresh
# temporary directory and compares stdout with NAME.out, the exit status with
# NAME.status (default 0) and, when NAME.err exists, requires each of its lines in stderr.
# Optional: NAME.in (stdin), NAME.args (one argument a line), NAME.setup (bash, run in the
# temporary directory first), NAME.env (VAR=value lines), NAME.run (options of
# `tavrin run`, one a line: the program then runs through the tool with them).
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
cd "$work" || exit 1
export TAVRIN_TEST_DIR="$work" TAVRIN_SOURCE_DIR="$(dirname "$src")"
if [ -f "$base.setup" ]; then bash "$base.setup" || { echo "setup failed"; exit 1; }; fi
env ${envs[@]+"${envs[@]}"} timeout 30 ${runner[@]+"${runner[@]}"} ./prog ${args[@]+"${args[@]}"} <"$input" >"$work/stdout" 2>"$work/stderr"
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
