# Shared by the fault tests: a temporary directory, programs assembled from here-documents,
# bounded waits and the checks. Sourced with the tavrin tool as $1.
set -u
tool=$(readlink -f "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../relay/ports.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-fault.XXXXXX")
children=()
cleanup() {
  for pid in ${children[@]+"${children[@]}"}; do kill "$pid" 2>/dev/null; done
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" || exit 1
failures=0

# program NAME: assembles the program read from stdin into ./NAME.
program() {
  cat >"$1.tasm"
  "$tool" asm "$1.tasm" -o "$1" || { echo "FAIL: $1 does not assemble"; exit 1; }
}

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# expect WHAT GOT WANTED
expect() { if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: got '$2', expected '$3'"; fi; }

# The number of descriptors a process has open.
fd_count() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }

finish() {
  [ "$failures" -eq 0 ] && return 0
  echo "$failures check(s) failed"; exit 1
}
