#!/usr/bin/env bash
# File faults: a full disk (a 64 KiB tmpfs in a private mount namespace where mounting is
# allowed, else a file size limit) under every writer of files and standard output, a
# read-only directory, and a file deleted while open. Usage: files.sh TAVRIN
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

# Every writer of files on the full disk: the program ends with error 101 naming the file
# and the cause (ENOSPC on the tmpfs, EFBIG under the limit), once, and the file keeps the
# 65536 bytes that fit. Streams are buffered: the statement that sends the bytes to the file
# reports it (a write that fills the buffer, or the close). full_disk NAME FILE WHAT EXPECTED...: assembles ./NAME from stdin,
# runs it with ./limited full, and compares limited/FILE (copied out before the file
# system goes away) with the first 64 KiB of what the command EXPECTED... prints.
head -c 100000 /dev/zero | tr '\0' r >big.dat  # 100 kB, more than the disk takes
cause="No space left on device"; [ -z "$mount_ns" ] && cause="File too large"
full_disk() {
  local name=$1 file=$2 what=$3; shift 3
  program "$name"
  rm -f kept.bin
  timeout 20 bash -c "$(declare -f run_limited); mount_ns='$mount_ns'; run_limited sh -c \
    './$name >out.txt 2>err.txt; s=\$?; cp limited/$file kept.bin 2>/dev/null; exit \$s'"; status=$?
  expect "$what on a full disk: exit status" "$status" 101
  grep -q "^$work/$name: run-time error 101 at 0x[0-9A-F]*: cannot write \(to \)\?limited/$file: $cause" err.txt &&
    pass "$what on a full disk: the report names the file and the cause" ||
    fail "$what on a full disk: stderr is $(cat err.txt)"
  expect "$what on a full disk: one line on stderr" "$(wc -l <err.txt)" 1
  expect "$what on a full disk: nothing after the failed write ran" "$(cat out.txt)" ""
  "$@" | head -c 65536 >expected.bin
  expect "$what on a full disk: the file holds the bytes that fit" "$(wc -c <kept.bin 2>/dev/null)" 65536
  cmp -s kept.bin expected.bin && pass "$what on a full disk: they are the bytes written" ||
    fail "$what on a full disk: the file's bytes differ from those written"
}
repeat() { head -c 200000 /dev/zero | tr '\0' "$1"; }

# Write in pieces of 10000: six fit, the seventh only in part (which the report says).
full_disk write data.bin "Write" repeat f <<'EOF'
.main
  StmtDeclare 0 var String 0
  StmtAssignGlobal String 0 { fn RepeatChar { const Long 10000 } { const String "f" } }
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtObjectMember otFileStream 0 Write { var String 0 } { const Long 10000 }
  StmtAssignGlobal Long 3 { var Long 3 const Long 1 plus }
  StmtJumpIfZero { var Long 3 const Long 20 eq } @again
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF
grep -q "(5536 of 60000 bytes written)" err.txt && pass "Write on a full disk: the report counts the bytes that fit" ||
  fail "Write on a full disk: stderr is $(cat err.txt)"

full_disk buffer data.bin "WriteBuffer" repeat b <<'EOF'
.main
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteBuffer { fn RepeatChar { const Long 100000 } { const String "b" } } { const Long 100000 }
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

# Lines of 4 bytes and CR LF: the text of the last one fits, its CR LF does not.
full_disk lines data.bin "WriteLine" sh -c "yes line | sed 's/\$/\r/'" <<'EOF'
.main
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtObjectMember otFileStream 0 WriteLine { const String "line" }
  StmtAssignGlobal Long 3 { var Long 3 const Long 1 plus }
  StmtJumpIfZero { var Long 3 const Long 20000 eq } @again
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

# 0x41414141 as a Long is "AAAA": 16384 numbers fit, the next one not at all.
full_disk numbers data.bin "WriteNumber" repeat A <<'EOF'
.main
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtObjectMember otFileStream 0 WriteNumber { const Long 1094795585 } { const Long 4 }
  StmtAssignGlobal Long 3 { var Long 3 const Long 1 plus }
  StmtJumpIfZero { var Long 3 const Long 20000 eq } @again
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

full_disk copy data.bin "CopyFrom" repeat c <<'EOF'
.main
  StmtCreateObject otMemoryStream 0
  StmtObjectMember otMemoryStream 0 Write { fn RepeatChar { const Long 100000 } { const String "c" } } { const Long 100000 }
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtObjectMember otFileStream 0 CopyFrom obj otMemoryStream 0 { const Long 0 }
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

full_disk array data.bin "WriteArray" repeat a <<'EOF'
.main
  StmtDeclare 0 array ( { const Long 1 } ) String 1
  StmtAssignArrayElement String 1 [ { const Long 0 } ] { fn RepeatChar { const Long 100000 } { const String "a" } }
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteArray array String 1 { const Long 0 } { const Long 2 }
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

# 20001 Long elements of 0: 80004 bytes.
full_disk variable data.bin "WriteVariable" repeat '\0' <<'EOF'
.main
  StmtDeclare 0 array ( { const Long 20000 } ) Long 2
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteVariable array Long 2
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

# The image's first resource (100 kB of "r"); its length field is at image offset 1.
full_disk data data.bin "WriteData" repeat r <<'EOF'
.resource "big.dat"
.main
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtObjectMember otFileStream 0 WriteData 1
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

full_disk extract data.bin "StmtExtractResource" repeat r <<'EOF'
.resource "big.dat"
.main
  StmtExtractResource { fn TableValue { const Byte 0 } } { const String "limited/data.bin" }
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

full_disk listfile list.txt "SaveToFile" repeat s <<'EOF'
.main
  StmtCreateObject otStringList 0
  StmtObjectMember otStringList 0 Text { fn RepeatChar { const Long 100000 } { const String "s" } }
  StmtObjectMember otStringList 0 SaveToFile 2 { const String "limited/list.txt" }
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

full_disk liststream list.txt "SaveToStream" repeat t <<'EOF'
.main
  StmtCreateObject otStringList 0
  StmtObjectMember otStringList 0 Text { fn RepeatChar { const Long 100000 } { const String "t" } }
  StmtObjectMember otFileStream 0 Open { const String "limited/list.txt" } { const Long 65535 }
  StmtObjectMember otStringList 0 SaveToStream 2 obj otFileStream 0 3
  StmtObjectMember otFileStream 0 Close
  StmtPrint { const String "not reached" } break
  StmtEnd
EOF

# Bytes still waiting in a stream's buffer when the end statement runs, on the full disk:
# the run reports them as lost (error 101, one line) instead of ending with 0.
program ending <<'EOF'
.main
  StmtObjectMember otFileStream 0 Open { const String "limited/data.bin" } { const Long 65535 }
  StmtAssignGlobal Long 3 { const Long 0 }
again:
  StmtObjectMember otFileStream 0 WriteLine { const String "line" }
  StmtAssignGlobal Long 3 { var Long 3 const Long 1 plus }
  StmtJumpIfZero { var Long 3 const Long 20000 eq } @again
  StmtPrint { const String "written" } break
  StmtEnd
EOF
timeout 20 bash -c "$(declare -f run_limited); mount_ns='$mount_ns'; run_limited sh -c './ending >out.txt'" 2>err.txt
status=$?
expect "bytes waiting at the end statement on a full disk: exit status" "$status" 101
grep -q "run-time error 101 at 0x.*: cannot write to limited/data.bin: $cause" err.txt &&
  pass "bytes waiting at the end statement: the report names the file" ||
  fail "bytes waiting at the end statement: stderr is $(cat err.txt)"
expect "bytes waiting at the end statement: one line on stderr" "$(wc -l <err.txt)" 1
expect "bytes waiting at the end statement: the program ran to its end" "$(cat out.txt)" "written"

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

# Raw output (StmtWriteStdout) the same: error 101, and the 64 KiB that fit are kept.
program raw <<'EOF'
.main
  StmtWriteStdout { fn RepeatChar { const Long 100000 } { const String "w" } } break
  StmtEnd
EOF
timeout 20 bash -c "$(declare -f run_limited); mount_ns='$mount_ns'; run_limited sh -c \
  './raw >limited/out.txt; s=\$?; wc -c <limited/out.txt >size.txt; exit \$s'" 2>err.txt; status=$?
expect "raw output on a full disk: exit status" "$status" 101
grep -q "run-time error 101 at 0x.*: cannot write to standard output: $cause" err.txt &&
  pass "raw output on a full disk: the report names the cause" || fail "raw output on a full disk: stderr is $(cat err.txt)"
expect "raw output on a full disk: the output that fit is kept" "$(cat size.txt)" 65536

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
  StmtObjectMember otFileStream 0 Close
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
