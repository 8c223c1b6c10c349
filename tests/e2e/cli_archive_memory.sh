#!/usr/bin/env bash
# Archives whose kept entries are large, checked on many threads at once:
# the bytes they keep are bounded over all threads, not per thread. Twelve
# archives that each keep a 60 MiB entry held 1.4 GB at -j 12 before the bound.
set -u
source "$(dirname "$0")/common.bash"
command -v /usr/bin/time >/dev/null || { echo "SKIP: /usr/bin/time is not installed"; exit 77; }

python3 - "$W" <<'PY'
import sys, zipfile
with zipfile.ZipFile(f"{sys.argv[1]}/big.zip", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("Big.plist", b"\0" * (60 * 1024 * 1024))
PY
for i in $(seq 1 12); do cp "$W/big.zip" "$W/p$i.zip"; done

status=0
/usr/bin/time -f "%M" -o "$W/rss" "$OSTREL_CHECK" -j 12 "$W"/p*.zip >"$W/out" 2>"$W/err" || status=$?
[ "$status" -eq 1 ] || bad "exit status $status, not 1"
[ "$(grep -c '\[ParseErr\]' "$W/out")" -eq 12 ] || bad "not every archive's entry was read and checked"
rss_kb=$(tail -1 "$W/rss")
[ "$rss_kb" -lt 1000000 ] || bad "peak resident memory $rss_kb KB, over 1 GB"
echo "peak resident memory: $rss_kb KB"
finish cli_archive_memory
