#!/usr/bin/env bash
# ostrel-check on files whose names are not valid UTF-8: checked as they are,
# the bytes that are not UTF-8 shown as \xNN, the JSON "file" keeping them.
set -u
source "$(dirname "$0")/common.bash"

# A bundle, a loose property list and a file with its 'plst' resource in the
# AppleDouble file beside it, each named with bytes that are not UTF-8.
bundle=$'B\xfe.app' loose=$'Loose\xff.plist' legacy=$'Legacy\xe9'
mkdir -p "$W/$bundle"
cp -R "$EX/Correct.app/." "$W/$bundle/" # the whole bundle: its executable and icon are checked too
cp "$EX/Loose.plist" "$W/$loose"
cp "$EX/LegacyTool" "$W/$legacy"
cp "$EX/._LegacyTool" "$W/._$legacy"

t 0 --no-deprecation-notes "$W/$bundle" "$W/$loose" "$W/$legacy"
[ "$(cat "$W/out")" = "Checking B\\xFE.app
$W/B\\xFE.app/Contents/Info.plist
Checking Loose\\xFF.plist
$W/Loose\\xFF.plist
Checking Legacy\\xE9
$W/Legacy\\xE9" ] || bad "the three files are checked, their names escaped"

# Missing, it is reported as missing.
t 1 "$W/"$'gone\xff.plist'
grep -qxF "error: Could not read the property list: there is no file or folder at this path; check it [NoData]" "$W/out" ||
  bad "a missing file"

# JSON keeps the name whole: each byte that is not UTF-8 as the lone
# surrogate U+DC00 + byte, which Python's "surrogateescape" turns back
# (the tool's finding: its deprecated key).
t 0 --format json "$W/$legacy"
python3 - "$W/out" "$W/$legacy" <<'PY' || bad "JSON file names"
import json, os, sys
lines = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
expected = os.fsencode(sys.argv[2])
assert lines and all(os.fsencode(line["file"]) == expected for line in lines), lines
assert all(os.fsencode(line["read"]) == expected for line in lines), lines
PY

# The files that options name are opened through Qt, which cannot name
# these: a usage error that says so, never "does not exist".
for option in --rules --strings --resources --ignore-file --rtfd; do
  t 2 "$option" "$W/"$'x\xff' "$W/$loose"
  grep -qF "ostrel-check: the name given to $option is not valid UTF-8 and cannot be opened" "$W/err" ||
    bad "$option with a name that is not UTF-8"
done

finish "file names"
