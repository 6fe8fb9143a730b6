#!/usr/bin/env bash
# Compiles each case of this folder alone and checks the outcome it names: a file whose first
# line is "// EXPECT: compiles" or "// EXPECT: <text>", and each "// CASE <name>: <text>" of
# refused.cpp, compiled with -DCASE_<name>, which must fail with that text (the binding's
# compile-time checks of members against their table rows).
set -u
cxx=$1 src=$2 dir=$3
fail=0
# check NAME EXPECTED FILE [FLAGS...]
check() {
  local name=$1 expect=$2 file=$3
  shift 3
  out=$("$cxx" -std=c++20 -fsyntax-only -I "$src" "$@" "$file" 2>&1)
  status=$?
  if [ "$expect" = compiles ]; then
    if [ $status -ne 0 ]; then echo "$name: should compile:"; echo "$out" | head -20; fail=1; fi
  elif [ $status -eq 0 ]; then
    echo "$name: compiled, should fail with: $expect"; fail=1
  elif ! grep -qF -- "$expect" <<<"$out"; then
    echo "$name: failed without \"$expect\":"; echo "$out" | grep -m5 error; fail=1
  fi
}
for f in "$dir"/*.cpp; do
  [ "$(basename "$f")" = refused.cpp ] && continue
  expect=$(head -1 "$f" | sed -n 's|^// EXPECT: ||p')
  if [ -z "$expect" ]; then echo "$(basename "$f"): no EXPECT line"; fail=1; continue; fi
  check "$(basename "$f")" "$expect" "$f"
done
cases=0
while IFS= read -r line; do
  name=${line#// CASE }; name=${name%%:*}
  check "refused.cpp/$name" "${line#*: }" "$dir/refused.cpp" "-DCASE_$name"
  cases=$((cases + 1))
done < <(grep '^// CASE ' "$dir/refused.cpp")
[ $cases -gt 0 ] || { echo "refused.cpp: no cases"; fail=1; }
[ $fail -eq 0 ] && echo "all cases as expected"
exit $fail
