#!/usr/bin/env bash
# Standard output that cannot take the output. A reader that has gone away (prog | head -1)
# is a normal way to stop a program: it ends at once, quietly, with status 141 (what a
# pipeline reports for a program ended by SIGPIPE). Output lost any other way (standard
# output closed, a full device) is error 101 with one line on stderr. Usage: stdout.sh TAVRIN
source "$(dirname "$0")/lib.sh"

program lines <<'EOF'
.main
  StmtAssignGlobal Long 0 { const Long 0 }
again:
  StmtPrint { var Long 0 } break
  StmtAssignGlobal Long 0 { var Long 0 const Long 1 plus }
  StmtJumpIfZero { var Long 0 const Long 2000000 eq } @again
  StmtPrint { const String "the end" } break
  StmtEnd
EOF

start=$(date +%s)
first=$(timeout 60 ./lines 2>err.txt | head -1; echo "status ${PIPESTATUS[0]}")
took=$(( $(date +%s) - start ))
expect "broken pipe: head saw the first line, the program ended with 141" "$(echo $first)" "0 status 141"
expect "broken pipe: nothing on stderr" "$(cat err.txt)" ""
[ "$took" -le 5 ] && pass "broken pipe: ended at once (${took}s)" || fail "broken pipe: took ${took}s"

timeout 60 ./lines >&- 2>err.txt; status=$?
expect "standard output closed: exit status" "$status" 101
expect "standard output closed: stderr" "$(sed -e 's/at 0x[0-9A-F]*/at POS/' -e "s|^$work/||" err.txt)" \
  "lines: run-time error 101 at POS: cannot write to standard output"

if [ -w /dev/full ]; then
  timeout 60 ./lines >/dev/full 2>err.txt; status=$?
  expect "standard output on /dev/full: exit status" "$status" 101
  expect "standard output on /dev/full: one line on stderr" "$(wc -l <err.txt)" 1
fi

# Raw output (StmtWriteStdout) to a reader that has gone away ends the same way.
program rawlines <<'EOF'
.main
  StmtAssignGlobal Long 0 { const Long 0 }
again:
  StmtWriteStdout { var Long 0 } break
  StmtAssignGlobal Long 0 { var Long 0 const Long 1 plus }
  StmtJumpIfZero { var Long 0 const Long 2000000 eq } @again
  StmtEnd
EOF
first=$(timeout 60 ./rawlines 2>err.txt | head -1; echo "status ${PIPESTATUS[0]}")
expect "raw output, broken pipe: head saw the first line, the program ended with 141" "$(echo $first)" "0 status 141"
expect "raw output, broken pipe: nothing on stderr" "$(cat err.txt)" ""
timeout 60 ./rawlines >&- 2>err.txt; status=$?
expect "raw output, standard output closed: exit status" "$status" 101
grep -q "run-time error 101 at 0x.*: cannot write to standard output: Bad file descriptor" err.txt &&
  pass "raw output, standard output closed: the report names the cause" ||
  fail "raw output, standard output closed: stderr is $(cat err.txt)"

# The output written before the reader went away is not lost: a reader of 1000 lines gets
# exactly those lines.
expect "broken pipe: the lines read before are whole" "$(timeout 60 ./lines 2>/dev/null | head -1000 | tail -1)" 999
finish
