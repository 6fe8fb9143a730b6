#!/usr/bin/env bash
# Disassembling any image of the suite and assembling the result gives the same bytes.
set -u
tool=$1
dir=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-rt.XXXXXX")
trap 'rm -rf "$work"' EXIT
count=0; fail=0
while IFS= read -r src; do
  count=$((count + 1))
  if ! "$tool" asm --image "$src" -o "$work/a.img" 2>"$work/err"; then
    echo "assembly failed: $src"; cat "$work/err"; fail=$((fail + 1)); continue
  fi
  "$tool" disasm "$work/a.img" >"$work/a.tasm" 2>"$work/err" || { echo "disasm failed: $src"; cat "$work/err"; fail=$((fail + 1)); continue; }
  if ! "$tool" asm --image "$work/a.tasm" -o "$work/b.img" 2>"$work/err"; then
    echo "reassembly failed: $src"; cat "$work/err"; fail=$((fail + 1)); continue
  fi
  if ! cmp -s "$work/a.img" "$work/b.img"; then
    echo "round trip changed bytes: $src"; cmp "$work/a.img" "$work/b.img" | head -3; fail=$((fail + 1))
  fi
done < <(find "$dir" -name '*.tasm' | sort)
echo "round trip: $count programs, $fail failed"
[ "$fail" -eq 0 ]
