#!/usr/bin/env bash
# SIGINT, SIGTERM and SIGHUP end a program with 128 + the signal's number and nothing on
# stderr, whether it waits in the kernel (a blocking accept, a sleep) or draws on a terminal;
# on a terminal (a pseudo-terminal made by script) the settings it changed are given back.
# The console's own pseudo-terminal tests cover Ctrl+C typed as a key. Usage: signals.sh TAVRIN
source "$(dirname "$0")/lib.sh"

port=$(free_port)
program accepting <<EOF
.main
  StmtCreateObject otSocket 0
  StmtAssignGlobal Long 0 { prop otSocket 0 OpenServer { const Long $port } }
  StmtAssignGlobal Long 1 { prop otSocket 0 Accept { var Long 0 } }
  StmtPrint { const String "accept returned" } break
  StmtEnd
EOF
program sleeping <<'EOF'
.main
  StmtPrint { const String "sleeping" } break
  StmtSleep { const Double 20000 }
  StmtEnd
EOF

# signal_run PROGRAM SIGNAL: starts it (under timeout, so the program is timeout's child),
# lets it block, sends the signal to it and prints the exit status (or "hung").
signal_run() {
  timeout 20 "./$1" >out.txt 2>err.txt &
  local pid=$!
  children+=("$pid")
  [ "$1" = accepting ] && { wait_listening "$port" || echo "never listened"; }
  sleep 0.3
  kill "-$2" "$(pgrep -P "$pid" | head -1)" 2>/dev/null
  wait "$pid"
  local status=$?
  [ "$status" = 124 ] && echo hung || echo "$status"
}

for run in "accepting INT 130" "accepting TERM 143" "sleeping INT 130" "sleeping TERM 143" "sleeping HUP 129"; do
  set -- $run
  expect "$1, SIG$2: exit status" "$(signal_run "$1" "$2")" "$3"
  expect "$1, SIG$2: nothing on stderr" "$(cat err.txt)" ""
done

# On a terminal: the console puts it in raw mode; the signal ends the program and the
# settings are those from before it started.
program drawing <<'EOF'
.main
  StmtConsoleClear
  StmtPrint { const String "waiting" } break
loop:
  StmtSleep { const Double 0.01 }
  StmtJump @loop
EOF
cat >inner.sh <<'EOF'
stty -g >before.txt
./drawing </dev/tty >/dev/tty 2>err.txt &
pid=$!
for _ in $(seq 1 100); do [ "$(stty -g)" != "$(cat before.txt)" ] && break; sleep 0.05; done
stty -g >during.txt
kill "-$1" "$pid"
wait "$pid"
echo $? >status.txt
stty -g >after.txt
EOF
if command -v script >/dev/null; then
  for run in "INT 130" "TERM 143"; do
    set -- $run
    rm -f status.txt
    timeout 30 script -qec "bash inner.sh $1" /dev/null >/dev/null 2>&1 </dev/null
    expect "terminal, SIG$1: exit status" "$(cat status.txt 2>/dev/null)" "$2"
    [ -s during.txt ] && [ "$(cat during.txt)" != "$(cat before.txt)" ] &&
      pass "terminal, SIG$1: the program had changed the settings" || fail "terminal, SIG$1: the settings never changed"
    expect "terminal, SIG$1: settings restored" "$(cat after.txt 2>/dev/null)" "$(cat before.txt)"
    expect "terminal, SIG$1: nothing on stderr" "$(cat err.txt)" ""
  done
else
  echo "skipped: no script(1) for the terminal cases"
fi
finish
