#!/usr/bin/env bash
# ostrel-check's output options: --stdin-filename, --quiet, --statistics and
# -o, which replaces only a regular file, and only with a whole report.
set -u
source "$(dirname "$0")/common.bash"
cd "$W" || exit 1
M="$EX/Mistakes.app"
check() { # check WHAT COMMAND...: counts a check that fails when COMMAND does
  local what=$1
  shift
  "$@" || bad "$what"
}
absent() { ! grep -q "$@"; }

# Standard input under a name: in the heading and in every form's file.
t 1 --stdin-filename Shop.app/Contents/Info.plist --format gnu <"$M/Contents/Info.plist"
check "gnu names the file" grep -q '^Shop.app/Contents/Info.plist:12:2: error: ' "$W/out"
t 1 --stdin-filename Shop.app/Contents/Info.plist - <"$M/Contents/Info.plist"
check "the heading names the file" [ "$(head -2 "$W/out")" = "Checking Info.plist
Shop.app/Contents/Info.plist" ]

# --quiet: errors alone and no summary; the status still follows --fail-on.
t 1 --quiet "$M" "$EX/Correct.app"
check "errors only" [ "$(grep -c '^error: ' "$W/out")" -eq 5 ]
check "no warning or note" absent -E '^(warning|note): ' "$W/out"
check "no clean file" absent 'Correct.app' "$W/out"
check "no summary" [ ! -s "$W/err" ]
plist warn.plist '<dict><key>CFBundleIdentifier</key><string>a_b</string></dict>'
t 1 --quiet --fail-on warning warn.plist
check "a failing warning, not shown" [ ! -s "$W/out" ]

# --statistics: each ID as often as the JSON lines hold it.
t 1 --statistics --format json "$M" "$EX/Shop.app"
check "the counts of the JSON lines" [ "$(awk '{print $1, $2}' "$W/err" | sort)" = \
  "$(python3 -c 'import json, sys, collections
for k, n in collections.Counter(json.loads(l)["id"] for l in open(sys.argv[1])).items(): print(n, k)' "$W/out" | sort)" ]

# -o: a file is replaced whole, keeping its permissions; anything else is refused and left.
printf 'old\n' >report.txt
chmod 640 report.txt
t 1 -o report.txt --format gnu "$M"
check "-o writes nothing to stdout" [ ! -s "$W/out" ]
check "the report replaced the file" grep -q 'error: .*\[BadType\]$' report.txt
check "its permissions stay" [ "$(stat -c %a report.txt)" = 640 ]
mkdir folder
ln -s report.txt link
cp "$M/Contents/Info.plist" checked.plist
for target in folder link checked.plist /dev/null; do
  t 2 -o "$target" checked.plist
  check "-o $target refused" grep -q "will not write the report to $target: " "$W/err"
done
check "the link still points at the file" [ -L link ] && check "what it points at stays" grep -q BadType report.txt
t 2 -o missing/report.txt "$M"

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
check "the report is the earlier one" grep -q BadType report.txt
check "nothing left beside it" [ "$(ls -A | sort | tr '\n' ' ')" = "checked.plist err fifo folder link out report.txt warn.plist " ]
finish cli_output
