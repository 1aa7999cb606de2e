#!/bin/sh
# The Windows programs under Wine: the protocol, book and test-mode
# scripts of tests/e2e, perft, and the bench signature against the Linux build's.
# usage: run.sh <windows build dir> <linux build dir>
set -u
win=$(cd "$1" && pwd) linux=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all
command -v wine >/dev/null || { echo "wine is not installed (apt-get install wine wine64)"; exit 1; }
# The scripts start a program by its path: one small launcher per program.
for prog in tavik tavik-tool; do
  printf '#!/bin/sh\nexec wine "%s/%s.exe" "$@"\n' "$win" "$prog" >"$win/$prog-wine"
  chmod +x "$win/$prog-wine"
done
status=0
# A new Wine prefix starts programs slowly for a while, and every start
# without a running server takes seconds: let the prefix settle, keep the
# server up for the whole run and start each program once before the tests.
wineserver -k 2>/dev/null  # a server left over from an earlier run of this prefix
wineboot -i >/dev/null 2>&1
timeout 60 wineserver -w
wineserver -p
trap 'wineserver -k' EXIT
"$win/tavik-tool-wine" --version || status=1
echo quit | "$win/tavik-wine" || status=1
run() { echo "== $*"; "$@" || status=1; }
run python3 "$here/e2e/test_uci.py" "$win/tavik-wine" "$linux/tavik-tool"
run python3 "$here/e2e/test_perft.py" "$win/tavik-wine" "$win/tavik-tool-wine"
# Files on Windows: binary books, text results of the test mode.
run python3 "$here/e2e/test_book.py" "$win/tavik-wine" "$win/tavik-tool-wine"
run python3 "$here/e2e/test_testmode.py" "$win/tavik-wine" "$linux/tavik-tool"
echo "== bench: Linux, then Windows under Wine"
"$linux/tavik-tool" bench | tail -3 >"$win/bench-linux.txt"
"$win/tavik-tool-wine" bench | tr -d '\r' | tail -3 >"$win/bench-windows.txt"
paste "$win/bench-linux.txt" "$win/bench-windows.txt"
a=$(grep 'Total nodes' "$win/bench-linux.txt") b=$(grep 'Total nodes' "$win/bench-windows.txt")
if [ -z "$a" ] || [ "$a" != "$b" ]; then echo "FAIL: bench signatures differ"; status=1; fi
[ $status = 0 ] && echo "test-windows: ok" || echo "test-windows: FAILED"
exit $status
