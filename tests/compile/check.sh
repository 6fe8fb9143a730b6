#!/usr/bin/env bash
# Compiles each case of this folder alone and checks the outcome its first line names:
# "// EXPECT: compiles", or "// EXPECT: <text>" for a case that must fail with that text
# (the binding's compile-time checks of members against their table rows).
set -u
cxx=$1 src=$2 dir=$3
fail=0
for f in "$dir"/*.cpp; do
  expect=$(head -1 "$f" | sed -n 's|^// EXPECT: ||p')
  if [ -z "$expect" ]; then echo "$(basename "$f"): no EXPECT line"; fail=1; continue; fi
  out=$("$cxx" -std=c++20 -fsyntax-only -I "$src" "$f" 2>&1)
  status=$?
  if [ "$expect" = compiles ]; then
    if [ $status -ne 0 ]; then echo "$(basename "$f"): should compile:"; echo "$out" | head -20; fail=1; fi
  elif [ $status -eq 0 ]; then
    echo "$(basename "$f"): compiled, should fail with: $expect"; fail=1
  elif ! grep -qF -- "$expect" <<<"$out"; then
    echo "$(basename "$f"): failed without \"$expect\":"; echo "$out" | grep -m5 error; fail=1
  fi
done
[ $fail -eq 0 ] && echo "all cases as expected"
exit $fail
