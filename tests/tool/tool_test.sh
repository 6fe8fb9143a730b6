#!/usr/bin/env bash
# The tavrin tool's command line and the engine's handling of program files: usage errors,
# the bare engine, files without a program, trailers that do not fit, bind/extract, --trace,
# --max-steps, --max-time, the program's command-line list.
set -u
tool=$1
dir=$(dirname "$tool")
engine=$dir/tavrin-engine
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-tool.XXXXXX")
trap 'rm -rf "$work"' EXIT
fails=0; passes=0
check() {  # check NAME EXPECTED-STATUS ACTUAL-STATUS [file-with-text needle]
  local name=$1 want=$2 got=$3
  if [ "$got" != "$want" ]; then echo "FAIL $name: status $got, expected $want"; fails=$((fails + 1)); return; fi
  if [ $# -ge 5 ] && ! grep -qF -- "$5" "$4"; then echo "FAIL $name: no '$5' in:"; cat "$4"; fails=$((fails + 1)); return; fi
  passes=$((passes + 1))
}

"$engine" >"$work/out" 2>&1; check "bare engine exits 0" 0 $?
[ -s "$work/out" ] && { echo "FAIL bare engine printed something"; fails=$((fails + 1)); }
"$tool" run "$engine" >"$work/out" 2>&1; check "run on a zero trailer" 2 $? "$work/out" "carries no program"
"$tool" >"$work/out" 2>&1; check "no command" 2 $? "$work/out" "no command given"
"$tool" frobnicate >"$work/out" 2>&1; check "unknown command" 2 $? "$work/out" "unknown command frobnicate"
"$tool" run --max-steps x prog >"$work/out" 2>&1; check "bad number" 2 $? "$work/out" "--max-steps needs a positive whole number"
"$tool" run "$work/missing" >"$work/out" 2>&1; check "missing file" 2 $? "$work/out" "cannot open $work/missing: No such file or directory"
"$tool" run "$work" >"$work/out" 2>&1; check "a directory" 2 $? "$work/out" "cannot open $work: Is a directory"
"$tool" run --max-time 0 prog >"$work/out" 2>&1; check "max-time of 0" 2 $? "$work/out" "--max-time needs a positive number of seconds"
"$tool" run --max-time 1x prog >"$work/out" 2>&1; check "max-time not a number" 2 $? "$work/out" "--max-time needs a positive number of seconds"
"$tool" run --drive >"$work/out" 2>&1; check "drive without a script" 2 $? "$work/out" "--drive needs a script file"
"$tool" run --drive "$work/no-such.drive" prog >"$work/out" 2>&1; check "drive script missing" 2 $? "$work/out" "cannot open the drive script $work/no-such.drive: No such file or directory"
"$tool" --version >"$work/out" 2>&1; check "version" 0 $? "$work/out" "tavrin "
"$tool" --help >"$work/out" 2>&1; check "help" 0 $? "$work/out" "usage: tavrin"

cat >"$work/hello.tasm" <<'T'
.main
  StmtPrint { const String "hello" } break
  StmtPrint { fn ArgumentCount } break
  StmtPrint { fn ArgumentText { const Long 1 } } break
  StmtEnd
T
"$tool" asm "$work/hello.tasm" -o "$work/hello" && "$work/hello" one two >"$work/out" 2>&1
check "bound program" 0 $? "$work/out" "hello"
printf 'hello\n2\none\n' | cmp -s - "$work/out" || { echo "FAIL bound program output:"; cat "$work/out"; fails=$((fails + 1)); }
"$tool" run "$work/hello" one two >"$work/out2" 2>&1; check "run a bound program" 0 $?
cmp -s "$work/out" "$work/out2" || { echo "FAIL run and the bound program differ"; fails=$((fails + 1)); }
"$tool" extract "$work/hello" -o "$work/hello.img"; check "extract" 0 $?
"$tool" asm --image "$work/hello.tasm" -o "$work/direct.img"
cmp -s "$work/hello.img" "$work/direct.img"; check "extract gives the assembled image" 0 $?
"$tool" bind "$work/hello.img" -o "$work/rebound"; "$work/rebound" x >/dev/null; check "bind" 0 $?
cmp -s "$work/rebound" "$work/hello"; check "bind gives the same program as asm" 0 $?
"$tool" disasm "$work/hello" >"$work/dis.tasm"; check "disasm of a bound program" 0 $? "$work/dis.tasm" "StmtPrint"
"$tool" extract "$engine" -o "$work/none.img" >"$work/out" 2>&1; check "extract from the bare engine" 1 $? "$work/out" "carries no program"

# A trailer that names more bytes than the file holds.
cp "$work/hello" "$work/bad"; printf '\377\377\377\177' >>"$work/bad"
"$work/bad" >"$work/out" 2>&1; check "trailer larger than the file" 217 $? "$work/out" "names an image of 2147483647 bytes"
printf 'ab' >"$work/tiny"; "$tool" run "$work/tiny" >"$work/out" 2>&1; check "file shorter than a trailer" 217 $? "$work/out" "too short"

"$tool" run --trace "$work/hello" x >/dev/null 2>"$work/trace"; check "trace" 0 $? "$work/trace" "StmtPrint"
grep -q '^0x[0-9A-F]\{4\} StmtEnd$' "$work/trace"; check "trace names each statement" 0 $?

cat >"$work/loop.tasm" <<'T'
.main
top:
  StmtJump @top
T
"$tool" asm "$work/loop.tasm" -o "$work/loop"
"$tool" run --max-steps 1000 "$work/loop" >"$work/out" 2>&1; check "max-steps ends an endless loop" 217 $? "$work/out" "step budget of 1000 statements exhausted"

# An unreadable file (mode 000) names the reason; root reads anything, so the check runs as
# nobody where setpriv can switch to it.
printf 'x' >"$work/locked"; chmod 000 "$work/locked"; chmod 755 "$work"
if [ "$(id -u)" != 0 ]; then
  "$tool" run "$work/locked" >"$work/out" 2>&1; check "unreadable file" 2 $? "$work/out" "cannot open $work/locked: Permission denied"
elif setpriv --reuid=nobody --regid=nogroup --clear-groups true 2>/dev/null &&
  setpriv --reuid=nobody --regid=nogroup --clear-groups test -x "$tool"; then
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$tool" run "$work/locked" >"$work/out" 2>&1
  check "unreadable file" 2 $? "$work/out" "cannot open $work/locked: Permission denied"
else
  echo "skipped: unreadable file (running as root, cannot switch to nobody)"
fi

# --max-time is wall-clock time: it stops a busy loop, a sleep of a day and a wait for a
# line that never comes, each with error 217. The only timing asserted is a generous
# upper bound (timeout 60 would give 124) proving that the program was stopped.
"$tool" run --max-time 0.3 "$work/loop" >"$work/out" 2>&1; check "max-time ends an endless loop" 217 $? "$work/out" "time limit of 0.3 seconds exceeded"
cat >"$work/sleep.tasm" <<'T'
.main
  StmtPrint { const String "going to sleep" } break
  StmtSleep { const Long 86400 }
  StmtPrint { const String "woke up" } break
  StmtEnd
T
"$tool" asm "$work/sleep.tasm" -o "$work/sleep"
timeout 60 "$tool" run --max-time 0.5 "$work/sleep" >"$work/out" 2>&1; check "max-time ends a sleep of a day" 217 $? "$work/out" "time limit of 0.5 seconds exceeded"
grep -q "going to sleep" "$work/out" && ! grep -q "woke up" "$work/out"; check "the sleep was cut short" 0 $?
timeout 60 "$tool" run --max-time 0.5 --max-steps 1000000 "$work/sleep" >"$work/out" 2>&1; check "max-time beside max-steps" 217 $? "$work/out" "time limit"
cat >"$work/line.tasm" <<'T'
.main
  StmtPrint { fn ConsoleLine } break
  StmtEnd
T
"$tool" asm "$work/line.tasm" -o "$work/line"
mkfifo "$work/fifo"; exec 3<>"$work/fifo"  # a writer that never writes nor closes
timeout 60 "$tool" run --max-time 0.5 "$work/line" <"$work/fifo" >"$work/out" 2>&1; check "max-time ends a wait for a line" 217 $? "$work/out" "time limit"
exec 3>&-
cat >"$work/accept.tasm" <<'T'
.main
  StmtCreateObject otSocket 0
  StmtAssignGlobal Long 0 { prop otSocket 0 OpenServer { const Long 0 } }
  StmtPrint { var Long 0 const Long 0 gt } break
  StmtAssignGlobal Long 1 { prop otSocket 0 Accept { var Long 0 } }
  StmtPrint { const String "accepted" } break
  StmtEnd
T
"$tool" asm "$work/accept.tasm" -o "$work/accept"
timeout 60 "$tool" run --max-time 0.5 "$work/accept" >"$work/out" 2>&1; check "max-time ends an accept nobody answers" 217 $? "$work/out" "time limit"
grep -q "^-1" "$work/out" && ! grep -q accepted "$work/out"; check "the server listened and accepted nothing" 0 $?
# A tone of an hour (64800 ticks of 1/18 s) waits for its length, in silence with no device
# and in the sound file sink with one; the time limit ends both.
cat >"$work/tone.tasm" <<'T'
.main
  StmtTone { const Long 440 } { const Long 64800 }
  StmtPrint { const String "tone over" } break
  StmtEnd
T
"$tool" asm "$work/tone.tasm" -o "$work/tone"
TAVRIN_SOUND_DEVICE=none-such timeout 60 "$tool" run --max-time 0.5 "$work/tone" >"$work/out" 2>&1; check "max-time ends a silent tone" 217 $? "$work/out" "time limit"
TAVRIN_SOUND_FILE="$work/heard.wav" timeout 60 "$tool" run --max-time 0.5 "$work/tone" >"$work/out" 2>&1; check "max-time ends a tone played into the sink" 217 $? "$work/out" "time limit"
! grep -q "tone over" "$work/out"; check "the tone was cut short" 0 $?
"$tool" run --max-time 30 "$work/hello" x >"$work/out" 2>&1; check "a program within its time" 0 $? "$work/out" "hello"

echo "$passes passed, $fails failed"
[ "$fails" -eq 0 ]
