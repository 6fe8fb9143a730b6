#!/usr/bin/env bash
# Relay throughput on loopback: 1 GiB from a server to a client, directly, through
# `socat -b 32768` relaying, and through the relay example on Tavrin, in the same run.
# The byte count that arrives is checked before any time is reported.
# Usage: bench/relay.sh [-q]        (-q: 256 MiB and one run instead of 1 GiB and three)
#        TAVRIN=path/to/tavrin bench/relay.sh   (default: build/tavrin, built when missing)
set -u
cd "$(dirname "$0")/.." || exit 1
size=$((1024 * 1024 * 1024))
runs=3
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
      timeout 120 socat -b 32768 TCP-LISTEN:"$relay_port",bind=127.0.0.1,reuseaddr TCP:127.0.0.1:"$server_port" \
        </dev/null >/dev/null 2>&1 &
      pids+=($!)
      wait_listening "$relay_port" || { echo "socat relay did not listen" >&2; return 1; }
      target=$relay_port ;;
    tavrin)
      relay_port=$(free_port)
      timeout 120 "$work/relay" "$relay_port" 127.0.0.1 "$server_port" </dev/null >/dev/null 2>&1 &
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

echo "relay throughput, $((size / 1048576)) MiB on loopback, best of $runs:"
for how in direct socat tavrin; do
  best=""
  for _ in $(seq 1 "$runs"); do
    us=$(transfer "$how") || exit 1
    if [ -z "$best" ] || [ "$us" -lt "$best" ]; then best=$us; fi
  done
  awk -v h="$how" -v us="$best" -v n="$size" \
    'BEGIN { printf "  %-7s %8.2f s  %8.0f MiB/s\n", h, us / 1e6, n / 1048576 / (us / 1e6) }'
done
