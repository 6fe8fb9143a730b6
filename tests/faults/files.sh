#!/usr/bin/env bash
# File faults: a full disk (a 64 KiB tmpfs in a private mount namespace where mounting is
# allowed, else a file size limit), a read-only directory, a file deleted while open, and
# standard output on the full disk. Usage: files.sh TAVRIN
source "$(dirname "$0")/lib.sh"

# Runs "$@" with ./limited a 64 KiB file system (or, where no mount can be made, with a
# 64 KiB file size limit on an ordinary directory); the mode is in $limited_by.
mkdir -p limited
if unshare -rm true 2>/dev/null; then mount_ns="unshare -rm"; elif unshare -m true 2>/dev/null; then mount_ns="unshare -m"; else mount_ns=""; fi
run_limited() {
  if [ -n "$mount_ns" ]; then
    $mount_ns sh -c 'mount -t tmpfs -o size=64k tavrin-full limited && exec "$@"' sh "$@"
  else
    (ulimit -f 64; exec "$@")
  fi
}
limited_by=$([ -n "$mount_ns" ] && echo "a 64 KiB tmpfs" || echo "ulimit -f 64")
echo "full disk: $limited_by"

# 200 kB written to the full disk: the writes that do not fit are lost without stopping the
# program; Size and Position show how much the file really holds.
program full <<'EOF'
.main
  StmtDeclare 0 var String 0
  StmtAssignGlobal String 0 { fn RepeatChar { const Long 10000 } { const String "f" } }
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtObjectMember otFileStream 0 Write { var String 0 } { const Long 10000 }
  StmtAssignGlobal Long 3 { var Long 3 const Long 1 plus }
  StmtJumpIfZero { var Long 3 const Long 20 eq } @again
  StmtPrint { prop otFileStream 0 Size } break
  StmtPrint { prop otFileStream 0 Position } break
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "still running" } break
  StmtEnd
EOF
out=$(timeout 20 bash -c "$(declare -f run_limited); mount_ns='$mount_ns'; run_limited ./full" 2>err.txt); status=$?
expect "full disk: exit status" "$status" 0
expect "full disk: the file holds what fit, the program goes on" "$(echo $out)" "65536 65536 still running"
expect "full disk: nothing on stderr" "$(cat err.txt)" ""

# Standard output on the full disk: the output that cannot be written is error 101.
program print <<'EOF'
.main
  StmtAssignGlobal Long 0 { const Long 0 }
again:
  StmtPrint { const String "a line of output that fills the disk" } break
  StmtAssignGlobal Long 0 { var Long 0 const Long 1 plus }
  StmtJumpIfZero { var Long 0 const Long 10000 eq } @again
  StmtEnd
EOF
timeout 20 bash -c "$(declare -f run_limited); mount_ns='$mount_ns'; run_limited sh -c './print >limited/out.txt'" 2>err.txt; status=$?
expect "standard output on a full disk: exit status" "$status" 101
grep -q "run-time error 101 at 0x.*: cannot write to standard output" err.txt &&
  pass "standard output on a full disk: one error line" || fail "standard output on a full disk: stderr is $(cat err.txt)"
expect "standard output on a full disk: one line on stderr" "$(wc -l <err.txt)" 1

# A read-only directory: creating a file in it fails; the expression form of Open gives 0,
# reading a file in it still works, and the statement form is error 5 (access denied) with
# a report that names the file. Root ignores permission bits, so root runs it as nobody.
mkdir -p ro && echo "kept" >ro/old.txt && chmod 555 ro
as_user=()
[ "$(id -u)" = 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
program readonly <<'EOF'
.main
  StmtPrint { prop otFileStream 0 Open { const String "ro/new.txt" } { const Long 65535 } } break
  StmtPrint { prop otFileStream 1 Open { const String "ro/old.txt" } { const Long 0 } } break
  StmtPrint { prop otFileStream 1 ReadLine } break
  StmtObjectMember otFileStream 2 Open { const String "ro/new.txt" } { const Long 65535 }
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF
chmod 755 readonly; chmod 711 "$work"
out=$(timeout 20 ${as_user[@]+"${as_user[@]}"} ./readonly 2>err.txt); status=$?
expect "read-only directory: what the program saw" "$(echo $out)" "0 -1 kept"
expect "read-only directory: exit status" "$status" 5
grep -q "Cannot create file ro/new.txt" err.txt && pass "read-only directory: the report names the file" ||
  fail "read-only directory: stderr is $(cat err.txt)"
[ ! -e ro/new.txt ] && pass "read-only directory: nothing created" || fail "read-only directory: a file was created"
chmod 755 ro

# A file deleted while open: the open stream keeps working on the deleted file (writes,
# seeks and reads), the name is gone, and a new file of the same name is a different one.
program deleted <<'EOF'
.main
  StmtObjectMember otFileStream 0 Open { const String "doomed.txt" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteLine { const String "before" }
  StmtDeleteFile { const String "doomed.txt" }
  StmtPrint { fn FileExists { const String "doomed.txt" } } break
  StmtObjectMember otFileStream 0 WriteLine { const String "after" }
  StmtObjectMember otFileStream 0 Position { const Long 0 }
  StmtPrint { prop otFileStream 0 ReadLine } break
  StmtPrint { prop otFileStream 0 ReadLine } break
  StmtPrint { prop otFileStream 0 Size } break
  StmtObjectMember otFileStream 0 Close
  StmtObjectMember otFileStream 1 Open { const String "doomed.txt" } { const Long 65535 }
  StmtPrint { prop otFileStream 1 Size } break
  StmtObjectMember otFileStream 1 Close
  StmtEnd
EOF
out=$(timeout 20 ./deleted 2>err.txt); status=$?
expect "deleted while open: exit status" "$status" 0
expect "deleted while open: what the program saw" "$(echo $out)" "0 before after 15 0"
expect "deleted while open: nothing on stderr" "$(cat err.txt)" ""
finish
