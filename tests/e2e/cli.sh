#!/usr/bin/env bash
# ostrel-check end to end: the examples, generated files, the options, usage errors.
set -u
source "$(dirname "$0")/common.bash"

# The examples: the clean ones read from their layouts, one with mistakes.
t 0 "$EX/Correct.app" "$EX/Sample.framework" "$EX/Loose.plist" "$EX/LegacyTool"
[ "$(grep -v '^note: ' "$W/out")" = "Checking Correct.app
$EX/Correct.app/Contents/Info.plist
Checking Sample.framework
$EX/Sample.framework/Resources/Info.plist
Checking Loose.plist
$EX/Loose.plist
Checking LegacyTool
$EX/LegacyTool" ] || bad "clean examples"
# The example with mistakes, in every form: formats_golden.sh.

# A whole product, on disk and packed by the tool: the same bundles, under the archive's name.
python3 "$EX/../tools/pack-examples" "$W/packed" >/dev/null || bad "tools/pack-examples failed"
t 0 "$EX/Shop.app" "$W/packed/Shop.zip" "$W/packed/Shop.ipa"
has "Checking Shop.app/Contents/PlugIns/ShopShare.appex"
has "Checking Shop.zip/Shop.app/Contents/Frameworks/ShopKit.framework"
has "Checking Shop.ipa/Payload/Shop.app/Contents/PlugIns/ShopShare.appex"
[ "$(grep -c '^Checking ' "$W/out")" -eq 11 ] || bad "three bundles each, and the two archives' own headings"
t 0 --no-nested "$EX/Shop.app"
[ "$(grep -c '^Checking ' "$W/out")" -eq 1 ] || bad "--no-nested: the top bundle alone"
printf 'PK\003\004 cut short' >"$W/packed/Cut.zip"
t 1 "$W/packed/Cut.zip" "$EX/Loose.plist"
has "Checking Loose.plist"
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
grep -q '^error: line 1: The file is not a valid property list: .*line 1' "$W/out" || bad "parse error with its line"
[ "$(grep -c '^Checking ' "$W/out")" -eq 5 ] || bad "five headings"
t 1 "$D/missing.app" "$D/missing.zip" "$D/missing"
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
[ "$(cat "$W/out")" = "== array.plist
$D/array.plist
error: line 3: NOT A DICTIONARY [NotDict]" ] || bad "--strings"

# JSON lines, one a finding: file given, file read, severity, text.
t 1 --format json "$EX/Correct.app" "$D/array.plist"
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
head -1 "$W/out" | grep -q '^::warning file=examples/Mistakes.app/Contents/Info.plist,line=36,title=DuplicateTopKey::' ||
  bad "github: relative to GITHUB_WORKSPACE"
cd - >/dev/null

# Silencing, and what fails the run.
t 0 --ignore NotDict "$D/array.plist" "$D/warn.plist"
lacks "error:"
grep -qx "0 errors, 4 warnings, 1 note in 2 files, and 1 ignored" "$W/err" || bad "summary with ignored"
t 1 --ignore 'UnknownTopKey:Other' "$D/warn.plist" --fail-on note
has "note: line 3: Unknown key Extra. [UnknownTopKey]"
t 0 --ignore 'UnknownTopKey:Extra' "$D/warn.plist" --fail-on note --ignore BIDBadChar --ignore NoRecTopKey
printf '# accepted\n\nUnknownTopKey:Extra\n  BIDBadChar\nNoRecTopKey\n' >"$D/accepted"
t 0 --ignore-file "$D/accepted" --fail-on note "$D/warn.plist"
t 1 --fail-on warning "$D/warn.plist"

# The catalogue of findings: one entry explained, all of them listed.
t 0 --explain Not4Char
has "Not4Char (error): A four-character code of another length"
has "    <string>APPL</string>"
t 0 --list-findings
[ "$(wc -l <"$W/out")" -ge 50 ] && grep -qE '^KeyTypo +warning +An unknown key close to a known one$' "$W/out" &&
  grep -qE '^CaughtException +error +' "$W/out" || bad "--list-findings"
t 0 --list-findings --format json
python3 - "$W/out" <<'PY' || bad "--list-findings --format json"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1], encoding="utf-8")]
assert {"id": "KeyTypo", "severity": "warning", "title": "An unknown key close to a known one"} in lines, lines
assert len({l["id"] for l in lines}) == len(lines) and all(l["title"] for l in lines)
PY
t 2 --explain not4chr
grep -q "no finding has the ID 'not4chr'; did you mean Not4Char?" "$W/err" || bad "--explain: the near miss"
t 1 --format sarif --findings-url https://x.org/f.md "$D/array.plist"
grep -q '"helpUri": "https://x.org/f.md#NotDict"' "$W/out" || bad "--findings-url"

# --dump, help, version and usage errors.
t 1 --dump "$D/broken.plist" "$D/array.plist"
has "[]"
t 0 --help
grep -q -- '--build-settings' "$W/out" || bad "--help names --build-settings"
t 0 --version
printf 'NoSuchKey\n' >"$D/wrong-ignore"
for args in "--ignore Nonsense" "--ignore :x" "--ignore-file $D/wrong-ignore" "--ignore-file $D/none" \
  "--rules $D/none.plist" "--rules $D/broken.plist" "--strings $D/none.strings"; do
  # shellcheck disable=SC2086
  t 2 $args "$D/warn.plist"
done
for args in "--explain Bogus" "--explain Not4Char $D/warn.plist"; do
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
  got=0
  # shellcheck disable=SC2046,SC2086
  (cd "$W" && env $(eval echo $environment) "$OSTREL_CHECK" $(eval echo $args)) >"$W/out" 2>"$W/err" || got=$?
  [ "$got" -eq "$status" ] || { bad "$name: exit status $got, not $status"; continue; }
  eval "$check" || bad "$name: $check"
done < <(cases cli-runs.psv)

# The terminal: colour on a pseudo-terminal unless turned off, a near miss for
# a mistyped option, help without a PATH, standard input, the summary's count.
# HOW is "pty" (output to a pseudo-terminal) or a file for standard input.
pty_run='import os, pty, sys; sys.exit(os.waitstatus_to_exitcode(pty.spawn(sys.argv[1:])))'
printf '<plist><array/></plist>' >"$W/stdin.plist"
# shellcheck disable=SC2034 # read by the case table
esc=$'\e['
while IFS='|' read -r name status how environment check args; do
  got=0 runner=() input=/dev/null
  if [ "$how" = pty ]; then runner=(python3 -c "$pty_run"); else input="${how:-/dev/null}"; fi
  # shellcheck disable=SC2086
  env -u NO_COLOR TERM=xterm $environment "${runner[@]}" "$OSTREL_CHECK" $args <"$input" >"$W/out" 2>"$W/err" || got=$?
  [ "$got" -eq "$status" ] || { bad "$name: exit status $got, not $status"; continue; }
  eval "$check" || bad "$name: $check"
done < <(cases cli-terminal.psv)

finish "e2e cli"
