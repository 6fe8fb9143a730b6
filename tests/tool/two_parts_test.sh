#!/usr/bin/env bash
# The build in two parts: a console program maps no Qt library (by ldd, and by its own
# /proc maps while it runs), and `cmake --install` into a temporary prefix puts the tool, the
# engine and the windowed layer where the installed engine finds the layer.
# Usage: two_parts_test.sh TOOL BUILD-DIR
set -u
tool=$1
build=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-parts.XXXXXX")
trap 'exec 3>&- 2>/dev/null; rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL $*"; fails=$((fails + 1)); }

cat >"$work/hello.tasm" <<'T'
.main
  StmtPrint { const String "hello" } break
  StmtPrint { fn ReadStandardInput { const Long 1 } } break
  StmtEnd
T
"$tool" asm "$work/hello.tasm" -o "$work/hello" || { echo "assembly failed"; exit 1; }
for f in "$work/hello" "$build/tavrin-engine" "$tool"; do
  ldd "$f" | grep -qi 'libQt' && fail "$f links Qt: $(ldd "$f" | grep -i qt)"
done
# A running console program: its maps, while it waits for its input (once the C++ library
# is mapped the loader has done its work).
mkfifo "$work/in"
"$work/hello" <"$work/in" >"$work/out" &
pid=$!
exec 3>"$work/in"
for _ in $(seq 200); do grep -q 'libstdc++' "/proc/$pid/maps" 2>/dev/null && break; sleep 0.02; done
[ -r "/proc/$pid/maps" ] || fail "no maps of the running program"
grep -q 'libQt' "/proc/$pid/maps" && fail "a console program maps Qt: $(grep -m3 libQt "/proc/$pid/maps")"
grep -q 'libc\.so' "/proc/$pid/maps" || fail "the maps read are not the program's"
echo x >&3
exec 3>&-
wait "$pid" || fail "the console program ended with $?"
printf 'hello\nx\n' | cmp -s - "$work/out" || fail "console output: $(cat "$work/out")"

# The install into a temporary prefix.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
for f in bin/tavrin bin/tavrin-engine; do [ -x "$prefix/$f" ] || fail "$f is not installed"; done
"$prefix/bin/tavrin-engine" >"$work/bare" 2>&1 || fail "the installed bare engine exits $?"
[ -s "$work/bare" ] && fail "the installed bare engine printed: $(cat "$work/bare")"
cat >"$work/form.tasm" <<'T'
.main
  StmtDeclare 0 var otForm 0
  StmtPrint { prop otForm 0 Width } break
  StmtEnd
T
if [ -f "$build/tavrin-visual.so" ]; then
  layer=$(find "$prefix" -name tavrin-visual.so)
  [ -n "$layer" ] || fail "the windowed layer is not installed"
  # The installed tool, and a program bound by it beside it, find the layer in ../lib/tavrin:
  # it starts, and the form is made (its width reads back).
  "$prefix/bin/tavrin" asm "$work/form.tasm" -o "$prefix/bin/form" || fail "installed tool cannot assemble"
  for run in "$prefix/bin/form" "$prefix/bin/tavrin run $work/form"; do
    cp "$prefix/bin/form" "$work/form"
    env -u TAVRIN_VISUAL QT_QPA_PLATFORM=offscreen $run >"$work/run.out" 2>&1
    status=$?
    [ $status -eq 0 ] || fail "$run: status $status"
    grep -qx "320" "$work/run.out" ||
      fail "$run did not start the installed layer: $(cat "$work/run.out")"
  done
else
  echo "the windowed layer is not built: its install is not checked"
fi
# A bound program far from any layer names every place it looked.
"$tool" asm "$work/form.tasm" -o "$work/far"
env -u TAVRIN_VISUAL QT_QPA_PLATFORM=offscreen "$work/far" >"$work/far.out" 2>&1
grep -q "looked for $work/tavrin-visual.so, $work/../lib/tavrin/tavrin-visual.so, /" "$work/far.out" ||
  fail "the missing layer's error: $(cat "$work/far.out")"
[ $fails -eq 0 ] && echo "two parts: console without Qt, install found"
exit $((fails > 0))
