#!/usr/bin/env bash
# Writes to file streams wait in a buffer; these are the moments only the world outside the
# program sees: the file has the bytes while the program sleeps or waits for input, when a
# signal ends it, and (with no such moment) within the flush delay, so a kill -9 loses at
# most that. TAVRIN_FILE_FLUSH_MS=600000 takes the delay out of the cases that test a
# moment. Every wait is bounded. Usage: file_writes.sh TAVRIN
source "$(dirname "$0")/lib.sh"

# The lines of FILE without their CRs.
lines_of() { tr -d '\r' <"$1" 2>/dev/null; }
# wait_for_file FILE TEXT: up to 10 s for FILE's lines to be TEXT; prints them.
wait_for_file() {
  for _ in $(seq 1 200); do [ "$(lines_of "$1")" = "$2" ] && break; sleep 0.05; done
  lines_of "$1"
}
# wait_cpu PID TICKS: up to 20 s for PID to have run TICKS clock ticks of its own, so that
# it is past its first statements whatever the machine's load.
wait_cpu() {
  local t
  for _ in $(seq 1 400); do
    t=$(awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null) || return
    [ "${t:-0}" -ge "$2" ] && return
    sleep 0.05
  done
}
# The engine under timeout: its pid.
engine_of() { pgrep -P "$1" | head -1; }

program sleeping <<'EOF'
.main
  StmtObjectMember otFileStream 0 Open { const String "out.txt" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteLine { const String "before the sleep" }
  StmtSleep { const Double 20000 }
  StmtEnd
EOF
rm -f out.txt
TAVRIN_FILE_FLUSH_MS=600000 timeout 30 ./sleeping &
pid=$!
children+=("$pid")
expect "a sleep: the file has the line while the program sleeps" "$(wait_for_file out.txt 'before the sleep')" \
  "before the sleep"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

program reading <<'EOF'
.main
  StmtDeclare 0 var String 0
  StmtObjectMember otFileStream 0 Open { const String "out.txt" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteLine { const String "before the input" }
  StmtAssignGlobal String 0 { fn ConsoleLine }
  StmtObjectMember otFileStream 0 WriteLine { var String 0 }
  StmtSleep { const Double 20000 }
  StmtEnd
EOF
rm -f out.txt fifo
mkfifo fifo
TAVRIN_FILE_FLUSH_MS=600000 timeout 30 ./reading <fifo >/dev/null &
pid=$!
children+=("$pid")
exec 7>fifo
expect "a wait for input: the file has the line while the program waits" \
  "$(wait_for_file out.txt 'before the input')" "before the input"
echo "typed" >&7
exec 7>&-
expect "a wait for input: then what was typed, before the sleep" \
  "$(wait_for_file out.txt $'before the input\ntyped')" $'before the input\ntyped'
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null

# Busy after the write: no moment but the signal, or the delay.
program busy <<'EOF'
.main
  StmtObjectMember otFileStream 0 Open { const String "out.txt" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteLine { const String "written" }
again:
  StmtJump @again
EOF
for run in "INT 130" "TERM 143" "HUP 129"; do
  set -- $run
  rm -f out.txt
  TAVRIN_FILE_FLUSH_MS=600000 timeout 30 ./busy 2>err.txt &
  pid=$!
  children+=("$pid")
  sleep 0.1
  wait_cpu "$(engine_of "$pid")" 20
  expect "SIG$1: nothing in the file before the signal" "$(lines_of out.txt)" ""
  kill "-$1" "$(engine_of "$pid")" 2>/dev/null
  wait "$pid"
  status=$?
  expect "SIG$1: exit status" "$status" "$2"
  expect "SIG$1: the file has the line" "$(lines_of out.txt)" "written"
  expect "SIG$1: nothing on stderr" "$(cat err.txt)" ""
done

# The default delay: the line reaches the file of a busy program while it runs, and a
# kill -9 after that keeps it.
rm -f out.txt
timeout 30 ./busy &
pid=$!
children+=("$pid")
expect "the flush delay: the line reaches the file of a busy program" "$(wait_for_file out.txt written)" "written"
kill -9 "$(engine_of "$pid")" 2>/dev/null
wait "$pid" 2>/dev/null
expect "the flush delay: kill -9 keeps it" "$(lines_of out.txt)" "written"
finish
