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

rows e2e-file-names.psv

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

finish "file names"
