#!/bin/sh
# Rebuilds the conversion table from Free Pascal's SysUtils (fpc 3.2.2).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out="$here/../../tests/unit/data/convert_table.tsv"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/convert_table.pas" "$work/"
(cd "$work" && fpc -O1 -vw convert_table.pas >"$work/log") || { cat "$work/log"; exit 1; }
"$work/convert_table" > "$out"
echo "wrote $out ($(wc -l < "$out") rows)"
