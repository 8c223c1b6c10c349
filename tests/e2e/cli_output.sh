#!/usr/bin/env bash
# ostrel-check's output options: --stdin-filename, --quiet, --statistics and
# -o, which replaces only a regular file, and only with a whole report (e2e-output.psv).
set -u
source "$(dirname "$0")/common.bash"
cd "$W" || exit 1
M="$EX/Mistakes.app"
plist warn.plist '<dict><key>CFBundleIdentifier</key><string>a_b</string></dict>'
printf 'old\n' >report.txt
chmod 640 report.txt
mkdir folder
ln -s report.txt link
cp "$M/Contents/Info.plist" checked.plist
rows e2e-output.psv
[ -L link ] && grep -q BadType report.txt || bad "the link and what it points at stay"

# --statistics: each ID as often as the JSON lines hold it.
t 1 --statistics --format json "$M" "$EX/Shop.app"
[ "$(awk '{print $1, $2}' "$W/err" | sort)" = "$(python3 -c 'import json, sys, collections
for k, n in collections.Counter(json.loads(l)["id"] for l in open(sys.argv[1])).items(): print(n, k)' "$W/out" | sort)" ] ||
  bad "the counts of the JSON lines"

# A run cut short leaves the file as it was, and nothing beside it.
mkfifo fifo
"$OSTREL_CHECK" -o report.txt - <fifo >/dev/null 2>&1 &
pid=$!
exec 3>fifo
printf '<plist version="1.0"><dict>' >&3
sleep 0.5
kill -9 "$pid"
wait "$pid" 2>/dev/null
exec 3>&-
grep -q BadType report.txt || bad "the report is the earlier one"
[ "$(ls -A | sort | tr '\n' ' ')" = "checked.plist err fifo folder link out report.txt warn.plist " ] || bad "something left beside it"
finish cli_output
