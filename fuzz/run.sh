#!/usr/bin/env bash
# Builds the fuzzers with clang and runs each for SECONDS (default 60), seeded from the
# program tests. Crashes land in fuzz/crashes/<target>/. Usage: fuzz/run.sh [SECONDS] [TARGET...]
#
# With FUZZ_RUNS=N the run is repeatable, for CI: a fixed random seed, a fresh corpus, and
# N inputs per target (SECONDS then only caps a slow machine). Without it, the corpus in
# fuzz/corpus-<target> grows from run to run and each run takes a new seed: that is the
# mode that looks for new faults.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}; shift || true
runs=${FUZZ_RUNS:-}
targets=("$@"); [ ${#targets[@]} -eq 0 ] && targets=(loader engine asm roundtrip decode)
build=build-fuzz
cmake -S . -B $build -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_FUZZ=ON -DTAVRIN_TESTS=OFF >/dev/null
cmake --build $build --target tavrin $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null
seeds=$build/seeds
# libFuzzer takes the seeds in directory order (then by size), and a disk's directory order
# differs from machine to machine; a memory file system lists them in the order they were
# made, so the repeatable run makes them there, in name order.
if [ -n "$runs" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  seeds=$(mktemp -d /dev/shm/tavrin-seeds.XXXXXX); trap 'rm -rf "$seeds"' EXIT
fi
rm -rf $seeds/images $seeds/sources; mkdir -p $seeds/images $seeds/sources
for src in $(find tests/programs examples -name '*.tasm' | LC_ALL=C sort); do
  name=$(echo "$src" | tr '/' '_')
  cp "$src" "$seeds/sources/$name"
  $build/tavrin asm --image "$src" -o "$seeds/images/$name.img" 2>/dev/null || true
done
# A smaller quarantine keeps the engine target's resident memory well under the limit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64:allocator_release_to_os_interval_ms=500}
status=0
for t in "${targets[@]}"; do
  corpus=fuzz/corpus-$t; repeat=()
  if [ -n "$runs" ]; then
    corpus=$build/corpus-$t; rm -rf "$corpus"; repeat=(-seed=1 -runs="$runs")
  fi
  mkdir -p "$corpus" "fuzz/crashes/$t"
  seed=$seeds/images; [ "$t" = asm ] && seed=$seeds/sources
  # The decode target runs each input two to four times.
  timeout=10; [ "$t" = decode ] && timeout=30
  echo "fuzzing $t for ${runs:+$runs inputs, at most }${seconds}s"
  if ! $build/fuzz/fuzz_$t "${repeat[@]}" -max_total_time="$seconds" -timeout=$timeout -rss_limit_mb=2048 -max_len=65536 \
      -artifact_prefix="fuzz/crashes/$t/" -print_final_stats=1 "$corpus" "$seed" 2>"$build/fuzz_$t.log"; then
    echo "fuzz_$t found a failure:"; tail -40 "$build/fuzz_$t.log"; status=1
  else
    grep -aE 'stat::number_of_executed_units|cov:' "$build/fuzz_$t.log" | tail -2
  fi
done
exit $status
