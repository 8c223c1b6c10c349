#!/usr/bin/env bash
# ostrel-check end to end: the examples, generated files, the options, usage errors.
set -u
source "$(dirname "$0")/common.bash"

has() { # has LINE: stdout has exactly this line
  checks=$((checks + 1))
  grep -qxF -- "$1" "$W/out" || bad "no line: $1"
}
lacks() { # lacks PREFIX: no stdout line begins with it
  checks=$((checks + 1))
  ! grep -qF -- "$1" <(cut -c1-${#1} "$W/out") || bad "unexpected: $1"
}
plist() { # plist FILE BODY
  mkdir -p "$(dirname "$1")"
  printf '<?xml version="1.0"?>\n<plist version="1.0">\n%s\n</plist>\n' "$2" >"$1"
}

# The examples: the clean ones read from their layouts, one with mistakes.
t 0 "$EX/Correct.app" "$EX/Sample.framework" "$EX/Loose.plist" "$EX/LegacyTool"
checks=$((checks + 1))
[ "$(grep -v '^note: ' "$W/out")" = "Checking Correct.app
$EX/Correct.app/Contents/Info.plist
Checking Sample.framework
$EX/Sample.framework/Resources/Info.plist
Checking Loose.plist
$EX/Loose.plist
Checking LegacyTool
$EX/LegacyTool" ] || bad "clean examples"
t 1 "$EX/Mistakes.app"
has "warning: line 19: Unknown key NSPrincipleClass. Did you mean NSPrincipalClass? [KeyTypo]"
# The package type of another length: one finding, naming the code an application has.
has 'error: line 12: The value "APPLE" of CFBundlePackageType is not a four-character code: a bundle with the extension .app has the type APPL; correct the type. [PackageTypeNot4Char]'
checks=$((checks + 1))
[ "$(grep -c 'CFBundlePackageType' "$W/out")" -eq 1 ] || bad "one finding about the package type"
checks=$((checks + 1))
sed -n 3p "$W/out" | grep -qF 'warning: line 36: The key CFBundleName appears more than once at the top level (at lines 9, 36). Only the last value counts, the one at line 36;' ||
  bad "the duplicate key comes right after the heading"

# A whole product, on disk and packed by the tool: the same bundles, under the archive's name.
python3 "$EX/../tools/pack-examples" "$W/packed" >/dev/null || bad "tools/pack-examples failed"
t 0 "$EX/Shop.app" "$W/packed/Shop.zip" "$W/packed/Shop.ipa"
has "Checking Shop.app/Contents/PlugIns/ShopShare.appex"
has "Checking Shop.zip/Shop.app/Contents/Frameworks/ShopKit.framework"
has "Checking Shop.ipa/Payload/Shop.app/Contents/PlugIns/ShopShare.appex"
checks=$((checks + 1))
[ "$(grep -c '^Checking ' "$W/out")" -eq 11 ] || bad "three bundles each, and the two archives' own headings"
t 0 --no-nested "$EX/Shop.app"
checks=$((checks + 1))
[ "$(grep -c '^Checking ' "$W/out")" -eq 1 ] || bad "--no-nested: the top bundle alone"
printf 'PK\003\004 cut short' >"$W/packed/Cut.zip"
t 1 "$W/packed/Cut.zip" "$EX/Loose.plist"
has "Checking Loose.plist"
checks=$((checks + 1))
grep -q '^error: The archive could not be read: ' "$W/out" || bad "a damaged archive is an error line"

# Generated files: what cannot be checked is an error, and the batch goes on.
D="$W/d"
plist "$D/warn.plist" '<dict><key>CFBundleIdentifier</key><string>$(ID)</string><key>Extra</key><true/></dict>'
plist "$D/array.plist" '<array/>'
printf '{ a = "open' >"$D/broken.plist"
mkdir -p "$D/Plain"
t 1 "$D/Plain" "$D/missing.plist" "$D/array.plist" "$D/broken.plist" "$D/warn.plist"
# A folder that is no bundle names the places looked in; a missing path reads as any other.
has "error: The folder is no bundle: there is no Info.plist at Contents/Info.plist, Contents/Info-macos.plist, Resources/Info.plist, Info.plist in it. Check the bundle itself, a .plist file or an archive. [NotABundle]"
has "error: Could not read the property list: there is no file or folder at this path; check it [NoData]"
has "error: line 3: The property list holds no dictionary at its top level. An information property list must be a dictionary of keys and values. [NotDict]"
checks=$((checks + 1))
grep -q '^error: line 1: The file is not a valid property list: .*line 1' "$W/out" || bad "parse error with its line"
checks=$((checks + 1))
[ "$(grep -c '^Checking ' "$W/out")" -eq 5 ] || bad "five headings"
t 1 "$D/missing.app" "$D/missing.zip" "$D/missing"
checks=$((checks + 1))
[ "$(grep -c '^error: Could not read the property list: there is no file or folder at this path; check it \[NoData\]$' "$W/out")" -eq 3 ] ||
  bad "one wording for every kind of missing path"

# Warnings and notes alone pass; the options and a stored setting turn them off.
t 0 "$D/warn.plist"
has "note: line 3: Unknown key Extra. [UnknownTopKey]"
has 'warning: line 3: The bundle identifier "$(ID)" of CFBundleIdentifier holds characters that do not belong there: use only the letters A-Z and a-z, digits, hyphens and full stops (no underscores, spaces or accented letters). [BIDBadChar]'
t 0 --no-unknown-key-notes --build-settings "$D/warn.plist"
lacks "note: line 3: Unknown key"
lacks "warning: line 3: The bundle identifier"
# The desktop application's settings change the report only when asked for.
mkdir -p "$XDG_CONFIG_HOME/Ostrel" && printf '[General]\nNoteUnknownKeys=false\n' >"$XDG_CONFIG_HOME/Ostrel/Ostrel.ini"
t 0 "$D/warn.plist"
has "note: line 3: Unknown key Extra. [UnknownTopKey]"
t 0 --user-settings "$D/warn.plist"
lacks "note: line 3: Unknown key"
rm -r "$XDG_CONFIG_HOME/Ostrel"

# Rules and texts of one's own.
plist "$D/rules.plist" '<dict><key>keys</key><dict><key>Foo</key><dict><key>required</key><true/></dict></dict></dict>'
t 1 --rules "$D/rules.plist" "$D/warn.plist"
has "error: line 3: The required key Foo is missing; add it. [NoReqTopKey]"
printf '"NotDict" = "NOT A DICTIONARY\\n"; "CheckingPrefix" = "== ";' >"$D/mine.strings"
t 1 --strings "$D/mine.strings" "$D/array.plist"
checks=$((checks + 1))
[ "$(cat "$W/out")" = "== array.plist
$D/array.plist
error: line 3: NOT A DICTIONARY [NotDict]" ] || bad "--strings"

# JSON lines, one a finding: file given, file read, severity, text.
t 1 --format json "$EX/Correct.app" "$D/array.plist"
checks=$((checks + 1))
python3 - "$W/out" "$EX" "$D" <<'PY' || bad "json"
import json, sys
out, ex, d = sys.argv[1:]
got = [tuple(json.loads(l)[k] for k in ("file", "read", "severity", "text")) for l in open(out, encoding="utf-8")]
assert got == [(d + "/array.plist", d + "/array.plist", "error", "The property list holds no dictionary at its "
                "top level. An information property list must be a dictionary of keys and values.")], got
PY

# The finding forms, from inside the examples so that FILE is relative where it lies below;
# a finding of a 'plst' resource names the file without the resource's lines.
cd "$EX"
t 0 --format gnu LegacyTool
has "LegacyTool: note: The key CFBundleGetInfoString at the top level is deprecated: since Mac OS X 10.5 the Finder no longer shows it; use CFBundleShortVersionString and NSHumanReadableCopyright. [DeprecKey]"
# GitHub's annotations name files from the workspace's top.
GITHUB_WORKSPACE="$EX/.." t 1 --format github Mistakes.app
checks=$((checks + 1))
head -1 "$W/out" | grep -q '^::warning file=examples/Mistakes.app/Contents/Info.plist,line=36,title=DuplicateTopKey::' ||
  bad "github: relative to GITHUB_WORKSPACE"
cd - >/dev/null

# Escaping in the one-line forms: a file name with a comma, a colon and a line end.
odd="$D/a,b:c
d.plist"
plist "$odd" '<array/>'
t 1 --format github "$odd"
has "::error file=${D//:/%3A}/a%2Cb%3Ac%0Ad.plist,line=3,col=1,title=NotDict::The property list holds no dictionary at its top level. An information property list must be a dictionary of keys and values."
t 1 --format gnu "$odd"
has "$D/a,b:c\nd.plist:3:1: error: The property list holds no dictionary at its top level. An information property list must be a dictionary of keys and values. [NotDict]"

# Silencing, and what fails the run.
t 0 --ignore NotDict "$D/array.plist" "$D/warn.plist"
lacks "error:"
checks=$((checks + 1))
grep -qx "0 errors, 4 warnings, 1 note in 2 files, and 1 ignored" "$W/err" || bad "summary with ignored"
t 1 --ignore 'UnknownTopKey:Other' "$D/warn.plist" --fail-on note
has "note: line 3: Unknown key Extra. [UnknownTopKey]"
t 0 --ignore 'UnknownTopKey:Extra' "$D/warn.plist" --fail-on note --ignore BIDBadChar --ignore NoRecTopKey
printf '# accepted\n\nUnknownTopKey:Extra\n  BIDBadChar\nNoRecTopKey\n' >"$D/accepted"
t 0 --ignore-file "$D/accepted" --fail-on note "$D/warn.plist"
(cd "$D" && cp accepted .ostrel-ignore && "$OSTREL_CHECK" --fail-on warning warn.plist >/dev/null) || bad ".ostrel-ignore beside the file"
rm "$D/.ostrel-ignore"
t 1 --fail-on warning "$D/warn.plist"
printf 'NoSuchKey\n' >"$D/wrong-ignore"
for args in "--ignore Nonsense" "--ignore :x" "--ignore-file $D/wrong-ignore" "--ignore-file $D/none"; do
  # shellcheck disable=SC2086
  t 2 $args "$D/warn.plist"
done

# The catalogue of findings: one entry explained, all of them listed.
t 0 --explain Not4Char
has "Not4Char (error): A four-character code of another length"
has "    <string>APPL</string>"
t 0 --list-findings
checks=$((checks + 1))
[ "$(wc -l <"$W/out")" -ge 50 ] && grep -qE '^KeyTypo +warning +An unknown key close to a known one$' "$W/out" &&
  grep -qE '^CaughtException +error +' "$W/out" || bad "--list-findings"
t 0 --list-findings --format json
checks=$((checks + 1))
python3 - "$W/out" <<'PY' || bad "--list-findings --format json"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
assert {"id": "KeyTypo", "severity": "warning", "title": "An unknown key close to a known one"} in lines, lines
assert len({l["id"] for l in lines}) == len(lines) and all(l["title"] for l in lines)
PY
t 2 --explain not4chr
checks=$((checks + 1))
grep -q "no finding has the ID 'not4chr'; did you mean Not4Char?" "$W/err" || bad "--explain: the near miss"
for args in "--explain Bogus" "--explain Not4Char $D/warn.plist"; do
  # shellcheck disable=SC2086
  t 2 $args
done
t 1 --format sarif --findings-url https://x.org/f.md "$D/array.plist"
checks=$((checks + 1))
grep -q '"helpUri": "https://x.org/f.md#NotDict"' "$W/out" || bad "--findings-url"

# --dump, help, version and usage errors.
t 1 --dump "$D/broken.plist" "$D/array.plist"
has "[]"
t 0 --help
checks=$((checks + 1))
grep -q -- '--build-settings' "$W/out" || bad "--help names --build-settings"
t 0 --version
for args in "--rules $D/none.plist $D/warn.plist" "--rules $D/broken.plist $D/warn.plist" \
  "--strings $D/none.strings $D/warn.plist"; do
  # shellcheck disable=SC2086
  t 2 $args
done

# What decides the status and what a report names: the ignore list against the
# cap, rules a resources folder brings, names that are not UTF-8 in SARIF, and
# strings tables that would write lines of their own.
python3 -c '
import sys
keys = "".join("<key>X%05d</key><string/>" % i for i in range(10010))
open(sys.argv[1], "w").write("<plist><dict>" + keys + "</dict></plist>")' "$W/over-cap.plist"
mkdir -p "$W/bad-resources" "$W/names"
echo 'not <plist' >"$W/bad-resources/rules.plist"
printf '<plist><dict/></plist>' >"$W/small.plist"
for name in $'h\xff\xfe' $'h\xfe\xff'; do printf '<plist><dict/></plist>' >"$W/names/$name.plist"; done
printf '"CheckingPrefix" = "Checking\\n::set-env name=X::1\\n";\n' >"$W/set-env.strings"
while IFS='|' read -r name status environment check args; do
  checks=$((checks + 1))
  got=0
  # shellcheck disable=SC2046,SC2086
  (cd "$W" && env $(eval echo $environment) "$OSTREL_CHECK" $(eval echo $args)) >"$W/out" 2>"$W/err" || got=$?
  [ "$got" -eq "$status" ] || { bad "$name: exit status $got, not $status"; continue; }
  checks=$((checks + 1))
  eval "$check" || bad "$name: $check"
done <<'CASES'
the cap's note ignored|1||! grep -q 'more findings' "$W/out"|--ignore FindingsLeftOut $W/over-cap.plist
ignored findings fill no cap|1||grep -qE '^error: (line [0-9]+: )?The required key CFBundleIdentifier is missing; add it\. \[NoReqTopKey\]$' "$W/out"|--ignore UnknownTopKey $W/over-cap.plist
unparsable rules in --resources|2||grep -q 'rules.plist is not a property list' "$W/err"|--resources $W/bad-resources $W/small.plist
unparsable rules in OSTREL_RESOURCES|2|OSTREL_RESOURCES=$W/bad-resources|grep -q 'rules.plist is not a property list' "$W/err"|$W/small.plist
names not UTF-8 in SARIF|1||grep -q '"names/h%FF%FE.plist"' "$W/out" && grep -q '"names/h%FE%FF.plist"' "$W/out"|--format sarif names/*
a strings table's line end|1||! grep -q '^::set-env' "$W/out"|--strings $W/set-env.strings $W/small.plist
CASES

# The terminal: colour on a pseudo-terminal unless turned off, a near miss for
# a mistyped option, help without a PATH, standard input, the summary's count.
# HOW is "pty" (output to a pseudo-terminal) or a file for standard input.
pty_run='import os, pty, sys; sys.exit(os.waitstatus_to_exitcode(pty.spawn(sys.argv[1:])))'
printf '<plist><array/></plist>' >"$W/stdin.plist"
esc=$'\e['
while IFS='|' read -r name status how environment check args; do
  checks=$((checks + 1))
  got=0 runner=() input=/dev/null
  if [ "$how" = pty ]; then runner=(python3 -c "$pty_run"); else input="${how:-/dev/null}"; fi
  # shellcheck disable=SC2086
  env -u NO_COLOR TERM=xterm $environment "${runner[@]}" "$OSTREL_CHECK" $args <"$input" >"$W/out" 2>"$W/err" || got=$?
  [ "$got" -eq "$status" ] || { bad "$name: exit status $got, not $status"; continue; }
  checks=$((checks + 1))
  eval "$check" || bad "$name: $check"
done <<CASES
colour on a terminal|1|pty||grep -qF "${esc}1;31merror:${esc}0m" "\$W/out"|$EX/Mistakes.app
NO_COLOR on a terminal|1|pty|NO_COLOR=1|! grep -qF "$esc" "\$W/out"|$EX/Mistakes.app
TERM=dumb on a terminal|1|pty|TERM=dumb|! grep -qF "$esc" "\$W/out"|$EX/Mistakes.app
--color never on a terminal|1|pty||! grep -qF "$esc" "\$W/out"|--color never $EX/Mistakes.app
--color always to a pipe|1|||grep -qF "${esc}1;35mwarning:${esc}0m" "\$W/out"|--color always $EX/Mistakes.app
--color always over NO_COLOR|1||NO_COLOR=1|grep -qF "${esc}1;31merror:" "\$W/out"|--color always $EX/Mistakes.app
an unknown --color|2|||grep -q "unknown --color 'red'" "\$W/err"|--color red $EX/Loose.plist
a mistyped option|2|||grep -qF "Unknown option 'fromat'. Did you mean --format?" "\$W/err"|--fromat json $EX/Loose.plist
no near miss|2|||! grep -q "Did you mean" "\$W/err"|--bogus $EX/Loose.plist
--help-all|0|||grep -qF -- "--color" "\$W/out"|--help-all
standard input|1|$W/stdin.plist||grep -qx 'Checking (standard input)' "\$W/out" && [ "\$(sed -n 2p "\$W/out")" = - ] && grep -q "^error: line 1: The property list holds no dictionary.* \[NotDict\]$" "\$W/out"|-
standard input as json|1|$W/stdin.plist||grep -qF '"file":"-","id":"NotDict","keyPath":"","line":1,"read":"-","severity":"error"' "\$W/out"|--format json -
standard input twice|2|||grep -q 'standard input' "\$W/err"|- -
the summary counts nested bundles|0|||grep -qx '0 errors, 0 warnings, 0 notes in 3 files' "\$W/err"|$EX/Shop.app
the summary for one PATH|1|||grep -qx '1 error, 0 warnings, 0 notes in 1 file' "\$W/err"|$W/stdin.plist
CASES

finish "e2e cli"
