#!/usr/bin/env bash
# Times sorting a string list of 200,000 words (bench/sort/words.awk): the same program
# with and without its Sort statement, so the difference is the sort. It runs under each
# collation a string list can use: the case-insensitive byte order (LC_ALL=C) and the
# locale's order (LC_ALL=$SORT_LOCALE, default en_US.UTF-8, made with localedef when it
# is not installed). Every run's printed result is checked first.
# With TAVRIN_BASELINE (the build directory of another revision, such as the one before a
# change to the comparison) the same programs built by it are timed in the same run.
# Usage: bench/string_sort.sh [-q]     (-q: 3 runs instead of 10)
# Environment: TAVRIN_BUILD (build directory, default build-bench), SORT_LOCALE,
# TAVRIN_BASELINE.
set -u
cd "$(dirname "$0")/.." || exit 1
runs=10
[ "${1:-}" = "-q" ] && runs=3
build=${TAVRIN_BUILD:-build-bench}
loc=${SORT_LOCALE:-en_US.UTF-8}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${TAVRIN_BUILD_TYPE:-RelWithDebInfo}" >/dev/null &&
  cmake --build "$build" -j 2 --target tavrin tavrin-engine >/dev/null || { echo "build failed"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-sort.XXXXXX")
trap 'rm -rf "$work"' EXIT
awk -f bench/sort/words.awk >"$work/words.txt"
for p in load sort; do "$build/tavrin" asm "bench/sort/$p.tasm" -o "$work/$p" || exit 1; done
rows=("C" "$loc")
if [ -n "${TAVRIN_BASELINE:-}" ]; then
  for p in load sort; do "$TAVRIN_BASELINE/tavrin" asm "bench/sort/$p.tasm" -o "$work/base_$p" || exit 1; done
  rows=(baseline "${rows[@]}")
fi
locpath=""
if ! LC_ALL=$loc locale -k LC_COLLATE >/dev/null 2>&1 || [ "$(LC_ALL=$loc locale charmap 2>/dev/null)" != UTF-8 ]; then
  mkdir -p "$work/locale"
  localedef -i "${loc%%.*}" -f UTF-8 "$work/locale/$loc" >/dev/null 2>&1 || { echo "cannot make locale $loc"; exit 1; }
  locpath="LOCPATH=$work/locale"
fi
cd "$work" || exit 1
printf '%-14s %10s %10s %10s\n' collation "load s" "load+sort" "sort s"
for row in "${rows[@]}"; do
  lc=$row prefix=./
  [ "$row" = baseline ] && lc=C prefix=./base_
  env=(env $locpath LC_ALL="$lc")
  out=$("${env[@]}" ${prefix}sort)
  [ "$(head -1 <<<"$out")" = 200000 ] || { echo "$lc: wrong result: $out"; exit 1; }
  hyperfine --style none --runs "$runs" --warmup 1 --export-csv "t.csv" \
    -n load "${env[*]} ${prefix}load" -n sort "${env[*]} ${prefix}sort" >/dev/null 2>&1 || { echo "hyperfine failed"; exit 1; }
  load=$(awk -F, '$1 == "load" { print $4 }' t.csv)
  both=$(awk -F, '$1 == "sort" { print $4 }' t.csv)
  printf '%-14s %10.4f %10.4f %10.4f   first/last: %s\n' "$row" "$load" "$both" "$(awk -v a="$both" -v b="$load" 'BEGIN { print a - b }')" \
    "$(tail -2 <<<"$out" | tr '\r\n' '  ')"
done
