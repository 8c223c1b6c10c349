#!/usr/bin/env bash
# ostrel-check on files made here: bundle layouts, unreadable and broken files,
# the options, and usage errors.
source "$(dirname "$0")/common.bash"
D="$WORK/files"
mkdir -p "$D"

plist() { # plist FILE BODY: an XML property list
  mkdir -p "$(dirname "$1")"
  printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n%s\n</plist>\n' "$2" >"$1"
}
GOOD='<dict><key>CFBundleIdentifier</key><string>org.example.good</string><key>CFBundleName</key><string>Good</string>
<key>CFBundlePackageType</key><string>APPL</string><key>CFBundleSignature</key><string>????</string>
<key>CFBundleVersion</key><string>1</string><key>CFBundleInfoDictionaryVersion</key><string>6.0</string>
<key>CFBundleExecutable</key><string>Good</string></dict>'

# Bundle layouts.
plist "$D/Both.app/Contents/Info.plist" "$GOOD"
plist "$D/Both.app/Contents/Info-macos.plist" "<array/>"
plist "$D/Macos.app/Contents/Info-macos.plist" "$GOOD"
plist "$D/Flat.app/Info.plist" "$GOOD"
mkdir -p "$D/Plain"
run "$D/Both.app" "$D/Macos.app" "$D/Flat.app"
expect_status 0 "bundles"
expect_stdout_equals "Checking Both.app
$D/Both.app/Contents/Info.plist
Checking Macos.app
$D/Macos.app/Contents/Info-macos.plist
Checking Flat.app
$D/Flat.app/Info.plist
" "bundles"

run "$D/Plain"
expect_status 1 "plain directory"
expect_stdout_equals "Checking Plain
$D/Plain/Contents/Info.plist
error: Could not read the property list: No such file or directory
" "plain directory"

run "$D/missing.plist"
expect_status 1 "missing file"
expect_line "error: Could not read the property list: No such file or directory" "missing file"

plist "$D/array.plist" "<array><string>a</string></array>"
run "$D/array.plist"
expect_status 1 "not a dictionary"
expect_line "error: The property list holds no dictionary at its top level. An information property list must be a dictionary of keys and values." "not a dictionary"

printf '{ CFBundleName = "open' >"$D/broken.plist"
run "$D/broken.plist"
expect_status 1 "parse error"
checks=$((checks + 1))
grep -q '^error: The file is not a valid property list: .*line 1' "$OUT" || fail "parse error names its line"

# Warnings and notes alone do not fail the run.
plist "$D/warn.plist" '<dict><key>CFBundleIdentifier</key><string>org.example.w</string><key>Extra</key><true/></dict>'
run "$D/warn.plist"
expect_status 0 "warnings only"
expect_line "note: Unknown key Extra." "warnings only"
expect_line "warning: The recommended key CFBundleVersion is missing; consider adding it." "warnings only"

# One bad file among good ones: all are checked, the status is 1.
run "$D/Flat.app" "$D/missing.plist" "$D/Macos.app"
expect_status 1 "mixed batch"
checks=$((checks + 1))
[ "$(grep -c '^Checking ' "$OUT")" -eq 3 ] || fail "mixed batch: three headings"

# A file name cannot forge report lines.
plist "$D/evil
error: forged.plist" "$GOOD"
run "$D/evil
error: forged.plist"
expect_status 0 "control characters in the name"
checks=$((checks + 1))
! grep -q '^error: forged' "$OUT" || fail "control characters in the name: a forged line"
expect_line 'Checking evil\nerror: forged.plist' "control characters in the name"

# JSON lines.
run --format json "$D/Both.app" "$D/array.plist"
expect_status 1 "json"
checks=$((checks + 1))
python3 - "$OUT" "$D" >"$WORK/json-check" 2>&1 <<'PY' || fail "json: $(cat "$WORK/json-check")"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
d = sys.argv[2]
want = [
    (d + "/Both.app", d + "/Both.app/Contents/Info.plist", "heading", "Checking Both.app"),
    (d + "/Both.app", d + "/Both.app/Contents/Info.plist", "heading", d + "/Both.app/Contents/Info.plist"),
    (d + "/array.plist", d + "/array.plist", "heading", "Checking array.plist"),
    (d + "/array.plist", d + "/array.plist", "heading", d + "/array.plist"),
    (d + "/array.plist", d + "/array.plist", "error",
     "The property list holds no dictionary at its top level. An information property list must be a dictionary of keys and values."),
]
got = [(l["file"], l["read"], l["severity"], l["text"]) for l in lines]
assert got == want, got
PY

# Rules and strings of one's own.
plist "$D/rules.plist" '<dict><key>keys</key><dict><key>Foo</key><dict><key>type</key><string>string</string><key>required</key><true/></dict></dict></dict>'
run --rules "$D/rules.plist" "$D/warn.plist"
expect_status 1 "--rules"
expect_line "error: The required key Foo is missing; add it." "--rules"
expect_line "note: Unknown key CFBundleIdentifier." "--rules"

mkdir -p "$D/res"
cp "$D/rules.plist" "$D/res/rules.plist"
run --resources "$D/res" "$D/warn.plist"
expect_line "error: The required key Foo is missing; add it." "--resources"
STATUS=0
OSTREL_RESOURCES="$D/res" "$OSTREL_CHECK" "$D/warn.plist" >"$OUT" 2>"$ERR" || STATUS=$?
expect_line "error: The required key Foo is missing; add it." "OSTREL_RESOURCES"

printf '"NotDict" = "NOT A DICTIONARY\\n";\n"CheckingPrefix" = "== ";\n' >"$D/mine.strings"
run --strings "$D/mine.strings" "$D/array.plist"
expect_stdout_equals "== array.plist
$D/array.plist
error: NOT A DICTIONARY
" "--strings"

# Settings: the options override for this run; a stored value is read.
plist "$D/deprecated.plist" '<dict><key>CFBundleIdentifier</key><string>org.example.d</string><key>CFBundleGetInfoString</key><string>1.0</string><key>Extra</key><true/></dict>'
run "$D/deprecated.plist"
expect_line "note: Unknown key Extra." "notes on"
checks=$((checks + 1))
grep -q '^note: The key CFBundleGetInfoString .*deprecated' "$OUT" || fail "deprecation note"
run --no-unknown-key-notes --no-deprecation-notes "$D/deprecated.plist"
expect_no_match "Unknown key Extra" "--no-unknown-key-notes"
expect_no_match "is deprecated" "--no-deprecation-notes"
mkdir -p "$XDG_CONFIG_HOME/Ostrel"
printf '[General]\nNoteUnknownKeys=false\n' >"$XDG_CONFIG_HOME/Ostrel/Ostrel.ini"
run "$D/deprecated.plist"
expect_no_match "Unknown key Extra" "stored setting"
checks=$((checks + 1))
grep -q 'is deprecated' "$OUT" || fail "stored setting leaves the other on"
rm -rf "$XDG_CONFIG_HOME/Ostrel"

plist "$D/template.plist" '<dict><key>CFBundleIdentifier</key><string>$(PRODUCT_BUNDLE_IDENTIFIER)</string></dict>'
run "$D/template.plist"
checks=$((checks + 1))
grep -q '^warning: The bundle identifier "$(PRODUCT_BUNDLE_IDENTIFIER)"' "$OUT" || fail "build setting flagged by default"
run --build-settings "$D/template.plist"
expect_no_match 'bundle identifier' "--build-settings"

# --dump: JSON of each file; a file that does not parse fails after the rest.
run --dump "$D/broken.plist" "$D/warn.plist"
expect_status 1 "--dump"
expect_stderr "$D/broken.plist: error:" "--dump"
checks=$((checks + 1))
python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$OUT" || fail "--dump writes JSON"

# Usage errors, help and version.
for args in "" "--bogus $D/warn.plist" "--format xml $D/warn.plist" "--rules" \
  "--rules $D/nothing.plist $D/warn.plist" "--rules $D/broken.plist $D/warn.plist" \
  "--strings $D/nothing.strings $D/warn.plist" "--resources $D/nothing $D/warn.plist"; do
  # shellcheck disable=SC2086
  run $args
  expect_status 2 "usage: '$args'"
  expect_stderr "ostrel-check: " "usage: '$args'"
done
run --help
expect_status 0 "--help"
for option in --rules --strings --resources --no-deprecation-notes --no-unknown-key-notes --build-settings --format --dump; do
  checks=$((checks + 1))
  grep -qF -- "$option" "$OUT" || fail "--help mentions $option"
done
run --version
expect_status 0 "--version"
checks=$((checks + 1))
grep -qE '^ostrel-check [0-9]+\.[0-9]+' "$OUT" || fail "--version"

finish
