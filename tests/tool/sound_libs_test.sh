#!/usr/bin/env bash
# The sound libraries are loaded at the first sound, never at start-up: a program that plays
# nothing maps neither libsndfile nor ALSA (its /proc maps while it waits for input); one
# that plays a WAV to a device maps both, and one that plays to the file sink maps no ALSA.
# Usage: sound_libs_test.sh TOOL SOURCE-DIR
set -u
tool=$1
src=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-soundlibs.XXXXXX")
trap 'exec 3>&- 2>/dev/null; rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL $*"; fails=$((fails + 1)); }

python3 "$src/tests/programs/sound/wavtool.py" make "$work/a.wav" 8000 1 1 80 3
cat >"$work/quiet.tasm" <<'T'
.main
  StmtPrint { fn ReadStandardInput { const Long 1 } } break
  StmtEnd
T
cat >"$work/loud.tasm" <<T
.main
  StmtPlaySound { const String "$work/a.wav" } { const Long 0 }
  StmtPrint { fn ReadStandardInput { const Long 1 } } break
  StmtEnd
T
"$tool" asm "$work/quiet.tasm" -o "$work/quiet" && "$tool" asm "$work/loud.tasm" -o "$work/loud" ||
  { echo "assembly failed"; exit 1; }

# Runs a program until it waits for its input and leaves its maps in $work/maps.
maps_of() {
  rm -f "$work/in" "$work/maps"
  mkfifo "$work/in"
  env "$@" <"$work/in" >"$work/out" 2>"$work/err" &
  local pid=$!
  exec 3>"$work/in"
  for _ in $(seq 200); do grep -q 'libstdc++' "/proc/$pid/maps" 2>/dev/null && break; sleep 0.02; done
  sleep 0.2  # the loud program has played its 10 ms by now and waits for input
  cp "/proc/$pid/maps" "$work/maps" 2>/dev/null || fail "no maps of $*"
  echo x >&3
  exec 3>&-
  wait "$pid" || fail "$* ended with $?: $(cat "$work/err")"
}

maps_of "$work/quiet"
grep -qE 'libsndfile|libasound' "$work/maps" && fail "a silent program maps: $(grep -E 'libsndfile|libasound' "$work/maps" | head -2)"
grep -q 'libc\.so' "$work/maps" || fail "the maps read are not the program's"

maps_of TAVRIN_SOUND_FILE="$work/sink.wav" "$work/loud"
grep -q libsndfile "$work/maps" || fail "a program that played a WAV does not map libsndfile"
grep -q libasound "$work/maps" && fail "a program that played to the sink maps ALSA"

maps_of -u TAVRIN_SOUND_FILE TAVRIN_SOUND_DEVICE=null "$work/loud"
grep -q libasound "$work/maps" || fail "a program that played to a device does not map ALSA"

[ $fails -eq 0 ] && echo "sound libraries: none at start-up, loaded by the first sound"
exit $((fails > 0))
