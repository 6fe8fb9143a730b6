#!/usr/bin/env bash
# scripts/check-layers on a small tree that breaks each rule once: it must name every
# include against the chain, a Qt header outside the windowed layer and a stale pending
# line, pass what the chain allows, and fail; and on the same tree repaired it must pass.
set -u
script=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-layers.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir -p runtime interp lib ui/tavrin32 tools tests scripts
printf '#include "interp/state.h"\n#include "runtime/code_reader.h"\n' >runtime/loader.cpp
printf '#include "runtime/run_state.h"\n' >interp/state.h
printf '#include <QWidget>\n#include "interp/state.h"\n' >lib/console.cpp
printf '#include "ui/object_model.h"\n' >lib/font.h
printf '#include <QApplication>\n#include "lib/console.h"\n#include "ui/visual_host.h"\n' >ui/tavrin32/application.cpp
printf '#include "tests/helper.h"\n#include "ui/visual_layer.h"\n#include "local.h"\n#include <vector>\n' >tools/main.cpp
printf 'lib/font.h: ui/object_model.h\nlib/gone.h: ui/object_model.h\n' >scripts/layers-pending
fails=0
expect() {  # expect NEEDLE: the report must contain it
  grep -qF -- "$1" out || { echo "FAIL: no '$1' in the report"; fails=$((fails + 1)); }
}
refuse() {
  grep -qF -- "$1" out && { echo "FAIL: '$1' reported"; fails=$((fails + 1)); }
}
bash "$script" "$work" >out 2>&1
status=$?
[ $status -eq 1 ] || { echo "FAIL: status $status on a broken tree, expected 1"; fails=$((fails + 1)); }
expect "AGAINST  runtime/loader.cpp:1 includes interp/state.h (runtime/ may include only runtime/)"
expect "AGAINST  tools/main.cpp:1 includes tests/helper.h"
expect "QT       lib/console.cpp:1 includes a Qt header outside the windowed layer"
expect "pending  lib/font.h:1 includes ui/object_model.h"
expect "stale    scripts/layers-pending: \"lib/gone.h: ui/object_model.h\""
expect "check-layers: 3 include(s) against the layers"
refuse "runtime/loader.cpp:2"
refuse "interp/state.h"$'\x3a'
refuse "ui/tavrin32"
refuse "tools/main.cpp:2"
# Repaired, the same tree passes.
printf '#include "runtime/code_reader.h"\n' >runtime/loader.cpp
printf '#include "interp/state.h"\n' >lib/console.cpp
printf '#include "ui/visual_layer.h"\n' >tools/main.cpp
printf 'lib/font.h: ui/object_model.h\n' >scripts/layers-pending
bash "$script" "$work" >out 2>&1 || { echo "FAIL: the repaired tree fails:"; cat out; fails=$((fails + 1)); }
expect "check-layers: the layers run one way (1 pending in scripts/layers-pending)"
[ $fails -eq 0 ] || { echo "--- last report:"; cat out; exit 1; }
echo "check-layers: every rule caught"
