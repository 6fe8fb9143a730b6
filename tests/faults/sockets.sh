#!/usr/bin/env bash
# Socket faults on 127.0.0.1: a peer that resets the connection, a peer that half-closes
# it, a peer that stops reading, and 500 connections accepted and closed with no descriptor
# left behind. Every program and peer runs under a timeout. Usage: sockets.sh TAVRIN
source "$(dirname "$0")/lib.sh"

# Reset: the program is both ends; closing the accepted socket with unread data in it makes
# the kernel reset the connection. The client still reads what arrived before the reset,
# then Receive gives -1 (a reset, where an orderly close gives 0) and a send fails with -1.
port=$(free_port)
program reset <<EOF
.main
  StmtCreateObject otSocket 0
  StmtDeclare 0 var String 0
  StmtAssignGlobal Long 0 { prop otSocket 0 OpenServer { const Long $port } }
  StmtAssignGlobal Long 1 { prop otSocket 0 Connect { const String "127.0.0.1" } { const Long $port } }
  StmtAssignGlobal Long 2 { prop otSocket 0 Accept { var Long 0 } }
  StmtObjectMember otSocket 0 SendLine { var Long 2 } { fn RepeatChar { const Long 100000 } { const String "d" } }
  StmtObjectMember otSocket 0 SendLine { var Long 1 } { const String "never read" }
  StmtObjectMember otSocket 0 Close 2 { var Long 2 } 11
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtAssignGlobal String 0 { prop otSocket 0 Receive { var Long 1 } { const Long 4096 } }
  StmtJumpIfZero { prop otSocket 0 LastCount const Long 0 gt } @ended
  StmtAssignGlobal Long 3 { var Long 3 prop otSocket 0 LastCount plus }
  StmtJump @again
ended:
  StmtPrint { prop otSocket 0 LastCount } break
  StmtPrint { var Long 3 } break
  StmtPrint { prop otSocket 0 SendLine { var Long 1 } { const String "x" } } break
  StmtPrint { const String "still running" } break
  StmtEnd
EOF
out=$(timeout 20 ./reset 2>err.txt); status=$?
expect "reset: exit status" "$status" 0
expect "reset: -1 after the data that arrived, then a failed send" "$(echo $out)" "-1 100001 -1 still running"
expect "reset: nothing on stderr" "$(cat err.txt)" ""

# Half-closed: socat sends a line and shuts down its sending side but still reads. The
# program sees the line, then the end (an empty line, count 0), and can still answer.
port=$(free_port)
program half <<EOF
.main
  StmtCreateObject otSocket 0
  StmtAssignGlobal Long 0 { prop otSocket 0 OpenServer { const Long $port } }
  StmtAssignGlobal Long 1 { prop otSocket 0 Accept { var Long 0 } }
  StmtPrint { prop otSocket 0 ReceiveLine { var Long 1 } } break
  StmtPrint { const String "[" prop otSocket 0 ReceiveLine { var Long 1 } plus const String "]" plus } break
  StmtPrint { prop otSocket 0 LastCount } break
  StmtPrint { prop otSocket 0 SendLine { var Long 1 } { const String "answer after your end" } } break
  StmtObjectMember otSocket 0 Close 2 { var Long 1 } 11
  StmtEnd
EOF
timeout 20 ./half >half.out 2>half.err &
children+=($!); server=$!
wait_listening "$port" || fail "half-closed: the program does not listen"
printf 'request\n' | timeout 10 socat -t 5 - "TCP:127.0.0.1:$port" >peer.out 2>peer.err
wait "$server"; status=$?
expect "half-closed: exit status" "$status" 0
expect "half-closed: what the program saw" "$(echo $(cat half.out))" "request [] 0 22"
expect "half-closed: the answer reached the half-closed peer" "$(tr -d '\r' <peer.out)" "answer after your end"

# A peer that stops reading: socat takes the connection but its command never reads, so the
# buffers fill and a send blocks; when the peer goes away after 2 seconds the blocked send
# ends with what it could send and the next one fails. No hang, no SIGPIPE death.
port=$(free_port)
timeout 20 socat "TCP-LISTEN:$port,bind=127.0.0.1,reuseaddr" SYSTEM:'sleep 2' </dev/null >/dev/null 2>&1 &
children+=($!)
wait_listening "$port" || fail "stops reading: socat does not listen"
program stuck <<EOF
.main
  StmtCreateObject otSocket 0
  StmtDeclare 0 var String 0
  StmtAssignGlobal String 0 { fn RepeatChar { const Long 65536 } { const String "s" } }
  StmtAssignGlobal Long 1 { prop otSocket 0 Connect { const String "127.0.0.1" } { const Long $port } }
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtObjectMember otSocket 0 SendLine { var Long 1 } { var String 0 }
  StmtJumpIfZero { prop otSocket 0 LastCount const Long -1 eq } @more
  StmtJump @failed
more:
  StmtAssignGlobal Long 3 { var Long 3 const Long 1 plus }
  StmtJumpIfZero { var Long 3 const Long 2000 eq } @again
  StmtPrint { const String "every send went through" } break
  StmtEnd
failed:
  StmtPrint { const String "send failed once the peer was gone" } break
  StmtPrint { var Long 3 const Long 2000 lt } break
  StmtEnd
EOF
start=$(date +%s)
out=$(timeout 30 ./stuck 2>err.txt); status=$?
took=$(( $(date +%s) - start ))
expect "stops reading: exit status" "$status" 0
expect "stops reading: outcome" "$(echo $out)" "send failed once the peer was gone -1"
[ "$took" -ge 1 ] && [ "$took" -le 10 ] && pass "stops reading: blocked until the peer left (${took}s)" ||
  fail "stops reading: took ${took}s"

# 500 connections to itself, each accepted, used and closed: the descriptors in
# /proc/self/fd, counted by the program before and after, are the same number.
port=$(free_port)
program many <<EOF
.proc countfds
  StmtAssignGlobal Long 9 { const Long 0 }
  StmtAssignGlobal String 0 { fn FindFirstFile { const String "/proc/self/fd/*" } { const Long 63 } }
next:
  StmtJumpIfZero { fn TextLength { var String 0 } } @done
  StmtAssignGlobal Long 9 { var Long 9 const Long 1 plus }
  StmtAssignGlobal String 0 { fn FindNextFile }
  StmtJump @next
done:
  StmtEndBody
.end
.main
  StmtCreateObject otSocket 0
  StmtDeclare 0 var String 0
  StmtAssignGlobal Long 0 { prop otSocket 0 OpenServer { const Long $port } }
  StmtCallProc @countfds ( )
  StmtAssignGlobal Long 8 { var Long 9 }
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtAssignGlobal Long 1 { prop otSocket 0 Connect { const String "127.0.0.1" } { const Long $port } }
  StmtAssignGlobal Long 2 { prop otSocket 0 Accept { var Long 0 } }
  StmtJumpIfZero { var Long 1 const Long 0 gt var Long 2 const Long 0 gt and } @broken
  StmtObjectMember otSocket 0 SendLine { var Long 1 } { const String "hello" }
  StmtJumpIfZero { prop otSocket 0 ReceiveLine { var Long 2 } const String "hello" eq } @broken
  StmtObjectMember otSocket 0 Close 2 { var Long 2 } 11
  StmtObjectMember otSocket 0 Close 2 { var Long 1 } 11
  StmtAssignGlobal Long 3 { var Long 3 const Long 1 plus }
  StmtJumpIfZero { var Long 3 const Long 500 eq } @again
  StmtCallProc @countfds ( )
  StmtPrint { var Long 3 } break
  StmtPrint { var Long 9 var Long 8 minus } break
  StmtEnd
broken:
  StmtPrint { const String "connection failed at " } nobreak
  StmtPrint { var Long 3 } break
  StmtEnd
EOF
out=$(timeout 30 ./many 2>err.txt); status=$?
expect "500 connections: exit status" "$status" 0
expect "500 connections: made, and descriptors gained" "$(echo $out)" "500 0"
finish
