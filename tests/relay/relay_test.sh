#!/usr/bin/env bash
# The relay example end to end on loopback: an HTTP download from a local server through the
# relay to curl (1 MB and 100 MB, compared by checksum) and an upload the other way (8 MB).
# Usage: relay_test.sh TAVRIN-TOOL. Every peer runs under `timeout`; ports are picked free.
set -u
tool=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$here/ports.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-relay.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for t in socat curl sha256sum; do
  command -v $t >/dev/null || { echo "missing $t (make deps installs it)"; exit 1; }
done
"$tool" asm "$here/../../examples/relay.tasm" -o "$work/relay" || { echo "cannot assemble the relay"; exit 1; }

fail=0
# An HTTP/1.0 server for one request: it reads the request head, then sends the file.
cat >"$work/http.sh" <<'SH'
while IFS= read -r line; do [ "$line" = $'\r' ] || [ -z "$line" ] && break; done
printf 'HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: %d\r\n\r\n' "$(stat -c %s "$1")"
cat "$1"
SH

# Starts the relay between a free port and the server port; sets relay_port and relay_pid.
start_relay() {
  relay_port=$(free_port)
  timeout 60 "$work/relay" "$relay_port" 127.0.0.1 "$1" >"$work/relay.out" 2>"$work/relay.err" &
  relay_pid=$!
  pids+=("$relay_pid")
  wait_listening "$relay_port" || { echo "relay did not listen on $relay_port"; cat "$work/relay.err"; return 1; }
}

# Waits for the relay to end by itself and checks that it ended well.
end_relay() {
  local name=$1
  wait "$relay_pid"
  local status=$?
  if [ $status -ne 0 ]; then
    echo "$name: relay exit status $status"; cat "$work/relay.out" "$work/relay.err"; fail=1
  fi
}

download() {
  local name=$1 size=$2
  head -c "$size" /dev/urandom >"$work/file"
  local server_port
  server_port=$(free_port)
  timeout 60 socat TCP-LISTEN:"$server_port",bind=127.0.0.1,reuseaddr SYSTEM:"bash $work/http.sh $work/file" \
    </dev/null >/dev/null 2>"$work/server.err" &
  local server_pid=$!
  pids+=("$server_pid")
  wait_listening "$server_port" || { echo "$name: server did not listen"; fail=1; return; }
  start_relay "$server_port" || { fail=1; return; }
  if ! curl -s --max-time 50 -o "$work/got" "http://127.0.0.1:$relay_port/file"; then
    echo "$name: curl failed"; fail=1
  fi
  end_relay "$name"
  wait "$server_pid" 2>/dev/null
  local want got
  want=$(sha256sum <"$work/file" | cut -d' ' -f1)
  got=$(sha256sum <"$work/got" 2>/dev/null | cut -d' ' -f1)
  if [ "$want" != "$got" ]; then
    echo "$name: checksum differs ($(stat -c %s "$work/got" 2>/dev/null || echo 0) of $size bytes arrived)"; fail=1
  else
    echo "$name: $size bytes intact"
  fi
}

upload() {
  local name=$1 size=$2
  head -c "$size" /dev/urandom >"$work/file"
  rm -f "$work/received"
  local server_port
  server_port=$(free_port)
  timeout 60 socat -u TCP-LISTEN:"$server_port",bind=127.0.0.1,reuseaddr OPEN:"$work/received",creat,trunc \
    </dev/null >/dev/null 2>"$work/server.err" &
  local server_pid=$!
  pids+=("$server_pid")
  wait_listening "$server_port" || { echo "$name: server did not listen"; fail=1; return; }
  start_relay "$server_port" || { fail=1; return; }
  timeout 50 socat -u OPEN:"$work/file" TCP:127.0.0.1:"$relay_port" || { echo "$name: sender failed"; fail=1; }
  end_relay "$name"
  wait "$server_pid" 2>/dev/null
  if ! cmp -s "$work/file" "$work/received"; then
    echo "$name: the server received $(stat -c %s "$work/received" 2>/dev/null || echo 0) of $size bytes, or other bytes"
    fail=1
  else
    echo "$name: $size bytes intact"
  fi
}

download "download 1 MB" 1048576
download "download 100 MB" 104857600
upload "upload 8 MB" 8388608
grep -q "client 127.0.0.1" "$work/relay.out" || { echo "relay did not report its client:"; cat "$work/relay.out"; fail=1; }
exit $fail
