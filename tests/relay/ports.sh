# Port helpers for the socket tests, sourced by their scripts. A port is free when no IPv4
# or IPv6 socket has it as its local port; a port listens when one is in state LISTEN (0A).
port_hex() { printf '%04X' "$1"; }

free_port() {
  local p
  for _ in $(seq 1 200); do
    p=$((20000 + RANDOM % 40000))
    if ! grep -qs ":$(port_hex "$p") " /proc/net/tcp /proc/net/tcp6; then echo "$p"; return 0; fi
  done
  return 1
}

# Waits up to 5 seconds; without /proc/net/tcp it waits half a second and hopes.
wait_listening() {
  local hex
  hex=$(port_hex "$1")
  if [ ! -r /proc/net/tcp ]; then sleep 0.5; return 0; fi
  for _ in $(seq 1 500); do
    if awk -v h="$hex" '$2 ~ (":" h "$") && $4 == "0A" { found = 1 } END { exit !found }' /proc/net/tcp /proc/net/tcp6 2>/dev/null; then
      return 0
    fi
    sleep 0.01
  done
  return 1
}
