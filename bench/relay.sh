#!/usr/bin/env bash
# Relay throughput on loopback: 1 GiB from a server to a client, directly, through
# `socat -b 32768` relaying, and through the relay example on Tavrin, in the same run.
# The byte count that arrives is checked before any time is reported.
# The three ways take turns, run after run, so a change in the machine's load touches them
# alike; the table gives the median and the best of the runs, and the CPU time the relaying
# process itself took (user + system, median), which is steadier than the throughput.
# Usage: bench/relay.sh [-q]        (-q: 256 MiB and one run instead of 1 GiB and seven)
#        TAVRIN=path/to/tavrin bench/relay.sh   (default: build/tavrin, built when missing)
set -u
cd "$(dirname "$0")/.." || exit 1
size=$((1024 * 1024 * 1024))
runs=7
[ "${1:-}" = "-q" ] && { size=$((256 * 1024 * 1024)); runs=1; }
source tests/relay/ports.sh
tool=${TAVRIN:-build/tavrin}
if [ ! -x "$tool" ]; then
  sh scripts/install-deps cmake ninja-build g++ make socat >/dev/null || exit 1
  make -s build >/dev/null || { echo "build failed"; exit 1; }
fi
command -v socat >/dev/null || { echo "socat is missing (make deps)"; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-relay-bench.XXXXXX")
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"' EXIT
"$tool" asm examples/relay.tasm -o "$work/relay" || { echo "cannot assemble the relay"; exit 1; }

# One transfer: the server sends $size bytes of zeros; $1 is how the client gets there
# (direct, socat, tavrin). Prints the seconds taken, or fails when bytes went missing.
transfer() {
  local how=$1 server_port relay_port target
  server_port=$(free_port)
  timeout 120 socat -u -b 32768 EXEC:"head -c $size /dev/zero" TCP-LISTEN:"$server_port",bind=127.0.0.1,reuseaddr \
    </dev/null >/dev/null 2>&1 &
  pids+=($!)
  wait_listening "$server_port" || { echo "server did not listen" >&2; return 1; }
  target=$server_port
  case $how in
    socat)
      relay_port=$(free_port)
      measure_cpu socat timeout 120 socat -b 32768 TCP-LISTEN:"$relay_port",bind=127.0.0.1,reuseaddr TCP:127.0.0.1:"$server_port" \
        </dev/null >/dev/null 2>&1 &
      pids+=($!)
      wait_listening "$relay_port" || { echo "socat relay did not listen" >&2; return 1; }
      target=$relay_port ;;
    tavrin)
      relay_port=$(free_port)
      measure_cpu tavrin timeout 120 "$work/relay" "$relay_port" 127.0.0.1 "$server_port" </dev/null >/dev/null 2>&1 &
      pids+=($!)
      wait_listening "$relay_port" || { echo "tavrin relay did not listen" >&2; return 1; }
      target=$relay_port ;;
  esac
  local start end got
  start=$(date +%s%N)
  got=$(timeout 120 socat -u -b 32768 TCP:127.0.0.1:"$target" - | wc -c)
  end=$(date +%s%N)
  wait 2>/dev/null
  if [ "$got" != "$size" ]; then
    echo "$how: $got of $size bytes arrived" >&2
    return 1
  fi
  echo $(( (end - start) / 1000 ))
}

# The relaying process runs under /usr/bin/time when it is there: its CPU time per run.
measure_cpu() {
  local how=$1; shift
  if [ -x /usr/bin/time ]; then /usr/bin/time -f "%U %S" -o "$work/cpu.$how.$(date +%s%N)" "$@"; else "$@"; fi
}

for how in direct socat tavrin; do : >"$work/times.$how"; done
for _ in $(seq 1 "$runs"); do
  for how in direct socat tavrin; do
    us=$(transfer "$how") || exit 1
    echo "$us" >>"$work/times.$how"
  done
done
wait 2>/dev/null

echo "relay throughput, $((size / 1048576)) MiB on loopback, $runs runs each, taking turns:"
printf "  %-7s %9s %9s %12s\n" "" "median" "best" "relay CPU"
for how in direct socat tavrin; do
  cpu="-"
  if ls "$work"/cpu."$how".* >/dev/null 2>&1; then
    cpu=$(cat "$work"/cpu."$how".* | awk '{ print $1 + $2 }' | sort -n | awk '{ v[NR] = $1 } END { printf "%.3f s", v[int((NR + 1) / 2)] }')
  fi
  sort -n "$work/times.$how" | awk -v h="$how" -v n="$size" -v cpu="$cpu" '
    { v[NR] = $1 }
    END { m = v[int((NR + 1) / 2)]; b = v[1]
          printf "  %-7s %5.0f MiB/s %5.0f MiB/s %12s\n", h, n / 1048576 / (m / 1e6), n / 1048576 / (b / 1e6), cpu }'
done
