#!/bin/sh
# Release archives: tavik-<version>-linux-x86_64.tar.gz and
# tavik-<version>-windows-x86_64.zip with the programs, the README, the
# manual pages (plain text for Windows) and the test-mode positions.
# usage: make_dist.sh <version> <linux build dir> <windows build dir> <out dir>
set -eu
version=$1 linux=$2 windows=$3 out=$4
root=$(cd "$(dirname "$0")/.." && pwd)
positions=$root/tools/testmode_positions.txt
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

name=tavik-$version-linux-x86_64
mkdir "$stage/$name"
cp "$linux/tavik" "$linux/tavik-tool" "$root/README.md" "$root/man/tavik.6" "$root/man/tavik-tool.6" "$stage/$name/"
[ -f "$positions" ] && cp "$positions" "$stage/$name/"
strip "$stage/$name/tavik" "$stage/$name/tavik-tool"
tar -C "$stage" -czf "$out/$name.tar.gz" "$name"

name=tavik-$version-windows-x86_64
mkdir "$stage/$name"
cp "$windows/tavik.exe" "$windows/tavik-tool.exe" "$stage/$name/"
x86_64-w64-mingw32-strip "$stage/$name/tavik.exe" "$stage/$name/tavik-tool.exe"
# Text files with CR LF, as Windows editors expect.
crlf() { sed 's/$/\r/' "$1" >"$stage/$name/$2"; }
crlf "$root/README.md" README.txt
for page in tavik tavik-tool; do
  groff -man -rcR=1 -Tascii -P-cbou "$root/man/$page.6" >"$stage/$page.txt"
  crlf "$stage/$page.txt" "$page.txt"
done
[ -f "$positions" ] && crlf "$positions" testmode_positions.txt
rm -f "$out/$name.zip"
(cd "$stage" && python3 -m zipfile -c "$out/$name.zip" "$name")
ls -l "$out"/tavik-"$version"-*
