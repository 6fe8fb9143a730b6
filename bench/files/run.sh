#!/usr/bin/env bash
# Times lines.tasm (1,000,000 lines written through a file stream and read back) against
# its Lua 5.4 and CPython twins, after checking that all three print the same result.
# Usage: bench/files/run.sh [TAVRIN]   (default build/tavrin)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tool=$(readlink -f "${1:-build/tavrin}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$tool" asm "$here/lines.tasm" -o lines
want=$(./lines)
for peer in "lua5.4 $here/lines.lua" "python3 $here/lines.py"; do
  [ "$($peer)" = "$want" ] || { echo "$peer prints another result"; exit 1; }
done
hyperfine -N -w 1 -r "${RUNS:-5}" ./lines "lua5.4 $here/lines.lua" "python3 $here/lines.py"
